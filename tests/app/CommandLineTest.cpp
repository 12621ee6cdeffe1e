// The command line: options, their values and what is refused, read without an application object.
#include "app/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

namespace vistrel {
namespace {

using Action = CommandLine::Action;

struct Case
{
    const char* name;
    std::vector<QString> arguments;          // after the program's name
    Action action;
    std::optional<QString> simulate;
    std::optional<QString> saveFolder;       // "" stands for any, checked separately
    const char* textContains = "";
};

// Cases print as their names.
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

// Paths the cases use are made under a fresh folder.
class CommandLineTest : public ::testing::TestWithParam<Case>
{
protected:
    static void SetUpTestSuite()
    {
        folder = std::make_unique<QTemporaryDir>();
        QFile picture(folder->filePath(QStringLiteral("frame.jpg")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("not looked at here");
        QDir::setCurrent(folder->path());
    }
    static void TearDownTestSuite() { folder.reset(); }

    static inline std::unique_ptr<QTemporaryDir> folder;
};

TEST_P(CommandLineTest, ReadsWhatItIsGiven)
{
    const Case& c = GetParam();
    QStringList arguments {QStringLiteral("/usr/bin/vistrel")};
    for (const QString& argument : c.arguments)
        arguments << argument;

    const CommandLine result = ParseCommandLine(arguments);

    EXPECT_EQ(result.action, c.action) << result.text.toStdString();
    EXPECT_EQ(result.simulate, c.simulate);
    if (c.saveFolder) {
        EXPECT_EQ(result.saveFolder, QDir(folder->path()).filePath(*c.saveFolder));
    } else {
        EXPECT_EQ(result.saveFolder, std::nullopt);
    }
    EXPECT_TRUE(result.text.contains(QLatin1String(c.textContains))) << result.text.toStdString();
    if (c.action == Action::Refuse) {
        EXPECT_TRUE(result.text.contains(QLatin1String("--help"))) << "a refusal says where to look";
    }
}

const Case kCases[] = {
    {"Nothing", {}, Action::Run, {}, {}},
    {"Help", {"--help"}, Action::ShowHelp, {}, {}, "--save-folder <dir>"},
    {"HelpShort", {"-h"}, Action::ShowHelp, {}, {}, "Usage: vistrel"},
    {"HelpNamesTheDiagnostics", {"--help"}, Action::ShowHelp, {}, {}, "QT_LOGGING_RULES"},
    {"Version", {"--version"}, Action::ShowVersion, {}, {}, "vistrel 0."},
    {"SimulateAlone", {"--simulate"}, Action::Run, QStringLiteral("scanner"), {}},
    {"SimulateList", {"--simulate=camera,scanner"}, Action::Run, QStringLiteral("camera,scanner"), {}},
    {"SimulateAnyCase", {"--simulate=Camera, SCANNER"}, Action::Run, QStringLiteral("Camera, SCANNER"), {}},
    {"SimulateNothing", {"--simulate="}, Action::Run, QString(), {}},
    {"SimulateUnknownDevice", {"--simulate=camera,printer"}, Action::Refuse, {}, {}, "'printer'"},
    {"SimulateValueMustBeJoined", {"--simulate", "camera"}, Action::Refuse, {}, {}, "'camera'"},
    {"UnknownOption", {"--frobnicate"}, Action::Refuse, {}, {}, "Unknown option 'frobnicate'"},
    {"UnknownShortOption", {"-x"}, Action::Refuse, {}, {}, "Unknown option 'x'"},
    {"PositionalArgument", {"film.jpg"}, Action::Refuse, {}, {}, "unexpected argument 'film.jpg'"},
    {"SaveFolderRelative", {"--save-folder", "scans/today"}, Action::Run, {}, QStringLiteral("scans/today")},
    {"SaveFolderJoined", {"--save-folder=a/../b/"}, Action::Run, {}, QStringLiteral("b")},
    {"SaveFolderMissingValue", {"--save-folder"}, Action::Refuse, {}, {}, "Missing value after '--save-folder'"},
    {"SaveFolderEmpty", {"--save-folder", ""}, Action::Refuse, {}, {}, "empty"},
    {"SaveFolderIsAFile", {"--save-folder", "frame.jpg"}, Action::Refuse, {}, {}, "not a folder"},
    {"ImageMissing", {"--simulator-image", "nowhere.jpg"}, Action::Refuse, {}, {}, "'nowhere.jpg'"},
    {"ToolkitOptionsStay", {"-platform", "offscreen", "-style=Fusion", "-reverse"}, Action::Run, {}, {}},
    {"HelpWinsOverTheRest", {"--save-folder", "x", "--help"}, Action::ShowHelp, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST_F(CommandLineTest, TheSimulatorImageIsAnAbsolutePath)
{
    const CommandLine result = ParseCommandLine({QStringLiteral("vistrel"), QStringLiteral("--simulator-image"),
                                                 QStringLiteral("frame.jpg")});
    ASSERT_EQ(result.action, Action::Run) << result.text.toStdString();
    EXPECT_EQ(result.simulatorImage, QDir(folder->path()).filePath(QStringLiteral("frame.jpg")));
}

// VISTREL_SIMULATOR_IMAGE is refused where --simulator-image would be, and in the same words.
TEST_F(CommandLineTest, TheSimulatorImageVariableIsHeldToTheOptionsRules)
{
    const QString picture = QDir(folder->path()).filePath(QStringLiteral("frame.jpg"));
    const struct
    {
        QString named;
        bool refused;
    } cases[] = {
        {folder->path(), true},
        {QStringLiteral("/dev/zero"), true},
        {QDir(folder->path()).filePath(QStringLiteral("nowhere.jpg")), true},
        {picture, false},
    };
    qputenv("VISTREL_SIMULATOR", "scanner");
    for (const auto& c : cases) {
        qputenv("VISTREL_SIMULATOR_IMAGE", QFile::encodeName(c.named));
        const CommandLine byVariable = ParseCommandLine({QStringLiteral("vistrel")});
        const CommandLine byOption =
            ParseCommandLine({QStringLiteral("vistrel"), QStringLiteral("--simulator-image"), c.named});
        EXPECT_EQ(byVariable.action == Action::Refuse, c.refused) << c.named.toStdString();
        EXPECT_EQ(byOption.action == Action::Refuse, c.refused) << c.named.toStdString();
        if (c.refused) {
            EXPECT_TRUE(byVariable.text.startsWith(
                QStringLiteral("vistrel: VISTREL_SIMULATOR_IMAGE: cannot read the file '%1'.\n").arg(c.named)))
                << byVariable.text.toStdString();
        }
    }
    qunsetenv("VISTREL_SIMULATOR_IMAGE");
    qunsetenv("VISTREL_SIMULATOR");
}

// The options reach the capture backend through the variables it reads; nothing else changes.
struct EnvironmentCase
{
    const char* name;
    std::optional<QString> simulate, image;
    const char* presetSimulator;             // nullptr: unset before
    const char* expectSimulator;             // nullptr: unset after
};

// Cases print as their names.
void PrintTo(const EnvironmentCase& c, std::ostream* os)
{
    *os << c.name;
}

class SimulatorOptionsTest : public ::testing::TestWithParam<EnvironmentCase>
{
protected:
    void TearDown() override
    {
        qunsetenv("VISTREL_SIMULATOR");
        qunsetenv("VISTREL_SIMULATOR_IMAGE");
    }
};

TEST_P(SimulatorOptionsTest, SetsTheSimulatorsVariables)
{
    const EnvironmentCase& c = GetParam();
    qunsetenv("VISTREL_SIMULATOR");
    qunsetenv("VISTREL_SIMULATOR_IMAGE");
    if (c.presetSimulator)
        qputenv("VISTREL_SIMULATOR", c.presetSimulator);
    CommandLine commandLine;
    commandLine.simulate = c.simulate;
    commandLine.simulatorImage = c.image;

    ApplySimulatorOptions(commandLine);

    EXPECT_EQ(qEnvironmentVariableIsSet("VISTREL_SIMULATOR"), c.expectSimulator != nullptr);
    if (c.expectSimulator) {
        EXPECT_EQ(qgetenv("VISTREL_SIMULATOR"), QByteArray(c.expectSimulator));
    }
    EXPECT_EQ(qEnvironmentVariableIsSet("VISTREL_SIMULATOR_IMAGE"), c.image.has_value());
    if (c.image) {
        EXPECT_EQ(qEnvironmentVariable("VISTREL_SIMULATOR_IMAGE"), *c.image);
    }
}

const EnvironmentCase kEnvironmentCases[] = {
    {"NothingChosen", {}, {}, nullptr, nullptr},
    {"NothingChosenKeepsTheVariable", {}, {}, "camera", "camera"},
    {"OptionReplacesTheVariable", QStringLiteral("scanner"), {}, "camera", "scanner"},
    {"ImageAloneSimulatesTheScanner", {}, QStringLiteral("/pictures/frame.jpg"), nullptr, "scanner"},
    {"ImageKeepsTheChosenDevices", {}, QStringLiteral("/pictures/frame.jpg"), "camera", "camera"},
    {"ImageWithOption", QStringLiteral("camera,scanner"), QStringLiteral("/p.jpg"), nullptr, "camera,scanner"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimulatorOptionsTest, ::testing::ValuesIn(kEnvironmentCases),
                         [](const ::testing::TestParamInfo<EnvironmentCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel
