#include <set>
#include <span>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include "ShellFixture.h"
#include "app/CDlgCustomizeToolbar.h"
#include "app/CFFTQuarvelView.h"
#include "app/CommandTable.h"
#include "ui/CManualWindow.h"

namespace quarvel::test {
namespace {

constexpr int kLooks[] = {205, 206, 207, 208, 209, 210, 215, 216, 217, 218, 219};

using Looks = ShellTest;

TEST_F(Looks, FirstStart_UsesTheBlueLook) {
    Start();
    EXPECT_EQ(Frame().AppLook(), 215);
    EXPECT_TRUE(IsChecked(215));
    EXPECT_FALSE(IsChecked(205));
}

TEST_F(Looks, EveryLook_ChangesStyleOrPaletteAndIsStoredAtOnce) {
    Start();
    std::set<std::pair<QString, QRgb>> seen;
    for (const int id : kLooks) {
        Trigger(id);
        EXPECT_EQ(Frame().AppLook(), id);
        EXPECT_EQ(QSettings().value(QStringLiteral("Workspace/ApplicationLook")).toInt(), id);
        for (const int other : kLooks) {
            EXPECT_EQ(IsChecked(other), other == id) << "look " << other;
        }
        const QString style = QApplication::style()->name();
        const QRgb window = QApplication::palette().color(QPalette::Window).rgb();
        EXPECT_TRUE(seen.emplace(style, window).second) << "look " << id << " repeats another";
        EXPECT_EQ(Frame().palette().color(QPalette::Window).rgb(), window);
    }
}

TEST_F(Looks, ChosenLook_IsUsedAtTheNextStart) {
    Start();
    Trigger(216);
    Restart();
    EXPECT_EQ(Frame().AppLook(), 216);
    EXPECT_TRUE(IsChecked(216));
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);
}

TEST_F(Looks, StoredLookThatNamesNoLook_FallsBackToBlueAndIsRepaired) {
    // 99999999999 wraps to a plausible int when read narrow; text and unknown ids are refused.
    Start();
    for (const QString& stored :
         {QStringLiteral("99999999999"), QStringLiteral("blue"), QStringLiteral("211")}) {
        QSettings().setValue(QStringLiteral("Workspace/ApplicationLook"), stored);
        Restart();
        EXPECT_EQ(Frame().AppLook(), 215) << stored.toStdString();
        EXPECT_EQ(QSettings().value(QStringLiteral("Workspace/ApplicationLook")).toString(),
                  QStringLiteral("215"))
            << stored.toStdString();
    }
}

TEST_F(Looks, LooksMenu_OffersTenLooksWithOffice2007InASubmenu) {
    Start();
    // 219 is kept for a stored setting but not offered by the menu bar.
    EXPECT_TRUE(Action(219)->associatedObjects().size() == 1);  // the window only
    for (const int id : kLooks) {
        if (id != 219) {
            EXPECT_GE(Action(id)->associatedObjects().size(), 2) << "look " << id;
        }
    }
}

using ShellState = ShellTest;

TEST_F(ShellState, HiddenToolbar_StaysHiddenAfterARestart) {
    Start();
    EXPECT_TRUE(IsChecked(ID_VIEW_TOOLBAR));
    Trigger(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(Frame().StandardToolBar()->isHidden());
    Restart();
    EXPECT_TRUE(Frame().StandardToolBar()->isHidden());
    EXPECT_FALSE(IsChecked(ID_VIEW_TOOLBAR));
}

TEST_F(ShellState, About_ShowsTheVersionAndTheWordSize) {
    Start();
    Trigger(ID_APP_ABOUT);
    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CAboutDlg")});
    EXPECT_TRUE(Ui().modalTexts.contains(QStringLiteral("Version 1.0.0")));
    EXPECT_TRUE(Ui().modalTexts.contains(QStringLiteral("(64 bit)")));
}

TEST_F(ShellState, Manual_OpensThePageBesideTheExecutable) {
    Start();
    Trigger(ID_HELP_MANUAL);
    ASSERT_EQ(Ui().openedUrls.size(), 1);
    const QUrl url = Ui().openedUrls.at(0);
    ASSERT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/manual/manual.html"));
    EXPECT_TRUE(QFileInfo::exists(url.toLocalFile()));
}

TEST_F(ShellState, ManualWithoutABrowser_IsShownInTheProgramWithItsPictures) {
    Start();
    Ui().desktopOpensUrls = false;
    Trigger(ID_HELP_MANUAL);
    CManualWindow* window = App().ManualWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    const QTextDocument* page = window->Browser()->document();
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("frequency domain")));
    // The pictures beside the page are loaded.
    const QImage picture =
        page->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/about-box.png")))
            .value<QImage>();
    EXPECT_FALSE(picture.isNull());
    EXPECT_TRUE(Ui().errors.isEmpty());
}

TEST_F(ShellState, ManualNowhere_SaysWhereItWasLookedFor) {
    Start();
    QTemporaryDir empty;
    App().SetProgramFolder(empty.path());
    Trigger(ID_HELP_MANUAL);
    ASSERT_EQ(Ui().errors.size(), 1);
    for (const QString& place : CFFTQuarvelApp::ManualPlacesFor(empty.path())) {
        EXPECT_TRUE(Ui().errors.at(0).contains(QDir::toNativeSeparators(place)));
    }
    EXPECT_TRUE(App().ManualWindow() == nullptr || !App().ManualWindow()->isVisible());
}

/// The commands on the toolbar, left to right (0 for a separator), without its customise button.
std::vector<int> ToolBarIds(const QToolBar& bar) {
    std::vector<int> ids;
    for (const QAction* action : bar.actions()) {
        if (qobject_cast<const QWidgetAction*>(action) == nullptr) {
            ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
        }
    }
    return ids;
}

/// Selects the entry of list whose command is id, then clicks button of dialog (none: no click).
void Choose(QDialog& dialog, const char* list, int id, const char* button) {
    auto* items = dialog.findChild<QListWidget*>(QString::fromLatin1(list));
    ASSERT_NE(items, nullptr);
    for (int row = 0; row < items->count(); ++row) {
        if (items->item(row)->data(Qt::UserRole).toInt() == id) {
            items->setCurrentRow(row);
        }
    }
    if (button != nullptr) {
        dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
}

TEST_F(ShellState, CustomizedToolbar_IsShownStoredAndRestored_ResetGoesBack) {
    Start();
    const std::span<const int> defaults = StandardToolBarCommands();
    const std::vector<int> standard(defaults.begin(), defaults.end());
    ASSERT_EQ(ToolBarIds(*Frame().StandardToolBar()), standard);
    // The toolbar ends in its customise button.
    EXPECT_NE(Frame().StandardToolBar()->findChild<QToolButton*>(QStringLiteral("customizeButton")),
              nullptr);

    // Copy after Save, Open removed, About moved one place left.
    Ui().onModal = [](QDialog& dialog) {
        Choose(dialog, "toolbarCommands", ID_FILE_SAVE, nullptr);
        Choose(dialog, "availableCommands", ID_EDIT_COPY, "addButton");
        Choose(dialog, "toolbarCommands", ID_FILE_OPEN, "removeButton");
        Choose(dialog, "toolbarCommands", ID_APP_ABOUT, "upButton");
    };
    Trigger(ID_VIEW_CUSTOMIZE);
    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CDlgCustomizeToolbar")});
    std::vector<int> expected = standard;
    expected.erase(expected.begin());
    expected.insert(expected.begin() + 1, ID_EDIT_COPY);
    std::swap(expected[expected.size() - 1], expected[expected.size() - 2]);
    EXPECT_EQ(ToolBarIds(*Frame().StandardToolBar()), expected);
    EXPECT_EQ(Frame().ToolBarCommands(), expected);

    Restart();
    EXPECT_EQ(ToolBarIds(*Frame().StandardToolBar()), expected);

    Ui().onModal = [](QDialog& dialog) {
        dialog.findChild<QPushButton*>(QStringLiteral("resetButton"))->click();
    };
    Trigger(ID_VIEW_CUSTOMIZE);
    EXPECT_EQ(ToolBarIds(*Frame().StandardToolBar()), standard);
    EXPECT_FALSE(QSettings().contains(QStringLiteral("Workspace/Standard Toolbar")));
}

/// The entries of the View menu's toolbar list, by their texts.
QStringList ToolBarMenuTexts(CMainFrame& frame) {
    for (const QMenu* menu : frame.findChildren<QMenu*>()) {
        if (menu->actions().contains(frame.Action(ID_VIEW_TOOLBAR))) {
            QStringList texts;
            for (const QAction* entry : menu->actions()) {
                texts.append(entry->isSeparator() ? QStringLiteral("-") : entry->text());
            }
            return texts;
        }
    }
    return {};
}

TEST_F(ShellState, OwnToolbar_IsMadeListedStoredRestoredAndDeleted) {
    Start();
    const std::vector<int> standard = ToolBarIds(*Frame().StandardToolBar());
    Ui().onModal = [](QDialog& dialog) {
        auto& customize = static_cast<CDlgCustomizeToolbar&>(dialog);
        EXPECT_FALSE(customize.NewToolBar(QStringLiteral(" standard ")));
        ASSERT_TRUE(customize.NewToolBar(QStringLiteral("Halftone work")));
        Choose(dialog, "availableCommands", ID_EDIT_COPY, "addButton");
        Choose(dialog, "availableCommands", ID_FILE_SAVE, "addButton");
    };
    Trigger(ID_VIEW_CUSTOMIZE);
    ASSERT_EQ(Frame().UserToolBars().size(), 1U);
    const std::vector<int> own = {ID_EDIT_COPY, ID_FILE_SAVE};
    EXPECT_EQ(Frame().UserToolBars().front()->windowTitle(), QStringLiteral("Halftone work"));
    EXPECT_EQ(ToolBarIds(*Frame().UserToolBars().front()), own);
    EXPECT_NE(
        Frame().UserToolBars().front()->findChild<QToolButton*>(QStringLiteral("customizeButton")),
        nullptr);
    EXPECT_EQ(ToolBarIds(*Frame().StandardToolBar()), standard);
    EXPECT_EQ(ToolBarMenuTexts(Frame()).mid(0, 3),
              (QStringList{QStringLiteral("Standard"), QStringLiteral("Halftone work"),
                           QStringLiteral("-")}));

    Restart();
    ASSERT_EQ(Frame().UserToolBars().size(), 1U);
    EXPECT_EQ(ToolBarIds(*Frame().UserToolBars().front()), own);
    EXPECT_EQ(ToolBarMenuTexts(Frame()).value(1), QStringLiteral("Halftone work"));

    Ui().onModal = [](QDialog& dialog) {
        auto& customize = static_cast<CDlgCustomizeToolbar&>(dialog);
        customize.ChooseToolBar(1);
        ASSERT_TRUE(customize.RenameToolBar(QStringLiteral("Screens")));
        customize.DeleteToolBar();
    };
    Trigger(ID_VIEW_CUSTOMIZE);
    EXPECT_TRUE(Frame().UserToolBars().empty());
    EXPECT_EQ(ToolBarMenuTexts(Frame()).value(1), QStringLiteral("-"));
    Restart();
    EXPECT_TRUE(Frame().UserToolBars().empty());
}

TEST(ManualPath, InstalledProgram_FindsTheManualUnderShareDoc) {
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/fftquarvel")));
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString installed = prefix.filePath(QStringLiteral("share/doc/fftquarvel/manual.html"));
    ASSERT_TRUE(QFile(installed).open(QIODevice::WriteOnly));
    EXPECT_EQ(CFFTQuarvelApp::ManualPathFor(bin), installed);
    // In the build tree the copy beside the program wins.
    ASSERT_TRUE(QDir(bin).mkpath(QStringLiteral("manual")));
    ASSERT_TRUE(QFile(bin + QStringLiteral("/manual/manual.html")).open(QIODevice::WriteOnly));
    EXPECT_EQ(CFFTQuarvelApp::ManualPathFor(bin), bin + QStringLiteral("/manual/manual.html"));
}

TEST_F(ShellState, Exit_ClosesTheWindowWithoutAsking) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum();
    Trigger(ID_APP_EXIT);
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_TRUE(Ui().errors.isEmpty());
    EXPECT_TRUE(Ui().modalDialogs.isEmpty());
}

}  // namespace
}  // namespace quarvel::test
