#include "engine/DeepImage.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/ParallelFor.h"
#include "engine/PlaneConversion.h"

namespace quarvel {

namespace {

/// The sample at index i of a row of Sample values, read without assuming alignment.
template <typename Sample>
Sample SampleAt(const std::uint8_t* row, std::size_t i) {
    Sample value;
    std::memcpy(&value, row + i * sizeof(Sample), sizeof(Sample));
    return value;
}

template <typename Sample>
void StoreSample(std::uint8_t* row, std::size_t i, Sample value) {
    std::memcpy(row + i * sizeof(Sample), &value, sizeof(Sample));
}

/// Samples per pixel of a 16-bit or floating-point format; 0 for the others.
std::size_t DeepSamplesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat16bppGrayScale:
        case PixelFormat32bppGrayFloat:
            return 1;
        case PixelFormat48bppRGB:
            return 3;
        default:
            return 0;
    }
}

/// The index of channel among the samples of a pixel of format, or -1 when it has none such.
int SampleIndex(PixelFormat format, ChannelKind channel) {
    const std::size_t samples = DeepSamplesPerPixel(format);
    if (samples == 1) {
        return channel == ChannelKind::Grey ? 0 : -1;
    }
    if (samples == 3) {
        switch (channel) {
            case ChannelKind::Red:
                return 2;
            case ChannelKind::Green:
                return 1;
            case ChannelKind::Blue:
                return 0;
            case ChannelKind::Grey:
                break;
        }
    }
    return -1;
}

/// Calls body(Sample{}) with the sample type of a 16-bit or floating-point format.
template <typename Body>
void WithSampleType(PixelFormat format, const Body& body) {
    if (format == PixelFormat32bppGrayFloat) {
        body(float{});
    } else {
        body(std::uint16_t{});
    }
}

}  // namespace

FloatWindow FloatWindow::Of(const ImageBitmap& image) {
    FloatWindow window;
    if (image.Format() != PixelFormat32bppGrayFloat) {
        return window;
    }
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.Row(y);
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const float value = SampleAt<float>(row, x);
            if (std::isfinite(value)) {
                window.lowest = std::min(window.lowest, value);
                window.highest = std::max(window.highest, value);
            }
        }
    }
    return window;
}

std::uint32_t FloatWindow::Level(float value, std::uint32_t top) const {
    // In double, so that a window as wide as the floats reach does not overflow.
    const double span = static_cast<double>(highest) - static_cast<double>(lowest);
    const double level = (static_cast<double>(value) - lowest) / span * top + 0.5;
    if (!(level > 0.0)) {
        return 0;
    }
    return level >= top ? top : static_cast<std::uint32_t>(level);
}

std::unique_ptr<ImageBitmap> ReduceTo8Bits(const ImageBitmap& image) {
    const PixelFormat format = image.Format();
    if (DepthOf(format) == SampleDepth::Bits8) {
        return nullptr;
    }
    const bool colour = format == PixelFormat48bppRGB;
    auto reduced = ImageBitmap::Create(image.Width(), image.Height(),
                                       colour ? PixelFormat32bppRGB : PixelFormat8bppIndexed);
    if (!reduced) {
        return nullptr;
    }
    if (!colour) {
        reduced->SetPalette(BitmapPalette::GreyRamp());
    }
    const FloatWindow window = FloatWindow::Of(image);
    const std::uint32_t width = image.Width();
    ParallelFor(0, image.Height(), [&](std::size_t y) {
        const std::uint8_t* in = image.Row(static_cast<std::uint32_t>(y));
        std::uint8_t* out = reduced->Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            if (colour) {
                for (std::size_t c = 0; c < 3; ++c) {
                    out[4 * x + c] = WordToByte(SampleAt<std::uint16_t>(in, 3 * x + c));
                }
                out[4 * x + 3] = 0xFF;
            } else if (format == PixelFormat16bppGrayScale) {
                out[x] = WordToByte(SampleAt<std::uint16_t>(in, x));
            } else {
                out[x] = static_cast<std::uint8_t>(window.Level(SampleAt<float>(in, x), 255));
            }
        }
    });
    return reduced;
}

std::unique_ptr<ImageBitmap> FloatTo16Bits(const ImageBitmap& image) {
    if (image.Format() != PixelFormat32bppGrayFloat) {
        return nullptr;
    }
    auto words = ImageBitmap::Create(image.Width(), image.Height(), PixelFormat16bppGrayScale);
    if (!words) {
        return nullptr;
    }
    const FloatWindow window = FloatWindow::Of(image);
    ParallelFor(0, image.Height(), [&](std::size_t y) {
        const std::uint8_t* in = image.Row(static_cast<std::uint32_t>(y));
        std::uint8_t* out = words->Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            StoreSample(out, x,
                        static_cast<std::uint16_t>(window.Level(SampleAt<float>(in, x), 65535)));
        }
    });
    return words;
}

bool GatherChannelValues(const ImageBitmap& image, ChannelKind channel, float* plane) {
    const int index = SampleIndex(image.Format(), channel);
    if (index < 0 || plane == nullptr) {
        return false;
    }
    const std::size_t step = DeepSamplesPerPixel(image.Format());
    const std::uint32_t width = image.Width();
    WithSampleType(image.Format(), [&](auto sample) {
        using Sample = decltype(sample);
        ParallelFor(0, image.Height(), [&](std::size_t y) {
            const std::uint8_t* in = image.Row(static_cast<std::uint32_t>(y));
            float* out = plane + y * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = static_cast<float>(SampleAt<Sample>(in, step * x + index));
            }
        });
    });
    return true;
}

bool ScatterChannelValues(const float* values, ImageBitmap& image, ChannelKind channel) {
    const int index = SampleIndex(image.Format(), channel);
    if (index < 0 || values == nullptr) {
        return false;
    }
    const std::size_t step = DeepSamplesPerPixel(image.Format());
    const std::uint32_t width = image.Width();
    WithSampleType(image.Format(), [&](auto sample) {
        using Sample = decltype(sample);
        ParallelFor(0, image.Height(), [&](std::size_t y) {
            const float* in = values + y * width;
            std::uint8_t* out = image.Row(static_cast<std::uint32_t>(y));
            for (std::uint32_t x = 0; x < width; ++x) {
                if constexpr (std::is_same_v<Sample, float>) {
                    StoreSample(out, step * x + index, in[x]);
                } else {
                    StoreSample(out, step * x + index, RoundToWord(in[x]));
                }
            }
        });
    });
    return true;
}

std::unique_ptr<ImageBitmap> ResampleDeepImage(const ImageBitmap& source, std::uint32_t newWidth,
                                               std::uint32_t newHeight) {
    const std::size_t step = DeepSamplesPerPixel(source.Format());
    if (step == 0) {
        return nullptr;
    }
    auto target = ImageBitmap::Create(newWidth, newHeight, source.Format());
    if (!target) {
        return nullptr;
    }
    const std::uint32_t w = source.Width();
    const std::uint32_t h = source.Height();
    // The positions and weights of ResampleImage, in the same single-precision steps.
    ResampleColumns columns;
    if (!MakeResampleColumns(w, newWidth, columns)) {
        return nullptr;
    }
    const std::vector<std::uint32_t>& left = columns.left;
    const std::vector<std::uint32_t>& right = columns.right;
    const std::vector<float>& weights = columns.weights;
    WithSampleType(source.Format(), [&](auto sample) {
        using Sample = decltype(sample);
        ParallelFor(0, newHeight, [&](std::size_t j) {
            const ResampleRow rows = ResampleRowAt(j, h, newHeight);
            const float wy = rows.weight;
            const std::uint8_t* row0 = source.Row(rows.top);
            const std::uint8_t* row1 = source.Row(rows.bottom);
            std::uint8_t* out = target->Row(static_cast<std::uint32_t>(j));
            for (std::uint32_t i = 0; i < newWidth; ++i) {
                const float wx = weights[i];
                for (std::size_t c = 0; c < step; ++c) {
                    const float s00 =
                        static_cast<float>(SampleAt<Sample>(row0, left[i] * step + c));
                    const float s10 =
                        static_cast<float>(SampleAt<Sample>(row0, right[i] * step + c));
                    const float s01 =
                        static_cast<float>(SampleAt<Sample>(row1, left[i] * step + c));
                    const float s11 =
                        static_cast<float>(SampleAt<Sample>(row1, right[i] * step + c));
                    const float value = s00 * (1.0f - wy) * (1.0f - wx) + s10 * (1.0f - wy) * wx +
                                        s01 * (1.0f - wx) * wy + s11 * wx * wy;
                    if constexpr (std::is_same_v<Sample, float>) {
                        StoreSample(out, i * step + c, value);
                    } else {
                        // Truncated and limited as the 8-bit resampling does with 255.
                        const std::uint16_t word =
                            !(value > 0.0f) ? 0
                            : value >= 65535.0f
                                ? 65535
                                : static_cast<std::uint16_t>(static_cast<std::int32_t>(value));
                        StoreSample(out, i * step + c, word);
                    }
                }
            }
        });
    });
    return target;
}

std::string SampleText(const ImageBitmap& image, std::uint32_t x, std::uint32_t y) {
    if (x >= image.Width() || y >= image.Height()) {
        return {};
    }
    const std::uint8_t* row = image.Row(y);
    const auto colour = [](auto red, auto green, auto blue) {
        return "R " + std::to_string(red) + "  G " + std::to_string(green) + "  B " +
               std::to_string(blue);
    };
    switch (image.Format()) {
        case PixelFormat8bppIndexed:
            return std::to_string(row[x]);
        case PixelFormat24bppRGB:
            return colour(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        case PixelFormat32bppRGB:
            return colour(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        case PixelFormat16bppGrayScale:
            return std::to_string(SampleAt<std::uint16_t>(row, x));
        case PixelFormat48bppRGB:
            return colour(SampleAt<std::uint16_t>(row, 3 * x + 2),
                          SampleAt<std::uint16_t>(row, 3 * x + 1),
                          SampleAt<std::uint16_t>(row, 3 * x));
        case PixelFormat32bppGrayFloat: {
            char text[32];
            std::snprintf(text, sizeof text, "%.6g", static_cast<double>(SampleAt<float>(row, x)));
            return text;
        }
    }
    return {};
}

bool FloatSamplesWithin(const ImageBitmap& image, float limit) {
    if (image.Format() != PixelFormat32bppGrayFloat) {
        return true;
    }
    std::atomic<bool> within{true};
    ParallelFor(0, image.Height(), [&](std::size_t y) {
        const std::uint8_t* row = image.Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            // NaN fails the comparison as well.
            if (!(std::fabs(SampleAt<float>(row, x)) <= limit)) {
                within.store(false, std::memory_order_relaxed);
                return;
            }
        }
    });
    return within.load();
}

}  // namespace quarvel
