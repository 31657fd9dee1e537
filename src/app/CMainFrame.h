#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "app/CDlgCustomizeToolbar.h"
#include "app/LockKeys.h"
#include "ui/CPaneWindow.h"
#include "ui/CommandIds.h"

class QAction;
class QLabel;
class QProgressBar;
class QMenu;
class QToolBar;

namespace quarvel {

class CFFTQuarvelApp;
class CFFTQuarvelDoc;
class CFFTQuarvelView;
class CPaneBase;

/// The main window: menu bar, the "Standard" toolbar, the status bar with the cursor position,
/// the tabbed view, the recent-file list and the application looks.
///
/// Every command is a QAction made from the command table, which also says which class of
/// target carries it. A command goes to the first of the active pane, the document, the main
/// window and the application that carries it; the same order answers whether it is enabled and
/// checked. The active pane is null at start-up and becomes the selected tab's pane at a tab
/// change or a click into the view. The panes reach the window through CPaneWindow.
class CMainFrame : public QMainWindow, public CCommandTarget, public CPaneWindow {
    Q_OBJECT

public:
    /// The recent-file list holds this many files.
    static constexpr int kRecentFileCount = 6;

    /// The main window of doc; app, when there is one, holds the current tool and carries the
    /// application's commands.
    explicit CMainFrame(CFFTQuarvelDoc& doc, CFFTQuarvelApp* app = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    /// The application's current tool; the pan hand without an application.
    ToolId CurrentTool() const override;
    CursorPoint CursorPosition() const override { return cursorPoint; }
    /// Stores the image pixel under the mouse and refreshes the status bar's "X: %d" and
    /// "Y: %d" panes (empty while either coordinate is -1).
    void SetCursorPoint(CursorPoint point) override;
    void SetSpectrumFrequency(const std::optional<SpectrumFrequency>& frequency) override;
    /// The status bar's text for a spectrum element: its frequency in cycles per pixel, the
    /// period in pixels and the angle in degrees.
    static QString FrequencyText(const SpectrumFrequency& frequency);
    void SetCursorValue(const std::string& text) override;
    /// The image pixel under the mouse; x is -1 while the mouse is over no image.
    CursorPoint cursorPoint;

    /// The action of command id, or null when the table has none.
    QAction* Action(int id) const;
    /// The "Edit" context menu of the tabbed view.
    QMenu* EditContextMenu() const { return editContextMenu_; }
    CFFTQuarvelView* TabView() const { return tabView_; }
    QToolBar* StandardToolBar() const { return toolBar_; }

    /// The pane that receives the pane commands first, or null.
    CPaneBase* ActivePane() const;
    void SetActivePane(CPaneBase* pane);

    /// Asks the routing targets in turn whether id is enabled and checked.
    CommandStatus QueryRouted(int id) const;
    /// Runs id on the first routing target that handles it, then refreshes every action.
    bool RunRouted(int id);
    /// Refreshes the enabled and checked state of every action.
    void UpdateCommandUI() override;

    /// The id of the current application look (205 to 219).
    int AppLook() const { return appLook_; }
    /// The files of the recent-file list, most recent first.
    QStringList RecentFiles() const { return recentFiles_; }
    /// Puts path at the top of the recent-file list and stores the list.
    void AddRecentFile(const QString& path);
    /// Opens entry index of the recent-file list after "Save changes?" for unsaved work; a file
    /// that is gone leaves the list.
    void OpenRecentFile(int index);
    /// Gives the application look id and stores it.
    void ChooseLook(int id);
    /// Customize: the dialog that chooses and orders the toolbars' commands and makes the
    /// person's own toolbars; what it confirms is shown and stored.
    void OnCustomize();
    /// Every toolbar, "Standard" first, then the person's own in the order they were made.
    std::vector<ToolBarLayout> ToolBarLayouts() const;
    /// Shows the toolbars of layouts ("Standard" first) and stores them: the person's own
    /// toolbars are made, refilled or removed to match, each with its customise button and an
    /// entry under View, Toolbars and Docking Windows.
    void SetToolBarLayouts(const std::vector<ToolBarLayout>& layouts);
    /// The person's own toolbars, in the order they were made.
    std::vector<QToolBar*> UserToolBars() const;
    /// The commands of the "Standard" toolbar, left to right; 0 is a separator.
    std::vector<int> ToolBarCommands() const { return toolBarCommands_; }
    /// Shows commands on the toolbar and stores them; the program's own toolbar when they are
    /// the defaults of StandardToolBarCommands.
    void SetToolBarCommands(const std::vector<int>& commands);
    /// The texts of the status bar's coordinate panes.
    QString CursorXText() const;
    QString CursorYText() const;
    /// The status bar's zoom readout: "Zoom: 41%" for the pane of the selected tab while it
    /// shows an image, else empty.
    QString ZoomText() const;
    void ZoomChanged() override;
    /// Where the status bar's Caps, Num and Scroll Lock indicators come from (ReadLockKeys
    /// unless set); read again at every key release and whenever the program becomes active.
    /// The indicators are hidden while it answers nothing.
    void SetLockKeyReader(std::function<std::optional<LockKeys>()> reader);
    /// Reads the lock keys and shows them: "CAP", "NUM" and "SCRL" while on, blank while off.
    void UpdateLockKeys();

    /// Restores the stored window geometry and toolbar state; false when none is stored.
    bool RestoreWindowState();
    /// Writes the window geometry, toolbar state and recent-file list to the settings store.
    void SaveWindowState() const;

    /// The recent files, the looks, Exit and the toolbar and status bar switches.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    bool QueryPaneCommand(const CCommandTarget& pane, int id, CommandStatus& status) const override;
    bool RunPaneCommand(CCommandTarget& pane, int id) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    /// Puts commands on bar (unknown ones left out), then its customise button.
    void FillToolBar(QToolBar& bar, const std::vector<int>& commands);
    /// Makes the person's own toolbars stored in the settings.
    void CreateUserToolBars();
    /// Stores the person's own toolbars in the settings.
    void WriteUserToolBars() const;
    /// Puts the show/hide entries of the person's own toolbars under View, Toolbars and Docking
    /// Windows, after "Standard".
    void UpdateToolBarMenu();
    void CreateStatusBar();
    QMenu* MenuForPath(const QString& path);
    void UpdateRecentFileActions();
    void WriteRecentFiles() const;
    void UpdateCaption(const QString& title);

    CFFTQuarvelDoc& doc_;
    CFFTQuarvelApp* app_;
    CFFTQuarvelView* tabView_ = nullptr;
    QPointer<QWidget> activePane_;
    std::map<int, QAction*> actions_;
    std::map<QString, QMenu*> menus_;
    QMenu* editContextMenu_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::vector<int> toolBarCommands_;
    /// A toolbar of the person's own and its commands.
    struct UserToolBar {
        QToolBar* bar = nullptr;
        std::vector<int> commands;
    };
    std::vector<UserToolBar> userToolBars_;
    /// The show/hide entries of userToolBars_ in the toolbar menu.
    std::vector<QPointer<QAction>> userToolBarEntries_;
    QLabel* frequencyLabel_ = nullptr;
    QLabel* cursorXLabel_ = nullptr;
    QLabel* cursorYLabel_ = nullptr;
    /// The samples of the image pixel under the mouse, at the image's own depth.
    QLabel* cursorValueLabel_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QLabel* capsLabel_ = nullptr;
    QLabel* numLabel_ = nullptr;
    QLabel* scrollLabel_ = nullptr;
    /// Moves to and fro in the status bar while a long command works on another thread.
    QProgressBar* busyIndicator_ = nullptr;
    std::function<std::optional<LockKeys>()> lockKeyReader_;
    QStringList recentFiles_;
    int appLook_ = 215;
};

}  // namespace quarvel
