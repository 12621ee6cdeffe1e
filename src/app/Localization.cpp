#include "app/Localization.h"

#include <QDebug>

#include <algorithm>

namespace vistrel {
namespace {

// Where the embedded tables live (see resources/strings).
const QString kProgramTablesFolder = QStringLiteral(":/strings");

// When neither the current nor the user's language has a block, the English table answers:
// it is the language the window layout is written in and the one table that covers every block.
constexpr LANGID kDefaultTableLanguage = kLangIdEnglishUs;

// A block stored under a language, or under its primary language without a sublanguage (a table
// stored as plain "German" answers German of any country).
std::span<const char16_t> FindBlockUnder(const StringModule& module, std::uint16_t blockId, LANGID language)
{
    std::span<const char16_t> block = module.Block(language, blockId);
    const LANGID neutral = MakeLangId(PrimaryLangId(language), kSublangNeutral);
    if (block.empty() && neutral != language) {
        block = module.Block(neutral, blockId);
    }
    return block;
}

} // namespace

const StringModule& ProgramModule()
{
    static const StringModule module = [] {
        QStringList errors;
        StringModule loaded = StringModule::FromDirectory(kProgramTablesFolder, &errors);
        for (const QString& error : errors) {
            qWarning().noquote() << "String table" << error;
        }
        return loaded;
    }();
    return module;
}

std::span<const char16_t> FindLocalizedResource(const StringModule& module, std::uint16_t blockId,
                                                LANGID current, LANGID userDefault)
{
    std::span<const char16_t> block = FindBlockUnder(module, blockId, current);
    if (block.empty() && userDefault != current) {
        block = FindBlockUnder(module, blockId, userDefault);
    }
    if (block.empty()) {
        block = module.Block(kDefaultTableLanguage, blockId);
    }
    return block;
}

std::span<const char16_t> FindLocalizedResource(const StringModule& module, std::uint16_t blockId)
{
    return FindLocalizedResource(module, blockId, CurrentUiLanguage(), GetUserDefaultLangID());
}

int LoadLocalizedString(const StringModule& module, std::uint32_t stringId, char16_t* buffer,
                        LANGID current, LANGID userDefault)
{
    if (stringId >= kFirstOutOfRangeStringId) {
        SetLastError(kErrorResourceNameNotFound);
        return 0;
    }
    if (buffer == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    buffer[0] = u'\0';
    const std::span<const char16_t> block =
        FindLocalizedResource(module, BlockOfString(stringId), current, userDefault);
    if (block.empty()) {
        return 0;
    }
    // Walk the count-prefixed entries; the bounds checks keep a damaged block from being overrun.
    std::size_t position = 0;
    for (std::uint32_t skip = stringId % StringModule::kStringsPerBlock; skip > 0; --skip) {
        if (position >= block.size()) {
            return 0;
        }
        position += 1 + block[position];
    }
    if (position >= block.size()) {
        return 0;
    }
    const std::size_t count = block[position];
    const std::size_t available = block.size() - position - 1;
    const std::size_t n = std::min({count, available, static_cast<std::size_t>(kMaxStringUnits)});
    std::copy_n(block.data() + position + 1, n, buffer);
    buffer[n] = u'\0';
    return static_cast<int>(n);
}

int LoadLocalizedString(const StringModule& module, std::uint32_t stringId, char16_t* buffer)
{
    return LoadLocalizedString(module, stringId, buffer, CurrentUiLanguage(), GetUserDefaultLangID());
}

QString LoadLocalizedText(std::uint32_t stringId, bool* found)
{
    char16_t buffer[kStringBufferUnits];
    const int length = LoadLocalizedString(ProgramModule(), stringId, buffer);
    if (found) {
        *found = length > 0;
    }
    return QString::fromUtf16(buffer, length);
}

} // namespace vistrel
