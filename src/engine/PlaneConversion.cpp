#include "engine/PlaneConversion.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <tbb/task_arena.h>

#include "engine/C2DFFT.h"
#include "engine/CExactFFT.h"
#include "engine/DeepImage.h"
#include "engine/FastKernels.h"
#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

bool IsPowerOfTwo(std::uint64_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

constexpr float kLargestFloat = 3.4028235e38f;

/// The sign of the first level of a row of width floats that is +0 or -0: 1 for +0, -1 for
/// -0, 0 when there is none.
std::int8_t RowFirstZero(const float* row, std::uint64_t width) {
    for (std::uint64_t x = 0; x < width; ++x) {
        float value;
        std::memcpy(&value, row + x, sizeof value);
        if (value == 0.0f) {
            return std::signbit(value) ? -1 : 1;
        }
    }
    return 0;
}

/// The first zero level of the rows whose RowFirstZero signs zeros holds, in row order.
float FirstZeroOfRows(const std::vector<std::int8_t>& zeros) {
    for (const std::int8_t zero : zeros) {
        if (zero != 0) {
            return zero < 0 ? -0.0f : 0.0f;
        }
    }
    return 0.0f;
}

/// Offset of the channel's byte inside a blue, green, red, ignored pixel.
std::size_t ChannelByte(ChannelKind channel) {
    switch (channel) {
        case ChannelKind::Red:
            return 2;
        case ChannelKind::Green:
            return 1;
        case ChannelKind::Blue:
        case ChannelKind::Grey:
            break;
    }
    return 0;
}

/// Whether a width x height spectrum can be rendered: both planes there, sides of 32 bits.
bool CanRender(const float* re, const float* im, std::uint64_t width, std::uint64_t height) {
    return re != nullptr && im != nullptr && width != 0 && height != 0 &&
           width <= std::numeric_limits<std::uint32_t>::max() &&
           height <= std::numeric_limits<std::uint32_t>::max();
}

/// The levels of a power spectrum image of a spectrum's planes (rows of width elements, read
/// where PlaneRows says), worked out row by row in two passes.
///
/// The first pass works out the level of every element of a row (the base-2 logarithm of its
/// magnitude as log10(m) / log10(2), 0 for an exactly zero element) and the row's smallest and
/// largest level; the second turns a row's levels into grey levels once the mapping of the
/// whole image is known. With a plane of levels (a float per element, which may be the real
/// plane itself: each level is written after its element is read) the levels stay there from
/// the first pass to the second. Without one, each band of rows works its levels out in a row
/// of memory of its own, and again in the second pass, so that an image costs no more memory
/// than its own bytes.
class LevelRenderer {
public:
    LevelRenderer(const PlaneRows& planes, std::uint64_t width, std::uint64_t height, float* plane)
        : planes_(planes),
          width_(width),
          plane_(plane),
          kernels_(FastKernelsFor(ActiveInstructionSet())) {
        if (plane_ == nullptr) {
            const auto threads =
                static_cast<std::uint64_t>(std::max(1, tbb::this_task_arena::max_concurrency()));
            bands_ = std::min(height, 4 * threads);
            bandRows_.reset(new (std::nothrow) float[bands_ * width_]);
        }
    }

    /// False when the rows of the bands could not be had.
    bool IsReady() const { return plane_ != nullptr || bandRows_ != nullptr; }

    /// The first pass over rows first to last - 1: the smallest and largest level of row y into
    /// rowLowest[y] and rowHighest[y], as a scan that starts from the largest float and its
    /// negative and replaces a value only by a strictly smaller (larger) one; with zeros, the
    /// RowFirstZero sign of row y into zeros[y].
    void FindRows(std::uint64_t first, std::uint64_t last, float* rowLowest, float* rowHighest,
                  std::int8_t* zeros) const {
        ForRows(first, last, [&](std::size_t y, float* levels) {
            rowLowest[y] = kLargestFloat;
            rowHighest[y] = -kLargestFloat;
            Levels(y, levels, rowLowest[y], rowHighest[y]);
            if (zeros != nullptr) {
                zeros[y] = ZeroSign(levels, rowLowest[y], rowHighest[y]);
            }
        });
    }

    /// The second pass over rows first to last - 1 of image (8 bits a pixel): each level mapped
    /// from lowest (0) to lowest + range (255), truncated and limited to 0 to 255; with zeros,
    /// the RowFirstZero sign of row y into zeros[y], rowLowest and rowHighest holding the rows'
    /// extremes.
    void RenderRows(std::uint64_t first, std::uint64_t last, float lowest, float range,
                    ImageBitmap& image, const float* rowLowest, const float* rowHighest,
                    std::int8_t* zeros) const {
        ForRows(first, last, [&](std::size_t y, float* levels) {
            if (plane_ == nullptr) {
                float rowLow = kLargestFloat;
                float rowHigh = -kLargestFloat;
                Levels(y, levels, rowLow, rowHigh);
            }
            kernels_.levelBytes(levels, width_, lowest, range,
                                image.Row(static_cast<std::uint32_t>(y)));
            if (zeros != nullptr) {
                zeros[y] = ZeroSign(levels, rowLowest[y], rowHighest[y]);
            }
        });
    }

private:
    /// body(y, levels) for every row y of first to last - 1, levels the row's place for its
    /// levels: its row of the plane, or the row of its band.
    template <typename Body>
    void ForRows(std::uint64_t first, std::uint64_t last, const Body& body) const {
        if (plane_ != nullptr) {
            ParallelFor(first, last, [&](std::size_t y) { body(y, plane_ + y * width_); });
            return;
        }
        const std::uint64_t count = last - first;
        const std::uint64_t bands = std::min(count, bands_);
        ParallelFor(0, bands, [&](std::size_t b) {
            float* levels = bandRows_.get() + b * width_;
            const std::uint64_t end = first + count * (b + 1) / bands;
            for (std::uint64_t y = first + count * b / bands; y < end; ++y) {
                body(y, levels);
            }
        });
    }

    void Levels(std::size_t y, float* levels, float& lowest, float& highest) const {
        kernels_.logMagnitudes(planes_.Re(y, width_), planes_.Im(y, width_), width_,
                               std::log10(2.0f), levels, lowest, highest);
    }

    /// RowFirstZero of a row of levels, searched only when its extremes enclose 0.
    std::int8_t ZeroSign(const float* levels, float lowest, float highest) const {
        return lowest <= 0.0f && highest >= 0.0f ? RowFirstZero(levels, width_) : 0;
    }

    PlaneRows planes_;
    std::uint64_t width_;
    float* plane_;
    const FastKernels& kernels_;
    std::uint64_t bands_ = 0;
    std::unique_ptr<float[]> bandRows_;
};

/// The smallest and largest level of a scan row by row that starts from the largest float and
/// its negative and replaces a value only by a strictly smaller (larger) one.
void ScanRowExtremes(const std::vector<float>& rowLowest, const std::vector<float>& rowHighest,
                     float& lowest, float& highest) {
    lowest = kLargestFloat;
    highest = -kLargestFloat;
    for (std::size_t y = 0; y < rowLowest.size(); ++y) {
        if (rowLowest[y] < lowest) {
            lowest = rowLowest[y];
        }
        if (rowHighest[y] > highest) {
            highest = rowHighest[y];
        }
    }
}

/// Every row of image (8 bits a pixel, the renderer's size) rendered, and found (whose lowest,
/// highest and zeros hold a value per row) filled: the extremes of every row, the mapping of
/// the image, and the RowFirstZero sign of every row when an extreme is zero (zeros is emptied
/// otherwise). With extremesKnown, found holds the extremes of every row already, and the
/// levels are worked out once instead of twice.
void RenderAllRows(const LevelRenderer& renderer, ImageBitmap& image, PowerLevelRows& found,
                   bool extremesKnown = false) {
    const std::uint64_t height = found.lowest.size();
    if (!extremesKnown) {
        renderer.FindRows(0, height, found.lowest.data(), found.highest.data(), nullptr);
    }
    float lowest = 0.0f;
    float highest = 0.0f;
    ScanRowExtremes(found.lowest, found.highest, lowest, highest);
    // Such a scan keeps the first of the values that compare equal to the extreme; only +0 and
    // -0 compare equal with different bits, so a zero extreme takes the sign of the first zero,
    // which the second pass finds out. The grey levels do not depend on it: x - 0 only differs
    // from x + 0 for x = -0, whose level is 0 either way.
    const bool zeroExtreme = lowest == 0.0f || highest == 0.0f;
    renderer.RenderRows(0, height, lowest, highest - lowest, image, found.lowest.data(),
                        found.highest.data(), zeroExtreme ? found.zeros.data() : nullptr);
    if (zeroExtreme) {
        const float firstZero = FirstZeroOfRows(found.zeros);
        lowest = lowest == 0.0f ? firstZero : lowest;
        highest = highest == 0.0f ? firstZero : highest;
    } else {
        found.zeros.clear();
    }
    // When every value is equal the quotient of the second pass is 0 / 0, not a number, and
    // the level is 0.
    found.imageLowest = lowest;
    found.imageRange = highest - lowest;
}

/// The power spectrum image of a width x height spectrum by renderer, what was found out about
/// its levels kept in levels when given. Null when memory runs out.
std::unique_ptr<ImageBitmap> RenderImage(const LevelRenderer& renderer, std::uint64_t width,
                                         std::uint64_t height, PowerLevelRows* levels) {
    std::unique_ptr<ImageBitmap> image =
        ImageBitmap::Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                            PixelFormat8bppIndexed);
    if (!image || !renderer.IsReady()) {
        return nullptr;
    }
    PowerLevelRows found;
    try {
        image->SetPalette(BitmapPalette::GreyRamp());
        found.lowest.resize(height);
        found.highest.resize(height);
        found.zeros.resize(height);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    RenderAllRows(renderer, *image, found);
    if (levels != nullptr) {
        *levels = std::move(found);
    }
    return image;
}

/// Whether two floats have the same bits.
bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

/// The spectrum of values by fft, with both planes empty when memory runs out.
template <typename Transform, typename Sample>
void ForwardInto(const Transform& fft, const Sample* values, ChannelSpectrum& spectrum) {
    SpectrumPlane re;
    SpectrumPlane im;
    if (!fft.Forward(values, re, im)) {
        return;
    }
    // Shared planes take a small allocation of their own.
    try {
        spectrum.re = std::move(re);
        spectrum.im = std::move(im);
    } catch (const std::bad_alloc&) {
        spectrum = ChannelSpectrum{};
    }
}

/// ComputeSpectrum of a 16-bit or floating-point image: the channel's values gathered into a
/// float plane and transformed from there.
ChannelSpectrum ComputeDeepSpectrum(const ImageBitmap& image, ChannelKind channel) {
    ChannelSpectrum spectrum;
    const std::uint32_t w = image.Width();
    const std::uint32_t h = image.Height();
    const SpectrumPlane values = AllocatePlane(static_cast<std::size_t>(w) * h);
    if (!values || !GatherChannelValues(image, channel, values.get())) {
        return spectrum;
    }
    if (IsPowerOfTwo(w) && IsPowerOfTwo(h)) {
        ForwardInto(C2DFFT(w, h), values.get(), spectrum);
    } else {
        ForwardInto(CExactFFT(w, h), values.get(), spectrum);
    }
    return spectrum;
}

/// Sets the fourth byte of each of the width 4-byte pixels at row to 0xFF, so that a colour
/// image is shown and encoded from its own memory (the screen layout wants it opaque).
void SetFourthBytes(std::uint8_t* row, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x) {
        row[4 * x + 3] = 0xFF;
    }
}

}  // namespace

std::uint64_t SpectrumSize(std::uint64_t n) {
    assert(n >= 1);
    float exponent = std::log(static_cast<float>(n)) / std::log(2.0f);
    if (exponent != std::trunc(exponent)) {
        exponent = std::ceil(exponent);
    }
    const double power = std::nearbyint(std::pow(2.0, static_cast<double>(exponent)));
    // 2^64 and above (or a NaN) cannot be represented.
    if (!(power < 18446744073709551616.0)) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    auto size = static_cast<std::uint64_t>(power);
    // Above 2^21 the single-precision logarithm can land on the power of two just below n.
    while (size != 0 && size < n && size <= std::numeric_limits<std::uint64_t>::max() / 2) {
        size *= 2;
    }
    return size;
}

std::uint64_t SpectrumSize(std::uint64_t n, TransformSize size) {
    return size == TransformSize::Exact ? n : SpectrumSize(n);
}

bool IsColorImage(const ImageBitmap& image) {
    // Samples wider than a byte say by their format what they hold; for bytes the row rule
    // stands.
    switch (image.Format()) {
        case PixelFormat16bppGrayScale:
        case PixelFormat32bppGrayFloat:
            return false;
        case PixelFormat48bppRGB:
            return true;
        default:
            return image.Stride() > 2 * static_cast<std::size_t>(image.Width());
    }
}

bool MakeResampleColumns(std::uint32_t width, std::uint32_t newWidth, ResampleColumns& columns) {
    try {
        columns.left.resize(newWidth);
        columns.right.resize(newWidth);
        columns.weights.resize(newWidth);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const float sx = static_cast<float>(width) / static_cast<float>(newWidth);
    for (std::uint32_t i = 0; i < newWidth; ++i) {
        const float fx = static_cast<float>(i) * sx;
        std::uint32_t x0 = static_cast<std::uint32_t>(fx);
        x0 = x0 < width ? x0 : width - 1;
        columns.left[i] = x0;
        columns.right[i] = x0 + 1 >= width ? width - 1 : x0 + 1;
        columns.weights[i] = fx - static_cast<float>(x0);
    }
    return true;
}

std::unique_ptr<ImageBitmap> ResampleTarget(const ImageBitmap* source, std::uint32_t newWidth,
                                            std::uint32_t newHeight) {
    if (source == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ImageBitmap> target =
        ImageBitmap::Create(newWidth, newHeight, source->Format());
    // An indexed target always gets the source's palette, also when a one pixel wide indexed
    // image goes through the colour view: its colours are written back as palette entries.
    if (target && source->Format() == PixelFormat8bppIndexed) {
        target->SetPalette(source->Palette());
    }
    return target;
}

std::unique_ptr<ImageBitmap> ResampleImage(const ImageBitmap* source, std::uint32_t newWidth,
                                           std::uint32_t newHeight) {
    if (source == nullptr) {
        return nullptr;
    }
    if (DepthOf(source->Format()) != SampleDepth::Bits8) {
        return ResampleDeepImage(*source, newWidth, newHeight);
    }
    std::unique_ptr<ImageBitmap> target = ResampleTarget(source, newWidth, newHeight);
    if (!target) {
        return nullptr;
    }
    const bool colour = IsColorImage(*source);
    const PixelFormat view = colour ? PixelFormat32bppRGB : source->Format();
    {
        const RowAccess from(*source, view);
        RowAccess to(*target, view);
        if (!from.IsValid() || !to.IsValid()) {
            return nullptr;
        }
        const std::uint32_t w = source->Width();
        const std::uint32_t h = source->Height();
        // Column positions and weights are the same in every row.
        ResampleColumns columns;
        if (!MakeResampleColumns(w, newWidth, columns)) {
            return nullptr;
        }
        const std::vector<std::uint32_t>& left = columns.left;
        const std::vector<std::uint32_t>& right = columns.right;
        const std::vector<float>& weights = columns.weights;
        const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
        // The kernel keeps the fourth bytes, which a colour image of its own gets as 0xFF.
        const bool opaque = target->Format() == PixelFormat32bppRGB;
        ParallelFor(0, newHeight, [&](std::size_t j) {
            const ResampleRow rows = ResampleRowAt(j, h, newHeight);
            const float wy = rows.weight;
            const std::uint8_t* row0 = from.Row(rows.top);
            const std::uint8_t* row1 = from.Row(rows.bottom);
            std::uint8_t* out = to.Row(static_cast<std::uint32_t>(j));
            if (opaque) {
                SetFourthBytes(out, newWidth);
            }
            const auto resample = colour ? kernels.resampleRow : kernels.resampleGreyRow;
            resample(row0, row1, w, wy, left.data(), right.data(), weights.data(), newWidth, out);
        });
    }
    return target;
}

std::unique_ptr<ImageBitmap> ExtractChannel(const ImageBitmap& image, ChannelKind channel) {
    if (channel == ChannelKind::Grey) {
        return nullptr;
    }
    if (image.Format() == PixelFormat48bppRGB) {
        auto words = ImageBitmap::Create(image.Width(), image.Height(), PixelFormat16bppGrayScale);
        if (!words) {
            return nullptr;
        }
        const std::size_t offset = 2 * ChannelByte(channel);
        ParallelFor(0, image.Height(), [&](std::size_t y) {
            const auto row = static_cast<std::uint32_t>(y);
            for (std::uint32_t x = 0; x < image.Width(); ++x) {
                std::memcpy(words->Row(row) + 2 * x, image.Row(row) + 6 * x + offset, 2);
            }
        });
        return words;
    }
    auto levels = ImageBitmap::Create(image.Width(), image.Height(), PixelFormat8bppIndexed);
    if (!levels) {
        return nullptr;
    }
    levels->SetPalette(BitmapPalette::GreyRamp());
    const RowAccess rows(image, PixelFormat32bppRGB);
    if (!rows.IsValid()) {
        return nullptr;
    }
    const std::size_t offset = ChannelByte(channel);
    const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
    ParallelFor(0, image.Height(), [&](std::size_t y) {
        const auto row = static_cast<std::uint32_t>(y);
        kernels.gatherChannel(rows.Row(row), image.Width(), offset, levels->Row(row));
    });
    return levels;
}

std::unique_ptr<ImageBitmap> MergeChannels(const ImageBitmap& red, const ImageBitmap& green,
                                           const ImageBitmap& blue) {
    const std::uint32_t width = red.Width();
    const std::uint32_t height = red.Height();
    for (const ImageBitmap* channel : {&green, &blue}) {
        if (channel->Width() != width || channel->Height() != height ||
            channel->Format() != red.Format()) {
            return nullptr;
        }
    }
    if (red.Format() == PixelFormat16bppGrayScale) {
        auto image = ImageBitmap::Create(width, height, PixelFormat48bppRGB);
        if (!image) {
            return nullptr;
        }
        ParallelFor(0, height, [&](std::size_t y) {
            const auto row = static_cast<std::uint32_t>(y);
            std::uint8_t* out = image->Row(row);
            for (std::uint32_t x = 0; x < width; ++x) {
                std::memcpy(out + 6 * x, blue.Row(row) + 2 * x, 2);
                std::memcpy(out + 6 * x + 2, green.Row(row) + 2 * x, 2);
                std::memcpy(out + 6 * x + 4, red.Row(row) + 2 * x, 2);
            }
        });
        return image;
    }
    auto image = ImageBitmap::Create(width, height, PixelFormat32bppRGB);
    if (!image) {
        return nullptr;
    }
    const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
    ParallelFor(0, height, [&](std::size_t y) {
        const auto row = static_cast<std::uint32_t>(y);
        // The kernel keeps the fourth bytes.
        SetFourthBytes(image->Row(row), width);
        kernels.mergePixels(red.Row(row), green.Row(row), blue.Row(row), width, image->Row(row));
    });
    return image;
}

ChannelSpectrum ComputeSpectrum(const ImageBitmap* image, ChannelKind channel) {
    ChannelSpectrum spectrum;
    if (image == nullptr) {
        return spectrum;
    }
    const std::uint32_t w = image->Width();
    const std::uint32_t h = image->Height();
    if (DepthOf(image->Format()) != SampleDepth::Bits8) {
        return ComputeDeepSpectrum(*image, channel);
    }
    // The grey channel is the palette index of an indexed image; no other image has one.
    const bool grey = channel == ChannelKind::Grey;
    assert(!grey || image->Format() == PixelFormat8bppIndexed);
    if (grey && image->Format() != PixelFormat8bppIndexed) {
        return spectrum;
    }
    const std::size_t count = static_cast<std::size_t>(w) * h;
    const BytePlane bytes = AllocateBytePlane(count);
    if (!bytes) {
        return spectrum;
    }
    {
        const RowAccess rows(*image, grey ? image->Format() : PixelFormat32bppRGB);
        if (!rows.IsValid()) {
            return spectrum;
        }
        const std::size_t offset = ChannelByte(channel);
        const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
        std::uint8_t* plane = bytes.get();
        ParallelFor(0, h, [&](std::size_t y) {
            const std::uint8_t* in = rows.Row(static_cast<std::uint32_t>(y));
            std::uint8_t* out = plane + y * w;
            if (grey) {
                std::memcpy(out, in, w);
            } else {
                kernels.gatherChannel(in, w, offset, out);
            }
        });
    }
    if (IsPowerOfTwo(w) && IsPowerOfTwo(h)) {
        ForwardInto(C2DFFT(w, h), bytes.get(), spectrum);
    } else {
        ForwardInto(CExactFFT(w, h), bytes.get(), spectrum);
    }
    return spectrum;
}

std::unique_ptr<ImageBitmap> RenderPowerSpectrum(const float* re, const float* im,
                                                 std::uint64_t width, std::uint64_t height,
                                                 PowerLevelRows* levels) {
    return RenderPowerSpectrum(PlaneRows{re, im}, width, height, levels);
}

std::unique_ptr<ImageBitmap> RenderPowerSpectrum(const PlaneRows& planes, std::uint64_t width,
                                                 std::uint64_t height, PowerLevelRows* levels) {
    if (levels != nullptr) {
        *levels = PowerLevelRows{};
    }
    if (!CanRender(planes.re, planes.im, width, height)) {
        return nullptr;
    }
    return RenderImage(LevelRenderer(planes, width, height, nullptr), width, height, levels);
}

bool UpdatePowerSpectrumRows(const PlaneRows& planes, std::uint64_t width, std::uint64_t height,
                             ImageBitmap& image, PowerLevelRows& levels,
                             const std::vector<IndexRange>& rows, bool& whole) {
    whole = false;
    if (!CanRender(planes.re, planes.im, width, height) || image.Width() != width ||
        image.Height() != height || image.Format() != PixelFormat8bppIndexed) {
        return false;
    }
    const auto changed = [&](const IndexRange& run) {
        return IndexRange{std::min(run.begin, height), std::min(run.end, height)};
    };
    if (std::all_of(rows.begin(), rows.end(),
                    [&](const IndexRange& run) { return changed(run).Empty(); })) {
        return true;
    }
    // Everything that can fail comes before the first row is overwritten.
    PowerLevelRows found;
    BitmapPalette ramp;
    const bool known = levels.lowest.size() == height && levels.highest.size() == height;
    try {
        if (known) {
            found = levels;
        } else {
            found.lowest.resize(height);
            found.highest.resize(height);
        }
        found.zeros.reserve(height);
        ramp = BitmapPalette::GreyRamp();
    } catch (const std::bad_alloc&) {
        return false;
    }
    const LevelRenderer renderer(planes, width, height, nullptr);
    if (!renderer.IsReady()) {
        return false;
    }
    whole = true;
    if (known) {
        const bool zerosKnown = found.zeros.size() == height;
        for (const IndexRange& run : rows) {
            const IndexRange r = changed(run);
            if (!r.Empty()) {
                renderer.FindRows(r.begin, r.end, found.lowest.data(), found.highest.data(),
                                  zerosKnown ? found.zeros.data() : nullptr);
            }
        }
        float lowest = 0.0f;
        float highest = 0.0f;
        ScanRowExtremes(found.lowest, found.highest, lowest, highest);
        // The other rows keep their pixels when the mapping is the same to the bit. A zero
        // extreme takes the sign of the first zero level in the image, which the rows' signs
        // tell when they are known; otherwise every row goes the whole way.
        const bool zeroExtreme = lowest == 0.0f || highest == 0.0f;
        if (zeroExtreme && zerosKnown) {
            const float firstZero = FirstZeroOfRows(found.zeros);
            lowest = lowest == 0.0f ? firstZero : lowest;
            highest = highest == 0.0f ? firstZero : highest;
        }
        whole = !((!zeroExtreme || zerosKnown) && SameBits(lowest, levels.imageLowest) &&
                  SameBits(highest - lowest, levels.imageRange));
    }
    if (whole) {
        // Room for every row's sign was reserved above: this does not allocate. Only the
        // changed rows differ, and their extremes are worked out already when the others'
        // are known: the levels are then worked out once more, not twice.
        found.zeros.resize(height);
        RenderAllRows(renderer, image, found, known);
    } else {
        for (const IndexRange& run : rows) {
            const IndexRange r = changed(run);
            if (!r.Empty()) {
                renderer.RenderRows(r.begin, r.end, found.imageLowest, found.imageRange, image,
                                    found.lowest.data(), found.highest.data(), nullptr);
            }
        }
    }
    if (image.Palette() != ramp) {
        image.SetPalette(std::move(ramp));
    }
    levels = std::move(found);
    return true;
}

std::unique_ptr<ImageBitmap> RenderGreyPowerSpectrum(ChannelSpectrum& spectrum, std::uint64_t width,
                                                     std::uint64_t height) {
    const ChannelSpectrum planes = std::move(spectrum);
    if (!CanRender(planes.re.get(), planes.im.get(), width, height)) {
        return nullptr;
    }
    // The levels are worked out in the real plane, which holds every row of a spectrum made
    // by ComputeSpectrum.
    return RenderImage(LevelRenderer(planes.Rows(), width, height, planes.re.get()), width, height,
                       nullptr);
}

}  // namespace quarvel
