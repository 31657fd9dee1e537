#pragma once

#include <vector>

#include <QDialog>

class QListWidget;
class QListWidgetItem;

namespace quarvel {

/// "Customize": chooses the commands of the "Standard" toolbar and their order. The left list
/// holds every command of the menus (from the command table), the right one the toolbar's
/// buttons from left to right, separators included; the buttons between them add, remove and
/// move entries, and "Reset" puts back the toolbar the program starts with.
class CDlgCustomizeToolbar : public QDialog {
    Q_OBJECT

public:
    /// Starts from the toolbar's commands (0 for a separator).
    explicit CDlgCustomizeToolbar(const std::vector<int>& commands, QWidget* parent = nullptr);

    /// The toolbar's commands as the dialog shows them, left to right; 0 is a separator.
    std::vector<int> Commands() const;

private:
    void Fill(const std::vector<int>& commands);
    void AddSelected();
    void AddSeparator();
    void RemoveSelected();
    void MoveSelected(int step);
    /// A toolbar entry for command id (0: a separator).
    QListWidgetItem* MakeEntry(int id) const;

    QListWidget* available_ = nullptr;
    QListWidget* buttons_ = nullptr;
};

}  // namespace quarvel
