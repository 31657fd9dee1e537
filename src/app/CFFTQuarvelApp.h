#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "ui/CManualWindow.h"
#include "ui/CUserInteraction.h"
#include "ui/CommandIds.h"
#include "ui/ToolState.h"

namespace quarvel {

class CFFTQuarvelDoc;
class CMainFrame;

/// The application object: start-up and shut-down of the desktop program, the current mouse
/// tool of both panes, and the commands that belong to no window (Open, the tools, Batch
/// Processing, About, Manual). It owns the document and the main window.
class CFFTQuarvelApp : public QObject, public CCommandTarget {
    Q_OBJECT

public:
    /// interaction answers the program's questions; null means real dialogs and message boxes.
    explicit CFFTQuarvelApp(std::unique_ptr<CUserInteraction> interaction = nullptr);
    ~CFFTQuarvelApp() override;

    /// Names the settings store, creates the document and the main window, shows the window
    /// (maximised unless a stored geometry says otherwise) when show is true and opens the file
    /// named by the first of arguments (the command line without the program name), if any. A
    /// file that cannot be opened is reported and the program starts with an empty document.
    bool InitInstance(const QStringList& arguments, bool show = true);
    /// Closes the main window, saving its state; returns exitCode.
    int ExitInstance(int exitCode);

    /// Open: a file dialog and, for unsaved work, "Save changes?"; then the image tab, the image
    /// pane as active pane, and the title.
    void OnFileOpen();
    /// Opens the manual (ManualPath) in the desktop's browser; where the desktop has none, shows
    /// it in the program's own manual window. A manual that is not there is reported with the
    /// places it was looked for.
    void OnHelpManual();
    /// The About box, modal.
    void OnAppAbout();
    /// Batch Processing: the batch dialog, modal, with its own processing object and the user's
    /// settings store; the document is not touched.
    void OnFileBatch();
    /// Where the manual is expected for the running executable (ManualPathFor its folder).
    static QString ManualPath();
    /// manual/manual.html beside the program in programFolder when it is there (the build
    /// tree), else the installed manual: ../share/doc/fftquarvel/manual.html from programFolder.
    static QString ManualPathFor(const QString& programFolder);
    /// Where the manual is looked for from programFolder, in order.
    static QStringList ManualPlacesFor(const QString& programFolder);
    /// The folder the manual is looked for from; the running program's folder unless set.
    void SetProgramFolder(const QString& folder) { programFolder_ = folder; }
    /// The manual window, once Help, Manual had to show the manual itself; else null.
    CManualWindow* ManualWindow() const;

    /// Open, the tools, Batch Processing, About and Manual.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    CFFTQuarvelDoc* Document() const { return doc_.get(); }
    CMainFrame* MainFrame() const { return frame_.get(); }

    /// The mouse tool of both panes, read at every left-button press.
    ToolId currentTool = ToolPanHand;

private:
    std::unique_ptr<CUserInteraction> pendingInteraction_;
    QString programFolder_;
    std::unique_ptr<CFFTQuarvelDoc> doc_;
    std::unique_ptr<CMainFrame> frame_;
};

/// The settings store's organisation and application names.
inline constexpr const char* kSettingsOrganisation = "Quarvel Software";
inline constexpr const char* kSettingsApplication = "FFT Quarvel";

}  // namespace quarvel
