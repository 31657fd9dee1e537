#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/ImageBitmap.h"
#include "history/CFFTProc.h"

namespace quarvel::testing_support {

/// A processing object whose views are a counter of notifications.
class CountingProc : public CFFTProc {
public:
    void UpdateViews(int erase) override {
        ++updateCount;
        lastErase = erase;
    }

    int updateCount = 0;
    int lastErase = -1;
};

/// A deterministic, busy 8-bit level for pixel (x, y) and a seed.
inline std::uint8_t PatternLevel(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 73856093u ^ y * 19349663u ^ seed * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<std::uint8_t>((x * 3 + y * 5 + seed * 11 + (h & 63u)) & 0xFFu);
}

/// An 8-bit indexed image with a grey ramp palette and a busy pattern.
inline std::unique_ptr<ImageBitmap> MakeGreyImage(std::uint32_t width, std::uint32_t height,
                                                  std::uint32_t seed = 1) {
    auto image = ImageBitmap::Create(width, height, PixelFormat8bppIndexed);
    image->SetPalette(BitmapPalette::GreyRamp());
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->Row(y)[x] = PatternLevel(x, y, seed);
        }
    }
    return image;
}

/// A 24-bit colour image whose three channels carry different patterns.
inline std::unique_ptr<ImageBitmap> MakeColourImage(std::uint32_t width, std::uint32_t height) {
    auto image = ImageBitmap::Create(width, height, PixelFormat24bppRGB);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (std::uint32_t c = 0; c < 3; ++c) {
                image->Row(y)[3 * x + c] = PatternLevel(x, y, 7 + c);
            }
        }
    }
    return image;
}

/// Loads image into proc as a freshly opened document would.
inline bool Open(CFFTProc& proc, std::unique_ptr<ImageBitmap> image) {
    proc.ResetHistory();
    proc.originalImage = std::move(image);
    return proc.StartHistory();
}

/// True when both images have the same size and format and the same pixel bytes (padding
/// ignored).
inline bool SamePixels(const ImageBitmap& a, const ImageBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) {
        return false;
    }
    const std::size_t rowBytes = a.Width() * BytesPerPixel(a.Format());
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

/// A copy of both planes of a spectrum of count elements.
struct PlaneCopy {
    std::vector<float> re;
    std::vector<float> im;
};

/// Rows the spectrum inherits are read where they are.
inline PlaneCopy CopyOf(const ChannelSpectrum& spectrum, std::size_t count) {
    const std::size_t height = spectrum.inherited ? spectrum.inherited->own.size() : 1;
    const std::size_t width = count / height;
    const PlaneRows rows = spectrum.Rows();
    PlaneCopy copy;
    for (std::size_t y = 0; y < height; ++y) {
        copy.re.insert(copy.re.end(), rows.Re(y, width), rows.Re(y, width) + width);
        copy.im.insert(copy.im.end(), rows.Im(y, width), rows.Im(y, width) + width);
    }
    return copy;
}

/// True when the spectrum holds exactly the bits of the copy.
inline bool SameBits(const ChannelSpectrum& spectrum, const PlaneCopy& copy) {
    const PlaneCopy now = CopyOf(spectrum, copy.re.size());
    const std::size_t bytes = copy.re.size() * sizeof(float);
    return std::memcmp(now.re.data(), copy.re.data(), bytes) == 0 &&
           std::memcmp(now.im.data(), copy.im.data(), bytes) == 0;
}

}  // namespace quarvel::testing_support
