#pragma once

#include <deque>
#include <functional>
#include <memory>

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CMainFrame.h"
#include "ui/CUserInteraction.h"

namespace quarvel::test {

/// Answers the program's dialogs from scripted answers and records every question asked.
class ScriptedInteraction : public CUserInteraction {
public:
    QString AskOpenPath(QWidget* parent) override;
    QString AskSavePath(QWidget* parent, const QString& proposed) override;
    QString AskRecipePath(QWidget* parent, bool save, const QString& proposed) override;
    void ShowError(QWidget* parent, const QString& title, const QString& text) override;
    void ShowWarning(QWidget* parent, const QString& title, const QString& text) override;
    void ShowInformation(QWidget* parent, const QString& title, const QString& text) override;
    SaveChoice AskSaveChanges(QWidget* parent, const QString& question,
                              const QString& detail) override;
    int RunModal(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;

    std::deque<QString> openAnswers;  ///< empty answer or none left: the dialog is cancelled
    std::deque<QString> saveAnswers;
    std::deque<QString> recipeAnswers;          ///< for both recipe dialogs
    std::deque<SaveChoice> saveChangesAnswers;  ///< none left: Discard
    QStringList saveChangesQuestions;
    int openQuestions = 0;
    QStringList proposedSaves;
    QStringList errors;
    QStringList warnings;
    QStringList informations;
    /// Works the controls of each modal dialog before it is accepted; none: accepted as it is.
    std::function<void(QDialog&)> onModal;
    QStringList modalDialogs;  ///< class names of the dialogs shown
    QStringList modalTexts;    ///< the texts of every label of those dialogs
    QList<QUrl> openedUrls;
    bool desktopOpensUrls = true;  ///< false: as on a desktop without a browser
};

/// Starts the desktop program (offscreen, with scripted dialogs and an empty settings store)
/// and drives it through its real actions.
class ShellTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Starts the program with arguments as its command line.
    void Start(const QStringList& arguments = {});
    /// Closes the window (which stores its state) and starts the program again.
    void Restart(const QStringList& arguments = {});

    CFFTQuarvelApp& App() { return *app_; }
    CFFTQuarvelDoc& Doc() { return *app_->Document(); }
    CMainFrame& Frame() { return *app_->MainFrame(); }
    ScriptedInteraction& Ui() { return *ui_; }

    QAction* Action(int id);
    bool IsEnabled(int id);
    bool IsChecked(int id);
    /// Triggers the command's action as a click on its menu item would.
    void Trigger(int id);
    /// File, Open with path as the dialog's answer.
    void OpenThroughCommand(const QString& path);
    /// Clears a disc of the red (or grey) spectrum: the document then has a working state.
    void EditSpectrum(std::uint32_t radius = 6);

    /// A test image from tests/data/images.
    static QString TestImage(const char* name);
    /// A copy of the test image name in the temporary folder, under the name copyName.
    QString CopyToTemp(const char* name, const QString& copyName);
    QString TempPath(const QString& name) const { return temp_.filePath(name); }

private:
    QTemporaryDir temp_;
    std::unique_ptr<CFFTQuarvelApp> app_;
    ScriptedInteraction* ui_ = nullptr;
};

}  // namespace quarvel::test
