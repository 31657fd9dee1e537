#pragma once

#include <map>

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "ui/CommandIds.h"
#include "ui/ToolState.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace quarvel {

class CFFTQuarvelDoc;
class CFFTQuarvelView;
class CPaneBase;

/// The main window: menu bar, the "Standard" toolbar, the status bar with the cursor position,
/// the tabbed view, the recent-file list and the application looks.
///
/// Every command is a QAction made from the command table. A command goes to the first of the
/// active pane, the document, the main window and the application that handles it; the same
/// order answers whether it is enabled and checked. The active pane is null at start-up and
/// becomes the selected tab's pane at a tab change or a click into the view.
class CMainFrame : public QMainWindow, public CCommandTarget {
    Q_OBJECT

public:
    /// The recent-file list holds this many files.
    static constexpr int kRecentFileCount = 6;

    explicit CMainFrame(CFFTQuarvelDoc& doc, QWidget* parent = nullptr);
    ~CMainFrame() override;

    /// Stores the image pixel under the mouse and refreshes the status bar's "X: %d" and
    /// "Y: %d" panes (empty while either coordinate is -1).
    void SetCursorPoint(CursorPoint point);
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
    void UpdateCommandUI();

    /// The id of the current application look (205 to 219).
    int AppLook() const { return appLook_; }
    /// The files of the recent-file list, most recent first.
    QStringList RecentFiles() const { return recentFiles_; }
    /// Puts path at the top of the recent-file list and stores the list.
    void AddRecentFile(const QString& path);
    /// The texts of the status bar's coordinate panes.
    QString CursorXText() const;
    QString CursorYText() const;

    /// Restores the stored window geometry and toolbar state; false when none is stored.
    bool RestoreWindowState();
    /// Writes the window geometry, toolbar state and recent-file list to the settings store.
    void SaveWindowState() const;

    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QMenu* MenuForPath(const QString& path);
    void UpdateRecentFileActions();
    void WriteRecentFiles() const;
    void UpdateCaption(const QString& title);
    void ApplyLook(int id);

    CFFTQuarvelDoc& doc_;
    CFFTQuarvelView* tabView_ = nullptr;
    QPointer<QWidget> activePane_;
    std::map<int, QAction*> actions_;
    std::map<QString, QMenu*> menus_;
    QMenu* editContextMenu_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* cursorXLabel_ = nullptr;
    QLabel* cursorYLabel_ = nullptr;
    QStringList recentFiles_;
    int appLook_ = 215;
};

/// The main window, set by its constructor; null outside its lifetime (and in tests without
/// one).
extern CMainFrame* theMainFrame;

}  // namespace quarvel
