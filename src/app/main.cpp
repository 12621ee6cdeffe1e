#include "app/CloseSignals.h"
#include "app/CommandLine.h"
#include "app/Diagnostics.h"
#include "app/VistrelApp.h"
#include "images/StripJournal.h"
#include "window/SaveFolder.h"
#include "window/StripKeeper.h"
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
        // First, so that a signal during the start is a close request as well; it waits in the loop.
        auto closeSignals = std::make_unique<vistrel::CloseSignals>();
        auto window = std::make_unique<vistrel::CVistrelDlg>();
        closeSignals->setParent(window.get());
        QObject::connect(closeSignals.release(), &vistrel::CloseSignals::CloseRequested, window.get(),
                         &vistrel::CVistrelDlg::CloseWithoutQuestion);
        if (commandLine.saveFolder)
            UseSaveFolder(*window, *commandLine.saveFolder);
        QString reason;
        if (auto journal = vistrel::StripJournal::Open(vistrel::StripJournalFolder(), &reason))
            window->KeepStripIn(std::move(journal));
        else
            qCWarning(lcSave).noquote() << "the strip is not kept across runs:" << reason;
        return window;
    });
    return app.InitInstance();
}
