#include "imageio/MemoryBudget.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>

#include "engine/PlaneConversion.h"

namespace quarvel {

namespace {

/// The budget set for the process; 0 for the default share.
std::atomic<std::uint64_t> memoryBudget{0};

/// A number read from a control-group file, or 0 when there is none or it means "no limit".
std::uint64_t ControlGroupLimit(const char* file) {
    std::FILE* stream = std::fopen(file, "re");
    if (stream == nullptr) {
        return 0;
    }
    unsigned long long value = 0;
    const int read = std::fscanf(stream, "%llu", &value);
    std::fclose(stream);
    // "max", or a value near the largest one, means no limit.
    return read == 1 && value < (std::uint64_t{1} << 60) ? value : 0;
}

}  // namespace

std::uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    std::uint64_t physical = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) *
                                                             static_cast<std::uint64_t>(pageSize)
                                                       : std::uint64_t{8} << 30;
    for (const char* file :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const std::uint64_t limit = ControlGroupLimit(file);
        if (limit != 0 && limit < physical) {
            physical = limit;
        }
    }
    return physical;
}

std::uint64_t MemoryBudget() {
    const std::uint64_t budget = memoryBudget.load();
    return budget != 0 ? budget : PhysicalMemoryBytes() / 2;
}

std::uint64_t SetMemoryBudget(std::uint64_t bytes) {
    return memoryBudget.exchange(bytes);
}

std::uint64_t EstimatedImageMemory(std::uint64_t width, std::uint64_t height, bool grey) {
    // In floating point, so that absurd header sizes saturate instead of wrapping around.
    const double bytesPerPixel = grey ? 1.0 : 4.0;
    const double channels = grey ? 1.0 : 3.0;
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    const double transformPixels =
        static_cast<double>(SpectrumSize(width)) * static_cast<double>(SpectrumSize(height));
    const double needed = 2.0 * pixels * bytesPerPixel + transformPixels * bytesPerPixel +
                          channels * transformPixels * (2.0 * sizeof(float) + 4.0);
    return needed >= 1.8e19 ? UINT64_MAX : static_cast<std::uint64_t>(needed);
}

std::string ImageSizeRefusal(std::uint64_t width, std::uint64_t height, bool grey,
                             std::uint64_t limit) {
    const std::uint64_t w2 = SpectrumSize(width);
    const std::uint64_t h2 = SpectrumSize(height);
    const std::uint64_t needed = EstimatedImageMemory(width, height, grey);
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (w2 > kMaxTransformSide || h2 > kMaxTransformSide) {
        return "too large: " + size + " needs a transform of " + std::to_string(w2) + " x " +
               std::to_string(h2) + " (at most " + std::to_string(kMaxTransformSide) +
               " on a side) and " + MemorySizeText(needed);
    }
    if (needed > limit) {
        return "too large: " + size + " needs " + MemorySizeText(needed) + ", limit " +
               MemorySizeText(limit);
    }
    return {};
}

std::optional<std::uint64_t> ParseMemorySize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (number > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        number = number * 10 + digit;
    }
    std::string unit = text.substr(digits);
    for (char& c : unit) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    int shift = 0;
    if (!unit.empty() && unit != "B") {
        static const std::string kPrefixes = "KMGT";
        const std::size_t prefix = kPrefixes.find(unit.front());
        const std::string rest = unit.substr(1);
        if (prefix == std::string::npos || !(rest.empty() || rest == "B" || rest == "IB")) {
            return std::nullopt;
        }
        shift = 10 * static_cast<int>(prefix + 1);
    }
    if (shift != 0 && number > (UINT64_MAX >> shift)) {
        return std::nullopt;
    }
    return number << shift;
}

std::string MemorySizeText(std::uint64_t bytes) {
    const auto roundedUp = [bytes](std::uint64_t unit) {
        return std::to_string(bytes / unit + (bytes % unit != 0 ? 1 : 0));
    };
    return bytes < (std::uint64_t{1} << 20) ? roundedUp(1024) + " KB"
                                            : roundedUp(std::uint64_t{1} << 20) + " MB";
}

}  // namespace quarvel
