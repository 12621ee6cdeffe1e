#include "app/CommandLine.h"
#include "app/VistrelApp.h"
#include "window/SaveFolder.h"
#include "window/VistrelDlg.h"

#include <QLineEdit>

#include <cstdio>

namespace {

// The folder of --save-folder, for this run: into the folder box and from there into the settings,
// as if the user had typed it.
void UseSaveFolder(vistrel::CVistrelDlg& window, const QString& folder)
{
    if (auto* box = window.ControlAs<QLineEdit>(vistrel::IdFolderBox)) {
        box->setText(vistrel::WithTrailingSeparator(folder));
        window.UpdateData(true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // The command line is read before the toolkit starts, so --help and --version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const vistrel::CommandLine commandLine = vistrel::ParseCommandLine(arguments);
    switch (commandLine.action) {
    case vistrel::CommandLine::Action::ShowHelp:
    case vistrel::CommandLine::Action::ShowVersion:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
        return 0;
    case vistrel::CommandLine::Action::Refuse:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
        return vistrel::kExitUsage;
    case vistrel::CommandLine::Action::Run:
        break;
    }
    vistrel::ApplySimulatorOptions(commandLine);

    vistrel::CVistrelApp app(argc, argv, [&commandLine] {
        auto window = std::make_unique<vistrel::CVistrelDlg>();
        if (commandLine.saveFolder)
            UseSaveFolder(*window, *commandLine.saveFolder);
        return window;
    });
    return app.InitInstance();
}
