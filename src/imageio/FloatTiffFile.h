#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ImageBitmap.h"
#include "imageio/ImageProbe.h"

namespace quarvel {

// TIFF files of floating-point samples, read and written with libtiff directly: Qt's TIFF reader
// cannot read single-channel floating-point images and its writer has no such layout. Every
// other TIFF file goes through Qt.

/// What the first image of a TIFF file holds, from its tags alone.
struct TiffLayout {
    bool isTiff = false;        ///< the bytes start as a TIFF file and its first image is read
    bool floatSamples = false;  ///< SampleFormat is IEEE floating point
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t samplesPerPixel = 0;
};

/// The layout of the first image of the TIFF file in bytes; isTiff false when it is not a TIFF
/// file or its first directory cannot be read.
TiffLayout ProbeTiff(const ByteSource& bytes);

/// Decodes the first image of a TIFF file of 32-bit floating-point grey samples into a
/// PixelFormat32bppGrayFloat image. Returns the reason when it cannot: another layout (two or
/// more samples a pixel, 16- or 64-bit floats, white-is-zero), damaged or missing strips or
/// tiles, or samples that are not finite numbers. image is null then.
std::string ReadFloatTiff(const ByteSource& bytes, std::unique_ptr<ImageBitmap>& image);

/// Encodes a PixelFormat32bppGrayFloat image as a TIFF file of 32-bit floating-point grey
/// samples (deflate with the floating-point predictor) into file. Returns the reason when it
/// cannot.
std::string EncodeFloatTiff(const ImageBitmap& image, std::vector<char>& file);

}  // namespace quarvel
