#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

// The pane tests need a QApplication. They run on the offscreen platform, also when the test
// list is read at build time, where no display may exist.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
