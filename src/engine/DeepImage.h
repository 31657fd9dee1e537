#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"

namespace quarvel {

// Images of 16-bit samples (PixelFormat16bppGrayScale, PixelFormat48bppRGB) and of
// floating-point grey samples (PixelFormat32bppGrayFloat) take the same road as 8-bit images,
// with their values at full precision:
//
// - The spectra are computed from the sample values as they are: 0 to 65535 at 16 bits (not
//   scaled down to 0 to 255), any finite value in floating point. A 16-bit image that is 257
//   times an 8-bit one has 257 times its spectrum.
// - The power spectrum image does not depend on the depth: its levels are the base-2 logarithms
//   of the magnitudes mapped from the smallest to the largest onto 0 to 255, whatever their
//   scale.
// - The final image keeps the depth of the loaded image. A 16-bit value is rounded like a byte,
//   value + 0.5 truncated and limited to 0 to 65535 (RoundToWord); a floating-point value is
//   kept as it is, neither rounded nor limited.
// - Resampling to and from the power-of-two size is the bilinear formula of ResampleImage on the
//   samples, truncated and limited to 0 to 65535 at 16 bits, kept as it is in floating point.
// - Where 8 bits are needed (the display, JPEG and BMP files) a 16-bit sample v becomes
//   round(v / 257), which maps 0 to 0 and 65535 to 255, and a floating-point sample is mapped
//   linearly from its image's FloatWindow onto 0 to 255 (or 0 to 65535 for a 16-bit file).

/// The 16-bit value of a synthesised channel value: value + 0.5 truncated toward zero and
/// limited to 0 to 65535; NaN gives 0. The limits are tested on the float, so values beyond the
/// integer range are never converted.
inline std::uint16_t RoundToWord(float value) {
    value += 0.5f;
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 65535.0f) {
        return 65535;
    }
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(value));
}

/// The 8-bit level of a 16-bit sample: round(value / 257).
inline std::uint8_t WordToByte(std::uint16_t value) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(value) + 128) / 257);
}

/// The values of a floating-point image that map onto the ends of an integer range: 0 to 1,
/// widened to take in the image's smallest and largest finite sample. An image of intensities
/// in 0 to 1 keeps that scale; any other shows its whole range.
struct FloatWindow {
    float lowest = 0.0f;
    float highest = 1.0f;

    /// The window of image, a PixelFormat32bppGrayFloat image.
    static FloatWindow Of(const ImageBitmap& image);
    /// value mapped from the window onto 0 to top, rounded to nearest and limited to it; NaN
    /// gives 0.
    std::uint32_t Level(float value, std::uint32_t top) const;
};

/// A copy of image with 8-bit samples, as the display and 8-bit files need it: a 16-bit or
/// floating-point grey image as PixelFormat8bppIndexed with the grey ramp, a 16-bit colour
/// image as PixelFormat32bppRGB (fourth byte 0xFF). Null for an 8-bit image or when memory runs
/// out.
std::unique_ptr<ImageBitmap> ReduceTo8Bits(const ImageBitmap& image);

/// A PixelFormat16bppGrayScale copy of a floating-point grey image, its samples mapped from
/// its FloatWindow onto 0 to 65535, for files that hold no floating point. Null for any other
/// image or when memory runs out.
std::unique_ptr<ImageBitmap> FloatTo16Bits(const ImageBitmap& image);

/// The values of one channel of a 16-bit or floating-point image as floats, row by row into
/// plane (width x height floats): Red, Green and Blue are samples 2, 1 and 0 of a
/// PixelFormat48bppRGB pixel, Grey the sample of a grey image. False for an 8-bit image or a
/// channel the image does not have.
bool GatherChannelValues(const ImageBitmap& image, ChannelKind channel, float* plane);

/// Writes values (width x height floats, row by row) into one channel of a 16-bit or
/// floating-point image, 16-bit samples by RoundToWord, floating-point ones as they are. The
/// other samples are left as they are. False for an 8-bit image or a channel it does not have.
bool ScatterChannelValues(const float* values, ImageBitmap& image, ChannelKind channel);

/// ResampleImage for a 16-bit or floating-point image: a new image of the source's format, each
/// sample by the bilinear formula, truncated and limited to 0 to 65535 at 16 bits. Null for an
/// 8-bit source or when memory runs out.
std::unique_ptr<ImageBitmap> ResampleDeepImage(const ImageBitmap& source, std::uint32_t newWidth,
                                               std::uint32_t newHeight);

/// The samples of pixel (x, y) of image as a person reads them: "42" for a grey image (the
/// index of an indexed one, which the engine takes as its grey level), "R 1200  G 64000  B 7" for
/// a colour one, floating-point values to six significant digits. Empty outside the image.
std::string SampleText(const ImageBitmap& image, std::uint32_t x, std::uint32_t y);

/// Whether every sample of a floating-point image is finite and its magnitude at most limit.
bool FloatSamplesWithin(const ImageBitmap& image, float limit);

}  // namespace quarvel
