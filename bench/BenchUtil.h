#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <tbb/global_control.h>

namespace quarvel::bench {

/// Wall-clock milliseconds that one call of work takes.
template <typename Work>
double TimeMilliseconds(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

/// The median of values (the mean of the middle two for an even count); 0 when empty.
inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

/// The median wall-clock time of repetitions calls of work (at least one), in milliseconds. One
/// untimed call comes first when warmUp is set, so that first-touch page faults and lazy
/// initialisation do not land in the measurement.
template <typename Work>
double MedianMilliseconds(int repetitions, Work&& work, bool warmUp = true) {
    if (warmUp) {
        work();
    }
    std::vector<double> times;
    for (int i = 0; i < std::max(repetitions, 1); ++i) {
        times.push_back(TimeMilliseconds(work));
    }
    return Median(std::move(times));
}

/// Limits the worker threads of every ParallelFor to count while it lives.
class ScopedThreadLimit {
public:
    explicit ScopedThreadLimit(std::size_t count)
        : control_(tbb::global_control::max_allowed_parallelism, count) {}

private:
    tbb::global_control control_;
};

/// count bytes of reproducible noise, a stand-in for one image channel.
inline std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::uint32_t seed = 1) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> values(count);
    for (auto& value : values) {
        value = static_cast<std::uint8_t>(byte(generator));
    }
    return values;
}

/// A folder of its own under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quarvel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TemporaryFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// A "NAME: N kB" field of /proc/self/status in MiB; negative where there is none.
inline double StatusMegabytes(const char* format) {
    double kilobytes = -1.0;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, format, &kilobytes) == 1) {
                break;
            }
        }
        std::fclose(status);
    }
    return kilobytes >= 0.0 ? kilobytes / 1024.0 : -1.0;
}

/// The resident memory of this process now, in MiB (VmRSS); negative without /proc.
inline double ResidentMegabytes() {
    return StatusMegabytes("VmRSS: %lf kB");
}

/// The peak resident memory of this process in MiB: VmHWM, else ru_maxrss where there is no
/// /proc.
inline double PeakResidentMegabytes() {
    if (const double peak = StatusMegabytes("VmHWM: %lf kB"); peak >= 0.0) {
        return peak;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// Starts PeakResidentMegabytes afresh from the present resident memory; false where the system
/// cannot (no /proc, or a kernel older than 4.0).
inline bool ResetPeakResident() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

}  // namespace quarvel::bench
