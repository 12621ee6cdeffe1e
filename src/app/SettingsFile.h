#pragma once

#include <QByteArrayView>
#include <QSettings>
#include <QVariant>

namespace vistrel {

// The store the configuration is read from. Where QSettings keeps settings in INI files, it is those
// same files read by SettingsFile below; elsewhere it is the platform's own store.
QSettings::Format ConfigurationFormat();

// Reads a settings file in the INI dialect QSettings writes: sections, escaped keys, quoted and
// escaped values, comments. Unlike QSettings' own INI reader it never hands a value to QDataStream
// (a damaged "@Variant(...)" there can claim gigabytes and end the process): serialized values are
// decoded by hand, and only those that can hold a number or text; any other typed value reads as no
// value. Keys keep QSettings' form ("Section/Key"); a key written twice keeps its last value.
QSettings::SettingsMap ReadSettingsFile(QByteArrayView contents);

// One value as it stands after the "=", escapes and quotes included.
QVariant ReadSettingsValue(QByteArrayView written);

} // namespace vistrel
