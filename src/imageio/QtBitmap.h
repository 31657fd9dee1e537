#pragma once

#include <memory>

#include <QImage>

#include "engine/ImageBitmap.h"

namespace quarvel {

/// A QImage holding a deep copy of bitmap: an indexed image whose palette is the 256-level grey
/// ramp becomes Format_Grayscale8, any other indexed image Format_Indexed8 with its palette
/// (padded with opaque black when an index lies beyond it), 24-bit colour Format_BGR888 and
/// 32-bit colour Format_RGB32 (opaque). A null QImage when the memory cannot be had.
QImage ToQImage(const ImageBitmap& bitmap);

/// A deep copy of image in the engine's formats, or null when image is null or the memory cannot
/// be had.
///
/// - Greyscale (8 and 16 bits): PixelFormat8bppIndexed with the grey ramp palette, 16-bit levels
///   rounded to 8 bits.
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

}  // namespace quarvel
