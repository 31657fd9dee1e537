#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/ImageBitmap.h"
#include "engine/PlaneMemory.h"

namespace quarvel {

/// Which channel ComputeSpectrum takes from an image.
enum class ChannelKind { Red, Green, Blue, Grey };

/// The size at which an image is transformed: the next power of two in each direction (the image
/// resampled to it and back), or the image's own size, so that an unedited image comes back
/// exactly (see CExactFFT for the centring of odd sizes).
enum class TransformSize { PowerOfTwo, Exact };

/// The transform size for an image dimension n >= 1: the smallest power of two not below n.
std::uint64_t SpectrumSize(std::uint64_t n);

/// The transform size for an image dimension n >= 1 on the road size chooses: SpectrumSize(n)
/// or n itself.
std::uint64_t SpectrumSize(std::uint64_t n, TransformSize size);

/// True when a row of the image in its own format is longer than twice its width in bytes:
/// 24- and 32-bit images, and 8-bit images one pixel wide. Images of 16-bit or floating-point
/// samples are colour by their format: PixelFormat48bppRGB is, the grey formats are not.
bool IsColorImage(const ImageBitmap& image);

/// A new image of newWidth x newHeight in the source's format, filled by bilinear interpolation
/// (colour images through the PixelFormat32bppRGB view, bytes 0 to 2, the fourth byte 0xFF;
/// others by their indices). An indexed target gets the source's palette. 16-bit and floating-point
/// images go through ResampleDeepImage. Null when source is null or the new image cannot be
/// created.
std::unique_ptr<ImageBitmap> ResampleImage(const ImageBitmap* source, std::uint32_t newWidth,
                                           std::uint32_t newHeight);
/// The image ResampleImage(source, newWidth, newHeight) fills, before it is filled: that size,
/// the source's format and, for an indexed source, its palette; every pixel zero. Null when
/// source is null or the image cannot be created.
std::unique_ptr<ImageBitmap> ResampleTarget(const ImageBitmap* source, std::uint32_t newWidth,
                                            std::uint32_t newHeight);

/// The columns of a bilinear resampling from width to newWidth, the same in every row: target
/// column i reads source columns left[i] and right[i] (the last column repeated at the edge),
/// weighted 1 - weights[i] and weights[i], positions in single precision.
struct ResampleColumns {
    std::vector<std::uint32_t> left;
    std::vector<std::uint32_t> right;
    std::vector<float> weights;
};
/// Fills columns for width to newWidth; false when memory runs out.
bool MakeResampleColumns(std::uint32_t width, std::uint32_t newWidth, ResampleColumns& columns);

/// The source rows of target row j of a bilinear resampling from height to newHeight rows:
/// rows top and bottom (the last row repeated at the edge), weighted 1 - weight and weight,
/// positions in single precision as for the columns.
struct ResampleRow {
    std::uint32_t top = 0;
    std::uint32_t bottom = 0;
    float weight = 0.0f;
};
inline ResampleRow ResampleRowAt(std::size_t j, std::uint32_t height, std::uint32_t newHeight) {
    const float step = static_cast<float>(height) / static_cast<float>(newHeight);
    const float fy = static_cast<float>(j) * step;
    std::uint32_t top = static_cast<std::uint32_t>(fy);
    top = top < height ? top : height - 1;
    const std::uint32_t bottom = top + 1 >= height ? height - 1 : top + 1;
    return {top, bottom, fy - static_cast<float>(top)};
}

/// A colour channel (Red, Green or Blue: bytes 2, 1 and 0 of the PixelFormat32bppRGB view) of
/// image as a single-channel image of the same size (PixelFormat8bppIndexed with the grey ramp)
/// whose levels are the channel's bytes. A PixelFormat48bppRGB image gives a
/// PixelFormat16bppGrayScale one of the channel's samples. Null for Grey or when memory runs out.
std::unique_ptr<ImageBitmap> ExtractChannel(const ImageBitmap& image, ChannelKind channel);

/// A new PixelFormat32bppRGB image whose bytes 2, 1 and 0 are the bytes of the single-channel
/// images red, green and blue (of one size) and whose fourth bytes are 0xFF, as ResampleImage
/// makes them in a colour image. Three PixelFormat16bppGrayScale images make a
/// PixelFormat48bppRGB one. Null when the sizes or formats differ or memory runs out.
std::unique_ptr<ImageBitmap> MergeChannels(const ImageBitmap& red, const ImageBitmap& green,
                                           const ImageBitmap& blue);

/// The centred spectrum of one channel of an image of any size: by C2DFFT when its width and
/// height are powers of two, by CExactFFT otherwise (the zero frequency at (W / 2, H / 2)
/// rounded down). Red, Green and Blue are bytes 2, 1 and 0 of the PixelFormat32bppRGB view; Grey is
/// the palette index of an 8-bit indexed image (and needs one). The channels of 16-bit and
/// floating-point images are their sample values (GatherChannelValues; see DeepImage.h for the
/// scales). Both planes are empty when image is null or memory runs out.
ChannelSpectrum ComputeSpectrum(const ImageBitmap* image, ChannelKind channel);

/// What RenderPowerSpectrum found out about the levels of a power spectrum image: the smallest
/// and largest level of each row, and the mapping of the whole image (the smallest level and
/// the range up to the largest). Kept beside the image so that an edit of a few rows renders
/// only those rows again (UpdatePowerSpectrumRows). Empty: nothing is known.
struct PowerLevelRows {
    std::vector<float> lowest;
    std::vector<float> highest;
    /// The sign of each row's first zero level (1 for +0, -1 for -0, 0 for none), which rules
    /// when an extreme is zero; empty when not worked out.
    std::vector<std::int8_t> zeros;
    float imageLowest = 0.0f;
    float imageRange = 0.0f;
};

/// A new grey power spectrum image (PixelFormat8bppIndexed with the grey ramp) of width x
/// height: each level is the base-2 logarithm of the element's magnitude, mapped linearly from
/// the smallest to the largest value onto 0 to 255, whatever the depth of the image the spectrum
/// came from. The levels are worked out twice, row by row, so that the image needs no memory
/// beyond its own bytes. Null when a plane is missing or memory runs out. With levels, what was
/// found out about the levels is kept there (it is emptied on failure).
std::unique_ptr<ImageBitmap> RenderPowerSpectrum(const float* re, const float* im,
                                                 std::uint64_t width, std::uint64_t height,
                                                 PowerLevelRows* levels = nullptr);
/// RenderPowerSpectrum of a spectrum whose rows are read where planes says.
std::unique_ptr<ImageBitmap> RenderPowerSpectrum(const PlaneRows& planes, std::uint64_t width,
                                                 std::uint64_t height,
                                                 PowerLevelRows* levels = nullptr);

/// Brings image, the RenderPowerSpectrum image of the spectrum whose rows are read where planes
/// says, with levels, up to date after the elements of the rows in rows changed (runs, possibly
/// overlapping; rows past height are left out), leaving it exactly as RenderPowerSpectrum would
/// make it now. Only those rows are rendered again while the mapping of the image stays the same
/// (the smallest and largest level elsewhere still rule); otherwise, or when levels do not
/// belong to an image of this size, every row is, and whole says so. image keeps its address; a
/// fresh 8-bit image gets the grey ramp. False, with image and levels as they were, when memory
/// runs out or the sizes or format do not match.
bool UpdatePowerSpectrumRows(const PlaneRows& planes, std::uint64_t width, std::uint64_t height,
                             ImageBitmap& image, PowerLevelRows& levels,
                             const std::vector<IndexRange>& rows, bool& whole);

/// RenderPowerSpectrum for a caller that needs the spectrum no more: the levels are worked
/// out once, in its real plane, and both planes are released either way.
std::unique_ptr<ImageBitmap> RenderGreyPowerSpectrum(ChannelSpectrum& spectrum, std::uint64_t width,
                                                     std::uint64_t height);

}  // namespace quarvel
