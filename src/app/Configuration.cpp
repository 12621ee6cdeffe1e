#include "app/Configuration.h"

#include "app/SettingsFile.h"

#include <QSettings>
#include <QVariant>

namespace vistrel {

std::optional<std::uint32_t> ParseUiLanguageValue(const QVariant& stored)
{
    switch (stored.typeId()) {
    case QMetaType::Int:
        // The registry's 32-bit numbers arrive as signed ints: keep their bits.
        return static_cast<std::uint32_t>(stored.toInt());
    case QMetaType::UInt:
        return stored.toUInt();
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qulonglong value = stored.toULongLong(&ok);
        if (!ok || value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(value);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = stored.toString().trimmed();
        // "0x" selects hexadecimal; everything else is decimal, so a leading zero is not octal.
        const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        const QString digits = hex ? text.mid(2) : text;
        if (digits.isEmpty() || digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-'))) {
            return std::nullopt;
        }
        bool ok = false;
        const qulonglong value = digits.toULongLong(&ok, hex ? 16 : 10);
        if (!ok || value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(value);
    }
    default:
        return std::nullopt;
    }
}

#if !defined(Q_OS_WIN) && !defined(Q_OS_DARWIN)
namespace {

// Where QSettings keeps the configuration file of a scope. QSettings opens its files as it is made,
// and an open of a FIFO waits for a writer: it is asked with a format of its own whose files no
// one makes, and the name is then given the configuration's extension.
QString ConfigurationFilePath(QSettings::Scope scope)
{
    static const QSettings::Format locator = QSettings::registerFormat(
        QStringLiteral("vistrel-locate"), [](QIODevice&, QSettings::SettingsMap&) { return false; },
        [](QIODevice&, const QSettings::SettingsMap&) { return false; });
    const QSettings located(locator, scope, QString::fromLatin1(kSettingsOrganisation),
                            QString::fromLatin1(kSettingsApplication));
    QString path = located.fileName();
    path.chop(QStringLiteral("vistrel-locate").size());
    return path + QStringLiteral("conf");
}

} // namespace

std::optional<std::uint32_t> ReadUiLanguageSetting()
{
    // Per-user file first, then the system-wide one; a value that cannot be read counts as absent
    // and lets the next file answer. Only a regular file of modest size is read.
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        const auto map = ReadSettingsFileAt(ConfigurationFilePath(scope));
        if (!map)
            continue;
        if (const auto value = ParseUiLanguageValue(map->value(QString::fromLatin1(kUiLanguageKey)))) {
            return value;
        }
    }
    return std::nullopt;
}
#elif defined(Q_OS_DARWIN)
// Windows reads the registry itself (UiLanguageRegistry.cpp).
std::optional<std::uint32_t> ReadUiLanguageSetting()
{
    // Per-user store first, then the system-wide one; a value that cannot be read counts as absent
    // and lets the next store answer. Only the application's own stores take part (QSettings'
    // organisation-wide fallbacks are not this program's key).
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings settings(ConfigurationFormat(), scope, QString::fromLatin1(kSettingsOrganisation),
                           QString::fromLatin1(kSettingsApplication));
        settings.setFallbacksEnabled(false);
        if (const auto value = ParseUiLanguageValue(settings.value(QString::fromLatin1(kUiLanguageKey)))) {
            return value;
        }
    }
    return std::nullopt;
}
#endif

std::optional<LANGID> UiLanguageFromSetting(std::optional<std::uint32_t> setting)
{
    if (!setting || *setting == kUiLanguageUserDefault) {
        return std::nullopt;
    }
    return static_cast<LANGID>(*setting & 0xFFFF);
}

void ApplyUiLanguageSetting()
{
    if (const auto language = UiLanguageFromSetting(ReadUiLanguageSetting())) {
        SetCurrentUiLanguage(*language);
    }
}

} // namespace vistrel
