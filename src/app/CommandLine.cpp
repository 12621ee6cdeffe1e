#include "app/CommandLine.h"

#include "capture/sim/PictureFile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace vistrel {
namespace {

constexpr const char* kProgramName = "vistrel";
constexpr const char* kSimulateOption = "simulate";
constexpr const char* kDefaultSimulation = "scanner";
constexpr std::array kSimulatedKinds {"scanner", "camera"};

// Options of QGuiApplication and QApplication, which stay on the command line for the toolkit.
struct ToolkitOption
{
    const char* name;
    bool takesValue;
};
constexpr std::array kToolkitOptions {
    ToolkitOption {"platform", true},       ToolkitOption {"platformpluginpath", true},
    ToolkitOption {"platformtheme", true},  ToolkitOption {"plugin", true},
    ToolkitOption {"qwindowgeometry", true}, ToolkitOption {"qwindowicon", true},
    ToolkitOption {"qwindowtitle", true},   ToolkitOption {"reverse", false},
    ToolkitOption {"session", true},        ToolkitOption {"style", true},
    ToolkitOption {"stylesheet", true},     ToolkitOption {"widgetcount", false},
    ToolkitOption {"display", true},        ToolkitOption {"name", true},
    ToolkitOption {"title", true},          ToolkitOption {"visual", true},
    ToolkitOption {"nograb", false},        ToolkitOption {"dograb", false},
    ToolkitOption {"sync", false},
};

constexpr const char* kImageVariable = "VISTREL_SIMULATOR_IMAGE";

// A picture for the simulator is a regular file of a size it will read.
bool IsPictureFile(const QFileInfo& file)
{
    return file.isFile() && file.isReadable() && file.size() <= sim::kMaxPictureFileBytes;
}

CommandLine Refused(const QString& why)
{
    CommandLine refused;
    refused.action = CommandLine::Action::Refuse;
    refused.text = QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                       .arg(QLatin1String(kProgramName), why);
    return refused;
}

// The parser has no option with an optional value: "--simulate" alone stands for its default.
QStringList WithSimulateDefault(QStringList arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--simulate") || argument == QLatin1String("-simulate"))
            arguments[i] = QStringLiteral("--%1=%2").arg(QLatin1String(kSimulateOption), QLatin1String(kDefaultSimulation));
    }
    return arguments;
}

// The device list as VISTREL_SIMULATOR takes it; nullopt names the first unknown device.
std::optional<QString> CheckedDeviceList(const QString& list, QString* unknown)
{
    if (list.trimmed().isEmpty())
        return list;   // no simulated device at all
    for (const QString& item : list.split(QLatin1Char(','))) {
        const QString name = item.trimmed().toLower();
        const bool known = std::any_of(kSimulatedKinds.begin(), kSimulatedKinds.end(),
                                       [&](const char* kind) { return name == QLatin1String(kind); });
        if (!known) {
            *unknown = item.trimmed();
            return std::nullopt;
        }
    }
    return list;
}

QString HelpText(const QCommandLineParser& parser)
{
    // Without an application object the parser cannot know the program's name.
    QString text = parser.helpText();
    text.replace(QLatin1String("<executable_name>"), QLatin1String(kProgramName));
    return text;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tavrik Film Scanner: the live picture of a USB film and slide scanner, a strip of scanned\n"
        "frames, and Save to JPEG or TIFF files.\n"
        "Diagnostics: QT_LOGGING_RULES=\"vistrel.*=true\" (categories vistrel.capture, vistrel.still,\n"
        "vistrel.save, vistrel.devices)."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption simulate(QLatin1String(kSimulateOption),
                                      QStringLiteral("Use simulated devices instead of real ones: \"scanner\" (the default "
                                                     "when the value is left out), \"camera\", or a list such as "
                                                     "\"camera,scanner\". Write the value as --simulate=LIST. "
                                                     "The same as VISTREL_SIMULATOR."),
                                      QStringLiteral("devices"));
    const QCommandLineOption image(QStringLiteral("simulator-image"),
                                   QStringLiteral("The picture the simulated devices show (implies --simulate). "
                                                  "The same as VISTREL_SIMULATOR_IMAGE."),
                                   QStringLiteral("file"));
    const QCommandLineOption saveFolder(QStringLiteral("save-folder"),
                                        QStringLiteral("The save folder for this run; nothing is stored."),
                                        QStringLiteral("dir"));
    parser.addOptions({simulate, image, saveFolder});
    for (const ToolkitOption& toolkit : kToolkitOptions) {
        QCommandLineOption option(QLatin1String(toolkit.name));
        if (toolkit.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(WithSimulateDefault(arguments)))
        return Refused(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return Refused(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));

    CommandLine result;
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = HelpText(parser);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(QLatin1String(kProgramName), QLatin1String(VISTREL_VERSION));
        return result;
    }
    if (parser.isSet(simulate)) {
        QString unknown;
        result.simulate = CheckedDeviceList(parser.value(simulate), &unknown);
        if (!result.simulate)
            return Refused(QStringLiteral("--simulate: unknown device '%1' (known: scanner, camera).").arg(unknown));
    }
    if (parser.isSet(image)) {
        const QFileInfo file(parser.value(image));
        if (!IsPictureFile(file))
            return Refused(QStringLiteral("--simulator-image: cannot read the file '%1'.").arg(parser.value(image)));
        result.simulatorImage = file.absoluteFilePath();
    } else if (const QString named = qEnvironmentVariable(kImageVariable);
               !named.isEmpty() && (parser.isSet(simulate) || qEnvironmentVariableIsSet("VISTREL_SIMULATOR"))) {
        // The variable is held to what the option is held to.
        if (!IsPictureFile(QFileInfo(named)))
            return Refused(QStringLiteral("%1: cannot read the file '%2'.").arg(QLatin1String(kImageVariable), named));
    }
    if (parser.isSet(saveFolder)) {
        const QString folder = parser.value(saveFolder);
        if (folder.trimmed().isEmpty())
            return Refused(QStringLiteral("--save-folder: the folder is empty."));
        if (QFileInfo(folder).exists() && !QFileInfo(folder).isDir())
            return Refused(QStringLiteral("--save-folder: '%1' is not a folder.").arg(folder));
        result.saveFolder = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    }
    return result;
}

void ApplySimulatorOptions(const CommandLine& commandLine)
{
    if (commandLine.simulate)
        qputenv("VISTREL_SIMULATOR", commandLine.simulate->toLocal8Bit());
    if (commandLine.simulatorImage) {
        qputenv(kImageVariable, QFile::encodeName(*commandLine.simulatorImage));
        // A picture to show means the simulated scanner, unless devices were chosen already.
        if (!qEnvironmentVariableIsSet("VISTREL_SIMULATOR"))
            qputenv("VISTREL_SIMULATOR", kDefaultSimulation);
    }
}

} // namespace vistrel
