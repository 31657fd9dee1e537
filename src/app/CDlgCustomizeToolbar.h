#pragma once

#include <vector>

#include <QDialog>
#include <QString>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace quarvel {

/// A toolbar as Customize edits it: its name (the title shown in the View menu) and its
/// commands from left to right, 0 for a separator.
struct ToolBarLayout {
    QString name;
    std::vector<int> commands;

    friend bool operator==(const ToolBarLayout&, const ToolBarLayout&) = default;
};

/// "Customize": chooses the commands of each toolbar and their order, and makes, renames and
/// deletes the person's own toolbars. The "Toolbar" list chooses the toolbar being edited: the
/// "Standard" toolbar first (which cannot be renamed or deleted), then the person's own. The left
/// list holds every command of the menus (from the command table), the right one the chosen
/// toolbar's buttons from left to right, separators included; the buttons between them add,
/// remove and move entries, and "Reset" puts back the "Standard" toolbar the program starts with.
class CDlgCustomizeToolbar : public QDialog {
    Q_OBJECT

public:
    /// Starts from the toolbars, "Standard" first; shows the first one.
    explicit CDlgCustomizeToolbar(std::vector<ToolBarLayout> toolBars, QWidget* parent = nullptr);

    /// Every toolbar as the dialog shows it, "Standard" first.
    std::vector<ToolBarLayout> ToolBars() const;
    /// The commands of the "Standard" toolbar as the dialog shows them; 0 is a separator.
    std::vector<int> Commands() const;
    /// Adds an empty toolbar called name (trimmed) and chooses it. False, with nothing changed,
    /// when the name is empty or another toolbar has it.
    bool NewToolBar(const QString& name);
    /// Gives the chosen toolbar of the person's own the name name (trimmed); false as NewToolBar.
    bool RenameToolBar(const QString& name);
    /// Deletes the chosen toolbar of the person's own and chooses the one before it.
    void DeleteToolBar();
    /// Chooses toolbar index (0 is "Standard").
    void ChooseToolBar(int index);

private:
    /// Whether name is usable for a toolbar other than toolbar except.
    bool NameFree(const QString& name, int except) const;
    /// Asks a name in a small dialog titled title, starting with start; empty when cancelled.
    QString AskName(const QString& title, const QString& start);
    /// Keeps the right list in toolBars_[chosen_].
    void Store();
    void EnableToolBarButtons();
    void Fill(const std::vector<int>& commands);
    void AddSelected();
    void AddSeparator();
    void RemoveSelected();
    void MoveSelected(int step);
    /// A toolbar entry for command id (0: a separator).
    QListWidgetItem* MakeEntry(int id) const;

    std::vector<ToolBarLayout> toolBars_;
    int chosen_ = 0;
    QComboBox* toolBarChoice_ = nullptr;
    QPushButton* renameButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QListWidget* available_ = nullptr;
    QListWidget* buttons_ = nullptr;
};

}  // namespace quarvel
