// The stored user-interface language as the configuration store can hand it over. The first byte picks
// how the rest arrives: as text, as bytes, or as a number of each width. Values serialized the way
// QSettings keeps "@Variant(...)" entries are left out while Qt's reading of them can end the process
// (fuzz/open/README.md).
#include "app/Configuration.h"

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

QVariant Stored(std::uint8_t kind, const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    switch (kind % 7) {
    case 0: return QString::fromUtf8(bytes);
    case 1: return bytes;
    case 2: return Number<int>(data, size);
    case 3: return Number<unsigned>(data, size);
    case 4: return Number<qlonglong>(data, size);
    case 5: return Number<qulonglong>(data, size);
    default: return Number<double>(data, size);
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
