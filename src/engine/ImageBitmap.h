#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quarvel {

/// Pixel layouts an ImageBitmap can hold. The numeric values are fixed identifiers; nothing
/// reads a meaning into their bits.
enum PixelFormat : std::uint32_t {
    /// One byte per pixel, an index into the palette. Single-channel images keep their grey level
    /// in the index itself.
    PixelFormat8bppIndexed = 0x00030803,
    /// Three bytes per pixel: blue, green, red.
    PixelFormat24bppRGB = 0x00021808,
    /// Four bytes per pixel: blue, green, red and a fourth byte that carries nothing.
    PixelFormat32bppRGB = 0x00022009,
    /// One unsigned 16-bit grey level per pixel, 0 to 65535, in the machine's byte order.
    PixelFormat16bppGrayScale = 0x00101004,
    /// Three unsigned 16-bit values per pixel: blue, green, red, each 0 to 65535.
    PixelFormat48bppRGB = 0x0010300C,
    /// One single-precision floating-point grey value per pixel, any finite value.
    PixelFormat32bppGrayFloat = 0x0010200F,
};

/// How wide the samples of a format are: 8 bits (the indexed and the 24- and 32-bit colour
/// formats), 16 bits, or single-precision floating point.
enum class SampleDepth { Bits8, Bits16, Float32 };

/// The sample depth of format (Bits8 for an unknown format).
SampleDepth DepthOf(PixelFormat format);

/// Bytes one pixel occupies in format; 0 for an unknown format.
std::size_t BytesPerPixel(PixelFormat format);

/// What the entries of a palette hold, as flags that can be combined.
enum PaletteFlags : std::uint32_t {
    PaletteFlagsHasAlpha = 0x0001,
    PaletteFlagsGrayScale = 0x0002,
    PaletteFlagsHalftone = 0x0004,
};

/// The palette of an indexed image: flags and up to 256 entries, each 0xAARRGGBB.
struct BitmapPalette {
    std::uint32_t flags = 0;
    std::vector<std::uint32_t> entries;

    /// Size in bytes of the palette as one record: the flags and the entry count (4 bytes each),
    /// then 4 bytes for each entry.
    std::size_t ByteSize() const { return 8 + 4 * entries.size(); }
    /// A 256-entry grey ramp: entry i is the opaque grey of level i.
    static BitmapPalette GreyRamp();

    bool operator==(const BitmapPalette&) const = default;
};

/// A raster image: width x height pixels in one pixel format, rows top-down, each row starting
/// Stride() bytes after the previous one; the stride is a multiple of 4. Indexed images carry a
/// palette. An ImageBitmap has one owner and is never copied implicitly: CopyBitmap makes the
/// deep copies. New pixels are zero.
class ImageBitmap {
public:
    /// A new zeroed image, or null when width or height is 0, the size overflows, or the memory
    /// cannot be had.
    static std::unique_ptr<ImageBitmap> Create(std::uint32_t width, std::uint32_t height,
                                               PixelFormat format);

    ImageBitmap(const ImageBitmap&) = delete;
    ImageBitmap& operator=(const ImageBitmap&) = delete;

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    PixelFormat Format() const { return format_; }
    std::size_t Stride() const { return stride_; }
    std::size_t ByteSize() const { return stride_ * height_; }

    /// Sets every byte of the pixels to 0; a large image gives their memory back to the system
    /// until they are written again.
    void DiscardPixels();

    std::uint8_t* Data() { return pixels_.get(); }
    const std::uint8_t* Data() const { return pixels_.get(); }
    std::uint8_t* Row(std::uint32_t y) { return pixels_.get() + y * stride_; }
    const std::uint8_t* Row(std::uint32_t y) const { return pixels_.get() + y * stride_; }

    const BitmapPalette& Palette() const { return palette_; }
    void SetPalette(BitmapPalette palette) { palette_ = std::move(palette); }

    /// Row length in bytes for width pixels of format, rounded up to a multiple of 4.
    static std::size_t StrideFor(std::uint32_t width, PixelFormat format);

private:
    /// Gives pixel memory from Create back: large blocks to LargeBlocks, others to free.
    struct PixelDeleter {
        void operator()(std::uint8_t* pixels) const noexcept;
    };
    using PixelBuffer = std::unique_ptr<std::uint8_t[], PixelDeleter>;

    ImageBitmap(std::uint32_t width, std::uint32_t height, PixelFormat format, std::size_t stride,
                PixelBuffer pixels);

    std::uint32_t width_;
    std::uint32_t height_;
    PixelFormat format_;
    std::size_t stride_;
    PixelBuffer pixels_;
    BitmapPalette palette_;
};

/// Access to the rows of an image in a stated pixel format (the view).
///
/// When the view is the image's own format the rows are the image's own memory. Otherwise the
/// rows are converted into a buffer of the view's format; a read-write access converts the
/// buffer back into the image when it ends. Supported views: an image's own format, and
/// PixelFormat32bppRGB (and PixelFormat24bppRGB) of any 8-bit format. Images of 16-bit or
/// floating-point samples are only seen in their own format: a conversion would lose their
/// precision. An indexed image seen through a
/// colour view shows its palette colours, and colours written back are mapped to the nearest
/// palette entry. The fourth byte of a 32-bit view reads as 0xFF and is ignored when written.
class RowAccess {
public:
    /// Read-write access: changes made through Row() reach the image at the latest when the
    /// access ends.
    RowAccess(ImageBitmap& bitmap, PixelFormat view);
    /// Read-only access: writing through Row() is not allowed.
    RowAccess(const ImageBitmap& bitmap, PixelFormat view);
    ~RowAccess();

    RowAccess(const RowAccess&) = delete;
    RowAccess& operator=(const RowAccess&) = delete;

    /// False when the view cannot be given (an unsupported conversion or no memory for it).
    bool IsValid() const { return base_ != nullptr; }
    std::uint8_t* Row(std::uint32_t y) const { return base_ + y * stride_; }
    std::size_t Stride() const { return stride_; }
    PixelFormat View() const { return view_; }

private:
    void Convert(const ImageBitmap& bitmap);

    ImageBitmap* writeBack_ = nullptr;
    PixelFormat view_;
    std::uint8_t* base_ = nullptr;
    std::size_t stride_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
};

/// A deep copy of source: same size, format and bytes; the palette is copied when a row of the
/// source is at most twice its width in bytes (so never for colour formats, and not for an
/// 8-bit image one pixel wide). Null when source is null or the copy cannot be created.
std::unique_ptr<ImageBitmap> CopyBitmap(const ImageBitmap* source);

/// A new independent image of the area (x, y, width, height) of source in format. The area must
/// lie inside the source. The palette is kept when format is the indexed format. Null when the
/// area is empty or outside, or the image cannot be created.
std::unique_ptr<ImageBitmap> CloneArea(const ImageBitmap& source, std::uint32_t x, std::uint32_t y,
                                       std::uint32_t width, std::uint32_t height,
                                       PixelFormat format);

}  // namespace quarvel
