#pragma once

#include <QByteArrayView>
#include <QSettings>
#include <QVariant>

#include <optional>

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

// The largest configuration file read; a larger one is ignored (and logged).
constexpr qint64 kMaxSettingsFileBytes = 64 * 1024;

// Reads a settings file at path, as ReadSettingsFile does, but only a regular file of at most
// kMaxSettingsFileBytes: a FIFO, a device or a folder is never opened in a way that could wait.
// Absent, unreadable or refused: nullopt.
std::optional<QSettings::SettingsMap> ReadSettingsFileAt(const QString& path);

// One value as it stands after the "=", escapes and quotes included.
QVariant ReadSettingsValue(QByteArrayView written);

} // namespace vistrel
