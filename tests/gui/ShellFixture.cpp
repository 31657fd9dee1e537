#include "ShellFixture.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QSettings>

#include "engine/PlaneConversion.h"

namespace quarvel::test {

QString ScriptedInteraction::AskOpenPath(QWidget*) {
    ++openQuestions;
    if (openAnswers.empty()) {
        return {};
    }
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ScriptedInteraction::AskRecipePath(QWidget*, bool, const QString&) {
    if (recipeAnswers.empty()) {
        return {};
    }
    QString answer = recipeAnswers.front();
    recipeAnswers.pop_front();
    return answer;
}

QString ScriptedInteraction::AskSavePath(QWidget*, const QString& proposed) {
    proposedSaves.append(proposed);
    if (saveAnswers.empty()) {
        return {};
    }
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

void ScriptedInteraction::ShowError(QWidget*, const QString&, const QString& text) {
    errors.append(text);
}

void ScriptedInteraction::ShowWarning(QWidget*, const QString&, const QString& text) {
    warnings.append(text);
}

void ScriptedInteraction::ShowInformation(QWidget*, const QString&, const QString& text) {
    informations.append(text);
}

SaveChoice ScriptedInteraction::AskSaveChanges(QWidget*, const QString& question, const QString&) {
    saveChangesQuestions.append(question);
    if (saveChangesAnswers.empty()) {
        return SaveChoice::Discard;
    }
    const SaveChoice answer = saveChangesAnswers.front();
    saveChangesAnswers.pop_front();
    return answer;
}

int ScriptedInteraction::RunModal(QDialog& dialog) {
    modalDialogs.append(QString::fromLatin1(dialog.metaObject()->className()));
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            modalTexts.append(label->text());
        }
    }
    if (onModal) {
        onModal(dialog);
    }
    return QDialog::Accepted;
}

bool ScriptedInteraction::OpenUrl(const QUrl& url) {
    openedUrls.append(url);
    return desktopOpensUrls;
}

void ShellTest::SetUp() {
    ASSERT_TRUE(temp_.isValid());
    QSettings().clear();
    QSettings().sync();
}

void ShellTest::TearDown() {
    app_.reset();
    QSettings().clear();
}

void ShellTest::Start(const QStringList& arguments) {
    auto interaction = std::make_unique<ScriptedInteraction>();
    ui_ = interaction.get();
    app_ = std::make_unique<CFFTQuarvelApp>(std::move(interaction));
    ASSERT_TRUE(app_->InitInstance(arguments));
    QApplication::processEvents();
}

void ShellTest::Restart(const QStringList& arguments) {
    Frame().close();
    app_.reset();
    Start(arguments);
}

QAction* ShellTest::Action(int id) {
    QAction* action = Frame().Action(id);
    EXPECT_NE(action, nullptr) << "no action for command " << id;
    return action;
}

bool ShellTest::IsEnabled(int id) {
    Frame().UpdateCommandUI();
    return Action(id)->isEnabled();
}

bool ShellTest::IsChecked(int id) {
    Frame().UpdateCommandUI();
    return Action(id)->isChecked();
}

void ShellTest::Trigger(int id) {
    Frame().UpdateCommandUI();
    Action(id)->trigger();
    QApplication::processEvents();
}

void ShellTest::OpenThroughCommand(const QString& path) {
    Ui().openAnswers.push_back(path);
    Trigger(ID_FILE_OPEN);
}

void ShellTest::EditSpectrum(std::uint32_t radius) {
    const ProcState* state = Doc().ActiveState();
    ASSERT_NE(state, nullptr);
    const auto centreX = static_cast<std::uint32_t>(Doc().spectrumWidth / 2 + 9);
    const auto centreY = static_cast<std::int32_t>(Doc().spectrumHeight / 2 + 5);
    const ChannelKind channel = state->isColor ? ChannelKind::Red : ChannelKind::Grey;
    Doc().StampBrush(channel, centreX, centreY, radius);
    ASSERT_NE(Doc().workingState, nullptr);
}

QString ShellTest::TestImage(const char* name) {
    return QStringLiteral(QUARVEL_TEST_DATA "/images/") + QString::fromLatin1(name);
}

QString ShellTest::CopyToTemp(const char* name, const QString& copyName) {
    const QString target = TempPath(copyName);
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(TestImage(name), target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

}  // namespace quarvel::test
