#pragma once

#include <functional>
#include <memory>

class QDialog;

namespace vistrel {

// The application object: prepares the toolkit, reads the configured language, runs the scanner
// window modally and tears everything down again once it has closed.
class CVistrelApp
{
public:
    using WindowFactory = std::function<std::unique_ptr<QDialog>()>;

    CVistrelApp(int& argc, char** argv, WindowFactory makeWindow);

    // The whole life of the program; returns the process's exit code after the window has closed.
    int InitInstance();

private:
    int& argc;
    char** argv;
    WindowFactory makeWindow;
};

} // namespace vistrel
