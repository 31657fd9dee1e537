#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/BatchSettings.h"
#include "history/CFFTProc.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// Where a batch run stands: the file about to be processed (0-based index) of count, and its
/// path.
struct BatchProgress {
    std::size_t index = 0;
    std::size_t count = 0;
    std::string path;
};

/// What the caller of a batch run wants next.
enum class BatchControl { Continue, Stop };

/// Reads the batch settings; called afresh before each file, so a change takes effect from the
/// next file.
using BatchSettingsSource = std::function<BatchSettings()>;
/// Called before each file; Stop ends the run before that file.
using BatchProgressHandler = std::function<BatchControl(const BatchProgress&)>;
/// Receives each log line as it is added, without its line end.
using BatchLogHandler = std::function<void(const std::string& line)>;

/// The outcome of one batch run.
struct BatchSummary {
    std::size_t listed = 0;     ///< files the folder listing found, or the files given
    std::size_t written = 0;    ///< results written
    std::size_t skipped = 0;    ///< sources left alone by BatchRunOptions::skipExisting
    std::size_t failed = 0;     ///< files that could not be loaded, processed or written
    bool folderFailed = false;  ///< the folder could not be read
    bool stopped = false;       ///< the caller stopped the run before its end
    double seconds = 0.0;       ///< the time of the whole run, listing excluded

    /// Whether every listed file was written and the folder could be read.
    bool Succeeded() const { return !folderFailed && !stopped && failed == 0; }
};

/// seconds with two decimals and a full stop, whatever the process's locale, as the log gives
/// times.
std::string FormatSeconds(double seconds);

/// How a batch run goes, beyond the settings of each file.
struct BatchRunOptions {
    /// Files processed at once. Beyond 1, each file is processed on a worker thread by a
    /// processing object of its own, while the calling thread hands the files out in list order
    /// and adds their log lines in that order; the results are those of a run of one job, byte
    /// for byte. A file starts only when its estimated memory (from its header) fits, beside
    /// that of the files in hand, within the memory budget and the memory the system had
    /// available at the start of the run; a file with nothing else in hand always starts, and
    /// its load judges it alone.
    std::size_t jobs = 1;
    /// Leaves alone a source whose result exists already, and a listed file that is the result
    /// of another source of the run, each with a log line "SOURCE: skipped: WHY": a run that was
    /// interrupted goes on where it stopped. A result is written to a temporary file and renamed
    /// into place, so one that exists under its name is complete.
    bool skipExisting = false;
    /// Keeps the log for Log(); without it, each line only goes to the log handler, so that the
    /// memory of a long run does not grow with its files.
    bool keepLog = true;
};

/// What became of one file of a batch run, with its log lines.
struct BatchFileReport {
    enum class Outcome { Written, Skipped, Failed };
    Outcome outcome = Outcome::Failed;
    std::vector<std::string> lines;
};

/// The batch's own processing object: filters every image file of a folder with one setting and
/// writes each result beside its source, independent of any document.
///
/// Per file: LoadBatchFile, FilterLoadedFile (the low-pass filter or the clearing of the
/// rectangles, then the final image), SaveBatchResult to MakeOutputName of the source, and
/// ResetHistory. The log keeps one line per file, ended by "\r\n": "OUTPUT (S.SS sec)" for a
/// written result, "SOURCE: not loaded: REASON", "SOURCE: not processed: REASON" or "OUTPUT: not
/// written: REASON" for a failure, and "SOURCE: WARNING" when a damaged file was loaded as far as
/// it goes; then "Processed N files in S.SS sec" with N the files attempted, failures included.
/// A result is never written over a file that the run listed as a source (by name or as the
/// same file through a link). Everything runs on the calling thread, unless
/// BatchRunOptions::jobs asks for more than one file at once.
class CBatchProcessor : public CFFTProc {
public:
    /// The views of a batch are its log: nothing to repaint.
    void UpdateViews(int /*erase*/) override {}

    /// Releases everything, loads the file at sourcePath into originalImage and prepares the
    /// working state with spectrumWidth and spectrumHeight. On failure all is released and the
    /// result says why; a damaged file that loaded anyway carries a warning.
    IoResult LoadBatchFile(const std::string& sourcePath);
    /// Applies settings to the loaded file (a low-pass filter on every channel, the clearing of
    /// the four rectangles, or the steps of the recipe set by SetRecipe) and creates the final
    /// image as the only history state, whose spectra are released on the way: nothing reads them
    /// any more. The channels of a colour image go one after another, each transformed back
    /// before the next is transformed, so that the spectra of one channel live at a time; each
    /// gets the values of the all-channel road. When memory runs out the result says so and
    /// nothing of the processing is kept. settings must be in range (ClampBatchSettings).
    IoResult FilterLoadedFile(const BatchSettings& settings);
    /// Writes the current state's image to outputPath with the save options (JPEG by default,
    /// whatever the name's extension). A failed write leaves no partial file.
    IoResult SaveBatchResult(const std::string& outputPath) const;

    /// Processes every image file of folder (ListImageFiles) and keeps the log. folder gets a
    /// trailing '/' when it lacks one. settings is read before each file and brought into range;
    /// progress, when given, is asked before each file whether to go on; logLine, when given,
    /// receives each line as it is added.
    BatchSummary RunBatch(const std::string& folder, const BatchSettingsSource& settings,
                          const BatchProgressHandler& progress = {},
                          const BatchLogHandler& logLine = {});
    /// RunBatch over the files given, in their order, instead of a folder's image files.
    BatchSummary RunFileList(std::vector<std::string> files, const BatchSettingsSource& settings,
                             const BatchProgressHandler& progress = {},
                             const BatchLogHandler& logLine = {});

    /// Loads source, applies settings, writes the result to output and releases everything: the
    /// work of a run on one file whose output name has been checked.
    BatchFileReport ProcessBatchFile(const std::string& source, const std::string& output,
                                     const BatchSettings& settings);

    void SetRunOptions(const BatchRunOptions& options) { runOptions_ = options; }

    /// The recipe a RecipeReplay run replays on every file (null for none). Its transform size
    /// becomes transformSize, so that a file the recipe was made on gets the same bits.
    void SetRecipe(std::shared_ptr<const Recipe> recipe) {
        recipe_ = std::move(recipe);
        if (recipe_) {
            transformSize = recipe_->transformSize;
        }
    }
    const std::shared_ptr<const Recipe>& GetRecipe() const { return recipe_; }

    /// The encoder and quality of the results.
    void SetSaveOptions(SaveOptions options) { saveOptions_ = std::move(options); }
    const SaveOptions& GetSaveOptions() const { return saveOptions_; }

    /// The log of the last run, each line ended by "\r\n".
    const std::string& Log() const { return log_; }
    /// The files of the last run, in processing order.
    const std::vector<std::string>& FileList() const { return fileList_; }

private:
    /// Multiplies every spectrum the working state holds by the 2-D low-pass of filterSettings.
    void ApplyRadialLowPass();
    /// FilterLoadedFile on a loaded file; may throw std::bad_alloc.
    IoResult FilterChannels(const BatchSettings& settings);
    /// Applies settings (see FilterLoadedFile) to the spectra the working state holds.
    IoResult ApplySettings(const BatchSettings& settings);
    /// "W x H" of the loaded image.
    std::string SizeText() const;
    /// The failure of a transform of the loaded image for lack of memory.
    IoResult TransformFailure() const;
    void AppendLog(const std::string& line, const BatchLogHandler& logLine);
    /// Processes fileList_ after its listing, which summary describes.
    BatchSummary RunListed(BatchSummary summary, const BatchSettingsSource& settings,
                           const BatchProgressHandler& progress, const BatchLogHandler& logLine);

    SaveOptions saveOptions_;
    std::shared_ptr<const Recipe> recipe_;
    BatchRunOptions runOptions_;
    std::string log_;
    std::vector<std::string> fileList_;
};

}  // namespace quarvel
