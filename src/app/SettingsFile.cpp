#include "app/SettingsFile.h"

#include "app/Diagnostics.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vistrel {
namespace {

constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";
// QDataStream's length of a null string or byte array.
constexpr quint32 kNullBlock = 0xFFFFFFFF;

constexpr std::pair<char, char> kEscapes[] = {
    {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'},  {'t', '\t'},
    {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'},
};

// Typed values that hold neither a number nor text: they read as no value.
constexpr QLatin1StringView kOtherTypedValues[] = {
    QLatin1StringView("@DateTime("), QLatin1StringView("@Rect("), QLatin1StringView("@Size("),
    QLatin1StringView("@Point("), QLatin1StringView("@Invalid("),
};

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || IsLineEnd(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int DigitValue(char c, int base)
{
    const int value = c >= '0' && c <= '9' ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : base;
    return value < base ? value : -1;
}

// One logical line of the file; equals is the offset of its first "=" outside quotes, or -1.
struct Line
{
    QByteArrayView text;
    qsizetype equals = -1;
};

// The next line from pos on, past blank lines and comments. A quoted part may run over line ends; a
// backslash takes the character after it (a line end included) out of the line's structure.
bool NextLine(QByteArrayView data, qsizetype& pos, Line& line)
{
    const qsizetype size = data.size();
    qsizetype start = pos;
    while (start < size && IsSpace(data[start]))
        ++start;
    qsizetype equals = -1;
    bool quoted = false;
    qsizetype i = start;
    while (i < size) {
        const char c = data[i++];
        if (c == '=') {
            if (!quoted && equals < 0)
                equals = i - 1 - start;
        } else if (c == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size && IsLineEnd(escaped) && IsLineEnd(data[i]) && data[i] != escaped)
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && i == start + 1) {
            // A comment line: skip it and the space after it.
            while (i < size && !IsLineEnd(data[i]))
                ++i;
            while (i < size && IsSpace(data[i]))
                ++i;
            start = i;
        } else if ((c == ';' || IsLineEnd(c)) && !quoted) {
            --i;
            break;
        }
    }
    pos = i;
    line = {data.sliced(start, i - start), equals};
    return !line.text.isEmpty();
}

// A key or section name: "\" stands for "/", "%XX" and "%UXXXX" for the character with that code.
QString UnescapedKey(QByteArrayView written)
{
    const QString text = QString::fromUtf8(written);
    QString key;
    key.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < text.size()) {
            const bool wide = text[i + 1] == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const ushort code = first + digits <= text.size() ? text.sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                key += QChar(code);
                i = first + digits;
                continue;
            }
        }
        key += c;
        ++i;
    }
    return key;
}

void ChopTrailingBlanks(QString& text, qsizetype keep)
{
    qsizetype end = text.size();
    while (end > keep && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    text.truncate(end);
}

// The text of a value with its quotes and escapes undone; commas outside quotes make it a list.
struct ValueText
{
    QString text;
    QStringList items;
    bool isList = false;
};

ValueText Unescaped(QByteArrayView written)
{
    const qsizetype size = written.size();
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    ValueText value;
    QString& current = value.text;
    bool inQuotes = false;
    bool currentQuoted = false;
    // Blanks up to keep came from escapes or quotes and stay; blanks after it are trimmed at the end.
    qsizetype keep = 0;
    // A value that ends inside an escape keeps its trailing blanks.
    bool trim = true;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < size && IsBlank(written[i]))
            ++i;
        keep = current.size();
    };
    skipBlanks();
    while (i < size) {
        const char c = written[i];
        if (c == '\\') {
            if (++i == size) {
                trim = false;
                break;
            }
            const char code = written[i++];
            const auto* simple = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                              [code](const auto& e) { return e.first == code; });
            if (simple != std::end(kEscapes)) {
                current += QLatin1Char(simple->second);
            } else if (code == 'x' || DigitValue(code, 8) >= 0) {
                const int base = code == 'x' ? 16 : 8;
                if (base == 16 && i == size) {
                    trim = false;
                    break;
                }
                if (base == 16 && DigitValue(written[i], base) < 0) {
                    // "\x" without digits stands for nothing.
                } else {
                    char16_t escaped = base == 8 ? char16_t(code - '0') : 0;
                    for (; i < size && DigitValue(written[i], base) >= 0; ++i)
                        escaped = char16_t(escaped * base + DigitValue(written[i], base));
                    current += QChar(escaped);
                    if (i == size) {
                        trim = false;
                        break;
                    }
                }
            } else if (IsLineEnd(code)) {
                if (i < size && IsLineEnd(written[i]) && written[i] != code)
                    ++i;
            }
            keep = current.size();
        } else if (c == '"') {
            ++i;
            currentQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!currentQuoted)
                ChopTrailingBlanks(current, keep);
            value.isList = true;
            value.items.append(std::exchange(current, QString()));
            currentQuoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype end = i + 1;
            while (end < size && written[end] != '\\' && written[end] != '"' && written[end] != ',')
                ++end;
            current += fromUtf8(written.sliced(i, end - i));
            i = end;
        }
    }
    if (trim && !currentQuoted)
        ChopTrailingBlanks(current, keep);
    if (value.isList)
        value.items.append(current);
    return value;
}

// A length-prefixed block of a QDataStream, never longer than what is left of the stream.
std::optional<QByteArray> ReadBlock(QDataStream& in)
{
    quint32 length = 0;
    in >> length;
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    if (length == kNullBlock)
        return QByteArray();
    if (length > in.device()->bytesAvailable())
        return std::nullopt;
    QByteArray block(length, Qt::Uninitialized);
    in.readRawData(block.data(), block.size());
    return block;
}

template <typename T>
QVariant ReadNumber(QDataStream& in)
{
    T number {};
    in >> number;
    return in.status() == QDataStream::Ok ? QVariant::fromValue(number) : QVariant();
}

// The bytes of "@Variant(...)": a QVariant as QDataStream writes it in Qt 4.0's format (the type's
// number, then the value). Only the types a number or text can arrive as are read.
QVariant StoredVariant(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 type = 0;
    in >> type;
    switch (type) {
    case QMetaType::Int: return ReadNumber<qint32>(in);
    case QMetaType::UInt: return ReadNumber<quint32>(in);
    case QMetaType::LongLong: return ReadNumber<qint64>(in);
    case QMetaType::ULongLong: return ReadNumber<quint64>(in);
    case QMetaType::QByteArray: {
        const auto block = ReadBlock(in);
        return block ? QVariant(*block) : QVariant();
    }
    case QMetaType::QString: {
        const auto block = ReadBlock(in);
        if (!block || block->size() % 2 != 0)
            return {};
        QString text(block->size() / 2, Qt::Uninitialized);
        for (qsizetype k = 0; k < text.size(); ++k)
            text[k] = QChar(qFromBigEndian<char16_t>(block->constData() + 2 * k));
        return text;
    }
    default: return {};
    }
}

// What one piece of text stands for: text, or the value of QSettings' "@Type(...)" notation ("@@"
// escapes a leading "@").
QVariant TypedValue(const QString& text)
{
    if (!text.startsWith(u'@'))
        return text;
    if (text.endsWith(u')')) {
        if (text.startsWith(QLatin1StringView("@ByteArray(")))
            return QStringView(text).sliced(11).chopped(1).toLatin1();
        if (text.startsWith(QLatin1StringView("@String(")))
            return QStringView(text).sliced(8).chopped(1).toString();
        // The closing parenthesis is part of the stream, as QSettings reads it.
        if (text.startsWith(QLatin1StringView("@Variant(")))
            return StoredVariant(QStringView(text).sliced(9).toLatin1());
        if (std::any_of(std::begin(kOtherTypedValues), std::end(kOtherTypedValues),
                        [&](QLatin1StringView prefix) { return text.startsWith(prefix); }))
            return {};
    }
    return text.startsWith(QLatin1StringView("@@")) ? text.sliced(1) : text;
}

// A list is text items unless one of them uses the "@Type(...)" notation.
QVariant ListValue(QStringList items)
{
    const bool typed = std::any_of(items.cbegin(), items.cend(), [](const QString& item) {
        return item.startsWith(u'@') && !item.startsWith(QLatin1StringView("@@"));
    });
    if (typed) {
        QVariantList values;
        for (const QString& item : items)
            values.append(TypedValue(item));
        return values;
    }
    for (QString& item : items) {
        if (item.startsWith(u'@'))
            item.remove(0, 1);
    }
    return items;
}

bool ReadFromDevice(QIODevice& device, QSettings::SettingsMap& map)
{
    map = ReadSettingsFile(device.readAll());
    return true;
}

bool RefuseWrite(QIODevice&, const QSettings::SettingsMap&)
{
    // The configuration is read only.
    return false;
}

} // namespace

QVariant ReadSettingsValue(QByteArrayView written)
{
    ValueText value = Unescaped(written);
    return value.isList ? ListValue(std::move(value.items)) : TypedValue(value.text);
}

QSettings::SettingsMap ReadSettingsFile(QByteArrayView contents)
{
    if (contents.startsWith(kUtf8Bom))
        contents = contents.sliced(kUtf8Bom.size());
    QSettings::SettingsMap map;
    QString section;
    qsizetype pos = 0;
    Line line;
    while (NextLine(contents, pos, line)) {
        if (line.text.startsWith('[')) {
            const qsizetype close = line.text.indexOf(']');
            const QByteArrayView name = line.text.first(close < 0 ? line.text.size() : close).sliced(1).trimmed();
            section.clear();
            if (name.compare("general", Qt::CaseInsensitive) != 0) {
                section = name.compare("%general", Qt::CaseInsensitive) == 0 ? QString::fromLatin1(name.sliced(1))
                                                                             : UnescapedKey(name);
                section += u'/';
            }
        } else if (line.equals >= 0) {
            const QString key = UnescapedKey(line.text.first(line.equals).trimmed());
            // QSettings looks "A/B" up among the lines of section [A] only, never as "A\B" in the
            // general section.
            if (!section.isEmpty() || !key.contains(u'/'))
                map.insert(section + key, ReadSettingsValue(line.text.sliced(line.equals + 1)));
        }
    }
    return map;
}

#ifdef Q_OS_WIN
std::optional<QSettings::SettingsMap> ReadSettingsFileAt(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile() || info.size() > kMaxSettingsFileBytes) {
        qCWarning(lcConfig).noquote() << "ignoring" << path << "- not a plain file of at most"
                                      << kMaxSettingsFileBytes << "bytes";
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray contents = file.read(kMaxSettingsFileBytes + 1);
    if (contents.size() > kMaxSettingsFileBytes)
        return std::nullopt;
    return ReadSettingsFile(contents);
}
#else
std::optional<QSettings::SettingsMap> ReadSettingsFileAt(const QString& path)
{
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of waiting for one.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        qCWarning(lcConfig).noquote() << "ignoring" << path << "- not a regular file";
        return std::nullopt;
    }
    if (status.st_size > kMaxSettingsFileBytes) {
        qCWarning(lcConfig).noquote() << "ignoring" << path << "-" << status.st_size << "bytes, more than"
                                      << kMaxSettingsFileBytes;
        return std::nullopt;
    }
    // Read one byte past the cap, so a file that grew meanwhile is refused too.
    QByteArray contents(kMaxSettingsFileBytes + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < contents.size()) {
        const ssize_t got = ::read(fd, contents.data() + filled, static_cast<std::size_t>(contents.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            qCWarning(lcConfig).noquote() << "cannot read" << path << "-" << qt_error_string(errno);
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > kMaxSettingsFileBytes) {
        qCWarning(lcConfig).noquote() << "ignoring" << path << "- larger than" << kMaxSettingsFileBytes << "bytes";
        return std::nullopt;
    }
    contents.truncate(filled);
    return ReadSettingsFile(contents);
}
#endif

QSettings::Format ConfigurationFormat()
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return QSettings::NativeFormat;
#else
    // The same ".conf" files in the same places as QSettings' native format here.
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), ReadFromDevice, RefuseWrite, Qt::CaseSensitive);
    return format;
#endif
}

} // namespace vistrel
