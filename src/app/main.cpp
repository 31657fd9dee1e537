#include <csignal>

#include <QApplication>

#include "app/CFFTQuarvelApp.h"
#include "app/CommandIcons.h"

int main(int argc, char* argv[]) {
    // Past the file size limit a save fails with a message and the open image stays, instead
    // of the signal ending the program with the user's work.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    // The desktop entry the window belongs to (Wayland's app id), and the icon of every window.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quarvelsoftware.FFTQuarvel"));
    QApplication::setWindowIcon(quarvel::ProgramIcon());
    quarvel::CFFTQuarvelApp app;
    if (!app.InitInstance(QApplication::arguments().mid(1))) {
        return 1;
    }
    return app.ExitInstance(QApplication::exec());
}
