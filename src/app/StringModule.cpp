#include "app/StringModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace vistrel {
namespace {

std::optional<std::uint32_t> ParseDecimalKey(const QString& key, std::uint32_t maximum)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(key).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qulonglong value = key.toULongLong(&ok, 10);
    if (!ok || value > maximum) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

void StringModule::AddBlock(LANGID language, std::uint16_t blockId, const BlockTexts& entries)
{
    std::vector<char16_t> units;
    for (const std::u16string& text : entries) {
        const std::size_t count = std::min(text.size(), kMaxEntryUnits);
        units.push_back(static_cast<char16_t>(count));
        units.insert(units.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count));
    }
    blocks[{language, blockId}] = std::move(units);
}

std::span<const char16_t> StringModule::Block(LANGID language, std::uint16_t blockId) const
{
    const auto found = blocks.find({language, blockId});
    if (found == blocks.end()) {
        return {};
    }
    return found->second;
}

bool StringModule::HasLanguage(LANGID language) const
{
    const auto first = blocks.lower_bound({language, 0});
    return first != blocks.end() && first->first.first == language;
}

std::vector<LANGID> StringModule::Languages() const
{
    std::vector<LANGID> languages;
    for (const auto& [key, units] : blocks) {
        if (languages.empty() || languages.back() != key.first) {
            languages.push_back(key.first);
        }
    }
    return languages;
}

bool StringModule::AddTableFile(LANGID language, const QByteArray& json, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        return fail(QStringLiteral("not JSON: %1").arg(parseError.errorString()));
    }
    if (!document.isObject() || !document.object().value(QStringLiteral("blocks")).isObject()) {
        return fail(QStringLiteral("no \"blocks\" object"));
    }
    const QJsonObject blockObjects = document.object().value(QStringLiteral("blocks")).toObject();

    // Everything is checked before anything is stored, so a bad file leaves no half table behind.
    std::vector<std::pair<std::uint16_t, BlockTexts>> parsed;
    for (auto block = blockObjects.begin(); block != blockObjects.end(); ++block) {
        const auto blockId = ParseDecimalKey(block.key(), 0xFFFF);
        if (!blockId || *blockId == 0) {
            return fail(QStringLiteral("block \"%1\" is not a block number").arg(block.key()));
        }
        if (!block.value().isObject()) {
            return fail(QStringLiteral("block %1 is not an object").arg(*blockId));
        }
        const std::uint32_t firstId = (*blockId - 1) * kStringsPerBlock;
        BlockTexts texts;
        const QJsonObject strings = block.value().toObject();
        for (auto entry = strings.begin(); entry != strings.end(); ++entry) {
            const auto stringId = ParseDecimalKey(entry.key(), 0xFFFFFFFF);
            if (!stringId || *stringId < firstId || *stringId >= firstId + kStringsPerBlock) {
                return fail(QStringLiteral("\"%1\" is not a string id of block %2").arg(entry.key()).arg(*blockId));
            }
            if (!entry.value().isString() || entry.value().toString().isEmpty()) {
                return fail(QStringLiteral("string %1 is not a non-empty text").arg(*stringId));
            }
            const QString text = entry.value().toString();
            if (static_cast<std::size_t>(text.size()) > kMaxEntryUnits) {
                return fail(QStringLiteral("string %1 is longer than %2 units").arg(*stringId).arg(kMaxEntryUnits));
            }
            texts[*stringId - firstId] = text.toStdU16String();
        }
        parsed.emplace_back(static_cast<std::uint16_t>(*blockId), std::move(texts));
    }
    for (const auto& [blockId, texts] : parsed) {
        AddBlock(language, blockId, texts);
    }
    return true;
}

StringModule StringModule::FromDirectory(const QString& folder, QStringList* errors)
{
    static const QRegularExpression tableName(QStringLiteral("^([0-9A-Fa-f]{4})\\.json$"));
    StringModule module;
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    if (names.isEmpty() && errors) {
        errors->append(QStringLiteral("%1: no string tables").arg(folder));
    }
    for (const QString& name : names) {
        const QRegularExpressionMatch match = tableName.match(name);
        if (!match.hasMatch()) {
            if (errors) {
                errors->append(QStringLiteral("%1: not named after a language id").arg(name));
            }
            continue;
        }
        const auto language = static_cast<LANGID>(match.captured(1).toUInt(nullptr, 16));
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            if (errors) {
                errors->append(QStringLiteral("%1: %2").arg(name, file.errorString()));
            }
            continue;
        }
        QString error;
        if (!module.AddTableFile(language, file.readAll(), &error) && errors) {
            errors->append(QStringLiteral("%1: %2").arg(name, error));
        }
    }
    return module;
}

} // namespace vistrel
