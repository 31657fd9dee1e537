// The command-line program's commands run on a 67-megapixel colour photograph: an 8193 x 8193 JPEG,
// one pixel more than 8192 each way, so that it is transformed at 16384 x 16384 (two planes of
// 1 GiB a channel). Each benchmark runs one command as fftquarvel-cli runs it (RunCommandLine),
// files in and out:
//   large/spectrum                 fftquarvel-cli spectrum PHOTO -o DIR
//   large/filter_lowpass           fftquarvel-cli filter PHOTO --lowpass 30 -o DIR/out.jpg
//   large/filter_lowpass_spectrum  the same with --spectrum
// Every repetition is one run of the command, timed by the wall clock; the minimum of the
// repetitions is reported with the median. The counter peak_rss_mb is the process's peak
// resident memory during the run: the peak is reset before it (/proc/self/clear_refs), so the
// transforms of other benchmarks do not count.
//
// The photograph is made once, by the first of these benchmarks that runs: rocket.jpg of
// tests/data/images enlarged, with reproducible noise of a few levels added, as a sensor leaves
// it, and saved as a JPEG of quality 90 into a temporary folder that is removed at exit.

#include "LargeImageBench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "cli/CliCommands.h"
#include "engine/PlaneConversion.h"
#include "imageio/ImageFile.h"

namespace quarvel::bench {
namespace {

constexpr std::uint32_t kSide = 8193;
constexpr int kRepetitions = 3;

/// The photograph and the folder the commands write into; made by the first call.
struct LargePhotograph {
    TemporaryFolder folder;
    std::filesystem::path path;
    std::string error;  ///< why the photograph could not be made, or empty
};

const LargePhotograph& Photograph() {
    static const std::unique_ptr<LargePhotograph> photograph = [] {
        auto made = std::make_unique<LargePhotograph>();
        if (made->folder.Path().empty()) {
            made->error = "cannot make a temporary folder";
            return made;
        }
        made->path = made->folder.Path() / "photograph.jpg";
        std::unique_ptr<ImageBitmap> source;
        const IoResult loaded =
            LoadImageFile(source, std::filesystem::path(QUARVEL_SOURCE_DIR) / "tests" / "data" /
                                      "images" / "rocket.jpg");
        if (!loaded) {
            made->error = "rocket.jpg: " + loaded.message;
            return made;
        }
        const auto enlarged = ResampleImage(source.get(), kSide, kSide);
        if (!enlarged) {
            made->error = "not enough memory to enlarge the photograph";
            return made;
        }
        std::mt19937 generator(1);
        std::uniform_int_distribution<int> noise(-6, 6);
        for (std::uint32_t y = 0; y < kSide; ++y) {
            std::uint8_t* row = enlarged->Row(y);
            for (std::uint32_t x = 0; x < 4 * kSide; ++x) {
                row[x] = static_cast<std::uint8_t>(std::clamp(row[x] + noise(generator), 0, 255));
            }
        }
        const IoResult saved =
            SaveImageFile(*enlarged, made->path.string(), SaveOptions{"image/jpeg", 90});
        if (!saved) {
            made->error = saved.message;
        }
        return made;
    }();
    return *photograph;
}

/// Sets the process's peak resident memory back to what it holds now.
void ResetPeakResidentMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

/// Runs the command arguments (the photograph and the output folder filled in for PHOTO and
/// DIR) once per repetition.
void BenchCommand(benchmark::State& state, const std::vector<std::string>& pattern) {
    const LargePhotograph& photograph = Photograph();
    if (!photograph.error.empty()) {
        state.SkipWithError(photograph.error.c_str());
        return;
    }
    std::vector<std::string> arguments;
    for (const std::string& argument : pattern) {
        std::string filled = argument;
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"PHOTO", photograph.path.string()},
              {"DIR", photograph.folder.Path().string()}}) {
            if (const std::size_t at = filled.find(name); at != std::string::npos) {
                filled.replace(at, name.size(), value);
            }
        }
        arguments.push_back(filled);
    }
    for (auto _ : state) {
        ResetPeakResidentMemory();
        std::ostringstream out;
        std::ostringstream err;
        int status = 0;
        const double milliseconds =
            TimeMilliseconds([&] { status = RunCommandLine(arguments, out, err); });
        if (status != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
        state.SetIterationTime(milliseconds / 1000.0);
        state.counters["peak_rss_mb"] = PeakResidentMegabytes();
    }
}

}  // namespace

void RegisterLargeImageBenchmarks() {
    const std::string size = std::to_string(kSide) + "x" + std::to_string(kSide);
    const std::pair<std::string, std::vector<std::string>> commands[] = {
        {"large/spectrum/", {"spectrum", "PHOTO", "-o", "DIR"}},
        {"large/filter_lowpass/", {"filter", "PHOTO", "--lowpass", "30", "-o", "DIR/out.jpg"}},
        {"large/filter_lowpass_spectrum/",
         {"filter", "PHOTO", "--lowpass", "30", "--spectrum", "-o", "DIR/out.jpg"}},
    };
    for (const auto& [name, arguments] : commands) {
        benchmark::RegisterBenchmark((name + size).c_str(), BenchCommand, arguments)
            ->Iterations(1)
            ->Repetitions(kRepetitions)
            ->UseManualTime()
            ->Unit(benchmark::kSecond)
            ->ComputeStatistics("min",
                                [](const std::vector<double>& values) {
                                    return *std::min_element(values.begin(), values.end());
                                })
            ->ReportAggregatesOnly(true);
    }
}

}  // namespace quarvel::bench
