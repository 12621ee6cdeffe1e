#pragma once

#include "app/UiLanguage.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vistrel {

// A set of per-language string tables in the string-table block layout: ids are grouped in blocks
// of 16 (block n holds ids (n - 1) * 16 .. (n - 1) * 16 + 15); a block is 16 entries, each a
// 16-bit unit count followed by that many UTF-16 units; a count of 0 is an absent string.
// A block exists for a language only when its table declares it.
class StringModule
{
public:
    static constexpr int kStringsPerBlock = 16;
    static constexpr std::size_t kMaxEntryUnits = 0xFFFF;

    using BlockTexts = std::array<std::u16string, kStringsPerBlock>;

    StringModule() = default;

    // Stores one block for a language, replacing an earlier one. Entries longer than a 16-bit
    // count can hold are cut to kMaxEntryUnits.
    void AddBlock(LANGID language, std::uint16_t blockId, const BlockTexts& entries);

    // The block stored under exactly this language, or an empty span.
    std::span<const char16_t> Block(LANGID language, std::uint16_t blockId) const;

    bool HasLanguage(LANGID language) const;
    std::vector<LANGID> Languages() const;

    // Reads one table file (UTF-8 JSON, see resources/strings/README.md) for the given language.
    // Returns false and says why in *error when the file is malformed; nothing is stored then.
    bool AddTableFile(LANGID language, const QByteArray& json, QString* error);

    // Reads every "<hex language id>.json" in a folder (e.g. ":/strings"). Problems are appended
    // to *errors; well-formed tables are kept.
    static StringModule FromDirectory(const QString& folder, QStringList* errors = nullptr);

private:
    std::map<std::pair<LANGID, std::uint16_t>, std::vector<char16_t>> blocks;
};

} // namespace vistrel
