#include "cli/BatchCommand.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <tbb/task_arena.h>

#include "batch/BatchSettingsStore.h"
#include "batch/CBatchProcessor.h"
#include "cli/CliCommands.h"
#include "imageio/VXFileName.h"
#include "recipe/RecipeFile.h"

namespace quarvel {

namespace {

/// The most rectangles one batch clears.
constexpr std::size_t kMaxRectangles = std::tuple_size_v<RectangleList>;

/// Parses "X1,Y1,X2,Y2" into a rectangle of 32-bit values.
std::optional<SpectrumRectangle> ParseRectangle(const std::string& text) {
    const auto numbers = ParseIntegerList(text, 4, std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max());
    if (!numbers) {
        return std::nullopt;
    }
    const auto& v = *numbers;
    return SpectrumRectangle{static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1]),
                             static_cast<std::int32_t>(v[2]), static_cast<std::int32_t>(v[3])};
}

/// Applies the options to the stored settings and picks the encoder; an error message when an
/// option's value does not fit.
std::string ApplyOptions(const ParsedOptions& options, BatchSettings& settings, SaveOptions& save) {
    if (options.Has("files-from") ? !options.operands.empty() : options.operands.size() != 1) {
        return "batch takes one FOLDER or --files-from LIST";
    }
    if (options.Has("lowpass") && options.Has("clear")) {
        return "options --lowpass and --clear cannot be combined";
    }
    if (const auto recipe = options.Text("recipe")) {
        // A recipe holds every step with its design and transform size.
        for (const char* step :
             {"lowpass", "clear", "degree", "separable", "radial", "exact-size"}) {
            if (options.Has(step)) {
                return std::string("option --recipe cannot be combined with --") + step +
                       ": the recipe holds the steps";
            }
        }
        settings.filteringType = RecipeReplay;
        settings.recipePath = *recipe;
    }
    if (const auto cutOff = options.Integer("lowpass")) {
        settings.filteringType = LowPassConvolution;
        settings.cutOff = static_cast<std::int32_t>(*cutOff);
    }
    if (const auto degree = options.Integer("degree")) {
        settings.degreeIndex = static_cast<std::int32_t>(*degree - 1);
    }
    if (options.Has("radial")) {
        if (options.Has("separable")) {
            return "options --radial and --separable cannot be combined";
        }
        settings.dimensionIndex = 0;
        settings.direction = static_cast<std::int32_t>(FilterDirection::RowsAndColumns);
    }
    if (const auto axes = options.Text("separable")) {
        settings.dimensionIndex = 1;
        if (*axes == "both") {
            settings.direction = static_cast<std::int32_t>(FilterDirection::RowsAndColumns);
        } else if (*axes == "rows") {
            settings.direction = static_cast<std::int32_t>(FilterDirection::Rows);
        } else if (*axes == "columns") {
            settings.direction = static_cast<std::int32_t>(FilterDirection::Columns);
        } else {
            return "option --separable: '" + *axes + "' is not rows, columns or both";
        }
    }
    // The rectangles given replace the stored ones; those not given are cleared to zero.
    std::size_t rectangles = 0;
    for (const auto& [name, value] : options.given) {
        if (name != "clear") {
            continue;
        }
        if (rectangles == kMaxRectangles) {
            return "option --clear: at most " + std::to_string(kMaxRectangles) + " rectangles";
        }
        const std::optional<SpectrumRectangle> rectangle = ParseRectangle(value);
        if (!rectangle) {
            return "option --clear: '" + value +
                   "' is not X1,Y1,X2,Y2 (four whole numbers, spectrum coordinates)";
        }
        if (rectangles == 0) {
            settings.rectangles = RectangleList{};
            settings.filteringType = PowerSpectrumDeleting;
        }
        settings.rectangles[rectangles++] = *rectangle;
    }
    return ReadSaveOptions(options, save);
}

/// Reads the paths of a list, one a line (standard input for "-"), into files. A line end may
/// be "\r\n"; blank lines are passed over; every other line is a path as it stands, a relative
/// one taken from the current folder. An error message naming the list when it cannot be read.
std::string ReadFileList(const std::string& list, std::vector<std::string>& files) {
    const bool standardInput = list == "-";
    std::FILE* stream = standardInput ? stdin : std::fopen(list.c_str(), "re");
    const std::string name = standardInput ? "standard input" : list;
    if (stream == nullptr) {
        return name + ": cannot read the list: " + std::strerror(errno);
    }
    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t length = 0;
    errno = 0;
    while ((length = ::getline(&line, &capacity, stream)) >= 0) {
        std::string path(line, static_cast<std::size_t>(length));
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
            path.pop_back();
        }
        if (path.find_first_not_of(" \t") != std::string::npos) {
            files.push_back(std::move(path));
        }
    }
    const int error = std::ferror(stream) != 0 ? (errno != 0 ? errno : EIO) : 0;
    std::free(line);
    if (!standardInput) {
        std::fclose(stream);
    }
    return error != 0 ? name + ": cannot read the list: " + std::strerror(error) : std::string();
}

/// The files processed at once without --jobs: one for each processor core the process may
/// use. The memory each file needs may hold a run to fewer (BatchRunOptions::jobs).
std::size_t DefaultJobs() {
    return static_cast<std::size_t>(std::max(1, tbb::this_task_arena::max_concurrency()));
}

/// A one-line progress bar on a terminal: "[=====     ] 3/10 name", redrawn in place and
/// wiped before anything else is printed.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream& terminal) : terminal_(terminal) {}

    void Show(const BatchProgress& progress) {
        constexpr std::size_t kBarWidth = 24;
        const std::size_t filled =
            progress.count == 0 ? 0 : kBarWidth * progress.index / progress.count;
        std::string line = "[";
        line.append(filled, '=');
        line.append(kBarWidth - filled, ' ');
        line += "] ";
        line += std::to_string(progress.index + 1);
        line += '/';
        line += std::to_string(progress.count);
        line += ' ';
        line += VXFileName(progress.path).GetFileName();
        // The line must not wrap, or the carriage return would not bring it back.
        const std::size_t columns = Columns();
        if (line.size() >= columns) {
            line.resize(columns - 1);
        }
        terminal_ << "\r\033[K" << line << std::flush;
        shown_ = true;
    }
    void Clear() {
        if (shown_) {
            terminal_ << "\r\033[K" << std::flush;
            shown_ = false;
        }
    }

private:
    static std::size_t Columns() {
        winsize size{};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) {
            return size.ws_col;
        }
        return 80;
    }

    std::ostream& terminal_;
    bool shown_ = false;
};

/// Set by the first interrupt or termination request: the run stops before the next file, so
/// the file being written is finished and no partial file is left behind.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int /*signal*/) {
    stopRequested = 1;
}

/// Turns SIGINT and SIGTERM into a stop request for its lifetime. The handler is taken off after
/// the first signal, so a second one ends the program at once.
class StopOnSignal {
public:
    StopOnSignal() {
        stopRequested = 0;
        struct sigaction action {};
        action.sa_handler = &RequestStop;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previousInterrupt_);
        ::sigaction(SIGTERM, &action, &previousTerminate_);
    }
    ~StopOnSignal() {
        ::sigaction(SIGINT, &previousInterrupt_, nullptr);
        ::sigaction(SIGTERM, &previousTerminate_, nullptr);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    bool Requested() const { return stopRequested != 0; }

private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

}  // namespace

const CommandSpec& BatchCommandSpec() {
    static const CommandSpec definition = {
        "batch",
        "Filter every image file of a folder with the stored batch settings (or the options), "
        "writing NAME_flt.EXT beside each",
        "FOLDER",
        0,
        {
            {"lowpass", 0, OptionKind::Integer, "CUT",
             "use the Butterworth low-pass filter with cut-off CUT percent", 1, 100},
            {"degree", 0, OptionKind::Integer, "N", "low-pass filter degree", 1, 6},
            {"separable", 0, OptionKind::Text, "AXES",
             "filter rows, columns or both with 1-D responses instead of the radial 2-D mask"},
            {"radial", 0, OptionKind::Flag, "",
             "filter with the radial 2-D mask even when the stored settings say 1-D"},
            {"clear", 0, OptionKind::Text, "X1,Y1,X2,Y2",
             "clear this spectrum rectangle instead of filtering (up to four)", 0, 0, true},
            RecipeOption(),
            MirrorOption(),
            {"save-settings", 0, OptionKind::Flag, "",
             "store the settings used as the program's batch settings"},
            {"jobs", 'j', OptionKind::Integer, "N",
             "filter up to N files at once, fewer when they would not fit in memory together; the "
             "log keeps the list's order (default: one for each processor core)",
             1, 1024},
            {"files-from", 0, OptionKind::Text, "LIST",
             "filter the files named in LIST, one path a line (- for standard input), instead of "
             "the image files of a FOLDER; blank lines are passed over, relative paths start "
             "from the current folder"},
            {"skip-existing", 0, OptionKind::Flag, "",
             "leave alone each file whose result exists, and the results of other files listed, "
             "to go on with an interrupted run"},
            FormatOption(),
            QualityOption(),
            ExactSizeOption(),
            MaxMemoryOption(),
        },
    };
    return definition;
}

int RunBatchCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err) {
    BatchSettingsStore store;
    BatchSettings settings = store.LoadBatchSettings();
    SaveOptions save;
    if (const std::string problem = ApplyOptions(options, settings, save); !problem.empty()) {
        err << kCliProgram << ": " << problem << "\n";
        return CliExitUsage;
    }
    // A recipe, given or stored by the program's batch dialog, is read once for the whole run.
    std::shared_ptr<const Recipe> recipe;
    if (settings.filteringType == RecipeReplay) {
        Recipe read;
        if (const IoResult loaded = LoadRecipeFile(settings.recipePath, read); !loaded) {
            err << kCliProgram << ": " << settings.recipePath << ": " << loaded.message << "\n";
            return CliExitFailure;
        }
        recipe = std::make_shared<const Recipe>(std::move(read));
    }
    bool settingsSaved = true;
    if (options.Has("save-settings")) {
        if (const IoResult stored = store.SaveBatchSettings(settings); !stored) {
            err << kCliProgram << ": " << stored.message << "\n";
            settingsSaved = false;
        }
    }

    // The bar is drawn only on the program's own standard error, and only on a terminal.
    const bool showProgress = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    ProgressBar bar(err);
    std::vector<std::string> files;
    const std::optional<std::string> list = options.Text("files-from");
    if (list) {
        if (const std::string problem = ReadFileList(*list, files); !problem.empty()) {
            err << kCliProgram << ": " << problem << "\n";
            return CliExitFailure;
        }
    }

    const StopOnSignal stop;
    CBatchProcessor batch;
    batch.SetSaveOptions(save);
    batch.transformSize = TransformSizeOf(options);
    batch.mirrorEdits = options.Has("mirror");
    batch.SetRecipe(recipe);
    BatchRunOptions run;
    run.jobs =
        options.Has("jobs") ? static_cast<std::size_t>(*options.Integer("jobs")) : DefaultJobs();
    run.skipExisting = options.Has("skip-existing");
    run.keepLog = false;
    batch.SetRunOptions(run);
    const BatchSettingsSource settingsSource = [&settings] { return settings; };
    const BatchProgressHandler progress = [&](const BatchProgress& at) {
        if (stop.Requested()) {
            return BatchControl::Stop;
        }
        if (showProgress) {
            bar.Show(at);
        }
        return BatchControl::Continue;
    };
    const BatchLogHandler logLine = [&](const std::string& line) {
        bar.Clear();
        out << line << "\n" << std::flush;
    };
    const BatchSummary summary =
        list ? batch.RunFileList(std::move(files), settingsSource, progress, logLine)
             : batch.RunBatch(options.operands.front(), settingsSource, progress, logLine);
    bar.Clear();

    if (summary.stopped) {
        err << kCliProgram << ": stopped on request\n";
    }
    if (summary.folderFailed) {
        err << kCliProgram << ": " << options.operands.front() << ": cannot read the folder\n";
    } else {
        err << kCliProgram << ": " << summary.listed
            << (summary.listed == 1 ? " file: " : " files: ") << summary.written << " written, "
            << summary.skipped << " skipped, " << summary.failed << " failed in "
            << FormatSeconds(summary.seconds) << " sec\n";
    }
    return summary.Succeeded() && settingsSaved ? CliExitSuccess : CliExitFailure;
}

}  // namespace quarvel
