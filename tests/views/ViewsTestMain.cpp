#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QSettings>
#include <QTemporaryDir>

// The pane tests need a QApplication. They run on the offscreen platform, also when the test
// list is read at build time, where no display may exist, and keep the settings store in a
// private folder so that the main window neither reads nor changes the person's own settings.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    QTemporaryDir settingsFolder;
    if (!settingsFolder.isValid()) {
        return 1;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
