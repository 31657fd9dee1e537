// quarvel_gui_bench: the desktop program on a 6000 x 4000 colour photograph, driven offscreen
// through its real commands and mouse events, as a person uses it. Prints one line per figure:
//   gui_open_ms            File, Open until the power spectra are painted in their tab
//   gui_open_image_ms      File, Open until the image tab is painted with the photograph
//   gui_first_brush_ms     the first brush press on the red spectrum until it is painted
//   gui_brush_ms           the median of the later brush presses
//   gui_select_ms          dragging a selection rectangle until its outline is first drawn
//   gui_delete_ms          Clear Selected Area (Delete) of that rectangle until painted
//   gui_filter_ms          a low-pass filter of the default design until painted
//   gui_create_final_ms    Create Final Image until painted
//   gui_peak_before_batch_rss_mb  the peak resident memory of the session up to that batch
//   gui_batch_ms           a batch of three such photographs (low-pass), the document kept open
//   gui_batch_peak_rss_mb  the peak resident memory during that batch
//   gui_peak_rss_mb        the peak resident memory of the whole session above
//   gui_undo_ms            Undo after that: the first state shown again, its spectra made anew
//   gui_kept_blocks_*_mb   released large blocks kept for reuse, part of the resident memory
//   gui_rss_after_small_mb the resident memory after a 512 x 512 image replaced the photograph
// "Until painted" means until the document is idle again and the pane has repainted itself, so a
// command that works in the background is timed to its end. Times are wall-clock milliseconds on
// the machine as it is; nothing is asserted.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "BenchUtil.h"
#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CFFTQuarvelView.h"
#include "app/CMainFrame.h"
#include "batch/CBatchProcessor.h"
#include "engine/LargeBlocks.h"
#include "engine/PlaneConversion.h"
#include "imageio/ImageFile.h"
#include "ui/CUserInteraction.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel::bench {
namespace {

constexpr std::uint32_t kPhotoWidth = 6000;
constexpr std::uint32_t kPhotoHeight = 4000;
constexpr std::uint32_t kSmallSide = 512;
constexpr int kBrushPresses = 6;
constexpr int kBatchPhotographs = 3;

/// Answers every question of the program as a person who opens the next path, accepts each
/// dialog as it is and discards unsaved work.
class BenchInteraction : public CUserInteraction {
public:
    QString AskOpenPath(QWidget*) override { return nextPath; }
    QString AskSavePath(QWidget*, const QString&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "quarvel_gui_bench: error shown: %s\n", qPrintable(text));
    }
    void ShowWarning(QWidget*, const QString&, const QString&) override {}
    void ShowInformation(QWidget*, const QString&, const QString&) override {}
    SaveChoice AskSaveChanges(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Discard;
    }
    int RunModal(QDialog&) override { return QDialog::Accepted; }
    bool OpenUrl(const QUrl&) override { return true; }

    QString nextPath;
};

/// Saves source resampled to width x height, with reproducible noise of a few levels, as a
/// JPEG of quality 90; an empty string on success, else why not.
std::string MakePhotograph(const ImageBitmap& source, std::uint32_t width, std::uint32_t height,
                           const std::filesystem::path& path) {
    const auto enlarged = ResampleImage(&source, width, height);
    if (!enlarged) {
        return "not enough memory to enlarge the photograph";
    }
    std::mt19937 generator(1);
    std::uniform_int_distribution<int> noise(-6, 6);
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(enlarged->Stride());
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = enlarged->Row(y);
        for (std::uint32_t x = 0; x < rowBytes; ++x) {
            row[x] = static_cast<std::uint8_t>(std::clamp(row[x] + noise(generator), 0, 255));
        }
    }
    const IoResult saved = SaveImageFile(*enlarged, path, SaveOptions{"image/jpeg", 90});
    return saved ? std::string() : saved.message;
}

/// A left-button event on widget at window point at.
void Mouse(QWidget& widget, QEvent::Type type, QPoint at) {
    const QPointF local(at);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

/// Notes when the image pane first finishes a paint that shows a new image: the image being
/// opened, or the document's image once the open has ended.
class FirstPaintWatch : public QObject {
public:
    FirstPaintWatch(CImageView& pane, CFFTQuarvelDoc& doc, const QElapsedTimer& clock)
        : pane_(pane), doc_(doc), clock_(clock), before_(doc.OriginalImage()) {
        pane_.installEventFilter(this);
    }
    ~FirstPaintWatch() override { pane_.removeEventFilter(this); }
    FirstPaintWatch(const FirstPaintWatch&) = delete;
    FirstPaintWatch& operator=(const FirstPaintWatch&) = delete;

    /// Milliseconds on the clock at the end of that paint; negative while there was none.
    double Milliseconds() const { return milliseconds_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &pane_ || event->type() != QEvent::Paint || milliseconds_ >= 0.0) {
            return false;
        }
        const bool showsNew =
            doc_.IsBusy() ? pane_.OpeningImage() != nullptr : doc_.OriginalImage() != before_;
        if (!showsNew) {
            return false;
        }
        // The paint is done here, so that its end is what is timed.
        static_cast<QObject&>(pane_).event(event);
        milliseconds_ = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        return true;
    }

private:
    CImageView& pane_;
    CFFTQuarvelDoc& doc_;
    const QElapsedTimer& clock_;
    const ImageBitmap* before_;
    double milliseconds_ = -1.0;
};

/// Drives one session of the program.
class Session {
public:
    explicit Session(CFFTQuarvelApp& app, BenchInteraction& ui) : app_(app), ui_(ui) {}

    CFFTQuarvelDoc& Doc() { return *app_.Document(); }
    CMainFrame& Frame() { return *app_.MainFrame(); }
    CImageView& ImagePane() { return *static_cast<CImageView*>(Frame().TabView()->ImagePane()); }
    CPowerSpectrumView& SpectrumPane() {
        return *static_cast<CPowerSpectrumView*>(Frame().TabView()->SpectrumPane());
    }

    /// Lets the document finish what it works on, then repaints the selected tab's pane.
    void Settle() {
        QApplication::processEvents();
        if (QWidget* pane = Frame().TabView()->CurrentPane()) {
            pane->repaint();
        }
    }

    /// Lets the spectrum pane's outline timer draw a new selection's outline for the first
    /// time (the selection scaled to the zoom); gives up after two seconds.
    void AwaitOutline() {
        QElapsedTimer waited;
        waited.start();
        while (SpectrumPane().DisplayCopy() == nullptr && waited.elapsed() < 2000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        Settle();
    }

    void Trigger(int id) {
        Frame().UpdateCommandUI();
        Frame().Action(id)->trigger();
    }

    void Open(const std::filesystem::path& path) {
        ui_.nextPath = QString::fromStdString(path.string());
        Trigger(ID_FILE_OPEN);
    }

    /// The window point of the first spectrum panel's image at the fractions fx and fy of its
    /// width and height from its middle (-0.5 to 0.5).
    QPoint OnFirstPanel(double fx, double fy) {
        const CanvasRect d = SpectrumPane().Layout().Panel(0)->destRect;
        return QPoint((d.left + d.right) / 2 + static_cast<int>(fx * d.Width()),
                      (d.top + d.bottom) / 2 + static_cast<int>(fy * d.Height()));
    }

    void Click(QPoint at) {
        Mouse(SpectrumPane(), QEvent::MouseButtonPress, at);
        Mouse(SpectrumPane(), QEvent::MouseButtonRelease, at);
    }

    void Drag(QPoint from, QPoint to) {
        Mouse(SpectrumPane(), QEvent::MouseButtonPress, from);
        Mouse(SpectrumPane(), QEvent::MouseMove, (from + to) / 2);
        Mouse(SpectrumPane(), QEvent::MouseMove, to);
        Mouse(SpectrumPane(), QEvent::MouseButtonRelease, to);
    }

private:
    CFFTQuarvelApp& app_;
    BenchInteraction& ui_;
};

/// The megabytes of released large blocks the program keeps for reuse (part of the resident
/// memory).
double KeptBlockMegabytes() {
    return static_cast<double>(CachedLargeBlockBytes()) / (1024.0 * 1024.0);
}

template <typename Work>
double Milliseconds(Work&& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

int RunSession(const std::filesystem::path& folder) {
    std::unique_ptr<ImageBitmap> source;
    const IoResult loaded = LoadImageFile(source, std::filesystem::path(QUARVEL_SOURCE_DIR) /
                                                      "tests" / "data" / "images" / "rocket.jpg");
    if (!loaded) {
        std::fprintf(stderr, "quarvel_gui_bench: rocket.jpg: %s\n", loaded.message.c_str());
        return 1;
    }
    const std::filesystem::path photograph = folder / "photograph.jpg";
    const std::filesystem::path small = folder / "small.jpg";
    const std::filesystem::path batchFolder = folder / "batch";
    std::filesystem::create_directory(batchFolder);
    for (const auto& [width, height, path] :
         {std::tuple{kPhotoWidth, kPhotoHeight, photograph}, {kSmallSide, kSmallSide, small}}) {
        if (const std::string error = MakePhotograph(*source, width, height, path);
            !error.empty()) {
            std::fprintf(stderr, "quarvel_gui_bench: %s\n", error.c_str());
            return 1;
        }
    }
    source.reset();
    for (int i = 0; i < kBatchPhotographs; ++i) {
        std::filesystem::copy_file(photograph,
                                   batchFolder / ("photo" + std::to_string(i) + ".jpg"));
    }

    auto interactionOwner = std::make_unique<BenchInteraction>();
    BenchInteraction& ui = *interactionOwner;
    CFFTQuarvelApp app(std::move(interactionOwner));
    if (!app.InitInstance({})) {
        std::fprintf(stderr, "quarvel_gui_bench: the program did not start\n");
        return 1;
    }
    app.MainFrame()->resize(1600, 1000);
    Session session(app, ui);
    session.Settle();
    std::printf("gui_start_rss_mb=%.0f\n", ResidentMegabytes());

    double openImage = 0.0;
    QElapsedTimer timer;
    timer.start();
    const double open = Milliseconds([&] {
        const FirstPaintWatch watch(session.ImagePane(), session.Doc(), timer);
        session.Open(photograph);
        session.Settle();
        openImage = watch.Milliseconds();
        session.Trigger(ID_VIEW_SPECTRUM_WINDOW);
        session.Settle();
    });
    std::printf("gui_open_ms=%.0f\n", open);
    std::printf("gui_open_image_ms=%.0f\n", openImage);
    std::printf("gui_rss_after_open_mb=%.0f\n", ResidentMegabytes());
    std::printf("gui_kept_blocks_after_open_mb=%.0f\n", KeptBlockMegabytes());

    session.Trigger(ID_TOOL_BRUSH);
    std::vector<double> brushes;
    for (int i = 0; i < kBrushPresses; ++i) {
        const QPoint at = session.OnFirstPanel(0.08 + 0.05 * i, -0.06 - 0.05 * i);
        brushes.push_back(Milliseconds([&] {
            session.Click(at);
            session.Settle();
        }));
        if (i == 0) {
            std::printf("gui_first_brush_ms=%.0f\n", brushes.front());
            std::printf("gui_rss_after_first_brush_mb=%.0f\n", ResidentMegabytes());
            std::printf("gui_kept_blocks_after_first_brush_mb=%.0f\n", KeptBlockMegabytes());
        }
    }
    brushes.erase(brushes.begin());
    std::printf("gui_brush_ms=%.0f\n", Median(brushes));

    session.Trigger(ID_TOOL_SELECTION_RECTANGLE);
    std::printf("gui_select_ms=%.0f\n", Milliseconds([&] {
                    session.Drag(session.OnFirstPanel(-0.3, 0.1), session.OnFirstPanel(-0.15, 0.3));
                    session.AwaitOutline();
                }));
    std::printf("gui_delete_ms=%.0f\n", Milliseconds([&] {
                    session.Trigger(ID_FFT_CLEAR_SELECTION);
                    session.Settle();
                }));
    std::printf("gui_filter_ms=%.0f\n", Milliseconds([&] {
                    session.Trigger(ID_FFT_LOWPASS);
                    session.Settle();
                }));
    std::printf("gui_create_final_ms=%.0f\n", Milliseconds([&] {
                    session.Trigger(ID_FFT_CREATE_FINAL);
                    session.Settle();
                }));
    std::printf("gui_rss_after_final_mb=%.0f\n", ResidentMegabytes());
    std::printf("gui_kept_blocks_after_final_mb=%.0f\n", KeptBlockMegabytes());

    // The batch's own peak is measured from the memory the open document holds.
    const double peakBeforeBatch = PeakResidentMegabytes();
    std::printf("gui_peak_before_batch_rss_mb=%.0f\n", peakBeforeBatch);
    const bool batchPeakMeasured = ResetPeakResident();
    std::printf("gui_batch_ms=%.0f\n", Milliseconds([&] {
                    CBatchProcessor batch;
                    const BatchSummary summary =
                        batch.RunBatch(batchFolder.string(), [] { return BatchSettings{}; });
                    if (!summary.Succeeded()) {
                        std::fprintf(stderr, "quarvel_gui_bench: the batch failed\n");
                    }
                }));
    const double batchPeak = PeakResidentMegabytes();
    if (batchPeakMeasured) {
        std::printf("gui_batch_peak_rss_mb=%.0f\n", batchPeak);
    }
    std::printf("gui_peak_rss_mb=%.0f\n", std::max(peakBeforeBatch, batchPeak));

    std::printf("gui_undo_ms=%.0f\n", Milliseconds([&] {
                    session.Trigger(ID_EDIT_UNDO);
                    session.Settle();
                }));

    session.Open(small);
    session.Settle();
    std::printf("gui_rss_after_small_mb=%.0f\n", ResidentMegabytes());
    std::fflush(stdout);
    return 0;
}

}  // namespace
}  // namespace quarvel::bench

int main(int argc, char** argv) {
    // Offscreen unless told otherwise, with a settings store of its own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(quarvel::kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(quarvel::kSettingsApplication));
    const quarvel::bench::TemporaryFolder folder;
    if (folder.Path().empty()) {
        std::fprintf(stderr, "quarvel_gui_bench: cannot make a temporary folder\n");
        return 1;
    }
    return quarvel::bench::RunSession(folder.Path());
}
