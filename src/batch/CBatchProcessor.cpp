#include "batch/CBatchProcessor.h"

#include <sys/stat.h>

#include <array>
#include <cassert>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "batch/ImageFileList.h"
#include "batch/OutputName.h"
#include "filters/CRadialResponse.h"

namespace quarvel {

namespace {

/// Milliseconds of a monotonic clock, as a 32-bit tick count: differences are taken modulo 2^32
/// like those of the platform's tick counter.
std::uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

double SecondsSince(std::uint32_t startTick) {
    return static_cast<double>(static_cast<std::uint32_t>(TickCount() - startTick)) / 1000.0;
}

/// seconds with two decimals and a full stop, whatever the process's locale.
std::string FormatSeconds(double seconds) {
    char text[64];
    const std::to_chars_result end =
        std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 2);
    return std::string(text, end.ptr);
}

/// The device and inode of a file (following links), to recognise one file under two names.
using FileIdentity = std::pair<std::uint64_t, std::uint64_t>;

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

/// The sources of one run, by name and by identity.
class SourceSet {
public:
    explicit SourceSet(const std::vector<std::string>& files) : names_(files.begin(), files.end()) {
        for (const std::string& file : files) {
            FileIdentity identity;
            if (IdentifyFile(file, identity)) {
                ++identities_[identity];
            }
        }
    }

    /// Whether writing the result output of a source would replace another source. A listed
    /// file of that very name is the result of an earlier run, made from the same source, and is
    /// refreshed; any other file that is a source (a link to one, or a result that is also a
    /// link to another source) is never written over.
    bool WouldReplace(const std::string& output) const {
        FileIdentity identity;
        if (!IdentifyFile(output, identity)) {
            return false;
        }
        const auto found = identities_.find(identity);
        const std::size_t sources = found == identities_.end() ? 0 : found->second;
        return sources > (names_.count(output) != 0 ? 1u : 0u);
    }

private:
    std::set<std::string> names_;
    std::map<FileIdentity, std::size_t> identities_;  ///< how many listed names each file has
};

}  // namespace

IoResult CBatchProcessor::LoadBatchFile(const std::string& sourcePath) {
    ResetHistory();
    LoadLimits limits;
    limits.work = ImageWork::Batch;
    limits.transformSize = transformSize;
    IoResult loaded = LoadImageFile(originalImage, sourcePath, limits);
    if (!loaded) {
        return loaded;
    }
    // The working state with its spectra; CreateFinalImage commits it as the only state. Nothing
    // looks at a batch's power spectrum images, and its image would only be replaced by the
    // final image before anything read it.
    if (!StartBareWorkingState()) {
        const std::string size = std::to_string(originalImage->Width()) + " x " +
                                 std::to_string(originalImage->Height());
        ResetHistory();
        return IoResult::Failure("not enough memory to transform " + size + " pixels");
    }
    return loaded;
}

void CBatchProcessor::ApplyRadialLowPass() {
    // ApplyFilter with a 2-D design and every channel switched on, the response of each row
    // computed as it is applied instead of held as a whole mask: the same products.
    DropRedoStates();
    if (!PrepareWorkingState() || !workingState->workImage) {
        return;
    }
    ProcState& state = *workingState;
    const std::uint64_t width = state.workImage->Width();
    const std::uint64_t height = state.workImage->Height();
    assert(width == spectrumWidth && height == spectrumHeight);
    std::array<ChannelSpectrum*, 3> channels{};
    std::size_t count = 0;
    for (ChannelSpectrum* spectrum :
         {&state.spectrumRed, &state.spectrumGreen, &state.spectrumBlue, &state.spectrumGrey}) {
        if (spectrum->IsComplete()) {
            channels[count++] = spectrum;
        }
    }
    const CRadialResponse response(width, height, FilterKind::LowPass, filterSettings.degree,
                                   filterSettings.cutOff, 0);
    response.MultiplySpectra(channels.data(), count);
}

IoResult CBatchProcessor::FilterLoadedFile(const BatchSettings& settings) {
    assert(ClampBatchSettings(settings) == settings && "batch settings out of range");
    if (!workingState) {
        return IoResult::Failure("no image loaded");
    }
    if (settings.filteringType == LowPassConvolution) {
        filterSettings.degree = settings.degreeIndex + 1;
        filterSettings.cutOff = settings.cutOff;
        filterSettings.oneDimensional = settings.dimensionIndex == 1;
        filterSettings.direction = static_cast<std::uint64_t>(settings.direction);
        if (filterSettings.oneDimensional) {
            BuildFilter(FilterKind::LowPass);
            if (!rowResponse || !columnResponse) {
                return IoResult::Failure("not enough memory for the filter");
            }
            ApplyFilter(true, true, true);
        } else {
            ApplyRadialLowPass();
        }
    } else if (settings.filteringType == RecipeReplay) {
        if (!recipe_) {
            return IoResult::Failure("no recipe to replay");
        }
        // No filter buffers are kept: each filter's response is computed as it is applied.
        leanFilters = true;
        for (const RecipeStep& step : recipe_->steps) {
            if (!ApplyStep(step)) {
                return IoResult::Failure("not enough memory for the filter");
            }
        }
    } else {
        DropRedoStates();
        const ProcState* active = ActiveState();
        if (active != nullptr && active->isColor) {
            ClearRectangles(ChannelKind::Red, settings.rectangles);
            ClearRectangles(ChannelKind::Green, settings.rectangles);
            ClearRectangles(ChannelKind::Blue, settings.rectangles);
        } else {
            ClearRectangles(ChannelKind::Grey, settings.rectangles);
        }
    }
    // The spectra are transformed back in their own planes: nothing reads them after the final
    // image, and the transforms then need no planes of their own.
    CreateFinalImage(true);
    // A final image that could not be made leaves the working state uncommitted.
    const ProcState* current = CurrentState();
    if (workingState || current == nullptr || !current->image) {
        return IoResult::Failure("not enough memory to create the final image");
    }
    return IoResult::Success();
}

IoResult CBatchProcessor::SaveBatchResult(const std::string& outputPath) const {
    const ProcState* current = CurrentState();
    if (current == nullptr || !current->image) {
        return IoResult::Failure("no result to save");
    }
    // The quality is for the lossy formats; a PNG would take it for a compression level.
    SaveOptions options = saveOptions_;
    if (!IsLossyMime(options.mime.empty() ? MimeForFileName(outputPath) : options.mime)) {
        options.quality = -1;
    }
    return SaveImageFile(*current->image, outputPath, options);
}

void CBatchProcessor::AppendLog(const std::string& line, const BatchLogHandler& logLine) {
    log_ += line;
    log_ += "\r\n";
    if (logLine) {
        logLine(line);
    }
}

BatchSummary CBatchProcessor::RunBatch(const std::string& folder,
                                       const BatchSettingsSource& settings,
                                       const BatchProgressHandler& progress,
                                       const BatchLogHandler& logLine) {
    assert(settings && "a batch run needs its settings");
    BatchSummary summary;
    log_.clear();
    fileList_.clear();
    ResetHistory();

    std::string folderText = folder;
    if (!folderText.empty() && folderText.back() != '/') {
        folderText += '/';
    }
    if (IoResult listed = ListImageFiles(folderText, fileList_); !listed) {
        summary.folderFailed = true;
        AppendLog(listed.message, logLine);
    }
    summary.listed = fileList_.size();
    const SourceSet sources(fileList_);
    std::set<std::string> outputs;

    const std::uint32_t runStart = TickCount();
    std::size_t attempted = 0;
    for (std::size_t index = 0; index < fileList_.size(); ++index) {
        const std::string& source = fileList_[index];
        if (progress &&
            progress(BatchProgress{index, fileList_.size(), source}) == BatchControl::Stop) {
            summary.stopped = true;
            break;
        }
        ++attempted;
        const std::uint32_t fileStart = TickCount();
        const BatchSettings current = ClampBatchSettings(settings());

        // The output name is checked first: a result that would replace another source of this
        // run is refused before any work is done; an earlier run's result is refreshed.
        const std::string output = MatchOutputExtension(MakeOutputName(source), saveOptions_.mime);
        if (sources.WouldReplace(output)) {
            ++summary.failed;
            AppendLog(output + ": not written: it would replace a source file of this run",
                      logLine);
            continue;
        }
        // A forced format gives a.jpg and a.png the same result name: the first one keeps it.
        if (!outputs.insert(output).second) {
            ++summary.failed;
            AppendLog(output +
                          ": not written: it would replace the result of an earlier file of "
                          "this run",
                      logLine);
            continue;
        }
        const IoResult loaded = LoadBatchFile(source);
        if (!loaded) {
            ++summary.failed;
            AppendLog(source + ": not loaded: " + loaded.message, logLine);
            continue;
        }
        if (!loaded.warning.empty()) {
            AppendLog(source + ": damaged, processed as far as it could be read: " + loaded.warning,
                      logLine);
        }
        const IoResult filtered = FilterLoadedFile(current);
        const IoResult saved = filtered ? SaveBatchResult(output) : IoResult::Success();
        ResetHistory();
        if (!filtered) {
            ++summary.failed;
            AppendLog(source + ": not processed: " + filtered.message, logLine);
            continue;
        }
        if (!saved) {
            ++summary.failed;
            AppendLog(output + ": not written: " + saved.message, logLine);
            continue;
        }
        ++summary.written;
        AppendLog(output + " (" + FormatSeconds(SecondsSince(fileStart)) + " sec)", logLine);
    }

    summary.seconds = SecondsSince(runStart);
    if (summary.stopped) {
        AppendLog("Stopped after " + std::to_string(attempted) + " of " +
                      std::to_string(fileList_.size()) + " files",
                  logLine);
    }
    AppendLog("Processed " + std::to_string(attempted) + " files in " +
                  FormatSeconds(summary.seconds) + " sec",
              logLine);
    return summary;
}

}  // namespace quarvel
