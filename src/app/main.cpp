#include <QApplication>

#include "app/CFFTQuarvelApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    quarvel::CFFTQuarvelApp app;
    if (!app.InitInstance(QApplication::arguments().mid(1))) {
        return 1;
    }
    return app.ExitInstance(QApplication::exec());
}
