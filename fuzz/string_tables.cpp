// A string table file (UTF-8 JSON, as resources/strings holds them). The first two bytes are the
// language it is read for; every string of an accepted table is then looked up as the window does,
// and never comes back longer than the buffer holds.
#include "app/Localization.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel;
    if (size < 2)
        return 0;
    const LANGID language = static_cast<LANGID>(data[0] | data[1] << 8);
    StringModule module;
    QString error;
    const bool read = module.AddTableFile(
        language, QByteArray(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2)), &error);
    if (read != error.isEmpty())
        std::abort();   // a refusal says why, and only a refusal does
    if (!read) {
        if (module.HasLanguage(language))
            std::abort();   // nothing of a refused table is kept
        return 0;
    }
    char16_t buffer[kStringBufferUnits + 1];
    for (std::uint32_t id = 0; id < 512; ++id) {
        buffer[kStringBufferUnits] = u'\xBEEF';
        const int units = LoadLocalizedString(module, id, buffer, language, language);
        if (units < 0 || units > kMaxStringUnits || buffer[units] != u'\0' || buffer[kStringBufferUnits] != u'\xBEEF')
            std::abort();
    }
    return 0;
}
