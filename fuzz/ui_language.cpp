// The stored user-interface language as the configuration store can hand it over. The first byte picks
// how the rest arrives: as text, as bytes, as a number of each width, as the bytes of a serialized
// "@Variant(...)" value in a settings file, or as a whole settings file.
#include "app/Configuration.h"
#include "app/SettingsFile.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
T Number(const std::uint8_t* data, std::size_t size)
{
    T value {};
    std::memcpy(&value, data, std::min(size, sizeof value));
    return value;
}

// A settings file holding the bytes as a serialized value, every byte escaped as QSettings may write it.
QByteArray SerializedValueFile(const QByteArray& bytes)
{
    QByteArray file = "[Config]\nUILanguage=@Variant(";
    for (const char byte : bytes)
        file += "\\x" + QByteArray::number(static_cast<std::uint8_t>(byte), 16);
    return file + ")\n";
}

QVariant Stored(std::uint8_t kind, const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    switch (kind % 9) {
    case 0: return QString::fromUtf8(bytes);
    case 1: return bytes;
    case 2: return Number<int>(data, size);
    case 3: return Number<unsigned>(data, size);
    case 4: return Number<qlonglong>(data, size);
    case 5: return Number<qulonglong>(data, size);
    case 6: return Number<double>(data, size);
    case 7: return vistrel::ReadSettingsFile(SerializedValueFile(bytes)).value(QLatin1String(vistrel::kUiLanguageKey));
    default: return vistrel::ReadSettingsFile(bytes).value(QLatin1String(vistrel::kUiLanguageKey));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel;
    if (size < 1)
        return 0;
    const auto value = ParseUiLanguageValue(Stored(data[0], data + 1, size - 1));
    const auto language = UiLanguageFromSetting(value);
    if (language && (!value || *value == kUiLanguageUserDefault || *language != (*value & 0xFFFF)))
        std::abort();
    return 0;
}
