#include "app/CFFTQuarvelApp.h"

#include <array>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>

#include "app/CAboutDlg.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CFFTQuarvelView.h"
#include "app/CMainFrame.h"
#include "batch/BatchSettingsStore.h"
#include "dialogs/CDlgBatchProcessing.h"
#include "ui/CUserInteraction.h"

namespace quarvel {

namespace {

struct ToolCommand {
    int id;
    ToolId tool;
};

constexpr std::array kToolCommands = {
    ToolCommand{ID_TOOL_PAN_HAND, ToolPanHand},
    ToolCommand{ID_TOOL_BRUSH, ToolBrush},
    ToolCommand{ID_TOOL_SELECTION_RECTANGLE, ToolSelectionRectangle},
    ToolCommand{ID_TOOL_ZOOM_IN_OUT, ToolZoomInOut},
    ToolCommand{ID_TOOL_ZOOM_WINDOW, ToolZoomWindow},
    ToolCommand{ID_TOOL_DYNAMIC_ZOOM, ToolDynamicZoom},
    ToolCommand{ID_TOOL_SELECTION_ELLIPSE, ToolSelectionEllipse},
    ToolCommand{ID_TOOL_FREE_HAND, ToolFreeHandSelection},
};

const ToolCommand* FindToolCommand(int id) {
    for (const ToolCommand& command : kToolCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

constexpr int kStatusMessageMilliseconds = 15000;

/// Batch Processing: the batch dialog, modal, with its own processing object and the user's
/// settings store; the document is not touched.
void RunBatchDialog(CUserInteraction& interaction, QWidget* parent) {
    CDlgBatchProcessing dialog(interaction, BatchSettingsStore(), parent);
    interaction.RunModal(dialog);
}

}  // namespace

CFFTQuarvelApp::CFFTQuarvelApp(std::unique_ptr<CUserInteraction> interaction)
    : pendingInteraction_(std::move(interaction)) {}

CFFTQuarvelApp::~CFFTQuarvelApp() {
    // The panes of the window refer to the document, so the window goes first.
    frame_.reset();
    doc_.reset();
}

bool CFFTQuarvelApp::InitInstance(const QStringList& arguments, bool show) {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARVEL_VERSION));
    // The memory an image may need once loaded, from the preferences (repaired when out of range).
    SetMemoryBudget(BatchSettingsStore().LoadMemoryLimit());

    doc_ = std::make_unique<CFFTQuarvelDoc>();
    if (pendingInteraction_ != nullptr) {
        doc_->SetInteraction(std::move(pendingInteraction_));
    }
    doc_->OnNewDocument();
    frame_ = std::make_unique<CMainFrame>(*doc_, this);

    if (show) {
        if (frame_->RestoreWindowState()) {
            frame_->show();
        } else {
            // Without a window manager "maximised" means nothing: fill the screen ourselves.
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                frame_->setGeometry(screen->availableGeometry());
            }
            frame_->showMaximized();
        }
    }
    // The tabbed view has the keyboard focus; no pane is active until the person clicks into
    // the view or changes tabs.
    frame_->TabView()->setFocus();

    // A file on the command line that cannot be opened is reported; the program stays open.
    if (!arguments.isEmpty() && !arguments.first().isEmpty()) {
        doc_->OnOpenDocument(arguments.first());
    }
    frame_->UpdateCommandUI();
    return true;
}

int CFFTQuarvelApp::ExitInstance(int exitCode) {
    frame_.reset();
    doc_.reset();
    return exitCode;
}

void CFFTQuarvelApp::OnFileOpen() {
    const QString path = doc_->Interaction().AskOpenPath(frame_.get());
    if (!path.isEmpty()) {
        doc_->OnOpenDocument(path);
    }
    if (CFFTQuarvelView* view = doc_->GetTabView()) {
        view->SetActiveTab(0);
        view->activeTab = 0;
        frame_->SetActivePane(view->ImagePane());
        doc_->SetTitle(QFileInfo(doc_->PathName()).fileName());
    }
}

QString CFFTQuarvelApp::ManualPath() {
    return ManualPathFor(QCoreApplication::applicationDirPath());
}

QString CFFTQuarvelApp::ManualPathFor(const QString& programFolder) {
    const QString besideProgram = programFolder + QStringLiteral("/manual/manual.html");
    if (QFileInfo::exists(besideProgram)) {
        return besideProgram;
    }
    return QDir::cleanPath(programFolder +
                           QStringLiteral("/" QUARVEL_INSTALLED_MANUAL "/manual.html"));
}

void CFFTQuarvelApp::OnHelpManual() {
    const QString path = ManualPath();
    if (!QFileInfo::exists(path)) {
        frame_->statusBar()->showMessage(
            QStringLiteral("The manual is not installed (%1).").arg(path),
            kStatusMessageMilliseconds);
        return;
    }
    doc_->Interaction().OpenUrl(QUrl::fromLocalFile(path));
}

void CFFTQuarvelApp::OnAppAbout() {
    CAboutDlg dialog(frame_.get());
    doc_->Interaction().RunModal(dialog);
}

bool CFFTQuarvelApp::QueryCommand(int id, CommandStatus& status) const {
    if (const ToolCommand* tool = FindToolCommand(id)) {
        status.enabled = true;
        status.checked = currentTool == tool->tool;
        return true;
    }
    switch (id) {
        case ID_FILE_OPEN:
        case ID_APP_ABOUT:
        case ID_HELP_MANUAL:
        case ID_FILE_BATCH:
            status.enabled = true;
            return true;
        default:
            return false;
    }
}

bool CFFTQuarvelApp::RunCommand(int id) {
    if (const ToolCommand* tool = FindToolCommand(id)) {
        currentTool = tool->tool;
        return true;
    }
    switch (id) {
        case ID_FILE_OPEN:
            OnFileOpen();
            return true;
        case ID_APP_ABOUT:
            OnAppAbout();
            return true;
        case ID_HELP_MANUAL:
            OnHelpManual();
            return true;
        case ID_FILE_BATCH:
            RunBatchDialog(doc_->Interaction(), frame_.get());
            return true;
        default:
            return false;
    }
}

}  // namespace quarvel
