#include "app/CDlgCustomizeToolbar.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
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

CDlgCustomizeToolbar::CDlgCustomizeToolbar(const std::vector<int>& commands, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Customize"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Commands:"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Toolbar \"Standard\", left to right:"), this), 0, 2);

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
    grid->addWidget(available_, 1, 0);

    auto* middle = new QVBoxLayout;
    QPushButton* add = AddButton(*middle, "&Add >", "addButton");
    QPushButton* separator = AddButton(*middle, "Add &Separator", "separatorButton");
    QPushButton* remove = AddButton(*middle, "< &Remove", "removeButton");
    middle->addSpacing(12);
    QPushButton* up = AddButton(*middle, "Move &Up", "upButton");
    QPushButton* down = AddButton(*middle, "Move &Down", "downButton");
    middle->addSpacing(12);
    QPushButton* reset = AddButton(*middle, "R&eset", "resetButton");
    middle->addStretch();
    grid->addLayout(middle, 1, 1);

    buttons_ = new QListWidget(this);
    buttons_->setObjectName(QStringLiteral("toolbarCommands"));
    grid->addWidget(buttons_, 1, 2);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(box, 2, 0, 1, 3);

    connect(add, &QPushButton::clicked, this, &CDlgCustomizeToolbar::AddSelected);
    connect(available_, &QListWidget::itemDoubleClicked, this, &CDlgCustomizeToolbar::AddSelected);
    connect(separator, &QPushButton::clicked, this, &CDlgCustomizeToolbar::AddSeparator);
    connect(remove, &QPushButton::clicked, this, &CDlgCustomizeToolbar::RemoveSelected);
    connect(up, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(reset, &QPushButton::clicked, this, [this] {
        const std::span<const int> defaults = StandardToolBarCommands();
        Fill(std::vector<int>(defaults.begin(), defaults.end()));
    });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Fill(commands);
    resize(620, 460);
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

std::vector<int> CDlgCustomizeToolbar::Commands() const {
    std::vector<int> commands;
    for (int row = 0; row < buttons_->count(); ++row) {
        commands.push_back(buttons_->item(row)->data(Qt::UserRole).toInt());
    }
    return commands;
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
