#include "app/CFFTQuarvelDoc.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QMimeData>
#include <QSettings>
#include <QThread>

#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelView.h"
#include "app/CWaitCursor.h"
#include "app/CommandTable.h"
#include "dialogs/CDlgFFTBand.h"
#include "dialogs/CDlgFFTLoHi.h"
#include "engine/LargeBlocks.h"
#include "imageio/ImageFile.h"
#include "imageio/QtBitmap.h"
#include "imageio/VXFileName.h"
#include "recipe/RecipeFile.h"
#include "ui/CUserInteraction.h"
#include "views/CPaneBase.h"
#include "views/FrequencyPane.h"

namespace quarvel {

namespace {

const QString kMessageTitle = QStringLiteral("FFT Quarvel");

/// A processing object of its own, where a file is decoded and transformed before it replaces
/// the document's image.
class CDetachedProc final : public CFFTProc {
public:
    void UpdateViews(int) override {}
};

std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

/// Holds the states after the current one aside while a command that drops them runs, and puts
/// them back when it ends, unless the command succeeded and Drop() was called.
class RedoStatesAside {
public:
    /// Throws std::bad_alloc, with the history unchanged, when the list for them cannot be had.
    explicit RedoStatesAside(CFFTProc& proc) : proc_(proc), states_(proc.TakeRedoStates()) {}
    ~RedoStatesAside() { proc_.PutBackRedoStates(states_); }
    RedoStatesAside(const RedoStatesAside&) = delete;
    RedoStatesAside& operator=(const RedoStatesAside&) = delete;

    void Drop() { states_.clear(); }

private:
    CFFTProc& proc_;
    std::vector<std::unique_ptr<ProcState>> states_;
};

/// True when state has the power spectrum image of every channel it holds.
bool HasEveryPowerImage(const ProcState& state) {
    return state.isColor ? state.powerRed && state.powerGreen && state.powerBlue
                         : state.powerGrey != nullptr;
}

}  // namespace

CFFTQuarvelDoc::CFFTQuarvelDoc(QObject* parent)
    : QObject(parent), interaction_(std::make_unique<CUserInteraction>()) {
    historyMemoryLimit = ReadHistoryMemoryLimit();
    transformSize = StoredTransformSize();
    mirrorEdits = QSettings().value(MirrorEditsKey(), false).toBool();
    // A filter's response is computed as it is applied: nothing reads a whole mask afterwards,
    // and a photograph's mask would hold a float plane for as long as the document is open.
    leanFilters = true;
    // The history may release the oldest states, the file's among them: from then on no state
    // is the file's, even one that comes to live at the same address.
    connect(this, &CFFTQuarvelDoc::DocumentChanged, this, [this] {
        if (cleanState_ != nullptr &&
            std::none_of(states.begin(), states.end(),
                         [this](const auto& state) { return state.get() == cleanState_; })) {
            cleanState_ = nullptr;
        }
    });
}

void CFFTQuarvelDoc::MarkClean() {
    cleanState_ = CurrentState();
}

bool CFFTQuarvelDoc::HasUnsavedChanges() const {
    if (originalImage == nullptr || states.empty()) {
        return false;
    }
    if (workingState != nullptr) {
        return true;
    }
    return cleanState_ == nullptr || CurrentState() != cleanState_;
}

bool CFFTQuarvelDoc::SaveModified() {
    if (!HasUnsavedChanges()) {
        return true;
    }
    const QString name = title_.isEmpty() ? QStringLiteral("Untitled") : title_;
    const QString detail =
        workingState != nullptr
            ? QStringLiteral(
                  "The spectrum edits are not in a final image yet: Save writes the "
                  "processed image without them. To keep them, choose Cancel and "
                  "run FFT, Create Final Image first.")
            : QStringLiteral("The processed image has not been saved. Discard loses it.");
    switch (Interaction().AskSaveChanges(DialogParent(),
                                         QStringLiteral("Save changes to %1?").arg(name), detail)) {
        case SaveChoice::Save:
            return OnFileSave();
        case SaveChoice::Discard:
            return true;
        case SaveChoice::Cancel:
            break;
    }
    return false;
}

QString CFFTQuarvelDoc::JpegQualityKey() {
    return QStringLiteral("Save/JPEG Quality");
}

std::optional<int> CFFTQuarvelDoc::JpegQualityForSave() {
    QSettings settings;
    bool ok = false;
    int quality = settings.value(JpegQualityKey(), kDefaultJpegQuality).toInt(&ok);
    if (!ok || quality < 0 || quality > 100) {
        quality = kDefaultJpegQuality;
    }
    if (jpegQualityChosen_) {
        return quality;
    }
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(QStringLiteral("JPEG Quality"));
    dialog.setLabelText(
        QStringLiteral("Quality of the saved JPEG image, from 0 (smallest file) to 100 (best "
                       "image):"));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, 100);
    dialog.setIntValue(quality);
    if (Interaction().RunModal(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    quality = dialog.intValue();
    settings.setValue(JpegQualityKey(), quality);
    jpegQualityChosen_ = true;
    return quality;
}

QString CFFTQuarvelDoc::TransformSizeKey() {
    return QStringLiteral("Transform/Size");
}

TransformSize CFFTQuarvelDoc::StoredTransformSize() {
    return QSettings().value(TransformSizeKey()).toString() == QStringLiteral("Exact")
               ? TransformSize::Exact
               : TransformSize::PowerOfTwo;
}

void CFFTQuarvelDoc::SetTransformSize(TransformSize size) {
    transformSize = size;
    QSettings().setValue(TransformSizeKey(), size == TransformSize::Exact
                                                 ? QStringLiteral("Exact")
                                                 : QStringLiteral("Power of Two"));
}

QString CFFTQuarvelDoc::MirrorEditsKey() {
    return QStringLiteral("Settings/Mirror Edits");
}

void CFFTQuarvelDoc::SetMirrorEdits(bool on) {
    mirrorEdits = on;
    QSettings().setValue(MirrorEditsKey(), on);
}

QString CFFTQuarvelDoc::HistoryLimitKey() {
    return QStringLiteral("Memory/History Limit");
}

std::uint64_t CFFTQuarvelDoc::ReadHistoryMemoryLimit() {
    QSettings settings;
    const QVariant stored = settings.value(HistoryLimitKey());
    if (stored.isValid()) {
        // Read wide, so that a huge number is out of range instead of wrapped into it.
        bool ok = false;
        const qlonglong megabytes = stored.toLongLong(&ok);
        if (ok && megabytes >= kMinHistoryLimitMegabytes &&
            megabytes <= kMaxHistoryLimitMegabytes) {
            return static_cast<std::uint64_t>(megabytes) * kMegabyte;
        }
        settings.remove(HistoryLimitKey());
    }
    const std::uint64_t share = PhysicalMemoryBytes() / 4;
    return std::max<std::uint64_t>(share, kMinHistoryLimitMegabytes * kMegabyte);
}

CFFTQuarvelDoc::~CFFTQuarvelDoc() {
    panes.clear();
    ResetHistory();
}

void CFFTQuarvelDoc::RegisterPane(QWidget* pane) {
    Q_ASSERT(pane != nullptr);
    for (const QPointer<QWidget>& known : panes) {
        if (known == pane) {
            return;
        }
    }
    panes.emplace_back(pane);
    if (auto* view = qobject_cast<CPaneBase*>(pane)) {
        connect(this, &CFFTQuarvelDoc::DocumentChanged, view, [this, view] {
            if (rowChanges_.empty()) {
                view->OnDocumentChanged();
                return;
            }
            for (const RowChange& change : rowChanges_) {
                view->OnImageRowsChanged(*change.bitmap, change.top, change.bottom);
            }
        });
    }
}

CFFTQuarvelView* CFFTQuarvelDoc::GetTabView() const {
    for (const QPointer<QWidget>& pane : panes) {
        if (auto* view = qobject_cast<CFFTQuarvelView*>(pane.data())) {
            return view;
        }
    }
    return nullptr;
}

void CFFTQuarvelDoc::UpdateViews(int erase) {
    // A job on another thread leaves the panes alone; its command repaints them afterwards.
    Q_ASSERT(QThread::currentThread() == thread());
    // A Qt repaint always covers the whole invalidated area, so the erase flag has nothing to
    // select.
    static_cast<void>(erase);
    for (const QPointer<QWidget>& pane : panes) {
        if (auto* view = qobject_cast<CPaneBase*>(pane.data())) {
            view->update();
        }
    }
    Q_EMIT DocumentChanged();
    rowChanges_.clear();
}

void CFFTQuarvelDoc::PowerRowsChanged(const ImageBitmap& power, std::uint64_t top,
                                      std::uint64_t bottom) {
    Q_ASSERT(QThread::currentThread() == thread());
    rowChanges_.push_back(RowChange{&power, static_cast<int>(top), static_cast<int>(bottom)});
}

const ImageBitmap* CFFTQuarvelDoc::ProcessedImage() const {
    const ProcState* state = CurrentState();
    return state != nullptr ? state->image.get() : nullptr;
}

void CFFTQuarvelDoc::ShowOpeningImage(const ImageBitmap* image) {
    for (const QPointer<QWidget>& pane : panes) {
        if (auto* view = qobject_cast<CPaneBase*>(pane.data())) {
            view->ShowOpeningImage(image);
        }
    }
}

void CFFTQuarvelDoc::NotifyNewImage() {
    for (const QPointer<QWidget>& pane : panes) {
        if (auto* view = qobject_cast<CPaneBase*>(pane.data())) {
            view->OnNewImage();
        }
    }
}

QWidget* CFFTQuarvelDoc::DialogParent() const {
    return dialogParent_;
}

void CFFTQuarvelDoc::SetTitle(const QString& title) {
    title_ = title;
    Q_EMIT TitleChanged(title_);
}

void CFFTQuarvelDoc::SetInteraction(std::unique_ptr<CUserInteraction> interaction) {
    Q_ASSERT(interaction != nullptr);
    interaction_ = std::move(interaction);
}

void CFFTQuarvelDoc::ShowInformation(const QString& text) const {
    Interaction().ShowInformation(DialogParent(), kMessageTitle, text);
}

void CFFTQuarvelDoc::GiveBackMemory() {
    // The large-block cache keeps released planes for the next request of their size, which in
    // the program comes from a person's next command, when fresh memory serves as well. The
    // heap gives back its free top too.
    TrimLargeBlocks();
    ::malloc_trim(0);
}

bool CFFTQuarvelDoc::OnNewDocument() {
    ResetHistory();
    GiveBackMemory();
    cleanState_ = nullptr;
    openedImage = false;
    pathName_.clear();
    SetTitle(QStringLiteral("Untitled"));
    Q_EMIT DocumentChanged();
    return true;
}

void CFFTQuarvelDoc::RunOffThread(const std::function<void()>& work,
                                  const std::function<void()>& onPump) {
    Q_ASSERT(!busy_);
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr failure;
    // Throws std::bad_alloc or std::system_error before anything ran; the first is the
    // caller's to report, the second (no thread to be had) runs the work here instead.
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
            ended.notify_one();
        });
    } catch (const std::system_error&) {
        work();
        return;
    }

    busy_ = true;
    // Pending paint and timer events are delivered at least once, then every few
    // milliseconds until the work has ended. Mouse and keys wait for the end: every command
    // that touches the document is disabled by then, and so is a close of the window.
    const auto pump = [&onPump] {
        try {
            if (onPump) {
                onPump();
            }
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        } catch (const std::bad_alloc&) {
            // A repaint without memory is skipped; the work goes on.
        }
    };
    try {
        Q_EMIT BusyChanged(true);
    } catch (const std::bad_alloc&) {
        // The window shows no busy indicator this time; the work goes on.
    }
    for (;;) {
        pump();
        std::unique_lock<std::mutex> lock(mutex);
        if (ended.wait_for(lock, std::chrono::milliseconds(15), [&] { return done; })) {
            break;
        }
    }
    worker.join();
    busy_ = false;
    try {
        Q_EMIT BusyChanged(false);
    } catch (const std::bad_alloc&) {
        // The commands are brought up to date by the command's own DocumentChanged.
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool CFFTQuarvelDoc::LoadReplacing(const QString& path) {
    CWaitCursor wait;
    CDetachedProc loaded;
    IoResult result;
    bool started = false;
    // The file is decoded and transformed into a processing object of its own. Once decoded,
    // its image is only read, here and by the work: the image pane shows it while the spectra
    // are worked out, the other panes keep showing the document's.
    std::atomic<bool> decoded{false};
    bool shown = false;
    const std::filesystem::path file = FileSystemPath(path);
    const auto showDecoded = [&] {
        if (!shown && decoded.load(std::memory_order_acquire)) {
            shown = true;
            ShowOpeningImage(loaded.originalImage.get());
        }
    };
    const auto work = [&] {
        try {
            LoadLimits limits;
            limits.work = ImageWork::Document;
            limits.transformSize = transformSize;
            loaded.transformSize = transformSize;
            result = LoadImageFile(loaded.originalImage, file, limits);
        } catch (const std::bad_alloc&) {
            loaded.originalImage.reset();
            result = IoResult::Failure("there is not enough memory to read it");
        }
        if (result) {
            decoded.store(true, std::memory_order_release);
            started = loaded.StartHistory();
        }
    };
    try {
        RunOffThread(work, showDecoded);
    } catch (...) {
        if (shown) {
            ShowOpeningImage(nullptr);
        }
        throw;
    }
    // Unless the new image is complete, the panes go back to the document's.
    if (!started && shown) {
        shown = false;
        ShowOpeningImage(nullptr);
    }
    if (!result) {
        wait.Restore();
        Interaction().ShowError(DialogParent(), kMessageTitle,
                                QStringLiteral("%1\n\nThe file cannot be opened: %2")
                                    .arg(QDir::toNativeSeparators(path), FromUtf8(result.message)));
        return false;
    }
    if (!started) {
        wait.Restore();
        Interaction().ShowError(
            DialogParent(), kMessageTitle,
            QStringLiteral("%1\n\nThere is not enough memory to compute the spectra of this "
                           "image.")
                .arg(QDir::toNativeSeparators(path)));
        return false;
    }

    // The new image is complete: only now does it replace the document's.
    shown = false;
    ResetHistory();
    originalImage = std::move(loaded.originalImage);
    states = std::move(loaded.states);
    currentIndex = loaded.currentIndex;
    spectrumTransformSize = loaded.spectrumTransformSize;
    spectrumWidth = loaded.spectrumWidth;
    spectrumHeight = loaded.spectrumHeight;
    MarkClean();
    try {
        NotifyNewImage();
    } catch (const std::bad_alloc&) {
        // The image is the document's now; a pane that could not prepare for it shows less.
        ReportOutOfMemory(QStringLiteral("There is not enough memory to show the new image."));
    }
    // The replaced image's memory and the panes' screen copies of it are free now.
    GiveBackMemory();
    wait.Restore();

    if (!result.warning.empty()) {
        Q_EMIT StatusMessage(QStringLiteral("%1 was opened, but it is damaged: %2")
                                 .arg(QFileInfo(path).fileName(), FromUtf8(result.warning)));
    }
    Q_EMIT DocumentChanged();
    return true;
}

bool CFFTQuarvelDoc::OnOpenDocument(const QString& path) {
    // Opening is reached from the Open command, the recent files, a drop and the command line:
    // a failed allocation ends here, before or after the image was replaced, never half way.
    try {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        const QString title = QFileInfo(absolute).fileName();
        if (!LoadReplacing(absolute)) {
            return false;
        }
        toldAboutHistoryLimit_ = false;
        openedImage = true;
        pathName_ = absolute;
        SetTitle(title);
        Q_EMIT FileRecorded(absolute);
        return true;
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory(QStringLiteral("There is not enough memory to open the file."));
        return false;
    }
}

bool CFFTQuarvelDoc::OnSaveDocument(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const ProcState* state = CurrentState();
    if (state == nullptr || state->image == nullptr) {
        // Nothing is written, and an existing file keeps its contents.
        Interaction().ShowError(DialogParent(), kMessageTitle,
                                QStringLiteral("%1\n\nThere is no image to save.")
                                    .arg(QDir::toNativeSeparators(absolute)));
        return false;
    }

    // The format follows the name's extension (JPEG when it names none).
    SaveOptions options;
    if (MimeForFileName(FileSystemPath(absolute)) == "image/jpeg") {
        const std::optional<int> quality = JpegQualityForSave();
        if (!quality) {
            return false;
        }
        options.quality = *quality;
    }

    CWaitCursor wait;
    IoResult result;
    try {
        result = SaveImageFile(*state->image, FileSystemPath(absolute), options);
    } catch (const std::bad_alloc&) {
        result = IoResult::Failure("there is not enough memory to encode the image");
    }
    wait.Restore();
    if (!result) {
        Interaction().ShowError(
            DialogParent(), kMessageTitle,
            QStringLiteral("%1\n\nThe file cannot be saved: %2")
                .arg(QDir::toNativeSeparators(absolute), FromUtf8(result.message)));
        return false;
    }
    if (!result.warning.empty()) {
        // The file is written, with fewer bits a sample than the image holds.
        Interaction().ShowWarning(
            DialogParent(), kMessageTitle,
            QStringLiteral("%1\n\n%2.\n\nSave as PNG or TIFF to keep every bit of the image.")
                .arg(QDir::toNativeSeparators(absolute), FromUtf8(result.warning)));
    }
    openedImage = false;
    MarkClean();
    pathName_ = absolute;
    SetTitle(QFileInfo(absolute).fileName());
    Q_EMIT FileRecorded(absolute);
    Q_EMIT DocumentChanged();
    return true;
}

bool CFFTQuarvelDoc::OnFileRevert() {
    if (pathName_.isEmpty()) {
        return false;
    }
    return LoadReplacing(pathName_);
}

bool CFFTQuarvelDoc::OnFileSave() {
    if (openedImage) {
        return OnFileSaveAs();
    }
    const QFileInfo target(pathName_);
    if (pathName_.isEmpty() || (target.exists() && !target.isWritable())) {
        const QString chosen = Interaction().AskSavePath(DialogParent(), pathName_);
        return !chosen.isEmpty() && OnSaveDocument(chosen);
    }
    return OnSaveDocument(pathName_);
}

QString CFFTQuarvelDoc::SaveAsProposal() const {
    const VXFileName split(pathName_.toStdString());
    std::string folder = split.GetFolder();
    std::string name = split.GetFileName();
    if (name.find("copy of") == std::string::npos) {
        name = "copy of " + name;
    }
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return FromUtf8(folder + name);
}

bool CFFTQuarvelDoc::OnFileSaveAs() {
    // The path name changes only when the save succeeds, so a cancelled dialog leaves Revert
    // reading the file that was opened.
    const QString proposed = openedImage ? SaveAsProposal() : pathName_;
    const QString chosen = Interaction().AskSavePath(DialogParent(), proposed);
    if (chosen.isEmpty()) {
        return false;
    }
    return OnSaveDocument(chosen);
}

void CFFTQuarvelDoc::OnEditCopy() {
    const ProcState* state = CurrentState();
    if (state == nullptr || state->image == nullptr) {
        return;
    }
    QImage image;
    try {
        image = ToQImage(*state->image);
    } catch (const std::bad_alloc&) {
        image = QImage();
    }
    if (image.isNull()) {
        ReportOutOfMemory(QStringLiteral("There is not enough memory to copy the image."));
        return;
    }
    // Whoever pastes picks the format, TIFF among them.
    PadColourTable(image);
    QClipboard* clipboard = QGuiApplication::clipboard();
    bool placed = false;
    if (clipboard != nullptr) {
        clipboard->setImage(image);
        const QMimeData* data = clipboard->mimeData();
        placed = data != nullptr && data->hasImage();
    }
    if (!placed) {
        Interaction().ShowError(DialogParent(), kMessageTitle, QStringLiteral("Clipboard error"));
    }
}

void CFFTQuarvelDoc::OnViewImageWindow() {
    if (CFFTQuarvelView* view = GetTabView()) {
        view->SetActiveTab(0);
        view->activeTab = 0;
    }
}

void CFFTQuarvelDoc::OnViewSpectrumWindow() {
    if (CFFTQuarvelView* view = GetTabView()) {
        view->SetActiveTab(1);
        view->activeTab = 1;
    }
}

void CFFTQuarvelDoc::OnCreateFinalImage() {
    CFFTQuarvelView* view = GetTabView();
    if (view != nullptr && view->activeTab != 1) {
        OnViewSpectrumWindow();
    }
    if (workingState == nullptr || workingState->workImage == nullptr) {
        // Only the redo states go.
        CreateFinalImage();
        Q_EMIT DocumentChanged();
        return;
    }
    RunHistoryJob(
        [&] {
            // The redo states go only once the new state is there.
            RedoStatesAside redo(*this);
            try {
                CreateFinalImage();
            } catch (const std::bad_alloc&) {
                // The working state stays uncommitted, its spectra as they were.
            }
            const bool committed = workingState == nullptr;
            if (committed) {
                redo.Drop();
            }
            return committed;
        },
        QStringLiteral("There is not enough memory to create the final image. "
                       "The edits are kept; close other programs and try "
                       "again."));
}

void CFFTQuarvelDoc::OnEditUndo() {
    ShowState(currentIndex > 0 ? currentIndex - 1 : currentIndex);
}

void CFFTQuarvelDoc::OnEditRedo() {
    ShowState(currentIndex + 1);
}

void CFFTQuarvelDoc::OnEditRestore() {
    ShowState(currentIndex);
}

void CFFTQuarvelDoc::ShowState(std::uint64_t index) {
    const ProcState* shown = index < states.size() ? states[index].get() : nullptr;
    if (shown == nullptr || !NeedsRendering(*shown)) {
        MoveToState(index);
        UpdateViews(0);
        return;
    }
    RunHistoryJob(
        [&] {
            MoveToState(index);
            return !NeedsRendering(*shown);
        },
        QStringLiteral("There is not enough memory to show the power spectra of this step. "
                       "Close other programs and show it again."));
}

bool CFFTQuarvelDoc::RunHistoryJob(const std::function<bool()>& job, const QString& outOfMemory) {
    CWaitCursor wait;
    const std::uint64_t releasedBefore = releasedStateCount;
    bool done = false;
    try {
        RunOffThread([&] { done = job(); });
    } catch (const std::bad_alloc&) {
        done = false;
    }
    UpdateViews(0);
    wait.Restore();
    if (!done) {
        ReportOutOfMemory(outOfMemory);
        return false;
    }
    TellAboutReleasedStates(releasedBefore);
    return true;
}

bool CFFTQuarvelDoc::ChangeWhole(const std::function<bool()>& change) {
    try {
        RedoStatesAside redo(*this);
        // Pending edits are changed in place: a copy of them is what a failure goes back to.
        std::unique_ptr<ProcState> before;
        if (workingState != nullptr) {
            before = CopyState(*workingState);
            if (!before) {
                return false;
            }
        }
        bool changed = false;
        try {
            changed = change();
        } catch (const std::bad_alloc&) {
            changed = false;
        }
        if (changed) {
            redo.Drop();
            // What only the copy still held of the states not shown may go now.
            before.reset();
            ReleaseHiddenSpectra();
            return true;
        }
        if (before != nullptr) {
            workingState = std::move(before);
        } else {
            // The current state shows again, with any power image an edit took from it.
            DiscardWorkingState();
        }
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CFFTQuarvelDoc::ApplyFilterWhole(FilterKind kind, bool red, bool green, bool blue) {
    return ChangeWhole([&] {
        RecipeStep step = MakeFilterStep(kind, filterSettings);
        step.red = red;
        step.green = green;
        step.blue = blue;
        return ApplyStep(step) && HasEveryPowerImage(*workingState);
    });
}

bool CFFTQuarvelDoc::ApplyRecipeWhole(const Recipe& recipe) {
    return ChangeWhole([&] {
        bool applied = PrepareWorkingState();
        for (const RecipeStep& step : recipe.steps) {
            applied = applied && ApplyStep(step);
        }
        if (!applied) {
            return false;
        }
        CreateFinalImage();
        return workingState == nullptr;
    });
}

void CFFTQuarvelDoc::OnSaveRecipe() {
    const QFileInfo image(pathName_);
    const QString proposed = pathName_.isEmpty()
                                 ? QString()
                                 : image.absolutePath() + QLatin1Char('/') +
                                       image.completeBaseName() + QStringLiteral(".json");
    const QString path = Interaction().AskRecipePath(DialogParent(), true, proposed);
    if (path.isEmpty()) {
        return;
    }
    const IoResult saved = SaveRecipeFile(QFile::encodeName(path).toStdString(), RecordedRecipe());
    if (!saved) {
        Interaction().ShowError(DialogParent(), kMessageTitle,
                                QStringLiteral("The recipe was not saved: %1")
                                    .arg(QString::fromStdString(saved.message)));
    }
}

void CFFTQuarvelDoc::OnApplyRecipe() {
    const QString path = Interaction().AskRecipePath(DialogParent(), false, QString());
    if (path.isEmpty()) {
        return;
    }
    Recipe recipe;
    if (const IoResult loaded = LoadRecipeFile(QFile::encodeName(path).toStdString(), recipe);
        !loaded) {
        Interaction().ShowError(
            DialogParent(), kMessageTitle,
            QStringLiteral("%1: %2").arg(path, QString::fromStdString(loaded.message)));
        return;
    }
    RunHistoryJob([&] { return ApplyRecipeWhole(recipe); },
                  QStringLiteral("There is not enough memory to apply the recipe. The image is "
                                 "unchanged; close other programs and try again."));
    Q_EMIT DocumentChanged();
}

void CFFTQuarvelDoc::TellAboutReleasedStates(std::uint64_t releasedBefore) {
    if (releasedStateCount <= releasedBefore || toldAboutHistoryLimit_) {
        return;
    }
    toldAboutHistoryLimit_ = true;
    Interaction().ShowWarning(
        DialogParent(), kMessageTitle,
        QStringLiteral("The undo history may hold %1 MB. To make room for the new final image, "
                       "the oldest undo steps were released, and from now on the oldest steps "
                       "are released as new ones are added.")
            .arg((historyMemoryLimit + kMegabyte - 1) / kMegabyte));
}

void CFFTQuarvelDoc::ReportOutOfMemory(const QString& text) {
    Interaction().ShowError(DialogParent(), kMessageTitle, text);
}

void CFFTQuarvelDoc::OnDesignFilter(FilterKind kind) {
    CFFTQuarvelView* view = GetTabView();
    if (view != nullptr && view->activeTab != 1) {
        OnViewSpectrumWindow();
    }
    FilterSettings& settings = filterSettings;
    bool accepted = false;
    if (kind == FilterKind::LowPass) {
        CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"), DialogParent());
        dialog.manualPath = CFFTQuarvelApp::ManualPath();
        dialog.interaction = &Interaction();
        dialog.direction = static_cast<int>(settings.direction);
        dialog.dimensionIndex = settings.oneDimensional ? 1 : 0;
        dialog.degreeIndex = settings.degree - 1;
        dialog.cutOff = settings.cutOff;
        accepted = Interaction().RunModal(dialog) == QDialog::Accepted;
        if (accepted) {
            settings.direction = static_cast<std::uint64_t>(dialog.direction);
            settings.oneDimensional = dialog.dimensionIndex != 0;
            settings.degree = dialog.degreeIndex + 1;
            settings.cutOff = dialog.cutOff;
        }
    } else {
        CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"), DialogParent());
        dialog.manualPath = CFFTQuarvelApp::ManualPath();
        dialog.interaction = &Interaction();
        dialog.direction = static_cast<int>(settings.direction);
        dialog.dimensionIndex = settings.oneDimensional ? 1 : 0;
        dialog.degreeIndex = settings.degree - 1;
        dialog.lowCutOff = settings.lowCutOff;
        dialog.highCutOff = settings.highCutOff;
        accepted = Interaction().RunModal(dialog) == QDialog::Accepted;
        if (accepted) {
            settings.direction = static_cast<std::uint64_t>(dialog.direction);
            settings.oneDimensional = dialog.dimensionIndex != 0;
            settings.degree = dialog.degreeIndex + 1;
            settings.lowCutOff = dialog.lowCutOff;
            settings.highCutOff = dialog.highCutOff;
        }
    }
    if (!accepted) {
        return;
    }
    // The filter follows the channel switches of the last power spectrum pane.
    const CPowerSpectrumView* pane = nullptr;
    for (const QPointer<QWidget>& entry : panes) {
        if (const auto* spectrumPane = qobject_cast<const CPowerSpectrumView*>(entry.data())) {
            pane = spectrumPane;
        }
    }
    if (pane == nullptr) {
        return;
    }
    CWaitCursor wait;
    const bool red = pane->redEnabled;
    const bool green = pane->greenEnabled;
    const bool blue = pane->blueEnabled;
    bool applied = false;
    try {
        RunOffThread([&] { applied = ApplyFilterWhole(kind, red, green, blue); });
    } catch (const std::bad_alloc&) {
        applied = false;
    }
    UpdateViews(0);
    wait.Restore();
    if (!applied) {
        ReportOutOfMemory(
            QStringLiteral("There is not enough memory to apply the filter. The "
                           "spectra are unchanged; close other programs and try "
                           "again."));
    }
    Q_EMIT DocumentChanged();
}

bool CFFTQuarvelDoc::QueryCommand(int id, CommandStatus& status) const {
    return QueryTargetCommand(*this, id, status);
}

bool CFFTQuarvelDoc::RunCommand(int id) {
    // Each command keeps the document whole when memory runs out; this is the last guard for
    // whatever else a command allocates on its way (messages, cursors, signals).
    try {
        return RunTargetCommand(*this, id);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory(QStringLiteral("There is not enough memory to complete the command."));
        Q_EMIT DocumentChanged();
        return true;
    }
}

}  // namespace quarvel
