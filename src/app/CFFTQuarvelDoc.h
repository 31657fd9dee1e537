#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "history/CFFTProc.h"
#include "ui/CPaneDocument.h"
#include "ui/CommandIds.h"

namespace quarvel {

class CFFTQuarvelView;
class CUserInteraction;

/// The program's one document: the image, its processing history and its filter settings
/// (through CFFTProc), the file it came from, and the commands that act on the whole image
/// (open, revert, save, copy, undo, redo, final image, the switch between the two tabs).
///
/// Panes register with the document (CPaneDocument) and are told through UpdateViews (repaint),
/// OnNewImage (a new image was opened or reverted) and OnDocumentChanged. A file is always decoded
/// and processed completely before it replaces the document's image, so a file that cannot be read
/// leaves the document as it was. Processing that is in no file (spectrum edits, or a final image
/// not saved) is kept from being replaced or closed without a word: SaveModified asks first.
class CFFTQuarvelDoc : public QObject,
                       public CFFTProc,
                       public CCommandTarget,
                       public CPaneDocument {
    Q_OBJECT

public:
    explicit CFFTQuarvelDoc(QObject* parent = nullptr);
    ~CFFTQuarvelDoc() override;

    /// Appends pane (an image pane, a power spectrum pane or the tabbed view) to the panes the
    /// document tells about changes. A pane registered twice is kept once.
    void RegisterPane(QWidget* pane) override;
    /// The first registered tabbed view, or null.
    CFFTQuarvelView* GetTabView() const;
    /// Repaints every registered image and power spectrum pane.
    void UpdateViews(int erase) override;
    /// Lets the next UpdateViews tell the panes that only these rows of power changed.
    void PowerRowsChanged(const ImageBitmap& power, std::uint64_t top,
                          std::uint64_t bottom) override;

    const ImageBitmap* OriginalImage() const override { return originalImage.get(); }
    const ImageBitmap* ProcessedImage() const override;
    const ProcState* SpectrumState() const override { return ActiveState(); }
    void StampBrush(ChannelKind member, std::uint32_t cx, std::int32_t cy,
                    std::uint64_t r) override {
        CFFTProc::StampBrush(member, cx, cy, r);
    }
    void ClearSelection(ChannelKind member, const VXRegion& region) override {
        CFFTProc::ClearSelection(member, region);
    }
    std::vector<NoiseSpike> FindPeriodicNoise(ChannelKind member) const override {
        return CFFTProc::FindPeriodicNoise(member);
    }
    RecipeFrame StepFrame() const override { return CFFTProc::StepFrame(); }
    bool ApplyStep(const RecipeStep& step) override { return CFFTProc::ApplyStep(step); }
    bool MirrorEdits() const override { return mirrorEdits; }
    bool IsBusy() const override { return busy_; }

    /// The empty start-up document, titled "Untitled".
    bool OnNewDocument();
    /// Opens the image file at path. On failure the person is told why and the document keeps
    /// its image, history and path. True when the image replaced the document's.
    bool OnOpenDocument(const QString& path);
    /// Writes the current state's image, JPEG-encoded, to path and makes path the document's
    /// file. On failure the person is told why and no file is created or changed.
    bool OnSaveDocument(const QString& path);

    /// Reloads the image from the document's file; keeps the document as it was when the file
    /// cannot be read. The path, the title and openedImage are not changed.
    bool OnFileRevert();
    /// Save: "Save As" after an open, otherwise writes to the document's file.
    bool OnFileSave();
    /// Save As: proposes "copy of " and the opened file's name after an open.
    bool OnFileSaveAs();
    /// Puts the current state's image on the clipboard.
    void OnEditCopy();
    /// Selects the image tab (0) or the power spectrum tab (1) of the tabbed view.
    void OnViewImageWindow();
    void OnViewSpectrumWindow();
    /// Switches to the power spectrum tab and commits the working state as a new final image.
    void OnCreateFinalImage();
    /// Undo, Redo and Restore Power Spectrum: when the state shown afterwards needs its spectra
    /// computed or its power spectrum images rendered again, that runs off the GUI thread.
    void OnEditUndo();
    void OnEditRedo();
    void OnEditRestore();
    /// Designs a filter of kind in its dialog, starting from filterSettings; unless cancelled
    /// keeps the design and applies it to the working state with the channel switches of the
    /// power spectrum pane.
    void OnDesignFilter(FilterKind kind);
    /// File, Save Edits as Recipe: writes the steps that made the shown spectra (the current
    /// state's and the pending edits) to a recipe file chosen in a dialog.
    void OnSaveRecipe();
    /// File, Apply Recipe: reads a recipe file chosen in a dialog, replays its steps and
    /// creates the final image, one history step that Undo takes back. A recipe that cannot be
    /// read is reported with its file and reason, and nothing changes.
    void OnApplyRecipe();

    /// True while the document holds processing that is in no file: spectrum edits not yet in
    /// a final image, or a current image other than the one last opened, reverted or saved.
    bool HasUnsavedChanges() const;
    /// Asked before the document is replaced or the program closes: with unsaved changes, asks
    /// "Save changes?" (Save, Discard, Cancel) and saves on Save. True when the caller may go
    /// on: nothing was unsaved, the person chose Discard, or the save succeeded.
    bool SaveModified();

    /// The name the first save after an open proposes: folder of the document's file, then
    /// "copy of " and its name, unless the name already contains "copy of".
    QString SaveAsProposal() const;

    /// The document's commands, as the command table says. Running one reports running out of
    /// memory instead of letting the failure leave.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    /// The file the document was opened from or last saved to; empty at start-up.
    const QString& PathName() const { return pathName_; }
    /// The title shown in the main window's caption after the program name.
    const QString& Title() const { return title_; }
    void SetTitle(const QString& title);

    /// The settings key of the JPEG quality of saved images, 0 to 100.
    static QString JpegQualityKey();
    /// The JPEG quality the encoder uses when it is given none.
    static constexpr int kDefaultJpegQuality = 75;

    /// The settings key of the size images are transformed at: "Exact" for their own size,
    /// anything else for the next powers of two.
    static QString TransformSizeKey();
    /// The transform size stored in the settings; the power-of-two one when none is.
    static TransformSize StoredTransformSize();
    /// Makes size the transform size of the images opened from now on (the open one keeps its
    /// own until it is opened again or reverted) and stores it in the settings.
    void SetTransformSize(TransformSize size);

    /// The settings key of Mirror Edits: true when the brush and Clear Selected Area clear the
    /// point-mirrored elements too (CFFTProc::mirrorEdits).
    static QString MirrorEditsKey();
    /// Sets mirrorEdits for the edits from now on and stores it in the settings.
    void SetMirrorEdits(bool on);

    /// The settings key of the history's memory limit, in megabytes.
    static QString HistoryLimitKey();
    /// The history's memory limit in bytes: the stored megabytes when they are a whole number
    /// from kMinHistoryLimitMegabytes to kMaxHistoryLimitMegabytes, otherwise (and then the
    /// stored value is removed) a quarter of the physical memory.
    static std::uint64_t ReadHistoryMemoryLimit();
    static constexpr std::int64_t kMinHistoryLimitMegabytes = 16;
    static constexpr std::int64_t kMaxHistoryLimitMegabytes = std::int64_t{1} << 24;

    /// Returns the memory kept for reuse (released large blocks, the heap's free top) to the
    /// system: after a document was replaced or emptied, and after every command, so that what
    /// a command released (a filter's copy of the pending edits, a batch run's images, the
    /// states a new final image replaced) is not held while the program waits. The next
    /// command finds fresh memory about as fast as kept blocks.
    void GiveBackMemory();

    /// The dialogs and message boxes of the document's commands.
    CUserInteraction& Interaction() const override { return *interaction_; }
    void SetInteraction(std::unique_ptr<CUserInteraction> interaction);
    /// Tells the person text in an information message box over the main window.
    void ShowInformation(const QString& text) const override;
    /// The window the document's message boxes and dialogs belong to (the main window); null
    /// for none.
    void SetDialogParent(QWidget* parent) { dialogParent_ = parent; }

    /// Every registered pane, in order of registration (deleted ones are null).
    std::vector<QPointer<QWidget>> panes;
    /// True from a successful open until the next successful save.
    bool openedImage = false;

Q_SIGNALS:
    /// The title changed.
    void TitleChanged(const QString& title);
    /// The image, the history or the working state changed.
    void DocumentChanged();
    /// A file was opened or saved: it belongs at the top of the recent-file list.
    void FileRecorded(const QString& path);
    /// A short note for the status bar (for instance a decoder's warning).
    void StatusMessage(const QString& text);
    /// A long command started (true) or ended (false) its work on another thread.
    void BusyChanged(bool busy);

private:
    /// Runs work on a thread of its own and returns when it has ended, rethrowing what it
    /// threw. Meanwhile the window keeps painting (user input waits in the queue), IsBusy() is
    /// true and BusyChanged tells the main window to disable the commands and show that the
    /// program works. Only one job runs at a time. Throws std::bad_alloc when no thread can be
    /// started; work has not run then. Before each round of paints, onPump (when given) runs
    /// on this thread; a failed allocation in it or in a paint skips the rest of that round.
    void RunOffThread(const std::function<void()>& work,
                      const std::function<void()>& onPump = nullptr);
    /// Loads path into the document, replacing its image only on success. Reports failures.
    bool LoadReplacing(const QString& path);
    /// Calls OnNewImage of every registered pane, in order of registration.
    void NotifyNewImage();
    /// Calls ShowOpeningImage(image) of every registered pane.
    void ShowOpeningImage(const ImageBitmap* image);
    /// The window message boxes belong to.
    QWidget* DialogParent() const;
    /// Runs change, which says whether it succeeded, all or nothing: when it fails or memory
    /// runs out, the working state, its edits and the redo states are as they were. False then.
    bool ChangeWhole(const std::function<bool()>& change);
    /// Builds the filter and applies it with the channel switches, through ChangeWhole.
    bool ApplyFilterWhole(FilterKind kind, bool red, bool green, bool blue);
    /// Replays recipe and creates the final image, through ChangeWhole.
    bool ApplyRecipeWhole(const Recipe& recipe);
    /// Runs job, which changes the history and says whether it succeeded, off the GUI thread
    /// with the wait cursor, then repaints. On failure (or when memory runs out) shows
    /// outOfMemory and returns false; otherwise tells about undo states released meanwhile.
    bool RunHistoryJob(const std::function<bool()>& job, const QString& outOfMemory);
    /// Makes the history state at index current and shows it (see OnEditUndo).
    void ShowState(std::uint64_t index);
    /// Tells the person, once per opened file, that undo states were released to keep within
    /// the history's memory limit since releasedBefore (a value of releasedStateCount).
    void TellAboutReleasedStates(std::uint64_t releasedBefore);
    /// The message for a command that ran out of memory and changed nothing.
    void ReportOutOfMemory(const QString& text);
    /// The quality of a JPEG about to be saved: asked the first time in a session, starting from
    /// the stored one, and stored; afterwards the stored one. Nothing when the person cancelled.
    std::optional<int> JpegQualityForSave();

    /// Marks the current state as the one in the document's file.
    void MarkClean();

    /// The bitmap rows changed in place since the last UpdateViews, when nothing else changed.
    struct RowChange {
        const ImageBitmap* bitmap;
        int top;
        int bottom;
    };
    std::vector<RowChange> rowChanges_;
    QString pathName_;
    QString title_;
    /// The history state whose image is in the document's file; null when none is (or it was
    /// released from the history).
    const ProcState* cleanState_ = nullptr;
    std::unique_ptr<CUserInteraction> interaction_;
    QPointer<QWidget> dialogParent_;
    /// The person was told that the history released undo states for this file.
    bool toldAboutHistoryLimit_ = false;
    /// The person chose the JPEG quality in this session.
    bool jpegQualityChosen_ = false;
    /// A job of RunOffThread works on the document.
    bool busy_ = false;
};

}  // namespace quarvel
