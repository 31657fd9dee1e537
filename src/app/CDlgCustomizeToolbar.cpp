#include "app/CDlgCustomizeToolbar.h"

#include <span>
#include <utility>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CommandTable.h"

namespace quarvel {

namespace {

const QString kSeparatorText = QStringLiteral("--- Separator ---");

/// The menu text of a command without its mnemonic marks.
QString PlainText(const CommandInfo& command) {
    QString text = QString::fromUtf8(command.text);
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

/// Commands a toolbar button can carry: those the menus show, one id each, with a handler.
bool Offered(const CommandInfo& command) {
    return command.id != 0 && command.idCount == 1 && command.menuPath[0] != '\0' &&
           command.handler.run;
}

QPushButton* AddButton(QVBoxLayout& column, const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QString::fromLatin1(name));
    column.addWidget(button);
    return button;
}

}  // namespace

CDlgCustomizeToolbar::CDlgCustomizeToolbar(std::vector<ToolBarLayout> toolBars, QWidget* parent)
    : QDialog(parent), toolBars_(std::move(toolBars)) {
    if (toolBars_.empty()) {
        const std::span<const int> defaults = StandardToolBarCommands();
        toolBars_.push_back({QStringLiteral("Standard"), {defaults.begin(), defaults.end()}});
    }
    setWindowTitle(QStringLiteral("Customize"));
    auto* grid = new QGridLayout(this);

    auto* chooser = new QHBoxLayout;
    auto* toolBarLabel = new QLabel(QStringLiteral("&Toolbar:"), this);
    toolBarChoice_ = new QComboBox(this);
    toolBarChoice_->setObjectName(QStringLiteral("toolbarChoice"));
    toolBarLabel->setBuddy(toolBarChoice_);
    for (const ToolBarLayout& toolBar : toolBars_) {
        toolBarChoice_->addItem(toolBar.name);
    }
    chooser->addWidget(toolBarLabel);
    chooser->addWidget(toolBarChoice_, 1);
    auto* newButton = new QPushButton(QStringLiteral("&New..."), this);
    newButton->setObjectName(QStringLiteral("newToolbarButton"));
    renameButton_ = new QPushButton(QStringLiteral("Re&name..."), this);
    renameButton_->setObjectName(QStringLiteral("renameToolbarButton"));
    deleteButton_ = new QPushButton(QStringLiteral("De&lete"), this);
    deleteButton_->setObjectName(QStringLiteral("deleteToolbarButton"));
    for (QPushButton* button : {newButton, renameButton_, deleteButton_}) {
        chooser->addWidget(button);
    }
    grid->addLayout(chooser, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Commands:"), this), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Buttons, left to right:"), this), 1, 2);

    available_ = new QListWidget(this);
    available_->setObjectName(QStringLiteral("availableCommands"));
    for (const CommandInfo& command : CommandTable()) {
        if (!Offered(command)) {
            continue;
        }
        auto* item = new QListWidgetItem(command.icon != nullptr ? command.icon() : QIcon(),
                                         PlainText(command), available_);
        item->setData(Qt::UserRole, command.id);
        item->setToolTip(QString::fromUtf8(command.prompt));
    }
    grid->addWidget(available_, 2, 0);

    auto* middle = new QVBoxLayout;
    QPushButton* add = AddButton(*middle, "&Add >", "addButton");
    QPushButton* separator = AddButton(*middle, "Add &Separator", "separatorButton");
    QPushButton* remove = AddButton(*middle, "< &Remove", "removeButton");
    middle->addSpacing(12);
    QPushButton* up = AddButton(*middle, "Move &Up", "upButton");
    QPushButton* down = AddButton(*middle, "Move &Down", "downButton");
    middle->addSpacing(12);
    resetButton_ = AddButton(*middle, "R&eset", "resetButton");
    middle->addStretch();
    grid->addLayout(middle, 2, 1);

    buttons_ = new QListWidget(this);
    buttons_->setObjectName(QStringLiteral("toolbarCommands"));
    grid->addWidget(buttons_, 2, 2);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(box, 3, 0, 1, 3);

    connect(toolBarChoice_, &QComboBox::currentIndexChanged, this,
            &CDlgCustomizeToolbar::ChooseToolBar);
    connect(newButton, &QPushButton::clicked, this, [this] {
        const QString name = AskName(QStringLiteral("New Toolbar"), QString());
        if (!name.isEmpty()) {
            NewToolBar(name);
        }
    });
    connect(renameButton_, &QPushButton::clicked, this, [this] {
        const QString name = AskName(QStringLiteral("Rename Toolbar"), toolBars_[chosen_].name);
        if (!name.isEmpty()) {
            RenameToolBar(name);
        }
    });
    connect(deleteButton_, &QPushButton::clicked, this, &CDlgCustomizeToolbar::DeleteToolBar);

    connect(add, &QPushButton::clicked, this, &CDlgCustomizeToolbar::AddSelected);
    connect(available_, &QListWidget::itemDoubleClicked, this, &CDlgCustomizeToolbar::AddSelected);
    connect(separator, &QPushButton::clicked, this, &CDlgCustomizeToolbar::AddSeparator);
    connect(remove, &QPushButton::clicked, this, &CDlgCustomizeToolbar::RemoveSelected);
    connect(up, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(resetButton_, &QPushButton::clicked, this, [this] {
        const std::span<const int> defaults = StandardToolBarCommands();
        Fill(std::vector<int>(defaults.begin(), defaults.end()));
    });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Fill(toolBars_.front().commands);
    EnableToolBarButtons();
    resize(620, 480);
}

std::vector<ToolBarLayout> CDlgCustomizeToolbar::ToolBars() const {
    std::vector<ToolBarLayout> toolBars = toolBars_;
    toolBars[static_cast<std::size_t>(chosen_)].commands.clear();
    for (int row = 0; row < buttons_->count(); ++row) {
        toolBars[static_cast<std::size_t>(chosen_)].commands.push_back(
            buttons_->item(row)->data(Qt::UserRole).toInt());
    }
    return toolBars;
}

std::vector<int> CDlgCustomizeToolbar::Commands() const {
    return ToolBars().front().commands;
}

void CDlgCustomizeToolbar::Store() {
    toolBars_ = ToolBars();
}

bool CDlgCustomizeToolbar::NameFree(const QString& name, int except) const {
    if (name.isEmpty()) {
        return false;
    }
    for (std::size_t i = 0; i < toolBars_.size(); ++i) {
        if (static_cast<int>(i) != except &&
            toolBars_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    return true;
}

QString CDlgCustomizeToolbar::AskName(const QString& title, const QString& start) {
    for (QString name = start;;) {
        bool ok = false;
        name = QInputDialog::getText(this, title, QStringLiteral("Toolbar name:"),
                                     QLineEdit::Normal, name, &ok)
                   .trimmed();
        if (!ok) {
            return QString();
        }
        if (NameFree(name, title == QStringLiteral("New Toolbar") ? -1 : chosen_)) {
            return name;
        }
        QMessageBox::warning(
            this, title,
            name.isEmpty() ? QStringLiteral("Enter a name for the toolbar.")
                           : QStringLiteral("There is already a toolbar called \"%1\".").arg(name));
    }
}

bool CDlgCustomizeToolbar::NewToolBar(const QString& name) {
    const QString trimmed = name.trimmed();
    if (!NameFree(trimmed, -1)) {
        return false;
    }
    Store();
    toolBars_.push_back({trimmed, {}});
    toolBarChoice_->addItem(trimmed);
    toolBarChoice_->setCurrentIndex(toolBarChoice_->count() - 1);
    return true;
}

bool CDlgCustomizeToolbar::RenameToolBar(const QString& name) {
    const QString trimmed = name.trimmed();
    if (chosen_ == 0 || !NameFree(trimmed, chosen_)) {
        return false;
    }
    toolBars_[static_cast<std::size_t>(chosen_)].name = trimmed;
    toolBarChoice_->setItemText(chosen_, trimmed);
    return true;
}

void CDlgCustomizeToolbar::DeleteToolBar() {
    if (chosen_ == 0) {
        return;
    }
    const int doomed = chosen_;
    // Show the one before it first, so that the list keeps no stale entries.
    toolBarChoice_->setCurrentIndex(doomed - 1);
    toolBars_.erase(toolBars_.begin() + doomed);
    toolBarChoice_->removeItem(doomed);
}

void CDlgCustomizeToolbar::ChooseToolBar(int index) {
    if (index < 0 || index >= static_cast<int>(toolBars_.size())) {
        return;
    }
    if (index != chosen_) {
        Store();
        chosen_ = index;
        Fill(toolBars_[static_cast<std::size_t>(index)].commands);
    }
    if (toolBarChoice_->currentIndex() != index) {
        toolBarChoice_->setCurrentIndex(index);
    }
    EnableToolBarButtons();
}

void CDlgCustomizeToolbar::EnableToolBarButtons() {
    renameButton_->setEnabled(chosen_ != 0);
    deleteButton_->setEnabled(chosen_ != 0);
    resetButton_->setEnabled(chosen_ == 0);
}

QListWidgetItem* CDlgCustomizeToolbar::MakeEntry(int id) const {
    const CommandInfo* command = FindCommand(id);
    auto* item = new QListWidgetItem;
    if (id == 0 || command == nullptr) {
        item->setText(kSeparatorText);
        item->setData(Qt::UserRole, 0);
        return item;
    }
    item->setText(PlainText(*command));
    item->setIcon(command->icon != nullptr ? command->icon() : QIcon());
    item->setData(Qt::UserRole, id);
    return item;
}

void CDlgCustomizeToolbar::Fill(const std::vector<int>& commands) {
    buttons_->clear();
    for (const int id : commands) {
        buttons_->addItem(MakeEntry(id));
    }
}

void CDlgCustomizeToolbar::AddSelected() {
    const QListWidgetItem* chosen = available_->currentItem();
    if (chosen == nullptr) {
        return;
    }
    // A new entry goes after the selected one, or at the end.
    const int at = buttons_->currentRow() < 0 ? buttons_->count() : buttons_->currentRow() + 1;
    buttons_->insertItem(at, MakeEntry(chosen->data(Qt::UserRole).toInt()));
    buttons_->setCurrentRow(at);
}

void CDlgCustomizeToolbar::AddSeparator() {
    const int at = buttons_->currentRow() < 0 ? buttons_->count() : buttons_->currentRow() + 1;
    buttons_->insertItem(at, MakeEntry(0));
    buttons_->setCurrentRow(at);
}

void CDlgCustomizeToolbar::RemoveSelected() {
    const int row = buttons_->currentRow();
    if (row >= 0) {
        delete buttons_->takeItem(row);
    }
}

void CDlgCustomizeToolbar::MoveSelected(int step) {
    const int row = buttons_->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= buttons_->count()) {
        return;
    }
    QListWidgetItem* item = buttons_->takeItem(row);
    buttons_->insertItem(to, item);
    buttons_->setCurrentRow(to);
}

}  // namespace quarvel
