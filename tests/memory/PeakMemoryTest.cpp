// The memory estimate against the real peak of every way an image is processed. Each run has a
// child process of its own, started before this process made any thread or Qt object, whose
// peak resident memory is read from the system and taken beyond what it held when the work
// began.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QImageWriter>
#include <QSettings>

#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelDoc.h"
#include "cli/CliCommands.h"
#include "imageio/ImageFile.h"
#include "ui/CommandIds.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

/// A "Vm...:" value of /proc/self/status, in bytes.
double StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stod(line.substr(key.size())) * 1024.0;
        }
    }
    return -1.0;
}

/// Makes the current resident memory the process's peak from here on.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

/// What a child reports: its peak beyond the start of the work, and the estimate of the work.
struct Measured {
    double peak = -1.0;
    double estimate = -1.0;
};

/// Runs body in a child process and returns what it reports, or a default Result when the
/// child failed.
template <typename Result>
Result InChild(const std::function<Result()>& body) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        Result result{};
        try {
            result = body();
        } catch (...) {
            result = {};
        }
        const bool sent = ::write(channel[1], &result, sizeof result) == sizeof result;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    Result result{};
    if (child < 0 || ::read(channel[0], &result, sizeof result) != sizeof result) {
        result = {};
    }
    ::close(channel[0]);
    int status = 0;
    if (child > 0) {
        ::waitpid(child, &status, 0);
    }
    return result;
}

int argumentCount = 1;
char programName[] = "memory_peak_tests";
char* arguments[] = {programName, nullptr};

/// A photograph-like test image (smooth shapes, fine stripes and noise) written as JPEG.
bool WriteTestImage(const fs::path& path, int width, int height, bool grey) {
    QImage image(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const int red = std::clamp(
                static_cast<int>(128 + 90 * std::sin(6 * u + 3 * v) + 30 * std::sin(x * 0.21)) +
                    noise(random),
                0, 255);
            const int green = std::clamp(
                static_cast<int>(120 + 80 * std::cos(5 * v - 2 * u)) + noise(random), 0, 255);
            const int blue = std::clamp(
                static_cast<int>(100 + 70 * std::sin(9 * u * v)) + noise(random), 0, 255);
            if (grey) {
                line[x] = static_cast<uchar>((red + green + blue) / 3);
            } else {
                reinterpret_cast<QRgb*>(line)[x] = qRgb(red, green, blue);
            }
        }
    }
    QImageWriter writer(QString::fromStdString(path.string()), "jpeg");
    writer.setQuality(90);
    return writer.write(image);
}

/// Answers every dialog with OK and keeps every message to itself.
class AcceptingInteraction : public CUserInteraction {
public:
    void ShowError(QWidget*, const QString&, const QString&) override {}
    void ShowWarning(QWidget*, const QString&, const QString&) override {}
    void ShowInformation(QWidget*, const QString&, const QString&) override {}
    int RunModal(QDialog&) override { return QDialog::Accepted; }
};

/// Lets the window paint what changed.
void Settle() {
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
}

struct TestImage {
    const char* name;
    int width;
    int height;
    bool grey;
};

void PrintTo(const TestImage& image, std::ostream* os) {
    *os << image.name;
}

/// The images, made once for the whole run in a folder of their own: each at its size, a tiny
/// one of the same kind for the runs that load the codecs and start the threads first, and a
/// folder holding only that image for the batch.
class PeakMemory : public testing::TestWithParam<TestImage> {
public:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("quarvel-peak-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        const Measured made = InChild<Measured>([] {
            QGuiApplication application(argumentCount, arguments);
            for (const TestImage& image : Images()) {
                fs::create_directories(BatchFolder(image));
                fs::create_directories(TinyBatchFolder(image));
                if (!WriteTestImage(Path(image), image.width, image.height, image.grey) ||
                    !WriteTestImage(BatchFolder(image) / "image.jpg", image.width, image.height,
                                    image.grey) ||
                    !WriteTestImage(TinyPath(image), 16, 12, image.grey) ||
                    !WriteTestImage(TinyBatchFolder(image) / "image.jpg", 16, 12, image.grey)) {
                    return Measured{};
                }
            }
            return Measured{0.0, 0.0};
        });
        ASSERT_EQ(made.peak, 0.0) << "the test images could not be written";
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    /// Photographs of 1 to 1.5 megapixels; with QUARVEL_PEAK_MEMORY_LARGE set in the
    /// environment also of 24 and 67 megapixels, which take minutes and up to 10 GB.
    static std::vector<TestImage> Images() {
        std::vector<TestImage> images = {{"Colour1200x900", 1200, 900, false},
                                         {"Grey1500x1000", 1500, 1000, true}};
        if (std::getenv("QUARVEL_PEAK_MEMORY_LARGE") != nullptr) {
            images.insert(images.end(), {{"Colour6000x4000", 6000, 4000, false},
                                         {"Colour8193x8193", 8193, 8193, false},
                                         {"Grey8193x8193", 8193, 8193, true}});
        }
        return images;
    }

protected:
    static fs::path Path(const TestImage& image) {
        return folder_ / (image.name + std::string(".jpg"));
    }
    static fs::path TinyPath(const TestImage& image) {
        return folder_ / (image.name + std::string("_tiny.jpg"));
    }
    static fs::path BatchFolder(const TestImage& image) {
        return folder_ / (image.name + std::string("_batch"));
    }
    static fs::path TinyBatchFolder(const TestImage& image) {
        return folder_ / (image.name + std::string("_tinybatch"));
    }
    /// A batch folder as a batch command names it, without the result of an earlier run, which
    /// would be filtered as a second image at the same time.
    static std::string FreshBatch(const fs::path& batchFolder) {
        fs::remove(batchFolder / "image_flt.jpg");
        return batchFolder.string();
    }

    /// The peak of a command of fftquarvel-cli beyond the memory held when it started, after the
    /// same command ran on the tiny image; with its estimate.
    Measured CommandPeak(ImageWork work, const std::vector<std::string>& command,
                         const std::vector<std::string>& warmUp,
                         TransformSize transform = TransformSize::PowerOfTwo) const {
        const TestImage image = GetParam();
        return InChild<Measured>([&] {
            QCoreApplication application(argumentCount, arguments);
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               QString::fromStdString(folder_.string()));
            std::ostringstream ignored;
            RunCommandLine(warmUp, ignored, ignored);
            ResetPeak();
            const double start = StatusBytes("VmRSS:");
            if (RunCommandLine(command, ignored, ignored) != CliExitSuccess) {
                return Measured{};
            }
            return Measured{StatusBytes("VmHWM:") - start,
                            static_cast<double>(EstimatedImageMemory(
                                work, static_cast<std::uint64_t>(image.width),
                                static_cast<std::uint64_t>(image.height), image.grey, transform))};
        });
    }

    /// The peak of opening the image in the desktop program and showing both tabs, beyond what
    /// the program held with the tiny image open; or, with another state, of what a brush
    /// stroke, a low-pass filter and Create Final Image add to that.
    Measured DocumentPeak(bool anotherState) const {
        const TestImage image = GetParam();
        return InChild<Measured>([&] {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QApplication application(argumentCount, arguments);
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               QString::fromStdString(folder_.string()));
            CFFTQuarvelApp program(std::make_unique<AcceptingInteraction>());
            program.InitInstance({});
            CFFTQuarvelDoc& doc = *program.Document();
            const auto open = [&](const fs::path& path) {
                const bool opened = doc.OnOpenDocument(QString::fromStdString(path.string()));
                Settle();
                doc.RunCommand(ID_VIEW_IMAGE_WINDOW);
                Settle();
                return opened;
            };
            if (!open(TinyPath(image))) {
                return Measured{};
            }
            doc.RunCommand(ID_VIEW_SPECTRUM_WINDOW);
            Settle();
            ResetPeak();
            const double start = StatusBytes("VmRSS:");
            if (!open(Path(image))) {
                return Measured{};
            }
            const auto estimate = [&](ImageWork work) {
                return static_cast<double>(
                    EstimatedImageMemory(work, static_cast<std::uint64_t>(image.width),
                                         static_cast<std::uint64_t>(image.height), image.grey));
            };
            const double opened = StatusBytes("VmHWM:");
            if (!anotherState) {
                return Measured{opened - start, estimate(ImageWork::Document)};
            }
            // Both states are kept, whatever share of this machine's memory the history
            // may hold by default.
            doc.historyMemoryLimit = 0;
            doc.RunCommand(ID_VIEW_SPECTRUM_WINDOW);
            Settle();
            doc.StampBrush(image.grey ? ChannelKind::Grey : ChannelKind::Red,
                           static_cast<std::uint32_t>(doc.spectrumWidth / 2 + 9),
                           static_cast<std::int32_t>(doc.spectrumHeight / 2 + 5), 6);
            Settle();
            doc.RunCommand(ID_FFT_LOWPASS);
            Settle();
            doc.RunCommand(ID_FFT_CREATE_FINAL);
            Settle();
            doc.RunCommand(ID_VIEW_IMAGE_WINDOW);
            Settle();
            if (doc.states.size() != 2) {
                return Measured{};
            }
            return Measured{StatusBytes("VmHWM:") - opened, estimate(ImageWork::HistoryState)};
        });
    }

    static inline fs::path folder_;
};

/// The estimate holds the peak and is at most a quarter above it.
void ExpectBound(const Measured& measured) {
    ASSERT_GT(measured.peak, 0.0) << "the work failed";
    const double megabyte = 1024.0 * 1024.0;
    EXPECT_GE(measured.estimate, measured.peak)
        << "estimate " << measured.estimate / megabyte << " MB, peak " << measured.peak / megabyte
        << " MB";
    EXPECT_LE(measured.estimate, 1.25 * measured.peak)
        << "estimate " << measured.estimate / megabyte << " MB, peak " << measured.peak / megabyte
        << " MB";
}

TEST_P(PeakMemory, SpectrumCommand) {
    const std::string image = Path(GetParam()).string();
    const std::string tiny = TinyPath(GetParam()).string();
    const std::string out = folder_.string();
    ExpectBound(CommandPeak(ImageWork::Spectrum, {"spectrum", image, "-o", out},
                            {"spectrum", tiny, "-o", out}));
}

TEST_P(PeakMemory, FilterCommand) {
    const std::string image = Path(GetParam()).string();
    const std::string tiny = TinyPath(GetParam()).string();
    const std::string out = folder_.string();
    ExpectBound(CommandPeak(ImageWork::Filter, {"filter", image, "--lowpass", "30", "-d", out},
                            {"filter", tiny, "--lowpass", "30", "-d", out}));
}

TEST_P(PeakMemory, FilterCommandWithSpectra) {
    const std::string image = Path(GetParam()).string();
    const std::string tiny = TinyPath(GetParam()).string();
    const std::string out = folder_.string();
    ExpectBound(CommandPeak(ImageWork::FilterWithSpectra,
                            {"filter", image, "--lowpass", "30", "--spectrum", "-d", out},
                            {"filter", tiny, "--lowpass", "30", "--spectrum", "-d", out}));
}

TEST_P(PeakMemory, BatchCommand) {
    ExpectBound(CommandPeak(ImageWork::Batch,
                            {"batch", FreshBatch(BatchFolder(GetParam())), "--lowpass", "30"},
                            {"batch", FreshBatch(TinyBatchFolder(GetParam())), "--lowpass", "30"}));
}

// At the image's own size the transform, its planes and its work memory are smaller.
TEST_P(PeakMemory, CommandsAtExactSize) {
    const std::string image = Path(GetParam()).string();
    const std::string tiny = TinyPath(GetParam()).string();
    const std::string out = folder_.string();
    ExpectBound(CommandPeak(ImageWork::Spectrum, {"spectrum", image, "--exact-size", "-o", out},
                            {"spectrum", tiny, "--exact-size", "-o", out}, TransformSize::Exact));
    ExpectBound(
        CommandPeak(ImageWork::FilterWithSpectra,
                    {"filter", image, "--lowpass", "30", "--spectrum", "--exact-size", "-d", out},
                    {"filter", tiny, "--lowpass", "30", "--spectrum", "--exact-size", "-d", out},
                    TransformSize::Exact));
    ExpectBound(CommandPeak(
        ImageWork::Batch,
        {"batch", FreshBatch(BatchFolder(GetParam())), "--lowpass", "30", "--exact-size"},
        {"batch", FreshBatch(TinyBatchFolder(GetParam())), "--lowpass", "30", "--exact-size"},
        TransformSize::Exact));
}

TEST_P(PeakMemory, OpeningInTheProgram) {
    ExpectBound(DocumentPeak(false));
}

TEST_P(PeakMemory, AnotherHistoryState) {
    ExpectBound(DocumentPeak(true));
}

/// What the loading gate did with a budget just under the estimate and with the estimate itself.
struct GateOutcome {
    bool refusedUnder = false;
    bool loadedAtEstimate = false;
    char refusal[160] = {};
};

TEST_P(PeakMemory, BudgetJustUnderTheEstimateRefusesTheImageAndTheEstimateTakesIt) {
    const TestImage image = GetParam();
    const std::string path = Path(image).string();
    const std::string out = folder_.string();
    // fftquarvel-cli filter with --max-memory, and a document load under SetMemoryBudget.
    const auto command = [&](std::uint64_t budget, std::string& err) {
        std::ostringstream ignored;
        std::ostringstream errors;
        const int status = RunCommandLine(
            {"filter", path, "--lowpass", "30", "-d", out, "--max-memory", std::to_string(budget)},
            ignored, errors);
        err = errors.str();
        return status;
    };
    const GateOutcome filter = InChild<GateOutcome>([&] {
        QCoreApplication application(argumentCount, arguments);
        const std::uint64_t estimate =
            EstimatedImageMemory(ImageWork::Filter, static_cast<std::uint64_t>(image.width),
                                 static_cast<std::uint64_t>(image.height), image.grey);
        GateOutcome outcome;
        std::string err;
        outcome.refusedUnder = command(estimate - 1, err) == CliExitFailure;
        err.copy(outcome.refusal, sizeof outcome.refusal - 1);
        outcome.loadedAtEstimate = command(estimate, err) == CliExitSuccess;
        return outcome;
    });
    EXPECT_TRUE(filter.refusedUnder);
    EXPECT_NE(std::string(filter.refusal)
                  .find(": too large: " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " pixels needs "),
              std::string::npos)
        << filter.refusal;
    EXPECT_TRUE(filter.loadedAtEstimate);

    const GateOutcome document = InChild<GateOutcome>([&] {
        QGuiApplication application(argumentCount, arguments);
        const std::uint64_t estimate =
            EstimatedImageMemory(ImageWork::Document, static_cast<std::uint64_t>(image.width),
                                 static_cast<std::uint64_t>(image.height), image.grey);
        LoadLimits limits;
        limits.work = ImageWork::Document;
        std::unique_ptr<ImageBitmap> loaded;
        GateOutcome outcome;
        SetMemoryBudget(estimate - 1);
        outcome.refusedUnder = !LoadImageFile(loaded, Path(image), limits);
        SetMemoryBudget(estimate);
        outcome.loadedAtEstimate = static_cast<bool>(LoadImageFile(loaded, Path(image), limits));
        return outcome;
    });
    EXPECT_TRUE(document.refusedUnder);
    EXPECT_TRUE(document.loadedAtEstimate);
}

INSTANTIATE_TEST_SUITE_P(Images, PeakMemory, testing::ValuesIn(PeakMemory::Images()),
                         [](const testing::TestParamInfo<TestImage>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace quarvel
