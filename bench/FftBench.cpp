// Forward plus inverse transform of one channel: our C2DFFT beside FFTW's single-precision
// complex 2-D transform (forward and backward plans) and its real-to-complex pair (r2c and c2r),
// at the same size and thread count.
//
// Every iteration is timed by hand and kept; after the Google Benchmark report one summary line
// per size and thread count gives the medians in milliseconds and the ratios ours / FFTW (above
// 1 means ours is slower):
//   fft2d 4096x4096 threads=2 ours_ms=... fftw_c2c_ms=... fftw_r2c_ms=... ratio_c2c=...
//   ratio_r2c=...

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "BenchUtil.h"
#include "engine/C2DFFT.h"

namespace quarvel::bench {
namespace {

struct BenchSize {
    std::uint64_t width;
    std::uint64_t height;
    int iterations;  ///< timed calls per benchmark; fewer for the large sizes
};

constexpr BenchSize kSizes[] = {
    {512, 512, 25},
    {2048, 2048, 5},
    {4096, 4096, 3},
    {8192, 4096, 2},
};
constexpr int kThreadCounts[] = {1, 2};

/// Sizes up to this many elements get an untimed warm-up call.
constexpr std::uint64_t kWarmUpLimit = 2048 * 2048;

/// FFTW may spend at most this many seconds planning one transform. What it learns is kept in
/// a wisdom file beside the executable, so later runs plan almost at once.
constexpr double kPlanningSeconds = 3.0;

enum class Engine { Ours, FftwC2C, FftwR2C };

using CaseKey = std::tuple<std::uint64_t, std::uint64_t, int, Engine>;

/// The hand-timed milliseconds of every iteration, per size, thread count and engine.
std::map<CaseKey, std::vector<double>>& Timings() {
    static std::map<CaseKey, std::vector<double>> timings;
    return timings;
}

/// Our transform: the tables are built once, the planes are allocated by every call, as the
/// program does per channel.
class OursCase {
public:
    OursCase(std::uint64_t width, std::uint64_t height)
        : fft_(width, height), values_(NoiseBytes(width * height)) {}

    void Run() {
        SpectrumPlane re;
        SpectrumPlane im;
        fft_.Forward(values_.data(), re, im);
        SpectrumPlane back = fft_.Inverse(re.get(), im.get());
        benchmark::DoNotOptimize(back.get());
    }

private:
    C2DFFT fft_;
    std::vector<std::uint8_t> values_;
};

/// FFTW's complex transform: forward out of place, backward in place on the result, so the
/// input stays the same from one iteration to the next.
class FftwC2CCase {
public:
    FftwC2CCase(std::uint64_t width, std::uint64_t height, int threads) {
        const std::size_t count = width * height;
        in_ = fftwf_alloc_complex(count);
        out_ = fftwf_alloc_complex(count);
        fftwf_plan_with_nthreads(threads);
        const int rows = static_cast<int>(height);
        const int columns = static_cast<int>(width);
        forward_ = fftwf_plan_dft_2d(rows, columns, in_, out_, FFTW_FORWARD, FFTW_MEASURE);
        backward_ = fftwf_plan_dft_2d(rows, columns, out_, out_, FFTW_BACKWARD, FFTW_MEASURE);
        // Planning with FFTW_MEASURE overwrites the arrays, so the data goes in afterwards.
        const std::vector<std::uint8_t> values = NoiseBytes(count);
        for (std::size_t i = 0; i < count; ++i) {
            in_[i][0] = static_cast<float>(values[i]);
            in_[i][1] = 0.0f;
        }
    }
    ~FftwC2CCase() {
        fftwf_destroy_plan(forward_);
        fftwf_destroy_plan(backward_);
        fftwf_free(in_);
        fftwf_free(out_);
    }
    FftwC2CCase(const FftwC2CCase&) = delete;
    FftwC2CCase& operator=(const FftwC2CCase&) = delete;

    void Run() {
        fftwf_execute(forward_);
        fftwf_execute(backward_);
        benchmark::DoNotOptimize(out_);
    }

private:
    fftwf_complex* in_ = nullptr;
    fftwf_complex* out_ = nullptr;
    fftwf_plan forward_ = nullptr;
    fftwf_plan backward_ = nullptr;
};

/// FFTW's real-to-complex pair: r2c into the half spectrum, c2r into a separate real array
/// (c2r may overwrite the half spectrum, which the next r2c fills again).
class FftwR2CCase {
public:
    FftwR2CCase(std::uint64_t width, std::uint64_t height, int threads) {
        const std::size_t count = width * height;
        in_ = fftwf_alloc_real(count);
        out_ = fftwf_alloc_real(count);
        spectrum_ = fftwf_alloc_complex(height * (width / 2 + 1));
        fftwf_plan_with_nthreads(threads);
        const int rows = static_cast<int>(height);
        const int columns = static_cast<int>(width);
        forward_ = fftwf_plan_dft_r2c_2d(rows, columns, in_, spectrum_, FFTW_MEASURE);
        backward_ = fftwf_plan_dft_c2r_2d(rows, columns, spectrum_, out_, FFTW_MEASURE);
        const std::vector<std::uint8_t> values = NoiseBytes(count);
        for (std::size_t i = 0; i < count; ++i) {
            in_[i] = static_cast<float>(values[i]);
        }
    }
    ~FftwR2CCase() {
        fftwf_destroy_plan(forward_);
        fftwf_destroy_plan(backward_);
        fftwf_free(in_);
        fftwf_free(out_);
        fftwf_free(spectrum_);
    }
    FftwR2CCase(const FftwR2CCase&) = delete;
    FftwR2CCase& operator=(const FftwR2CCase&) = delete;

    void Run() {
        fftwf_execute(forward_);
        fftwf_execute(backward_);
        benchmark::DoNotOptimize(out_);
    }

private:
    float* in_ = nullptr;
    float* out_ = nullptr;
    fftwf_complex* spectrum_ = nullptr;
    fftwf_plan forward_ = nullptr;
    fftwf_plan backward_ = nullptr;
};

/// Times every iteration by hand for both the report and the summary. The small sizes get an
/// untimed warm-up call first; for the large ones each call allocates and first-touches its
/// planes anyway (ours) or the planner has touched them (FFTW), and a warm-up would only cost.
template <typename Case>
void TimeIterations(benchmark::State& state, Case& subject, const CaseKey& key) {
    if (std::get<0>(key) * std::get<1>(key) <= kWarmUpLimit) {
        subject.Run();
    }
    std::vector<double>& times = Timings()[key];
    for (auto _ : state) {
        const double milliseconds = TimeMilliseconds([&] { subject.Run(); });
        times.push_back(milliseconds);
        state.SetIterationTime(milliseconds / 1000.0);
    }
}

void BenchOurs(benchmark::State& state, BenchSize size, int threads) {
    const ScopedThreadLimit limit(static_cast<std::size_t>(threads));
    OursCase subject(size.width, size.height);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::Ours});
}

void BenchFftwC2C(benchmark::State& state, BenchSize size, int threads) {
    FftwC2CCase subject(size.width, size.height, threads);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::FftwC2C});
}

void BenchFftwR2C(benchmark::State& state, BenchSize size, int threads) {
    FftwR2CCase subject(size.width, size.height, threads);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::FftwR2C});
}

/// The benchmark name "engine/WxH/threads:N".
std::string CaseName(const char* engine, const BenchSize& size, int threads) {
    char name[96];
    std::snprintf(name, sizeof name, "%s/%llux%llu/threads:%d", engine,
                  static_cast<unsigned long long>(size.width),
                  static_cast<unsigned long long>(size.height), threads);
    return name;
}

void RegisterAll() {
    for (const BenchSize& size : kSizes) {
        for (const int threads : kThreadCounts) {
            const auto configure = [&](benchmark::internal::Benchmark* bench) {
                bench->Iterations(size.iterations)->UseManualTime()->Unit(benchmark::kMillisecond);
            };
            configure(benchmark::RegisterBenchmark(CaseName("ours", size, threads).c_str(),
                                                   BenchOurs, size, threads));
            configure(benchmark::RegisterBenchmark(CaseName("fftw_c2c", size, threads).c_str(),
                                                   BenchFftwC2C, size, threads));
            configure(benchmark::RegisterBenchmark(CaseName("fftw_r2c", size, threads).c_str(),
                                                   BenchFftwR2C, size, threads));
        }
    }
}

void PrintSummary() {
    for (const BenchSize& size : kSizes) {
        for (const int threads : kThreadCounts) {
            const auto median = [&](Engine engine) {
                return Median(Timings()[{size.width, size.height, threads, engine}]);
            };
            const double ours = median(Engine::Ours);
            const double c2c = median(Engine::FftwC2C);
            const double r2c = median(Engine::FftwR2C);
            if (ours <= 0.0 || c2c <= 0.0 || r2c <= 0.0) {
                continue;  // filtered out on the command line
            }
            std::printf(
                "fft2d %llux%llu threads=%d ours_ms=%.3f fftw_c2c_ms=%.3f fftw_r2c_ms=%.3f "
                "ratio_c2c=%.2f ratio_r2c=%.2f\n",
                static_cast<unsigned long long>(size.width),
                static_cast<unsigned long long>(size.height), threads, ours, c2c, r2c, ours / c2c,
                ours / r2c);
        }
    }
    std::fflush(stdout);
}

/// The FFTW wisdom file beside the running executable.
std::string WisdomPath(const char* argv0) {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        executable = argv0;
    }
    return (executable.parent_path() / "quarvel_bench.fftw-wisdom").string();
}

}  // namespace
}  // namespace quarvel::bench

int main(int argc, char** argv) {
    if (fftwf_init_threads() == 0) {
        std::fprintf(stderr, "quarvel_bench: FFTW threads cannot be started\n");
        return 1;
    }
    fftwf_set_timelimit(quarvel::bench::kPlanningSeconds);
    const std::string wisdom = quarvel::bench::WisdomPath(argv[0]);
    fftwf_import_wisdom_from_filename(wisdom.c_str());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    quarvel::bench::RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fftwf_export_wisdom_to_filename(wisdom.c_str());
    quarvel::bench::PrintSummary();
    fftwf_cleanup_threads();
    return 0;
}
