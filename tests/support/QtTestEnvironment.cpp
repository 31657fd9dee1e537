#include <memory>

#include <gtest/gtest.h>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "app/CFFTQuarvelApp.h"

namespace {

/// Keeps the offscreen platform's notes about what it cannot do out of the test log; the rest
/// goes to the default handler.
QtMessageHandler previousHandler = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) {
        return;
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

/// One QApplication for the whole run of a widget test executable, with the settings store in a
/// private folder so the tests neither read nor change the person's own settings.
class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        settingsFolder_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(settingsFolder_->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder_->path());
        previousHandler = qInstallMessageHandler(FilterMessages);
        application_ = std::make_unique<QApplication>(argc_, argv_);
        QCoreApplication::setOrganizationName(QString::fromLatin1(quarvel::kSettingsOrganisation));
        QCoreApplication::setApplicationName(QString::fromLatin1(quarvel::kSettingsApplication));
    }

    void TearDown() override {
        application_.reset();
        settingsFolder_.reset();
    }

private:
    int argc_ = 1;
    char name_[6] = "tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QTemporaryDir> settingsFolder_;
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
