// The configured language: where it is looked up, how its text is read, and the start-up rule.
#include "app/Configuration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <chrono>
#include <functional>
#include <future>
#include <optional>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vistrel {
namespace {

// Per-user and system-wide stores in two fresh folders, so no case sees another's files.
class SettingsStores
{
public:
    SettingsStores()
    {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, user.path());
            QSettings::setPath(format, QSettings::SystemScope, system.path());
        }
    }

    static void Write(const QTemporaryDir& root, const QString& relative, const QByteArray& contents)
    {
        const QString path = root.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    // Every file under both roots with its contents, to show that reading changed nothing.
    QMap<QString, QByteArray> Snapshot() const
    {
        QMap<QString, QByteArray> files;
        for (const QTemporaryDir* root : {&user, &system}) {
            QDirIterator it(root->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                file.open(QIODevice::ReadOnly);
                files.insert(file.fileName(), file.readAll());
            }
        }
        return files;
    }

    QTemporaryDir user;
    QTemporaryDir system;
};

const QString kAppFile = QStringLiteral("Vistrel/Vistrel.conf");

QByteArray ConfigFile(const char* value)
{
    return QByteArray("[Config]\nUILanguage=") + value + "\n";
}

struct LookupCase
{
    const char* what;
    const char* userValue;   // nullptr: no per-user file
    const char* systemValue; // nullptr: no system-wide file
    std::optional<std::uint32_t> expected;
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.what;
}

class UiLanguageLookup : public testing::TestWithParam<LookupCase>
{
};

TEST_P(UiLanguageLookup, SearchesPerUserThenSystemWide)
{
    const LookupCase& c = GetParam();
    SettingsStores stores;
    if (c.userValue) {
        SettingsStores::Write(stores.user, kAppFile, ConfigFile(c.userValue));
    }
    if (c.systemValue) {
        SettingsStores::Write(stores.system, kAppFile, ConfigFile(c.systemValue));
    }
    const auto before = stores.Snapshot();
    EXPECT_EQ(ReadUiLanguageSetting(), c.expected) << c.what;
    EXPECT_EQ(stores.Snapshot(), before) << c.what << ": the stores were written";
}

INSTANTIATE_TEST_SUITE_P(
    Stores, UiLanguageLookup,
    testing::Values(LookupCase{"nothing anywhere", nullptr, nullptr, std::nullopt},
                    LookupCase{"per-user only", "0x0407", nullptr, 0x0407},
                    LookupCase{"system-wide only", nullptr, "0x0407", 0x0407},
                    LookupCase{"both: per-user wins", "1031", "0x040C", 0x0407},
                    LookupCase{"0xFFFF is read as it is", "0xFFFF", "0x0407", 0xFFFF},
                    LookupCase{"all 32 bits are read", "0x10407", nullptr, 0x10407},
                    LookupCase{"unreadable per-user value: system-wide answers", "German", "0x040C", 0x040C},
                    LookupCase{"unreadable everywhere", "0xZZ", "", std::nullopt},
                    LookupCase{"negative", "-1", nullptr, std::nullopt},
                    LookupCase{"wider than 32 bits", "0x100000000", nullptr, std::nullopt},
                    LookupCase{"a leading zero is still decimal", "0407", nullptr, 407},
                    LookupCase{"upper-case hex prefix", "0X0C07", nullptr, 0x0C07},
                    LookupCase{"a serialized list claiming 4 G entries: system-wide answers",
                               "@Variant(\\0\\0\\0\\t\\xf9\\0\\0\\f)", "0x040C", 0x040C}),
    [](const testing::TestParamInfo<LookupCase>& info) { return "Case" + std::to_string(info.index); });

TEST(UiLanguageLookup, IgnoresOtherKeysAndTheOrganisationWideFile)
{
    SettingsStores stores;
    SettingsStores::Write(stores.user, kAppFile, "[General]\nUILanguage=0x0407\n[Config]\nLanguage=0x0407\n");
    SettingsStores::Write(stores.user, QStringLiteral("Vistrel.conf"), ConfigFile("0x0407"));
    SettingsStores::Write(stores.system, QStringLiteral("Vistrel.conf"), ConfigFile("0x0407"));
    EXPECT_EQ(ReadUiLanguageSetting(), std::nullopt);
    EXPECT_FALSE(QFile::exists(stores.system.filePath(kAppFile))) << "the store was created";
}

#ifndef Q_OS_WIN
// A per-user file that is not a plain file, or too large, is skipped without waiting or reading
// it all: the system-wide file answers.
TEST(UiLanguageLookup, SkipsAFifoOrAnOversizedFileWithoutWaiting)
{
    struct
    {
        const char* what;
        std::function<void(const QString& path)> make;
    } cases[] = {
        {"a FIFO nobody writes to", [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path), 0600), 0); }},
        {"a folder", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path)); }},
        {"over 64 KiB, the value at its end",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("[Config]\n;" + QByteArray(70 * 1024, 'x') + "\nUILanguage=0x0407\n");
         }},
    };
    for (const auto& c : cases) {
        SettingsStores stores;
        SettingsStores::Write(stores.system, kAppFile, ConfigFile("0x040C"));
        const QString path = stores.user.filePath(kAppFile);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        c.make(path);
        auto lookup = std::async(std::launch::async, [] { return ReadUiLanguageSetting(); });
        const bool done = lookup.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!done) {
            // Let a reader that waits on the FIFO go, so the test can end.
            const int writer = ::open(QFile::encodeName(path), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        ASSERT_TRUE(done) << c.what << ": the start would hang";
        EXPECT_EQ(lookup.get(), std::optional<std::uint32_t>(0x040C)) << c.what;
    }
}
#endif

struct ValueCase
{
    const char* what;
    QVariant stored;
    std::optional<std::uint32_t> expected;
};

TEST(UiLanguageValue, AcceptsNumbersAndNumericText)
{
    const ValueCase cases[] = {
        {"32-bit number as the registry hands it over", QVariant(int(0x0407)), 0x0407},
        {"registry number with the top bit set", QVariant(int(-1)), 0xFFFFFFFFu},
        {"unsigned", QVariant(uint(0x10407)), 0x10407},
        {"64-bit in range", QVariant(qlonglong(0x040C)), 0x040C},
        {"64-bit out of range", QVariant(qlonglong(0x100000000LL)), std::nullopt},
        {"64-bit negative", QVariant(qlonglong(-5)), std::nullopt},
        {"text with spaces", QVariant(QStringLiteral(" 1031 ")), 1031},
        {"bare prefix", QVariant(QStringLiteral("0x")), std::nullopt},
        {"signed text", QVariant(QStringLiteral("+1031")), std::nullopt},
        {"hex with sign", QVariant(QStringLiteral("0x-407")), std::nullopt},
        {"a list", QVariant(QStringList{QStringLiteral("1031")}), std::nullopt},
        {"nothing", QVariant(), std::nullopt},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(ParseUiLanguageValue(c.stored), c.expected) << c.what;
    }
}

TEST(UiLanguageRule, OnlyTheWholeValue0xFFFFKeepsTheDefault)
{
    const struct
    {
        std::optional<std::uint32_t> setting;
        std::optional<LANGID> language;
    } cases[] = {
        {std::nullopt, std::nullopt}, {0xFFFF, std::nullopt}, {0x0407, 0x0407},
        {0x10407, 0x0407},            {0x1FFFF, 0xFFFF},      {0xFFFF0407, 0x0407},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UiLanguageFromSetting(c.setting), c.language) << std::hex << c.setting.value_or(0xDEAD);
    }
}

TEST(UiLanguageRule, AppliesToTheCurrentLanguage)
{
    const LANGID before = CurrentUiLanguage();
    const struct
    {
        const char* stored; // nullptr: nothing stored
        LANGID expected;
    } cases[] = {{nullptr, 0x0411}, {"0xFFFF", 0x0411}, {"garbage", 0x0411}, {"0x10407", 0x0407}, {"1036", 0x040C}};
    for (const auto& c : cases) {
        SettingsStores stores;
        if (c.stored) {
            SettingsStores::Write(stores.user, kAppFile, ConfigFile(c.stored));
        }
        SetCurrentUiLanguage(0x0411);
        ApplyUiLanguageSetting();
        EXPECT_EQ(CurrentUiLanguage(), c.expected) << (c.stored ? c.stored : "(none)");
    }
    SetCurrentUiLanguage(before);
}

} // namespace
} // namespace vistrel
