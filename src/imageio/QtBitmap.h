#pragma once

#include <memory>

#include <QImage>

#include "engine/ImageBitmap.h"

namespace quarvel {

/// A QImage holding a deep copy of bitmap: an indexed image whose palette is the 256-level grey
/// ramp becomes Format_Grayscale8, any other indexed image Format_Indexed8 with its palette
/// (padded with opaque black when an index lies beyond it), 24-bit colour Format_BGR888 and
/// 32-bit colour Format_RGB32 (opaque). Images of 16-bit and floating-point samples are shown at
/// 8 bits (ReduceTo8Bits). A null QImage when the memory cannot be had.
QImage ToQImage(const ImageBitmap& bitmap);

/// Pads the colour table of a Format_Indexed8 image to 256 entries of opaque black, leaving its
/// indices and the colours they show as they are; other images are left alone. For encoders that
/// write a colour map of 256 entries whatever the table holds (TIFF), which otherwise fill the
/// missing entries from memory they never set. An image that is the only copy of its pixels
/// keeps them where they are.
void PadColourTable(QImage& image);

/// A deep copy of image in the engine's formats, or null when image is null or the memory cannot
/// be had.
///
/// - Greyscale, 8 bits: PixelFormat8bppIndexed with the grey ramp palette. 16 bits:
///   PixelFormat16bppGrayScale.
/// - Colour of 16 bits a sample (RGBX64, RGBA64): PixelFormat48bppRGB, alpha ignored as below.
/// - Palette images of 1 to 8 bits: PixelFormat8bppIndexed with their own palette; the index is
///   what the engine takes as the grey level.
/// - Everything else: PixelFormat32bppRGB with 8 bits per channel. Alpha is ignored (neither
///   blended nor premultiplied; premultiplied sources are unpremultiplied first); the fourth
///   byte is 0xFF. Floating-point images whose pixels are all grey become grey images, since
///   a grey float file arrives as RGB.
/// - Single-channel images one pixel wide become PixelFormat32bppRGB (grey = equal red, green
///   and blue): an 8-bit image of width 1 has a row stride of 4 bytes, more than twice its
///   width, so the engine would take it for a colour image and copies of it would lose the
///   palette that gives its index a meaning.
std::unique_ptr<ImageBitmap> FromQImage(const QImage& image);

/// Where a decoder is to put an image of a known size and layout before it is decoded, so that
/// its pixels are written once, into memory laid out in 2 MiB pages when it is large, instead of
/// into a fresh buffer that is then copied.
///
/// When the decoded layout is one the engine keeps as it is (Format_RGB32 as
/// PixelFormat32bppRGB; Format_Grayscale16 as PixelFormat16bppGrayScale; Format_Grayscale8 and
/// Format_Indexed8 at least two pixels wide as PixelFormat8bppIndexed), image lies over the pixels
/// of bitmap; otherwise bitmap is null and image has pixels of its own from the large blocks. Hand
/// image to a decoder that keeps an image of the right size and format
/// (QImageReader::read(QImage*)), then take the result with TakeDecodedBitmap.
struct DecodeTarget {
    std::unique_ptr<ImageBitmap> bitmap;
    QImage image;
};

/// A target for a decoded image of width x height pixels in format; its image is null when the
/// memory cannot be had or the size is not positive.
DecodeTarget MakeDecodeTarget(int width, int height, QImage::Format format);

/// The decoded image of target in the engine's formats, exactly as FromQImage(target.image)
/// would give it: target's own bitmap when the decoder wrote into it, else a conversion. Null
/// when the image is null or the memory cannot be had. Leaves target empty.
std::unique_ptr<ImageBitmap> TakeDecodedBitmap(DecodeTarget& target);

/// A QImage showing the pixels of bitmap, in the layout ToQImage gives: over the bitmap's own
/// memory where the bytes are already that layout (no copy; the QImage must not outlive the
/// bitmap nor see it change), else a copy in memory from the large blocks. For encoders, which
/// only read the image. 16-bit images keep their depth (Format_Grayscale16, Format_RGBX64);
/// floating-point images have no such layout and give a null QImage, as does a lack of memory.
QImage ViewAsQImage(const ImageBitmap& bitmap);

}  // namespace quarvel
