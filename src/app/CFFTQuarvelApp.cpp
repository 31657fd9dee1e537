#include "app/CFFTQuarvelApp.h"

#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include "app/CAboutDlg.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CFFTQuarvelView.h"
#include "app/CMainFrame.h"
#include "app/CommandTable.h"
#include "batch/BatchSettingsStore.h"
#include "dialogs/CDlgBatchProcessing.h"
#include "ui/CManualWindow.h"
#include "ui/CUserInteraction.h"

namespace quarvel {

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
    if (!path.isEmpty() && doc_->SaveModified()) {
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

QStringList CFFTQuarvelApp::ManualPlacesFor(const QString& programFolder) {
    return {programFolder + QStringLiteral("/manual/manual.html"),
            QDir::cleanPath(programFolder +
                            QStringLiteral("/" QUARVEL_INSTALLED_MANUAL "/manual.html"))};
}

QString CFFTQuarvelApp::ManualPathFor(const QString& programFolder) {
    const QStringList places = ManualPlacesFor(programFolder);
    return QFileInfo::exists(places.first()) ? places.first() : places.last();
}

CManualWindow* CFFTQuarvelApp::ManualWindow() const {
    return doc_ != nullptr ? doc_->Interaction().ManualWindow() : nullptr;
}

void CFFTQuarvelApp::OnHelpManual() {
    const QString folder =
        programFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder_;
    const QString path = ManualPathFor(folder);
    if (doc_->Interaction().ShowManual(frame_.get(), path, QString())) {
        return;
    }
    QStringList places;
    for (const QString& place : ManualPlacesFor(folder)) {
        places.append(QDir::toNativeSeparators(place));
    }
    doc_->Interaction().ShowError(
        frame_.get(), QStringLiteral("FFT Quarvel"),
        QStringLiteral("The manual was not found. It was looked for at:\n%1")
            .arg(places.join(QLatin1Char('\n'))));
}

void CFFTQuarvelApp::OnAppAbout() {
    CAboutDlg dialog(frame_.get());
    doc_->Interaction().RunModal(dialog);
}

void CFFTQuarvelApp::OnFileBatch() {
    CDlgBatchProcessing dialog(doc_->Interaction(), BatchSettingsStore(), frame_.get());
    dialog.SetTransformSize(doc_->transformSize);
    dialog.SetMirrorEdits(doc_->mirrorEdits);
    doc_->Interaction().RunModal(dialog);
}

bool CFFTQuarvelApp::QueryCommand(int id, CommandStatus& status) const {
    return QueryTargetCommand(*this, id, status);
}

bool CFFTQuarvelApp::RunCommand(int id) {
    return RunTargetCommand(*this, id);
}

}  // namespace quarvel
