#include "app/VistrelApp.h"
#include "window/VistrelDlg.h"

int main(int argc, char** argv)
{
    vistrel::CVistrelApp app(argc, argv, [] { return std::make_unique<vistrel::CVistrelDlg>(); });
    return app.InitInstance();
}
