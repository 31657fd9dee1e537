// Forward plus inverse transform of one channel: our C2DFFT beside FFTW's single-precision
// complex 2-D transform (forward and backward plans) and its real-to-complex pair (r2c and c2r),
// at the same size and thread count.
//
// Every iteration is timed by hand and kept; after the Google Benchmark report one summary line
// per size and thread count gives the medians in milliseconds and the ratios ours / FFTW (above
// 1 means ours is slower):
//   fft2d 4096x4096 threads=2 ours_ms=... fftw_c2c_ms=... fftw_r2c_ms=... ratio_c2c=...
//   ratio_r2c=...
// and, for the transform at an image's own size (CExactFFT) beside FFTW's complex transform,
//   fft2d_exact 6000x4000 threads=2 ours_ms=... fftw_ms=... ratio=...
// followed by the line of the batch processing of a large photograph (BatchBench.cpp). The spectrum
// and filter commands on a 67-megapixel photograph are benchmarks of their own
// (LargeImageBench.cpp).
//
// FFTW plans with FFTW_MEASURE and no time limit: a limit makes it settle for the plans it has
// estimated so far, which at 4096 x 4096 run several times slower than the measured ones. The
// first run therefore spends a few minutes planning; what FFTW learns is kept in a wisdom file
// beside the executable (saved after every plan), and later runs plan at once. FFTW's arrays
// come from the same allocator as our planes, so both sides get the same kind of memory pages.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "BatchBench.h"
#include "BenchUtil.h"
#include "LargeImageBench.h"
#include "engine/C2DFFT.h"
#include "engine/CExactFFT.h"

namespace quarvel::bench {
namespace {

struct BenchSize {
    std::uint64_t width;
    std::uint64_t height;
    int iterations;  ///< timed calls per benchmark; fewer for the large sizes
};

constexpr BenchSize kSizes[] = {
    {512, 512, 31}, {1024, 1024, 15}, {2048, 2048, 9}, {4096, 4096, 5}, {8192, 4096, 5},
};
constexpr int kThreadCounts[] = {1, 2};

/// Sizes of the transform at an image's own size: a photograph's 2^4 3 5^3 x 2^5 5^3, two
/// primes, and a square prime.
constexpr BenchSize kExactSizes[] = {{6000, 4000, 5}, {4999, 3001, 5}, {3001, 3001, 5}};

enum class Engine { Ours, FftwC2C, FftwR2C, OursExact, FftwExact };

using CaseKey = std::tuple<std::uint64_t, std::uint64_t, int, Engine>;

/// The hand-timed milliseconds of every iteration, per size, thread count and engine.
std::map<CaseKey, std::vector<double>>& Timings() {
    static std::map<CaseKey, std::vector<double>> timings;
    return timings;
}

/// Our transform (C2DFFT, or CExactFFT at any size): the tables are built once, the planes are
/// allocated by every call, as the program does per channel.
template <typename Transform = C2DFFT>
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
    Transform fft_;
    std::vector<std::uint8_t> values_;
};

/// An FFTW array from our plane allocator (64-byte aligned, large pages where offered).
template <typename T>
T* FftwArray(SpectrumPlane& storage, std::size_t floats) {
    storage = AllocatePlane(floats);
    return reinterpret_cast<T*>(storage.get());
}

/// Saves what FFTW has learnt so far; set by main.
std::string& WisdomFile() {
    static std::string path;
    return path;
}

/// FFTW's complex transform: forward out of place, backward in place on the result, so the
/// input stays the same from one iteration to the next.
class FftwC2CCase {
public:
    FftwC2CCase(std::uint64_t width, std::uint64_t height, int threads) {
        const std::size_t count = width * height;
        in_ = FftwArray<fftwf_complex>(inStorage_, 2 * count);
        out_ = FftwArray<fftwf_complex>(outStorage_, 2 * count);
        fftwf_plan_with_nthreads(threads);
        const int rows = static_cast<int>(height);
        const int columns = static_cast<int>(width);
        forward_ = fftwf_plan_dft_2d(rows, columns, in_, out_, FFTW_FORWARD, FFTW_MEASURE);
        backward_ = fftwf_plan_dft_2d(rows, columns, out_, out_, FFTW_BACKWARD, FFTW_MEASURE);
        fftwf_export_wisdom_to_filename(WisdomFile().c_str());
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
    }
    FftwC2CCase(const FftwC2CCase&) = delete;
    FftwC2CCase& operator=(const FftwC2CCase&) = delete;

    void Run() {
        fftwf_execute(forward_);
        fftwf_execute(backward_);
        benchmark::DoNotOptimize(out_);
    }

private:
    SpectrumPlane inStorage_;
    SpectrumPlane outStorage_;
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
        in_ = FftwArray<float>(inStorage_, count);
        out_ = FftwArray<float>(outStorage_, count);
        spectrum_ = FftwArray<fftwf_complex>(spectrumStorage_, 2 * height * (width / 2 + 1));
        fftwf_plan_with_nthreads(threads);
        const int rows = static_cast<int>(height);
        const int columns = static_cast<int>(width);
        forward_ = fftwf_plan_dft_r2c_2d(rows, columns, in_, spectrum_, FFTW_MEASURE);
        backward_ = fftwf_plan_dft_c2r_2d(rows, columns, spectrum_, out_, FFTW_MEASURE);
        fftwf_export_wisdom_to_filename(WisdomFile().c_str());
        const std::vector<std::uint8_t> values = NoiseBytes(count);
        for (std::size_t i = 0; i < count; ++i) {
            in_[i] = static_cast<float>(values[i]);
        }
    }
    ~FftwR2CCase() {
        fftwf_destroy_plan(forward_);
        fftwf_destroy_plan(backward_);
    }
    FftwR2CCase(const FftwR2CCase&) = delete;
    FftwR2CCase& operator=(const FftwR2CCase&) = delete;

    void Run() {
        fftwf_execute(forward_);
        fftwf_execute(backward_);
        benchmark::DoNotOptimize(out_);
    }

private:
    SpectrumPlane inStorage_;
    SpectrumPlane outStorage_;
    SpectrumPlane spectrumStorage_;
    float* in_ = nullptr;
    float* out_ = nullptr;
    fftwf_complex* spectrum_ = nullptr;
    fftwf_plan forward_ = nullptr;
    fftwf_plan backward_ = nullptr;
};

/// Times every iteration by hand for both the report and the summary, after one untimed call
/// that lets each side touch its memory and, for ours, set up the worker threads' scratch.
template <typename Case>
void TimeIterations(benchmark::State& state, Case& subject, const CaseKey& key) {
    subject.Run();
    std::vector<double>& times = Timings()[key];
    for (auto _ : state) {
        const double milliseconds = TimeMilliseconds([&] { subject.Run(); });
        times.push_back(milliseconds);
        state.SetIterationTime(milliseconds / 1000.0);
    }
}

void BenchOurs(benchmark::State& state, BenchSize size, int threads) {
    const ScopedThreadLimit limit(static_cast<std::size_t>(threads));
    OursCase<> subject(size.width, size.height);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::Ours});
}

void BenchOursExact(benchmark::State& state, BenchSize size, int threads) {
    const ScopedThreadLimit limit(static_cast<std::size_t>(threads));
    OursCase<CExactFFT> subject(size.width, size.height);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::OursExact});
}

void BenchFftwExact(benchmark::State& state, BenchSize size, int threads) {
    FftwC2CCase subject(size.width, size.height, threads);
    TimeIterations(state, subject, {size.width, size.height, threads, Engine::FftwExact});
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
    for (const BenchSize& size : kExactSizes) {
        for (const int threads : kThreadCounts) {
            const auto configure = [&](benchmark::internal::Benchmark* bench) {
                bench->Iterations(size.iterations)->UseManualTime()->Unit(benchmark::kMillisecond);
            };
            configure(benchmark::RegisterBenchmark(CaseName("ours_exact", size, threads).c_str(),
                                                   BenchOursExact, size, threads));
            configure(benchmark::RegisterBenchmark(CaseName("fftw_exact", size, threads).c_str(),
                                                   BenchFftwExact, size, threads));
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
    for (const BenchSize& size : kExactSizes) {
        for (const int threads : kThreadCounts) {
            const double ours =
                Median(Timings()[{size.width, size.height, threads, Engine::OursExact}]);
            const double fftw =
                Median(Timings()[{size.width, size.height, threads, Engine::FftwExact}]);
            if (ours <= 0.0 || fftw <= 0.0) {
                continue;
            }
            std::printf("fft2d_exact %llux%llu threads=%d ours_ms=%.3f fftw_ms=%.3f ratio=%.2f\n",
                        static_cast<unsigned long long>(size.width),
                        static_cast<unsigned long long>(size.height), threads, ours, fftw,
                        ours / fftw);
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
    int childExit = 0;
    if (quarvel::bench::IsBatchChild(argc, argv, childExit)) {
        return childExit;
    }
    // The batch benchmark runs unless a benchmark filter leaves it out (a filter naming "batch"
    // keeps it).
    bool batchWanted = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--benchmark_filter=", 0) == 0) {
            batchWanted = argument.find("batch") != std::string::npos;
        }
    }
    if (fftwf_init_threads() == 0) {
        std::fprintf(stderr, "quarvel_bench: FFTW threads cannot be started\n");
        return 1;
    }
    const std::string wisdom = quarvel::bench::WisdomPath(argv[0]);
    quarvel::bench::WisdomFile() = wisdom;
    fftwf_import_wisdom_from_filename(wisdom.c_str());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    quarvel::bench::RegisterAll();
    quarvel::bench::RegisterLargeImageBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fftwf_export_wisdom_to_filename(wisdom.c_str());
    quarvel::bench::PrintSummary();
    if (batchWanted) {
        quarvel::bench::RunBatchBenchmark();
    }
    fftwf_cleanup_threads();
    return 0;
}
