#include "app/CMainFrame.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "app/ApplicationLook.h"
#include "app/CDlgCustomizeToolbar.h"
#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CFFTQuarvelView.h"
#include "app/CWaitCursor.h"
#include "app/CommandIcons.h"
#include "app/CommandTable.h"
#include "views/CImageView.h"
#include "views/CPaneBase.h"
#include "views/FrequencyPane.h"

namespace quarvel {

namespace {

const QString kLookKey = QStringLiteral("Workspace/ApplicationLook");
const QString kGeometryKey = QStringLiteral("Workspace/Geometry");
const QString kWindowStateKey = QStringLiteral("Workspace/State");
const QString kRecentGroup = QStringLiteral("Recent File List");
/// The commands of the "Standard" toolbar as the person chose them, comma-separated ids (0 for a
/// separator); absent for the program's own toolbar.
const QString kToolBarKey = QStringLiteral("Workspace/Standard Toolbar");
/// The person's own toolbars: an array of "Name" and "Commands" (ids joined by commas).
const QString kUserToolBarsKey = QStringLiteral("Workspace/User Toolbars");

/// The object name of a toolbar of the person's own, by which the window layout remembers where
/// it is docked.
QString UserToolBarObjectName(const QString& name) {
    return QStringLiteral("User Toolbar: ") + name;
}

/// The command ids of a stored comma-separated list.
std::vector<int> ParseCommandList(const QString& stored) {
    std::vector<int> ids;
    for (const QString& entry : stored.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int id = entry.trimmed().toInt(&ok);
        if (ok) {
            ids.push_back(id);
        }
    }
    return ids;
}

QString JoinCommandList(const std::vector<int>& ids) {
    QStringList entries;
    for (const int id : ids) {
        entries.append(QString::number(id));
    }
    return entries.join(QLatin1Char(','));
}
constexpr int kWindowStateVersion = 1;
constexpr int kStatusMessageMilliseconds = 15000;

QString EscapeMnemonics(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

/// The first local file among the URLs of a drop, or an empty string.
QString FirstLocalFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

CMainFrame::CMainFrame(CFFTQuarvelDoc& doc, CFFTQuarvelApp* app, QWidget* parent)
    : QMainWindow(parent), doc_(doc), app_(app) {
    doc_.SetDialogParent(this);
    cursorPoint.x = -1;
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(ProgramIcon());
    setAcceptDrops(true);

    QSettings settings;
    appLook_ = kDefaultApplicationLook;
    const QVariant storedLook = settings.value(kLookKey);
    if (storedLook.isValid()) {
        // Read wide, so that a huge number is refused instead of wrapped into an int; a value
        // that names no look is repaired in the store.
        bool ok = false;
        const qlonglong look = storedLook.toLongLong(&ok);
        if (ok && look >= std::numeric_limits<int>::min() &&
            look <= std::numeric_limits<int>::max() && IsApplicationLook(static_cast<int>(look))) {
            appLook_ = static_cast<int>(look);
        } else {
            settings.setValue(kLookKey, appLook_);
        }
    }
    settings.beginGroup(kRecentGroup);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!file.isEmpty() && !recentFiles_.contains(file)) {
            recentFiles_.append(file);
        }
    }
    settings.endGroup();

    tabView_ =
        new CFFTQuarvelView(new CImageView(doc_, *this), new CPowerSpectrumView(doc_, *this), this);
    doc_.RegisterPane(tabView_);
    setCentralWidget(tabView_);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    tabView_->SetContextMenu(editContextMenu_);

    connect(tabView_, &CFFTQuarvelView::PaneActivated, this, &CMainFrame::SetActivePane);
    connect(tabView_, &QTabWidget::currentChanged, this, &CMainFrame::ZoomChanged);
    connect(&doc_, &CFFTQuarvelDoc::DocumentChanged, this, &CMainFrame::ZoomChanged);
    connect(tabView_, &CFFTQuarvelView::InteractionEnded, this, &CMainFrame::UpdateCommandUI);
    connect(&doc_, &CFFTQuarvelDoc::TitleChanged, this, &CMainFrame::UpdateCaption);
    connect(&doc_, &CFFTQuarvelDoc::DocumentChanged, this, &CMainFrame::UpdateCommandUI);
    connect(&doc_, &CFFTQuarvelDoc::FileRecorded, this, &CMainFrame::AddRecentFile);
    connect(&doc_, &CFFTQuarvelDoc::StatusMessage, this, [this](const QString& text) {
        statusBar()->showMessage(text, kStatusMessageMilliseconds);
    });
    connect(&doc_, &CFFTQuarvelDoc::BusyChanged, this, [this](bool busy) {
        busyIndicator_->setVisible(busy);
        if (busy) {
            statusBar()->showMessage(QStringLiteral("Working..."));
        } else {
            statusBar()->clearMessage();
        }
        UpdateCommandUI();
    });

    ApplyApplicationLook(appLook_);
    UpdateCaption(doc_.Title());
    UpdateRecentFileActions();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() = default;

ToolId CMainFrame::CurrentTool() const {
    return app_ != nullptr ? app_->currentTool : ToolPanHand;
}

void CMainFrame::CreateActions() {
    auto* looks = new QActionGroup(this);
    looks->setExclusive(true);
    for (const CommandInfo& command : CommandTable()) {
        if (command.id == 0) {
            continue;
        }
        for (int i = 0; i < command.idCount; ++i) {
            const int id = command.id + i;
            auto* action = new QAction(QString::fromUtf8(command.text), this);
            action->setData(id);
            action->setStatusTip(QString::fromUtf8(command.prompt));
            if (command.tooltip[0] != '\0') {
                action->setToolTip(QString::fromUtf8(command.tooltip));
            }
            QList<QKeySequence> keys;
            for (const QString& key :
                 QString::fromUtf8(command.keys).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                keys.append(QKeySequence::fromString(key, QKeySequence::PortableText));
            }
            action->setShortcuts(keys);
            action->setCheckable(command.handler.checkable);
            action->setIcon(command.icon != nullptr ? command.icon() : QIcon());
            action->setIconVisibleInMenu(true);
            if (IsApplicationLook(id)) {
                looks->addAction(action);
            }
            connect(action, &QAction::triggered, this, [this, id] { RunRouted(id); });
            // Shortcuts work also for commands whose menu is closed or missing.
            addAction(action);
            actions_[id] = action;
        }
    }
}

QMenu* CMainFrame::MenuForPath(const QString& path) {
    if (const auto found = menus_.find(path); found != menus_.end()) {
        return found->second;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString title = slash < 0 ? path : path.mid(slash + 1);
    QMenu* menu =
        slash < 0 ? menuBar()->addMenu(title) : MenuForPath(path.left(slash))->addMenu(title);
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    menus_[path] = menu;
    return menu;
}

void CMainFrame::CreateMenus() {
    for (const CommandInfo& command : CommandTable()) {
        const QString path = QString::fromUtf8(command.menuPath);
        if (path.isEmpty()) {
            continue;
        }
        QMenu* menu = MenuForPath(path);
        if (command.id == 0) {
            menu->addSeparator();
            continue;
        }
        for (int i = 0; i < command.idCount; ++i) {
            menu->addAction(actions_.at(command.id + i));
        }
    }
    editContextMenu_ = new QMenu(QStringLiteral("Edit"), this);
    for (const int id : EditContextMenuCommands()) {
        editContextMenu_->addAction(actions_.at(id));
    }
    connect(editContextMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(QStringLiteral("Standard"), this);
    toolBar_->setObjectName(QStringLiteral("Standard"));
    toolBar_->setIconSize(QSize(32, 32));
    const std::span<const int> defaults = StandardToolBarCommands();
    toolBarCommands_.assign(defaults.begin(), defaults.end());
    const QVariant stored = QSettings().value(kToolBarKey);
    if (stored.isValid()) {
        // Commands this program does not have (any more) are left out.
        toolBarCommands_.clear();
        for (const int id : ParseCommandList(stored.toString())) {
            if (id == 0 || actions_.count(id) != 0) {
                toolBarCommands_.push_back(id);
            }
        }
    }
    FillToolBar(*toolBar_, toolBarCommands_);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    CreateUserToolBars();
}

void CMainFrame::FillToolBar(QToolBar& bar, const std::vector<int>& commands) {
    bar.clear();
    for (const int id : commands) {
        if (id == 0) {
            bar.addSeparator();
        } else if (const auto action = actions_.find(id); action != actions_.end()) {
            bar.addAction(action->second);
        }
    }
    // The customise button closes every toolbar.
    auto* customize = new QToolButton(&bar);
    customize->setObjectName(QStringLiteral("customizeButton"));
    customize->setDefaultAction(actions_.at(ID_VIEW_CUSTOMIZE));
    customize->setArrowType(Qt::DownArrow);
    customize->setToolButtonStyle(Qt::ToolButtonIconOnly);
    customize->setAutoRaise(true);
    bar.addWidget(customize);
}

void CMainFrame::SetToolBarCommands(const std::vector<int>& commands) {
    toolBarCommands_.clear();
    for (const int id : commands) {
        if (id == 0 || actions_.count(id) != 0) {
            toolBarCommands_.push_back(id);
        }
    }
    FillToolBar(*toolBar_, toolBarCommands_);
    const std::span<const int> defaults = StandardToolBarCommands();
    QSettings settings;
    if (std::equal(toolBarCommands_.begin(), toolBarCommands_.end(), defaults.begin(),
                   defaults.end())) {
        settings.remove(kToolBarKey);
        return;
    }
    settings.setValue(kToolBarKey, JoinCommandList(toolBarCommands_));
}

void CMainFrame::CreateUserToolBars() {
    std::vector<ToolBarLayout> layouts = {{toolBar_->windowTitle(), toolBarCommands_}};
    QSettings settings;
    const int count = settings.beginReadArray(kUserToolBarsKey);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const QString name = settings.value(QStringLiteral("Name")).toString().trimmed();
        // A damaged entry (no name, or a name twice) is dropped rather than shown twice.
        const bool known = std::any_of(layouts.begin(), layouts.end(), [&](const auto& layout) {
            return layout.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!name.isEmpty() && !known) {
            layouts.push_back(
                {name, ParseCommandList(settings.value(QStringLiteral("Commands")).toString())});
        }
    }
    settings.endArray();
    for (std::size_t i = 1; i < layouts.size(); ++i) {
        auto* bar = new QToolBar(layouts[i].name, this);
        bar->setObjectName(UserToolBarObjectName(layouts[i].name));
        bar->setIconSize(toolBar_->iconSize());
        std::vector<int> commands;
        for (const int id : layouts[i].commands) {
            if (id == 0 || actions_.count(id) != 0) {
                commands.push_back(id);
            }
        }
        FillToolBar(*bar, commands);
        addToolBar(Qt::TopToolBarArea, bar);
        userToolBars_.push_back({bar, std::move(commands)});
    }
    UpdateToolBarMenu();
}

std::vector<ToolBarLayout> CMainFrame::ToolBarLayouts() const {
    std::vector<ToolBarLayout> layouts = {{toolBar_->windowTitle(), toolBarCommands_}};
    for (const UserToolBar& user : userToolBars_) {
        layouts.push_back({user.bar->windowTitle(), user.commands});
    }
    return layouts;
}

std::vector<QToolBar*> CMainFrame::UserToolBars() const {
    std::vector<QToolBar*> bars;
    for (const UserToolBar& user : userToolBars_) {
        bars.push_back(user.bar);
    }
    return bars;
}

void CMainFrame::SetToolBarLayouts(const std::vector<ToolBarLayout>& layouts) {
    if (layouts.empty()) {
        return;
    }
    SetToolBarCommands(layouts.front().commands);
    // A toolbar that keeps its name keeps its place; the others are made or removed.
    std::vector<UserToolBar> kept;
    for (std::size_t i = 1; i < layouts.size(); ++i) {
        const ToolBarLayout& layout = layouts[i];
        QToolBar* bar = nullptr;
        for (UserToolBar& user : userToolBars_) {
            if (user.bar != nullptr && user.bar->windowTitle() == layout.name) {
                std::swap(bar, user.bar);
                break;
            }
        }
        if (bar == nullptr) {
            bar = new QToolBar(layout.name, this);
            bar->setObjectName(UserToolBarObjectName(layout.name));
            bar->setIconSize(toolBar_->iconSize());
            addToolBar(Qt::TopToolBarArea, bar);
        }
        std::vector<int> commands;
        for (const int id : layout.commands) {
            if (id == 0 || actions_.count(id) != 0) {
                commands.push_back(id);
            }
        }
        FillToolBar(*bar, commands);
        kept.push_back({bar, std::move(commands)});
    }
    for (UserToolBar& user : userToolBars_) {
        if (user.bar != nullptr) {
            removeToolBar(user.bar);
            delete user.bar;
        }
    }
    userToolBars_ = std::move(kept);
    UpdateToolBarMenu();
    WriteUserToolBars();
}

void CMainFrame::WriteUserToolBars() const {
    QSettings settings;
    settings.remove(kUserToolBarsKey);
    if (userToolBars_.empty()) {
        return;
    }
    settings.beginWriteArray(kUserToolBarsKey, static_cast<int>(userToolBars_.size()));
    for (std::size_t i = 0; i < userToolBars_.size(); ++i) {
        settings.setArrayIndex(static_cast<int>(i));
        settings.setValue(QStringLiteral("Name"), userToolBars_[i].bar->windowTitle());
        settings.setValue(QStringLiteral("Commands"), JoinCommandList(userToolBars_[i].commands));
    }
    settings.endArray();
}

void CMainFrame::UpdateToolBarMenu() {
    QAction* standard = actions_.at(ID_VIEW_TOOLBAR);
    QMenu* menu = menus_.at(QString::fromUtf8(FindCommand(ID_VIEW_TOOLBAR)->menuPath));
    for (QAction* entry : userToolBarEntries_) {
        if (entry != nullptr) {
            menu->removeAction(entry);
        }
    }
    userToolBarEntries_.clear();
    // The entries go after "Standard", before the separator above "Customize...".
    const QList<QAction*> entries = menu->actions();
    const qsizetype at = entries.indexOf(standard) + 1;
    QAction* before = at < entries.size() ? entries.at(at) : nullptr;
    for (const UserToolBar& user : userToolBars_) {
        QAction* entry = user.bar->toggleViewAction();
        menu->insertAction(before, entry);
        userToolBarEntries_.push_back(entry);
    }
}

void CMainFrame::OnCustomize() {
    CDlgCustomizeToolbar dialog(ToolBarLayouts(), this);
    if (doc_.Interaction().RunModal(dialog) == QDialog::Accepted) {
        SetToolBarLayouts(dialog.ToolBars());
    }
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    zoomLabel_ = new QLabel(bar);
    zoomLabel_->setObjectName(QStringLiteral("zoomReadout"));
    zoomLabel_->setMinimumWidth(
        QFontMetrics(zoomLabel_->font()).horizontalAdvance(QStringLiteral("Zoom: 0000%")));
    frequencyLabel_ = new QLabel(bar);
    frequencyLabel_->setObjectName(QStringLiteral("frequencyReadout"));
    bar->addPermanentWidget(frequencyLabel_);
    bar->addPermanentWidget(zoomLabel_);
    cursorXLabel_ = new QLabel(bar);
    cursorYLabel_ = new QLabel(bar);
    for (QLabel* label : {cursorXLabel_, cursorYLabel_}) {
        const QFontMetrics metrics(label->font());
        label->setMinimumWidth(std::max(metrics.horizontalAdvance(QString(16, QLatin1Char(' '))),
                                        metrics.horizontalAdvance(QStringLiteral("X: 000000"))));
        bar->addPermanentWidget(label);
    }
    cursorValueLabel_ = new QLabel(bar);
    cursorValueLabel_->setObjectName(QStringLiteral("valueReadout"));
    bar->addPermanentWidget(cursorValueLabel_);
    capsLabel_ = new QLabel(bar);
    capsLabel_->setObjectName(QStringLiteral("capsLock"));
    numLabel_ = new QLabel(bar);
    numLabel_->setObjectName(QStringLiteral("numLock"));
    scrollLabel_ = new QLabel(bar);
    scrollLabel_->setObjectName(QStringLiteral("scrollLock"));
    for (QLabel* label : {capsLabel_, numLabel_, scrollLabel_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(
            QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("SCRL")) + 8);
        bar->addPermanentWidget(label);
    }
    lockKeyReader_ = ReadLockKeys;
    // Every key release, anywhere in the program, may have switched a lock key.
    QCoreApplication::instance()->installEventFilter(this);
    UpdateLockKeys();
    // The message pane says "Ready" whenever no prompt or note is shown.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& message) {
        if (message.isEmpty()) {
            bar->showMessage(QStringLiteral("Ready"));
        }
    });
    bar->showMessage(QStringLiteral("Ready"));
    // A range of 0 to 0 makes the bar a busy indicator without a measure of progress.
    busyIndicator_ = new QProgressBar(bar);
    busyIndicator_->setObjectName(QStringLiteral("busyIndicator"));
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setMaximumWidth(
        QFontMetrics(bar->font()).horizontalAdvance(QString(12, QLatin1Char('0'))));
    busyIndicator_->hide();
    bar->addPermanentWidget(busyIndicator_);
}

QAction* CMainFrame::Action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

CPaneBase* CMainFrame::ActivePane() const {
    return qobject_cast<CPaneBase*>(activePane_.data());
}

void CMainFrame::SetActivePane(CPaneBase* pane) {
    activePane_ = pane;
    UpdateCommandUI();
}

void CMainFrame::SetCursorPoint(CursorPoint point) {
    cursorPoint = point;
    cursorXLabel_->setText(CursorXText());
    cursorYLabel_->setText(CursorYText());
}

void CMainFrame::SetSpectrumFrequency(const std::optional<SpectrumFrequency>& frequency) {
    frequencyLabel_->setText(frequency ? FrequencyText(*frequency) : QString());
}

QString CMainFrame::FrequencyText(const SpectrumFrequency& frequency) {
    const QString cycles = QStringLiteral("u %1, v %2 cycles/px")
                               .arg(frequency.u, 0, 'f', 4)
                               .arg(frequency.v, 0, 'f', 4);
    if (frequency.period == 0.0) {
        return cycles + QStringLiteral("  (zero frequency)");
    }
    return cycles + QStringLiteral("  period %1 px  angle %2%3")
                        .arg(frequency.period, 0, 'f', 2)
                        .arg(frequency.angle, 0, 'f', 1)
                        .arg(QChar(0x00B0));
}

void CMainFrame::SetCursorValue(const std::string& text) {
    cursorValueLabel_->setText(
        text.empty() ? QString() : QStringLiteral("Value: ") + QString::fromStdString(text));
}

QString CMainFrame::CursorXText() const {
    if (cursorPoint.x == -1 || cursorPoint.y == -1) {
        return {};
    }
    return QStringLiteral("X: %1").arg(cursorPoint.x);
}

void CMainFrame::SetLockKeyReader(std::function<std::optional<LockKeys>()> reader) {
    lockKeyReader_ = std::move(reader);
    UpdateLockKeys();
}

void CMainFrame::UpdateLockKeys() {
    const std::optional<LockKeys> keys = lockKeyReader_ ? lockKeyReader_() : std::nullopt;
    const auto show = [&keys](QLabel* label, bool on, const char* text) {
        label->setVisible(keys.has_value());
        label->setText(on ? QString::fromLatin1(text) : QString());
    };
    show(capsLabel_, keys && keys->caps, "CAP");
    show(numLabel_, keys && keys->num, "NUM");
    show(scrollLabel_, keys && keys->scroll, "SCRL");
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease ||
        (event->type() == QEvent::ApplicationStateChange &&
         QGuiApplication::applicationState() == Qt::ApplicationActive)) {
        UpdateLockKeys();
    }
    return QMainWindow::eventFilter(watched, event);
}

QString CMainFrame::ZoomText() const {
    const CPaneBase* pane = tabView_ != nullptr ? tabView_->CurrentPane() : nullptr;
    if (pane == nullptr || !pane->HasImageToShow()) {
        return {};
    }
    return QStringLiteral("Zoom: %1%").arg(qRound(pane->Layout().PanelZoom(0) * 100.0f));
}

void CMainFrame::ZoomChanged() {
    if (zoomLabel_ != nullptr) {
        zoomLabel_->setText(ZoomText());
    }
}

QString CMainFrame::CursorYText() const {
    if (cursorPoint.x == -1 || cursorPoint.y == -1) {
        return {};
    }
    return QStringLiteral("Y: %1").arg(cursorPoint.y);
}

CommandStatus CMainFrame::QueryRouted(int id) const {
    // While a long command works on the document, no other command may run.
    if (doc_.IsBusy()) {
        return CommandStatus{};
    }
    const std::array<const CCommandTarget*, 4> targets = {ActivePane(), &doc_, this, app_};
    for (const CCommandTarget* target : targets) {
        CommandStatus status;
        if (target != nullptr && target->QueryCommand(id, status)) {
            return status;
        }
    }
    return CommandStatus{};
}

bool CMainFrame::RunRouted(int id) {
    if (!QueryRouted(id).enabled) {
        UpdateCommandUI();
        return false;
    }
    const std::array<CCommandTarget*, 4> targets = {ActivePane(), &doc_, this, app_};
    bool handled = false;
    for (CCommandTarget* target : targets) {
        if (target != nullptr && target->RunCommand(id)) {
            handled = true;
            break;
        }
    }
    doc_.GiveBackMemory();
    UpdateCommandUI();
    return handled;
}

void CMainFrame::UpdateCommandUI() {
    for (const auto& [id, action] : actions_) {
        const CommandStatus status = QueryRouted(id);
        action->setEnabled(status.enabled);
        if (action->isCheckable()) {
            action->setChecked(status.checked);
        }
    }
}

bool CMainFrame::QueryCommand(int id, CommandStatus& status) const {
    return QueryTargetCommand(*this, id, status);
}

bool CMainFrame::RunCommand(int id) {
    return RunTargetCommand(*this, id);
}

bool CMainFrame::QueryPaneCommand(const CCommandTarget& pane, int id, CommandStatus& status) const {
    return QueryTargetCommand(pane, id, status);
}

bool CMainFrame::RunPaneCommand(CCommandTarget& pane, int id) const {
    return RunTargetCommand(pane, id);
}

void CMainFrame::OpenRecentFile(int index) {
    if (index < 0 || index >= recentFiles_.size()) {
        return;
    }
    const QString file = recentFiles_.at(index);
    // A file that is gone replaces nothing, so the work in hand is only asked about for one
    // that is there.
    if (QFileInfo::exists(file) && !doc_.SaveModified()) {
        return;
    }
    if (!doc_.OnOpenDocument(file) && !QFileInfo::exists(file)) {
        // A file that is gone leaves the list, as it would never open again.
        recentFiles_.removeAll(file);
        WriteRecentFiles();
        UpdateRecentFileActions();
    }
}

void CMainFrame::ChooseLook(int id) {
    CWaitCursor wait;
    appLook_ = id;
    ApplyApplicationLook(id);
    QSettings().setValue(kLookKey, appLook_);
}

void CMainFrame::AddRecentFile(const QString& path) {
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > kRecentFileCount) {
        recentFiles_.removeLast();
    }
    WriteRecentFiles();
    UpdateRecentFileActions();
}

void CMainFrame::WriteRecentFiles() const {
    QSettings settings;
    settings.beginGroup(kRecentGroup);
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString key = QStringLiteral("File%1").arg(i + 1);
        if (i < recentFiles_.size()) {
            settings.setValue(key, recentFiles_.at(i));
        } else {
            settings.remove(key);
        }
    }
}

void CMainFrame::UpdateRecentFileActions() {
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* action = actions_.at(ID_FILE_MRU_FIRST + i);
        if (i < recentFiles_.size()) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
                EscapeMnemonics(QDir::toNativeSeparators(recentFiles_.at(i)))));
            action->setVisible(true);
        } else {
            // An empty list shows one disabled "Recent File" item.
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0 && recentFiles_.isEmpty());
        }
    }
}

void CMainFrame::UpdateCaption(const QString& title) {
    setWindowTitle(QStringLiteral("FFT Quarvel - ") + title);
}

bool CMainFrame::RestoreWindowState() {
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    const QByteArray state = settings.value(kWindowStateKey).toByteArray();
    if (!state.isEmpty()) {
        restoreState(state, kWindowStateVersion);
    }
    return !geometry.isEmpty() && restoreGeometry(geometry);
}

void CMainFrame::SaveWindowState() const {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kWindowStateKey, saveState(kWindowStateVersion));
    WriteRecentFiles();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (doc_.IsBusy() || !doc_.SaveModified()) {
        event->ignore();
        return;
    }
    SaveWindowState();
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!FirstLocalFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString file = FirstLocalFile(event->mimeData());
    if (file.isEmpty() || doc_.IsBusy()) {
        return;
    }
    event->acceptProposedAction();
    // The drop ends first: a question asked inside it would hold the source program's drag.
    QMetaObject::invokeMethod(
        this,
        [this, file] {
            if (doc_.SaveModified()) {
                doc_.OnOpenDocument(file);
            }
            UpdateCommandUI();
        },
        Qt::QueuedConnection);
}

}  // namespace quarvel
