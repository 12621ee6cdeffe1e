#include "app/VistrelApp.h"

#include "app/Configuration.h"
#include "app/Diagnostics.h"

#include <QApplication>
#include <QDialog>
#include <QStyle>
#include <QStyleFactory>

#if defined(Q_OS_WIN)
#include <objbase.h>
#endif

namespace vistrel {
namespace {
// One look on every desktop, so the owner-drawn controls sit among familiar neighbours.
constexpr const char* kStyleName = "Fusion";
} // namespace

CVistrelApp::CVistrelApp(int& argc, char** argv, WindowFactory makeWindow)
    : argc(argc), argv(argv), makeWindow(std::move(makeWindow))
{
}

int CVistrelApp::InitInstance()
{
#if defined(Q_OS_WIN)
    // COM in a single-threaded apartment on the window thread, before anything of the capture stack.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct ComEnd {
        bool started;
        ~ComEnd()
        {
            if (started)
                CoUninitialize();
        }
    } comEnd {SUCCEEDED(com)};
#endif
    // The toolkit comes first and goes last: every widget lives inside its lifetime.
    QApplication application(argc, argv);
    if (QStyle* style = QStyleFactory::create(QString::fromLatin1(kStyleName))) {
        QApplication::setStyle(style);
    }
    QApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QApplication::setApplicationVersion(QStringLiteral(VISTREL_VERSION));
    // Ties the running window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VISTREL_APP_ID));
    InstallCaptureDiagnostics();

    ApplyUiLanguageSetting();

    std::unique_ptr<QDialog> window = makeWindow ? makeWindow() : nullptr;
    if (window) {
        // The modal run is the program's only event loop; its result does not matter.
        window->exec();
    }
    // Nothing else to shut down before the window goes: capture and codecs belong to the window.
    window.reset();
    return 0;
}

} // namespace vistrel
