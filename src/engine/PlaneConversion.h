#pragma once

#include <cstdint>
#include <memory>

#include "engine/ImageBitmap.h"
#include "engine/SpectrumPlane.h"

namespace quarvel {

/// Which channel ComputeSpectrum takes from an image.
enum class ChannelKind { Red, Green, Blue, Grey };

/// The transform size for an image dimension n >= 1: the smallest power of two not below n.
std::uint64_t SpectrumSize(std::uint64_t n);

/// True when a row of the image in its own format is longer than twice its width in bytes:
/// 24- and 32-bit images, and 8-bit images one pixel wide.
bool IsColorImage(const ImageBitmap& image);

/// A new image of newWidth x newHeight in the source's format, filled by bilinear interpolation
/// (colour images through the PixelFormat32bppRGB view, bytes 0 to 2; others by their indices).
/// An indexed target gets the source's palette. Null when source is null or the new image cannot
/// be created.
std::unique_ptr<ImageBitmap> ResampleImage(const ImageBitmap* source, std::uint32_t newWidth,
                                           std::uint32_t newHeight);

/// A colour channel (Red, Green or Blue: bytes 2, 1 and 0 of the PixelFormat32bppRGB view) of
/// image as a single-channel image of the same size (PixelFormat8bppIndexed with the grey ramp)
/// whose levels are the channel's bytes. Null for Grey or when memory runs out.
std::unique_ptr<ImageBitmap> ExtractChannel(const ImageBitmap& image, ChannelKind channel);

/// A new PixelFormat32bppRGB image whose bytes 2, 1 and 0 are the bytes of the single-channel
/// images red, green and blue (of one size) and whose fourth bytes are zero, as ResampleImage
/// leaves them in a colour image it makes. Null when the sizes differ or memory runs out.
std::unique_ptr<ImageBitmap> MergeChannels(const ImageBitmap& red, const ImageBitmap& green,
                                           const ImageBitmap& blue);

/// The centred spectrum of one channel of an image whose width and height are powers of two.
/// Red, Green and Blue are bytes 2, 1 and 0 of the PixelFormat32bppRGB view; Grey is the palette
/// index of an 8-bit indexed image (and needs one). Both planes are empty when image is null or
/// memory runs out.
ChannelSpectrum ComputeSpectrum(const ImageBitmap* image, ChannelKind channel);

/// A new grey power spectrum image (PixelFormat32bppRGB) of width x height: each level is the
/// base-2 logarithm of the element's magnitude, mapped linearly from the smallest to the largest
/// value onto 0 to 255. Null when a plane is missing or memory runs out.
std::unique_ptr<ImageBitmap> RenderPowerSpectrum(const float* re, const float* im,
                                                 std::uint64_t width, std::uint64_t height);

/// The levels of RenderPowerSpectrum as an 8-bit grey image (PixelFormat8bppIndexed with the
/// grey ramp), worked out in a float plane of their own. Null when a plane is missing or memory
/// runs out.
std::unique_ptr<ImageBitmap> RenderGreyPowerSpectrum(const float* re, const float* im,
                                                     std::uint64_t width, std::uint64_t height);
/// RenderGreyPowerSpectrum for a caller that needs the spectrum no more: the levels are worked
/// out in its real plane, and both planes are released either way.
std::unique_ptr<ImageBitmap> RenderGreyPowerSpectrum(ChannelSpectrum& spectrum, std::uint64_t width,
                                                     std::uint64_t height);

}  // namespace quarvel
