#include "batch/CBatchProcessor.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
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

/// One file handed to a worker, its output name checked.
struct FileJob {
    std::size_t index = 0;
    std::string source;
    std::string output;
    BatchSettings settings;
    std::uint64_t memory = 0;  ///< its estimated memory, held while it is in hand
};

/// Receives the report of the file at an index of the run.
using ReportHandler = std::function<void(std::size_t index, BatchFileReport report)>;

/// Worker threads that process the files of a run, each with a processing object of its own,
/// while the calling thread hands the files out (Start) and takes the reports back. Reports are
/// handed on only on the calling thread, from Start and Finish.
class BatchWorkers {
public:
    /// Up to jobs workers, configured like model (as many as the system lets start); the files
    /// in hand together may need memory bytes.
    BatchWorkers(std::size_t jobs, const CBatchProcessor& model, std::uint64_t memory)
        : memory_(memory) {
        for (std::size_t i = 0; i < jobs; ++i) {
            auto processor = std::make_unique<CBatchProcessor>();
            processor->SetSaveOptions(model.GetSaveOptions());
            processor->SetRecipe(model.GetRecipe());
            processor->transformSize = model.transformSize;
            processor->mirrorEdits = model.mirrorEdits;
            CBatchProcessor& own = *processor;
            processors_.push_back(std::move(processor));
            try {
                threads_.emplace_back([this, &own] { Work(own); });
            } catch (const std::system_error&) {
                processors_.pop_back();
                break;
            }
        }
    }
    ~BatchWorkers() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    BatchWorkers(const BatchWorkers&) = delete;
    BatchWorkers& operator=(const BatchWorkers&) = delete;

    /// The workers that started.
    std::size_t Count() const { return threads_.size(); }

    /// Waits until a worker is free and job's memory fits beside the files in hand (or nothing
    /// else is in hand), handing the reports of files finished meanwhile to finished; then
    /// queues job. There must be a worker (Count).
    void Start(FileJob job, const ReportHandler& finished) {
        assert(!threads_.empty() && "files handed out without a worker");
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            if (!done_.empty()) {
                HandOn(lock, finished);
                continue;
            }
            if (inHand_ < threads_.size() &&
                (inHand_ == 0 || memoryInHand_ + job.memory <= memory_)) {
                break;
            }
            finishedOne_.wait(lock);
        }
        ++inHand_;
        memoryInHand_ += job.memory;
        queue_.push_back(std::move(job));
        lock.unlock();
        wake_.notify_one();
    }

    /// Waits for every file in hand, handing its report to finished.
    void Finish(const ReportHandler& finished) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (inHand_ != 0 || !done_.empty()) {
            if (done_.empty()) {
                finishedOne_.wait(lock);
            } else {
                HandOn(lock, finished);
            }
        }
    }

private:
    void Work(CBatchProcessor& processor) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;
            }
            FileJob job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            BatchFileReport report =
                processor.ProcessBatchFile(job.source, job.output, job.settings);
            lock.lock();
            --inHand_;
            memoryInHand_ -= job.memory;
            done_.emplace_back(job.index, std::move(report));
            finishedOne_.notify_one();
        }
    }

    /// Hands the finished reports on with the lock released.
    void HandOn(std::unique_lock<std::mutex>& lock, const ReportHandler& finished) {
        std::vector<std::pair<std::size_t, BatchFileReport>> reports;
        reports.swap(done_);
        lock.unlock();
        for (auto& [index, report] : reports) {
            finished(index, std::move(report));
        }
        lock.lock();
    }

    const std::uint64_t memory_;
    std::vector<std::unique_ptr<CBatchProcessor>> processors_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;         ///< a file was queued, or the workers are to end
    std::condition_variable finishedOne_;  ///< a worker finished a file
    std::deque<FileJob> queue_;
    std::vector<std::pair<std::size_t, BatchFileReport>> done_;
    std::size_t inHand_ = 0;  ///< files queued or being processed
    std::uint64_t memoryInHand_ = 0;
    bool closing_ = false;
};

}  // namespace

std::string FormatSeconds(double seconds) {
    char text[64];
    const std::to_chars_result end =
        std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 2);
    return std::string(text, end.ptr);
}

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
    // final image before anything read it. A colour image starts with its red channel alone:
    // FilterLoadedFile takes the channels one after another.
    if (!StartBareWorkingState(ChannelKind::Red)) {
        const IoResult failed = TransformFailure();
        ResetHistory();
        return failed;
    }
    return loaded;
}

std::string CBatchProcessor::SizeText() const {
    return std::to_string(originalImage->Width()) + " x " + std::to_string(originalImage->Height());
}

IoResult CBatchProcessor::TransformFailure() const {
    return IoResult::Failure("not enough memory to transform " + SizeText() + " pixels");
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
    try {
        return FilterChannels(settings);
    } catch (const std::bad_alloc&) {
        // An allocation deep in an edit (a list of rows, a worker's task) failed: nothing of the
        // file's processing is kept.
        DiscardWorkingState();
        states.clear();
        currentIndex = 0;
        return IoResult::Failure("not enough memory to filter " + SizeText() + " pixels");
    }
}

IoResult CBatchProcessor::FilterChannels(const BatchSettings& settings) {
    // The channels of a colour image one after another, each filtered and written back into
    // the image at the transform size before the next is transformed; the settings act on the
    // one channel the working state holds.
    while (true) {
        if (const IoResult applied = ApplySettings(settings); !applied) {
            return applied;
        }
        const std::optional<ChannelKind> held =
            workingState ? workingState->soleChannel : std::nullopt;
        if (!held || *held == ChannelKind::Blue) {
            break;
        }
        if (!NextBareChannel(*held == ChannelKind::Red ? ChannelKind::Green : ChannelKind::Blue)) {
            return TransformFailure();
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

IoResult CBatchProcessor::ApplySettings(const BatchSettings& settings) {
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
    if (runOptions_.keepLog) {
        log_ += line;
        log_ += "\r\n";
    }
    if (logLine) {
        logLine(line);
    }
}

BatchFileReport CBatchProcessor::ProcessBatchFile(const std::string& source,
                                                  const std::string& output,
                                                  const BatchSettings& settings) {
    const std::uint32_t fileStart = TickCount();
    BatchFileReport report;
    const IoResult loaded = LoadBatchFile(source);
    if (!loaded) {
        report.lines.push_back(source + ": not loaded: " + loaded.message);
        return report;
    }
    if (!loaded.warning.empty()) {
        report.lines.push_back(
            source + ": damaged, processed as far as it could be read: " + loaded.warning);
    }
    const IoResult filtered = FilterLoadedFile(settings);
    const IoResult saved = filtered ? SaveBatchResult(output) : IoResult::Success();
    ResetHistory();
    if (!filtered) {
        report.lines.push_back(source + ": not processed: " + filtered.message);
    } else if (!saved) {
        report.lines.push_back(output + ": not written: " + saved.message);
    } else {
        report.outcome = BatchFileReport::Outcome::Written;
        report.lines.push_back(output + " (" + FormatSeconds(SecondsSince(fileStart)) + " sec)");
        if (!saved.warning.empty()) {
            report.lines.push_back(output + ": " + saved.warning);
        }
    }
    return report;
}

BatchSummary CBatchProcessor::RunBatch(const std::string& folder,
                                       const BatchSettingsSource& settings,
                                       const BatchProgressHandler& progress,
                                       const BatchLogHandler& logLine) {
    BatchSummary summary;
    log_.clear();
    std::string folderText = folder;
    if (!folderText.empty() && folderText.back() != '/') {
        folderText += '/';
    }
    if (IoResult listed = ListImageFiles(folderText, fileList_); !listed) {
        summary.folderFailed = true;
        AppendLog(listed.message, logLine);
    }
    return RunListed(summary, settings, progress, logLine);
}

BatchSummary CBatchProcessor::RunFileList(std::vector<std::string> files,
                                          const BatchSettingsSource& settings,
                                          const BatchProgressHandler& progress,
                                          const BatchLogHandler& logLine) {
    log_.clear();
    fileList_ = std::move(files);
    return RunListed(BatchSummary{}, settings, progress, logLine);
}

BatchSummary CBatchProcessor::RunListed(BatchSummary summary, const BatchSettingsSource& settings,
                                        const BatchProgressHandler& progress,
                                        const BatchLogHandler& logLine) {
    assert(settings && "a batch run needs its settings");
    ResetHistory();
    summary.listed = fileList_.size();
    const SourceSet sources(fileList_);
    std::set<std::string> outputs;
    const auto outputOf = [this](const std::string& source) {
        return MatchOutputExtension(MakeOutputName(source), saveOptions_.mime);
    };
    // With skipExisting, the listed files that are results of other listed files.
    std::unordered_map<std::string, std::size_t> resultOf;
    if (runOptions_.skipExisting) {
        for (std::size_t index = 0; index < fileList_.size(); ++index) {
            resultOf.emplace(outputOf(fileList_[index]), index);
        }
    }

    // The reports come back in any order when files are processed at once; each is logged when
    // those of every file before it have been.
    std::map<std::size_t, BatchFileReport> waiting;
    std::size_t nextReport = 0;
    const auto report = [&](std::size_t index, BatchFileReport fileReport) {
        waiting.emplace(index, std::move(fileReport));
        for (auto first = waiting.begin(); first != waiting.end() && first->first == nextReport;
             first = waiting.erase(first), ++nextReport) {
            switch (first->second.outcome) {
                case BatchFileReport::Outcome::Written:
                    ++summary.written;
                    break;
                case BatchFileReport::Outcome::Skipped:
                    ++summary.skipped;
                    break;
                case BatchFileReport::Outcome::Failed:
                    ++summary.failed;
                    break;
            }
            for (const std::string& line : first->second.lines) {
                AppendLog(line, logLine);
            }
        }
    };
    const auto refuse = [&](std::size_t index, BatchFileReport::Outcome outcome, std::string line) {
        BatchFileReport refusal;
        refusal.outcome = outcome;
        refusal.lines.push_back(std::move(line));
        report(index, std::move(refusal));
    };

    std::optional<BatchWorkers> workers;
    if (runOptions_.jobs > 1 && fileList_.size() > 1) {
        workers.emplace(std::min(runOptions_.jobs, fileList_.size()), *this,
                        std::min(MemoryBudget(), AvailableMemoryBytes()));
        if (workers->Count() == 0) {
            workers.reset();
        }
    }
    LoadLimits limits;
    limits.work = ImageWork::Batch;
    limits.transformSize = transformSize;

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
        const BatchSettings current = ClampBatchSettings(settings());

        // The output name is checked first: a result that would replace another source of this
        // run is refused before any work is done; an earlier run's result is refreshed.
        std::string output = outputOf(source);
        if (sources.WouldReplace(output)) {
            refuse(index, BatchFileReport::Outcome::Failed,
                   output + ": not written: it would replace a source file of this run");
            continue;
        }
        if (runOptions_.skipExisting) {
            if (const auto made = resultOf.find(source);
                made != resultOf.end() && made->second != index) {
                refuse(index, BatchFileReport::Outcome::Skipped,
                       source + ": skipped: the result of " + fileList_[made->second]);
                continue;
            }
            struct stat info {};
            if (::stat(output.c_str(), &info) == 0) {
                refuse(index, BatchFileReport::Outcome::Skipped,
                       source + ": skipped: " + output + " exists");
                continue;
            }
        }
        // A forced format gives a.jpg and a.png the same result name: the first one keeps it.
        if (!outputs.insert(output).second) {
            refuse(index, BatchFileReport::Outcome::Failed,
                   output +
                       ": not written: it would replace the result of an earlier file of "
                       "this run");
            continue;
        }
        if (workers) {
            workers->Start(FileJob{index, source, std::move(output), current,
                                   EstimatedFileMemory(source, limits)},
                           report);
        } else {
            report(index, ProcessBatchFile(source, output, current));
        }
    }
    if (workers) {
        workers->Finish(report);
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
