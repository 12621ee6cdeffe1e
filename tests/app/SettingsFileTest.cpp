// The settings file reader: it reads what QSettings writes and what people write by hand the way
// QSettings does, and serialized values that would make Qt's own reader allocate without bound or
// recurse until the stack ends read as no value.
#include "app/SettingsFile.h"

#include "app/Configuration.h"

#include <gtest/gtest.h>

#include <QDataStream>
#include <QFile>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>

namespace vistrel {
namespace {

const QString kKey = QLatin1String(kUiLanguageKey);

QVariant OurValue(const QByteArray& file)
{
    return ReadSettingsFile(file).value(kKey);
}

// A file with one temporary folder of its own, read by QSettings' INI reader for comparison.
class QtReading
{
public:
    QVariant ValueIn(const QByteArray& contents)
    {
        const QString path = FreshPath();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        return QSettings(path, QSettings::IniFormat).value(kKey);
    }

    QByteArray Written(const QVariant& value)
    {
        const QString path = FreshPath();
        QSettings(path, QSettings::IniFormat).setValue(kKey, value);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

private:
    // A fresh name each time, so QSettings' cache of parsed files never answers for an older one.
    QString FreshPath() { return folder.filePath(QStringLiteral("%1.ini").arg(count++)); }

    QTemporaryDir folder;
    int count = 0;
};

// The types this reader decodes from "@Variant(...)"; any other type reads as no value.
bool IsDecoded(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return true;
    default:
        return false;
    }
}

// The bytes as a "@Variant(...)" value of the language key, every byte escaped.
QByteArray SerializedFile(const QByteArray& stream)
{
    QByteArray file = "[Config]\nUILanguage=@Variant(";
    for (const char byte : stream)
        file += "\\x" + QByteArray::number(static_cast<uchar>(byte), 16);
    return file + ")\n";
}

QByteArray Serialized(const QVariant& value)
{
    QByteArray stream;
    QDataStream out(&stream, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_4_0);
    out << value;
    return stream;
}

TEST(SettingsFile, ReadsValuesAsQSettingsDoes)
{
    const QVariant values[] = {
        int(0x0407), uint(0x10407), qlonglong(1031), qulonglong(0xFFFF),
        QStringLiteral("0x0407"), QStringLiteral(" 1031 "), QStringLiteral("a,b;c=d\"e\\f"),
        QString::fromUtf8("Größe\n\t"), QStringLiteral("@1031"), QStringLiteral(""),
        QByteArray("1031"), QByteArray("\0\x7F\xFF", 3), QStringList {QStringLiteral("1"), QStringLiteral("2")},
        1031.0, true, QVariant::fromValue<short>(1031), QRect(1, 2, 3, 4), QVariantList {1031}, QVariant(),
    };
    QtReading qt;
    for (const QVariant& value : values) {
        // As QSettings writes it, and as a serialized value of that type.
        for (const QByteArray& file : {qt.Written(value), SerializedFile(Serialized(value))}) {
            const QVariant theirs = qt.ValueIn(file);
            const QVariant ours = OurValue(file);
            EXPECT_EQ(ParseUiLanguageValue(ours), ParseUiLanguageValue(theirs)) << file.toStdString();
            if (IsDecoded(theirs)) {
                EXPECT_EQ(ours, theirs) << file.toStdString();
            }
        }
    }
}

TEST(SettingsFile, ReadsHandWrittenFilesAsQSettingsDoes)
{
    const struct
    {
        const char* what;
        QByteArray file;
        std::optional<std::uint32_t> expected;
    } cases[] = {
        {"plain", "[Config]\nUILanguage=0x0407\n", 0x0407},
        {"comments and blank lines", "; mine\n\n[Config]\n  ; German\nUILanguage = 1031 ; for now\n", 1031},
        {"Windows line ends and a byte order mark", "\xEF\xBB\xBF[Config]\r\nUILanguage=1031\r\n", 1031},
        {"quoted", "[Config]\nUILanguage=\" 0x040C \"\n", 0x040C},
        {"escaped digits", "[Config]\nUILanguage=\\x31\\060\\x33\\61\n", 1031},
        {"the key in the general section", "[General]\nConfig\\UILanguage=1031\n", std::nullopt},
        {"an escaped key", "[Con%66ig]\nUI%U004Canguage=1031\n", 1031},
        {"the section spelled otherwise", "[config]\nUILanguage=1031\n", std::nullopt},
        {"the last of two wins", "[Config]\nUILanguage=1031\n[Config]\nUILanguage=1036\n", 1036},
        {"a section named with a slash", "[Config\\Sub]\nUILanguage=1031\n", std::nullopt},
        {"a key named with a slash", "[Config]\nSub\\UILanguage=1031\n", std::nullopt},
        {"a list", "[Config]\nUILanguage=1031, 1036\n", std::nullopt},
        {"a quoted comma", "[Config]\nUILanguage=\"1031,\"\n", std::nullopt},
        {"a quote over a line end", "[Config]\nUILanguage=\"10\n31\"\n", std::nullopt},
        {"a byte array", "[Config]\nUILanguage=@ByteArray(1031)\n", 1031},
        {"a string", "[Config]\nUILanguage=@String(0x407)\n", 0x0407},
        {"an escaped at sign", "[Config]\nUILanguage=@@1031\n", std::nullopt},
        {"a line without a value", "[Config]\nUILanguage\n", std::nullopt},
        {"an unclosed section", "[Config\nUILanguage=1031\n", 1031},
        {"a short serialized number", "[Config]\nUILanguage=@Variant(\\0\\0\\0\\x2\\0\\0\\x4)\n", 0x00000429},
        {"an escape at the end", "[Config]\nUILanguage=1031 \\", 1031},
    };
    QtReading qt;
    for (const auto& c : cases) {
        const QVariant ours = OurValue(c.file);
        EXPECT_EQ(ParseUiLanguageValue(ours), c.expected) << c.what;
        EXPECT_EQ(ParseUiLanguageValue(ours), ParseUiLanguageValue(qt.ValueIn(c.file))) << c.what;
    }
}

// Serialized values that claim more than they hold or nest without end. QSettings' own reader tries
// to reserve 130 GB for the first and overflows the stack on the second.
TEST(SettingsFile, HostileSerializedValuesReadAsNoValue)
{
    constexpr int kDepth = 100000;
    QByteArray nested;
    for (int level = 0; level < kDepth; ++level)
        nested += QByteArray::fromHex("0000000900000001");
    nested += Serialized(int(0x0407));
    const struct
    {
        const char* what;
        QByteArray stream;
    } cases[] = {
        {"a list claiming 0xF900000C entries", QByteArray::fromHex("00000009F900000C0000000200000407")},
        {"text claiming 4 GB", QByteArray::fromHex("0000000AFFFFFFFE0030")},
        {"bytes claiming 2 GB", QByteArray::fromHex("0000000C8000000031")},
        {"text of an odd length", QByteArray::fromHex("0000000A00000003003000")},
        {"lists nested 100000 deep", nested},
    };
    for (const auto& c : cases) {
        QByteArray file = SerializedFile(c.stream);
        EXPECT_EQ(ParseUiLanguageValue(OurValue(file)), std::nullopt) << c.what;
        // The file's other keys are still read.
        file.replace("UILanguage=", "Other=");
        file += "UILanguage=0x0407\n";
        EXPECT_EQ(ParseUiLanguageValue(OurValue(file)), 0x0407) << c.what;
    }
}

} // namespace
} // namespace vistrel
