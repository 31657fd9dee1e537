#include "engine/ImageBitmap.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "engine/LargeBlocks.h"
#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

bool IsKnownFormat(PixelFormat format) {
    return BytesPerPixel(format) != 0;
}

/// Maps a colour to the palette entry nearest to it (squared distance over blue, green, red);
/// the first of equally near entries wins. An empty palette maps everything to 0.
std::uint8_t NearestPaletteIndex(const BitmapPalette& palette, std::uint8_t blue,
                                 std::uint8_t green, std::uint8_t red) {
    std::uint8_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    const std::size_t count = std::min<std::size_t>(palette.entries.size(), 256);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t entry = palette.entries[i];
        const int db = static_cast<int>(entry & 0xFF) - blue;
        const int dg = static_cast<int>((entry >> 8) & 0xFF) - green;
        const int dr = static_cast<int>((entry >> 16) & 0xFF) - red;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint8_t>(i);
            if (distance == 0) {
                break;
            }
        }
    }
    return best;
}

/// Converts one row of width pixels from format `from` to format `to`. Colour formats are
/// converted through blue, green, red; an indexed source is looked up in palette, an indexed
/// destination gets the nearest palette entry.
void ConvertRow(const std::uint8_t* source, PixelFormat from, std::uint8_t* target, PixelFormat to,
                std::uint32_t width, const BitmapPalette& palette) {
    const std::size_t inStep = BytesPerPixel(from);
    const std::size_t outStep = BytesPerPixel(to);
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t* in = source + x * inStep;
        std::uint8_t* out = target + x * outStep;
        std::uint8_t blue;
        std::uint8_t green;
        std::uint8_t red;
        if (from == PixelFormat8bppIndexed) {
            const std::uint32_t entry =
                in[0] < palette.entries.size() ? palette.entries[in[0]] : 0xFF000000u;
            blue = static_cast<std::uint8_t>(entry);
            green = static_cast<std::uint8_t>(entry >> 8);
            red = static_cast<std::uint8_t>(entry >> 16);
        } else {
            blue = in[0];
            green = in[1];
            red = in[2];
        }
        if (to == PixelFormat8bppIndexed) {
            out[0] = NearestPaletteIndex(palette, blue, green, red);
        } else {
            out[0] = blue;
            out[1] = green;
            out[2] = red;
            if (to == PixelFormat32bppRGB) {
                out[3] = 0xFF;
            }
        }
    }
}

}  // namespace

std::size_t BytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat8bppIndexed:
            return 1;
        case PixelFormat24bppRGB:
            return 3;
        case PixelFormat32bppRGB:
            return 4;
        case PixelFormat16bppGrayScale:
            return 2;
        case PixelFormat48bppRGB:
            return 6;
        case PixelFormat32bppGrayFloat:
            return 4;
    }
    return 0;
}

SampleDepth DepthOf(PixelFormat format) {
    switch (format) {
        case PixelFormat16bppGrayScale:
        case PixelFormat48bppRGB:
            return SampleDepth::Bits16;
        case PixelFormat32bppGrayFloat:
            return SampleDepth::Float32;
        case PixelFormat8bppIndexed:
        case PixelFormat24bppRGB:
        case PixelFormat32bppRGB:
            break;
    }
    return SampleDepth::Bits8;
}

BitmapPalette BitmapPalette::GreyRamp() {
    BitmapPalette palette;
    palette.flags = PaletteFlagsGrayScale;
    palette.entries.resize(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.entries[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
    }
    return palette;
}

std::size_t ImageBitmap::StrideFor(std::uint32_t width, PixelFormat format) {
    return (static_cast<std::size_t>(width) * BytesPerPixel(format) + 3) / 4 * 4;
}

void ImageBitmap::PixelDeleter::operator()(std::uint8_t* pixels) const noexcept {
    if (!ReleaseLargeBlock(pixels)) {
        std::free(pixels);
    }
}

ImageBitmap::ImageBitmap(std::uint32_t width, std::uint32_t height, PixelFormat format,
                         std::size_t stride, PixelBuffer pixels)
    : width_(width),
      height_(height),
      format_(format),
      stride_(stride),
      pixels_(std::move(pixels)) {}

void ImageBitmap::DiscardPixels() {
    if (!DiscardLargeBlockContents(pixels_.get())) {
        std::memset(pixels_.get(), 0, stride_ * height_);
    }
}

std::unique_ptr<ImageBitmap> ImageBitmap::Create(std::uint32_t width, std::uint32_t height,
                                                 PixelFormat format) {
    if (width == 0 || height == 0 || !IsKnownFormat(format)) {
        return nullptr;
    }
    const std::size_t stride = StrideFor(width, format);
    if (stride > std::numeric_limits<std::size_t>::max() / height) {
        return nullptr;
    }
    // Large images come zeroed from LargeBlocks (fresh pages are zero when first touched, by
    // whichever worker thread fills the rows); small ones from calloc.
    const std::size_t bytes = stride * height;
    PixelBuffer pixels(static_cast<std::uint8_t*>(
        bytes >= kLargeBlockBytes ? AcquireLargeBlock(bytes, true) : std::calloc(bytes, 1)));
    if (!pixels) {
        return nullptr;
    }
    return std::unique_ptr<ImageBitmap>(
        new ImageBitmap(width, height, format, stride, std::move(pixels)));
}

RowAccess::RowAccess(ImageBitmap& bitmap, PixelFormat view) : view_(view) {
    if (view == bitmap.Format()) {
        base_ = bitmap.Data();
        stride_ = bitmap.Stride();
        return;
    }
    Convert(bitmap);
    if (base_ != nullptr) {
        writeBack_ = &bitmap;
    }
}

RowAccess::RowAccess(const ImageBitmap& bitmap, PixelFormat view) : view_(view) {
    if (view == bitmap.Format()) {
        // Read-only callers never write through this pointer.
        base_ = const_cast<std::uint8_t*>(bitmap.Data());
        stride_ = bitmap.Stride();
        return;
    }
    Convert(bitmap);
}

void RowAccess::Convert(const ImageBitmap& bitmap) {
    // Colour cannot be viewed as palette indices without a palette to map into, and wider
    // samples not as bytes.
    if (!IsKnownFormat(view_) || DepthOf(view_) != SampleDepth::Bits8 ||
        DepthOf(bitmap.Format()) != SampleDepth::Bits8 ||
        (view_ == PixelFormat8bppIndexed && bitmap.Format() != PixelFormat8bppIndexed)) {
        assert(false && "unsupported row view");
        return;
    }
    stride_ = ImageBitmap::StrideFor(bitmap.Width(), view_);
    buffer_.reset(new (std::nothrow) std::uint8_t[stride_ * bitmap.Height()]);
    if (!buffer_) {
        return;
    }
    base_ = buffer_.get();
    ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
        ConvertRow(bitmap.Row(static_cast<std::uint32_t>(y)), bitmap.Format(), base_ + y * stride_,
                   view_, bitmap.Width(), bitmap.Palette());
    });
}

RowAccess::~RowAccess() {
    if (writeBack_ == nullptr) {
        return;
    }
    ImageBitmap& bitmap = *writeBack_;
    ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
        ConvertRow(base_ + y * stride_, view_, bitmap.Row(static_cast<std::uint32_t>(y)),
                   bitmap.Format(), bitmap.Width(), bitmap.Palette());
    });
}

std::unique_ptr<ImageBitmap> CopyBitmap(const ImageBitmap* source) {
    if (source == nullptr) {
        return nullptr;
    }
    const std::uint32_t width = source->Width();
    const std::uint32_t height = source->Height();
    std::unique_ptr<ImageBitmap> copy = ImageBitmap::Create(width, height, source->Format());
    if (!copy) {
        return nullptr;
    }
    const std::size_t rowBytes = source->Stride();
    if (height == 1) {
        std::memcpy(copy->Row(0), source->Row(0), rowBytes);
    } else {
        ParallelFor(0, height, [&](std::size_t y) {
            const auto row = static_cast<std::uint32_t>(y);
            std::memcpy(copy->Row(row), source->Row(row), rowBytes);
        });
    }
    if (rowBytes <= 2 * static_cast<std::size_t>(width)) {
        copy->SetPalette(source->Palette());
    }
    return copy;
}

std::unique_ptr<ImageBitmap> CloneArea(const ImageBitmap& source, std::uint32_t x, std::uint32_t y,
                                       std::uint32_t width, std::uint32_t height,
                                       PixelFormat format) {
    if (width == 0 || height == 0 || x > source.Width() || y > source.Height() ||
        width > source.Width() - x || height > source.Height() - y) {
        return nullptr;
    }
    if (format == PixelFormat8bppIndexed && source.Format() != PixelFormat8bppIndexed) {
        return nullptr;
    }
    std::unique_ptr<ImageBitmap> clone = ImageBitmap::Create(width, height, format);
    if (!clone) {
        return nullptr;
    }
    if (format == PixelFormat8bppIndexed) {
        clone->SetPalette(source.Palette());
    }
    const RowAccess rows(source, format);
    if (!rows.IsValid()) {
        return nullptr;
    }
    const std::size_t offset = x * BytesPerPixel(format);
    const std::size_t bytes = width * BytesPerPixel(format);
    ParallelFor(0, height, [&](std::size_t row) {
        std::memcpy(clone->Row(static_cast<std::uint32_t>(row)), rows.Row(y + row) + offset, bytes);
    });
    return clone;
}

}  // namespace quarvel
