// The whole processing of one batch file: a 6000 x 4000 colour JPEG (24 megapixels, transformed at
// 8192 x 4096) loaded, its three spectra computed, low-pass filtered with the batch's default
// setting (2-D, degree 3, cut-off 20 %), the final image created and saved as JPEG - the batch
// processor's own LoadBatchFile, FilterLoadedFile and SaveBatchResult (which leave out the power
// spectrum images and the whole filter mask that nothing in a batch looks at).
//
// It runs in a child process of its own (this executable started again with --batch-child), so
// that the peak resident memory it reports is that of the batch processing alone and not the
// transforms' of the other benchmarks. The child prints one line:
//   batch_lowpass 6000x4000 threads=2 runs=5 median_ms=... min_ms=... first_ms=...
//   peak_rss_mb=...
// with first_ms the first run of the process (every page of memory fresh; later runs reuse the
// planes' and images' memory, as a batch of many files does) and peak_rss_mb the child's peak
// resident memory, VmHWM of /proc/self/status. (getrusage's ru_maxrss would not do: a child
// started by posix_spawn inherits the peak of the parent it was spawned from, which has run the
// large transforms by then.) The photograph is made by enlarging tests/data/images/rocket.jpg
// into a temporary folder, removed at the end.

#include "BatchBench.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "batch/CBatchProcessor.h"
#include "engine/PlaneConversion.h"
#include "imageio/ImageFile.h"

extern char** environ;

namespace quarvel::bench {
namespace {

constexpr std::uint32_t kPhotoWidth = 6000;
constexpr std::uint32_t kPhotoHeight = 4000;
constexpr int kBatchThreads = 2;
constexpr int kBatchRuns = 5;

const char kChildFlag[] = "--batch-child=";

/// Makes the 6000 x 4000 photograph at path; an empty string on success, else why not.
std::string MakePhotograph(const std::filesystem::path& path) {
    std::unique_ptr<ImageBitmap> source;
    const IoResult loaded = LoadImageFile(source, std::filesystem::path(QUARVEL_SOURCE_DIR) /
                                                      "tests" / "data" / "images" / "rocket.jpg");
    if (!loaded) {
        return "rocket.jpg: " + loaded.message;
    }
    const auto enlarged = ResampleImage(source.get(), kPhotoWidth, kPhotoHeight);
    if (!enlarged) {
        return "not enough memory to enlarge the photograph";
    }
    const IoResult saved = SaveImageFile(*enlarged, path.string(), SaveOptions{"image/jpeg", 90});
    return saved ? std::string() : saved.message;
}

/// The child's work: the batch processing of photograph, kBatchRuns times, one line printed.
int RunBatchChild(const std::string& photograph) {
    const ScopedThreadLimit threads(kBatchThreads);
    const std::string output =
        (std::filesystem::path(photograph).parent_path() / "photograph_flt.jpg").string();
    std::vector<double> times;
    std::string failure;
    for (int run = 0; run < kBatchRuns && failure.empty(); ++run) {
        CBatchProcessor processor;
        times.push_back(TimeMilliseconds([&] {
            IoResult result = processor.LoadBatchFile(photograph);
            if (result) {
                result = processor.FilterLoadedFile(BatchSettings{});
            }
            if (result) {
                result = processor.SaveBatchResult(output);
            }
            if (!result) {
                failure = result.message;
            }
        }));
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "quarvel_bench: batch processing failed: %s\n", failure.c_str());
        return 1;
    }
    double fastest = times.front();
    for (const double time : times) {
        fastest = time < fastest ? time : fastest;
    }
    std::printf(
        "batch_lowpass %ux%u threads=%d runs=%d median_ms=%.1f min_ms=%.1f first_ms=%.1f "
        "peak_rss_mb=%.1f\n",
        kPhotoWidth, kPhotoHeight, kBatchThreads, kBatchRuns, Median(times), fastest, times.front(),
        PeakResidentMegabytes());
    std::fflush(stdout);
    return 0;
}

}  // namespace

bool IsBatchChild(int argc, char** argv, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kChildFlag, sizeof kChildFlag - 1) == 0) {
            exitCode = RunBatchChild(argv[i] + sizeof kChildFlag - 1);
            return true;
        }
    }
    return false;
}

void RunBatchBenchmark() {
    const TemporaryFolder folder;
    if (folder.Path().empty()) {
        std::fprintf(stderr, "quarvel_bench: cannot make a temporary folder\n");
        return;
    }
    const std::filesystem::path photograph = folder.Path() / "photograph.jpg";
    const std::string error = MakePhotograph(photograph);
    if (!error.empty()) {
        std::fprintf(stderr, "quarvel_bench: %s\n", error.c_str());
        return;
    }
    std::string self = "/proc/self/exe";
    std::string flag = std::string(kChildFlag) + photograph.string();
    char* arguments[] = {self.data(), flag.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, self.c_str(), nullptr, nullptr, arguments, environ) != 0) {
        std::fprintf(stderr, "quarvel_bench: cannot start the batch child\n");
        return;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "quarvel_bench: the batch child failed\n");
    }
}

}  // namespace quarvel::bench
