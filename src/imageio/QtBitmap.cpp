#include "imageio/QtBitmap.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include <QFloat16>
#include <QList>
#include <QRgba64>
#include <QtGlobal>

#include "engine/DeepImage.h"
#include "engine/LargeBlocks.h"
#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

const std::vector<std::uint32_t>& GreyRampEntries() {
    static const std::vector<std::uint32_t> entries = BitmapPalette::GreyRamp().entries;
    return entries;
}

/// The palette of a colour table; flagged grey when every entry is grey, with alpha when any
/// entry is not opaque.
BitmapPalette PaletteFromColorTable(const QList<QRgb>& table) {
    BitmapPalette palette;
    bool grey = true;
    bool alpha = false;
    for (const QRgb entry : table) {
        palette.entries.push_back(entry);
        grey = grey && qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry);
        alpha = alpha || qAlpha(entry) != 255;
    }
    palette.flags = (grey ? PaletteFlagsGrayScale : 0u) | (alpha ? PaletteFlagsHasAlpha : 0u);
    return palette;
}

/// Writes one opaque pixel in the blue, green, red, unused byte order of PixelFormat32bppRGB.
inline void StoreColour(std::uint8_t* out, QRgb colour) {
    out[0] = static_cast<std::uint8_t>(qBlue(colour));
    out[1] = static_cast<std::uint8_t>(qGreen(colour));
    out[2] = static_cast<std::uint8_t>(qRed(colour));
    out[3] = 0xFF;
}

/// A PixelFormat32bppRGB bitmap whose pixel (x, y) is fetch(scan line y of image, x).
template <typename Fetch>
std::unique_ptr<ImageBitmap> ColourFromRows(const QImage& image, const Fetch& fetch) {
    auto bitmap =
        ImageBitmap::Create(static_cast<std::uint32_t>(image.width()),
                            static_cast<std::uint32_t>(image.height()), PixelFormat32bppRGB);
    if (!bitmap) {
        return nullptr;
    }
    const std::uint32_t width = bitmap->Width();
    ParallelFor(0, bitmap->Height(), [&](std::size_t y) {
        const uchar* line = image.constScanLine(static_cast<int>(y));
        std::uint8_t* out = bitmap->Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            StoreColour(out + 4 * x, fetch(line, x));
        }
    });
    return bitmap;
}

/// A single-channel bitmap from an image of one byte per pixel (Indexed8 or Grayscale8) with
/// the given palette, or a colour bitmap through that palette when the image is one pixel wide.
std::unique_ptr<ImageBitmap> FromIndexBytes(const QImage& image, BitmapPalette palette) {
    if (image.width() == 1) {
        const std::vector<std::uint32_t>& entries = palette.entries;
        return ColourFromRows(image, [&entries](const uchar* line, std::uint32_t x) {
            const std::uint8_t index = line[x];
            return index < entries.size() ? static_cast<QRgb>(entries[index]) : qRgb(0, 0, 0);
        });
    }
    auto bitmap =
        ImageBitmap::Create(static_cast<std::uint32_t>(image.width()),
                            static_cast<std::uint32_t>(image.height()), PixelFormat8bppIndexed);
    if (!bitmap) {
        return nullptr;
    }
    ParallelFor(0, bitmap->Height(), [&](std::size_t y) {
        std::memcpy(bitmap->Row(static_cast<std::uint32_t>(y)),
                    image.constScanLine(static_cast<int>(y)), bitmap->Width());
    });
    bitmap->SetPalette(std::move(palette));
    return bitmap;
}

/// An 8-bit level from a floating-point intensity in 0 to 1, rounded to nearest; NaN gives 0.
inline int LevelFromFloat(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 1.0f) {
        return 255;
    }
    return static_cast<int>(value * 255.0f + 0.5f);
}

/// The colour of pixel x of a line of four floating-point components (red, green, blue,
/// alpha) of type Component; premultiplied components are divided by alpha first.
template <typename Component>
QRgb FloatPixel(const uchar* line, std::uint32_t x, bool premultiplied) {
    Component c[4];
    std::memcpy(c, line + sizeof(c) * x, sizeof(c));
    float red = static_cast<float>(c[0]);
    float green = static_cast<float>(c[1]);
    float blue = static_cast<float>(c[2]);
    const float alpha = static_cast<float>(c[3]);
    if (premultiplied && alpha > 0.0f) {
        red /= alpha;
        green /= alpha;
        blue /= alpha;
    }
    return qRgb(LevelFromFloat(red), LevelFromFloat(green), LevelFromFloat(blue));
}

/// A grey copy of a colour bitmap whose pixels are all grey; null otherwise, and for images one
/// pixel wide, which stay colour.
std::unique_ptr<ImageBitmap> GreyIfAllGrey(const ImageBitmap& colour) {
    if (colour.Width() == 1) {
        return nullptr;
    }
    for (std::uint32_t y = 0; y < colour.Height(); ++y) {
        const std::uint8_t* row = colour.Row(y);
        for (std::uint32_t x = 0; x < colour.Width(); ++x) {
            if (row[4 * x] != row[4 * x + 1] || row[4 * x] != row[4 * x + 2]) {
                return nullptr;
            }
        }
    }
    auto grey = ImageBitmap::Create(colour.Width(), colour.Height(), PixelFormat8bppIndexed);
    if (!grey) {
        return nullptr;
    }
    ParallelFor(0, grey->Height(), [&](std::size_t y) {
        const std::uint8_t* in = colour.Row(static_cast<std::uint32_t>(y));
        std::uint8_t* out = grey->Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < grey->Width(); ++x) {
            out[x] = in[4 * x];
        }
    });
    grey->SetPalette(BitmapPalette::GreyRamp());
    return grey;
}

/// Floating-point images: 8 bits per channel, and grey when every pixel is grey.
template <typename Component>
std::unique_ptr<ImageBitmap> FromFloatImage(const QImage& image, bool premultiplied) {
    auto colour = ColourFromRows(image, [premultiplied](const uchar* line, std::uint32_t x) {
        return FloatPixel<Component>(line, x, premultiplied);
    });
    if (!colour) {
        return nullptr;
    }
    if (auto grey = GreyIfAllGrey(*colour)) {
        return grey;
    }
    return colour;
}

void ReleaseImageBlock(void* block) {
    ReleaseLargeBlock(block);
}

/// A zeroed QImage of width x height in format whose pixels, when they fill at least
/// kLargeBlockBytes, come from the large blocks (and go back to them with the last copy of the
/// image); null when the memory cannot be had.
QImage LargeQImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0 || format == QImage::Format_Invalid) {
        return {};
    }
    // QImage's own row length: whole 32-bit words.
    const auto depth = static_cast<qsizetype>(QImage::toPixelFormat(format).bitsPerPixel());
    const qsizetype bytesPerLine = (static_cast<qsizetype>(width) * depth + 31) / 32 * 4;
    const std::size_t bytes =
        static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(height);
    if (bytes < kLargeBlockBytes) {
        QImage image(width, height, format);
        if (!image.isNull()) {
            image.fill(0);
        }
        return image;
    }
    void* block = AcquireLargeBlock(bytes, true);
    if (block == nullptr) {
        return {};
    }
    QImage image(static_cast<uchar*>(block), width, height, bytesPerLine, format,
                 &ReleaseImageBlock, block);
    if (image.isNull()) {
        ReleaseLargeBlock(block);
    }
    return image;
}

/// Whether a decoded image of format and width is kept by the engine byte for byte, as
/// PixelFormat32bppRGB, PixelFormat8bppIndexed or PixelFormat16bppGrayScale.
bool KeptAsItIs(QImage::Format format, int width) {
    switch (format) {
        case QImage::Format_RGB32:
        case QImage::Format_Grayscale16:
            return true;
        case QImage::Format_Grayscale8:
        case QImage::Format_Indexed8:
            return width > 1;
        default:
            return false;
    }
}

/// The engine's format of a decoded layout that KeptAsItIs.
PixelFormat KeptFormat(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGB32:
            return PixelFormat32bppRGB;
        case QImage::Format_Grayscale16:
            return PixelFormat16bppGrayScale;
        default:
            return PixelFormat8bppIndexed;
    }
}

/// A PixelFormat16bppGrayScale bitmap of a Format_Grayscale16 image.
std::unique_ptr<ImageBitmap> FromGrey16(const QImage& image) {
    auto bitmap =
        ImageBitmap::Create(static_cast<std::uint32_t>(image.width()),
                            static_cast<std::uint32_t>(image.height()), PixelFormat16bppGrayScale);
    if (!bitmap) {
        return nullptr;
    }
    ParallelFor(0, bitmap->Height(), [&](std::size_t y) {
        std::memcpy(bitmap->Row(static_cast<std::uint32_t>(y)),
                    image.constScanLine(static_cast<int>(y)), 2 * std::size_t{bitmap->Width()});
    });
    return bitmap;
}

/// A PixelFormat48bppRGB bitmap of an image of 16-bit colour samples (RGBX64, RGBA64 and its
/// premultiplied form): alpha is ignored, as at 8 bits, after premultiplied samples are divided
/// by it.
std::unique_ptr<ImageBitmap> FromRgba64(const QImage& image) {
    auto bitmap =
        ImageBitmap::Create(static_cast<std::uint32_t>(image.width()),
                            static_cast<std::uint32_t>(image.height()), PixelFormat48bppRGB);
    if (!bitmap) {
        return nullptr;
    }
    const bool premultiplied = image.format() == QImage::Format_RGBA64_Premultiplied;
    ParallelFor(0, bitmap->Height(), [&](std::size_t y) {
        const uchar* line = image.constScanLine(static_cast<int>(y));
        std::uint8_t* out = bitmap->Row(static_cast<std::uint32_t>(y));
        for (std::uint32_t x = 0; x < bitmap->Width(); ++x) {
            QRgba64 pixel;
            std::memcpy(&pixel, line + sizeof(pixel) * x, sizeof(pixel));
            if (premultiplied) {
                pixel = pixel.unpremultiplied();
            }
            const std::uint16_t samples[3] = {pixel.blue(), pixel.green(), pixel.red()};
            std::memcpy(out + 6 * std::size_t{x}, samples, sizeof samples);
        }
    });
    return bitmap;
}

/// Whether the fourth byte of every pixel of a PixelFormat32bppRGB row of width pixels is 0xFF.
bool RowIsOpaque(const std::uint8_t* row, std::uint32_t width) {
    // Whole pixels are read and added up with AND, which the compiler does many at a time; the
    // fourth byte is the top one of a little-endian word.
    static_assert(std::endian::native == std::endian::little);
    std::uint32_t all = 0xFFFFFFFFu;
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, row + 4 * std::size_t{x}, sizeof pixel);
        all &= pixel;
    }
    return all >> 24 == 0xFFu;
}

}  // namespace

DecodeTarget MakeDecodeTarget(int width, int height, QImage::Format format) {
    DecodeTarget target;
    if (width <= 0 || height <= 0) {
        return target;
    }
    if (!KeptAsItIs(format, width)) {
        target.image = LargeQImage(width, height, format);
        return target;
    }
    target.bitmap = ImageBitmap::Create(static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height), KeptFormat(format));
    if (!target.bitmap) {
        return target;
    }
    target.image = QImage(target.bitmap->Data(), width, height,
                          static_cast<qsizetype>(target.bitmap->Stride()), format);
    if (target.image.isNull()) {
        target.bitmap.reset();
    }
    return target;
}

std::unique_ptr<ImageBitmap> TakeDecodedBitmap(DecodeTarget& target) {
    QImage image = std::move(target.image);
    target.image = QImage();
    std::unique_ptr<ImageBitmap> bitmap = std::move(target.bitmap);
    if (image.isNull()) {
        return nullptr;
    }
    // A decoder that found another size or layout than expected made an image of its own.
    const bool inPlace = bitmap && image.constBits() == bitmap->Data() &&
                         static_cast<std::uint32_t>(image.width()) == bitmap->Width() &&
                         static_cast<std::uint32_t>(image.height()) == bitmap->Height() &&
                         static_cast<std::size_t>(image.bytesPerLine()) == bitmap->Stride() &&
                         KeptAsItIs(image.format(), image.width()) &&
                         KeptFormat(image.format()) == bitmap->Format();
    if (!inPlace) {
        bitmap.reset();
        return FromQImage(image);
    }
    const std::uint32_t width = bitmap->Width();
    if (bitmap->Format() == PixelFormat32bppRGB) {
        // The fourth byte carries nothing but is 0xFF, as in every colour image the engine makes.
        ParallelFor(0, bitmap->Height(), [&](std::size_t y) {
            std::uint8_t* row = bitmap->Row(static_cast<std::uint32_t>(y));
            if (!RowIsOpaque(row, width)) {
                for (std::uint32_t x = 0; x < width; ++x) {
                    row[4 * x + 3] = 0xFF;
                }
            }
        });
        return bitmap;
    }
    // The bytes past the last pixel of a row stay zero, as in a new bitmap.
    const std::size_t rowBytes = width * BytesPerPixel(bitmap->Format());
    const std::size_t padding = bitmap->Stride() - rowBytes;
    if (padding != 0) {
        for (std::uint32_t y = 0; y < bitmap->Height(); ++y) {
            std::memset(bitmap->Row(y) + rowBytes, 0, padding);
        }
    }
    if (bitmap->Format() == PixelFormat16bppGrayScale) {
        return bitmap;
    }
    const bool ownTable =
        image.format() == QImage::Format_Indexed8 && !image.colorTable().isEmpty();
    bitmap->SetPalette(ownTable ? PaletteFromColorTable(image.colorTable())
                                : BitmapPalette::GreyRamp());
    return bitmap;
}

QImage ViewAsQImage(const ImageBitmap& bitmap) {
    const int width = static_cast<int>(bitmap.Width());
    const int height = static_cast<int>(bitmap.Height());
    const auto stride = static_cast<qsizetype>(bitmap.Stride());
    const uchar* pixels = bitmap.Data();
    switch (bitmap.Format()) {
        case PixelFormat8bppIndexed: {
            const std::vector<std::uint32_t>& entries = bitmap.Palette().entries;
            if (entries.empty() || entries == GreyRampEntries()) {
                return QImage(pixels, width, height, stride, QImage::Format_Grayscale8);
            }
            std::uint8_t highestIndex = 0;
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* row = bitmap.Row(static_cast<std::uint32_t>(y));
                highestIndex = std::max(highestIndex, *std::max_element(row, row + width));
            }
            QList<QRgb> table(entries.begin(), entries.end());
            if (table.size() <= highestIndex) {
                table.resize(highestIndex + 1, qRgb(0, 0, 0));
            }
            // Over writable memory, so that setting the colour table does not copy the pixels;
            // the image is only read.
            QImage image(const_cast<uchar*>(pixels), width, height, stride,
                         QImage::Format_Indexed8);
            image.setColorTable(table);
            return image;
        }
        case PixelFormat24bppRGB:
            return QImage(pixels, width, height, stride, QImage::Format_BGR888);
        case PixelFormat16bppGrayScale:
            return QImage(pixels, width, height, stride, QImage::Format_Grayscale16);
        case PixelFormat48bppRGB: {
            QImage image = LargeQImage(width, height, QImage::Format_RGBX64);
            if (image.isNull()) {
                return {};
            }
            ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
                const std::uint8_t* in = bitmap.Row(static_cast<std::uint32_t>(y));
                uchar* out = image.scanLine(static_cast<int>(y));
                for (int x = 0; x < width; ++x) {
                    std::uint16_t bgr[3];
                    std::memcpy(bgr, in + 6 * x, sizeof bgr);
                    const QRgba64 pixel = QRgba64::fromRgba64(bgr[2], bgr[1], bgr[0], 65535);
                    std::memcpy(out + sizeof(pixel) * x, &pixel, sizeof(pixel));
                }
            });
            return image;
        }
        case PixelFormat32bppGrayFloat:
            return {};
        case PixelFormat32bppRGB: {
            std::atomic<bool> opaque{true};
            ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
                if (opaque.load(std::memory_order_relaxed) &&
                    !RowIsOpaque(bitmap.Row(static_cast<std::uint32_t>(y)), bitmap.Width())) {
                    opaque.store(false, std::memory_order_relaxed);
                }
            });
            if (opaque.load()) {
                return QImage(pixels, width, height, stride, QImage::Format_RGB32);
            }
            return ToQImage(bitmap);
        }
    }
    return {};
}

QImage ToQImage(const ImageBitmap& bitmap) {
    const int width = static_cast<int>(bitmap.Width());
    const int height = static_cast<int>(bitmap.Height());
    if (DepthOf(bitmap.Format()) != SampleDepth::Bits8) {
        const std::unique_ptr<ImageBitmap> reduced = ReduceTo8Bits(bitmap);
        return reduced ? ToQImage(*reduced) : QImage();
    }
    switch (bitmap.Format()) {
        case PixelFormat8bppIndexed: {
            const std::vector<std::uint32_t>& entries = bitmap.Palette().entries;
            const bool greyRamp = entries.empty() || entries == GreyRampEntries();
            QImage image = LargeQImage(
                width, height, greyRamp ? QImage::Format_Grayscale8 : QImage::Format_Indexed8);
            if (image.isNull()) {
                return {};
            }
            std::uint8_t highestIndex = 0;
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* row = bitmap.Row(static_cast<std::uint32_t>(y));
                std::memcpy(image.scanLine(y), row, bitmap.Width());
                highestIndex = std::max(highestIndex, *std::max_element(row, row + width));
            }
            if (!greyRamp) {
                QList<QRgb> table(entries.begin(), entries.end());
                if (table.size() <= highestIndex) {
                    table.resize(highestIndex + 1, qRgb(0, 0, 0));
                }
                image.setColorTable(table);
            }
            return image;
        }
        case PixelFormat24bppRGB: {
            // Format_BGR888 keeps its bytes in the order blue, green, red, as the bitmap does.
            QImage image = LargeQImage(width, height, QImage::Format_BGR888);
            if (image.isNull()) {
                return {};
            }
            ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
                std::memcpy(image.scanLine(static_cast<int>(y)),
                            bitmap.Row(static_cast<std::uint32_t>(y)), 3 * bitmap.Width());
            });
            return image;
        }
        case PixelFormat32bppRGB: {
            QImage image = LargeQImage(width, height, QImage::Format_RGB32);
            if (image.isNull()) {
                return {};
            }
            ParallelFor(0, bitmap.Height(), [&](std::size_t y) {
                const std::uint8_t* in = bitmap.Row(static_cast<std::uint32_t>(y));
                auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
                for (int x = 0; x < width; ++x) {
                    out[x] = qRgb(in[4 * x + 2], in[4 * x + 1], in[4 * x]);
                }
            });
            return image;
        }
        case PixelFormat16bppGrayScale:
        case PixelFormat48bppRGB:
        case PixelFormat32bppGrayFloat:
            break;
    }
    return {};
}

void PadColourTable(QImage& image) {
    if (image.format() != QImage::Format_Indexed8 || image.colorCount() >= 256) {
        return;
    }
    QList<QRgb> table = image.colorTable();
    table.resize(256, qRgb(0, 0, 0));
    image.setColorTable(table);
}

std::unique_ptr<ImageBitmap> FromQImage(const QImage& image) {
    if (image.isNull()) {
        return nullptr;
    }
    switch (image.format()) {
        case QImage::Format_Grayscale8:
            return FromIndexBytes(image, BitmapPalette::GreyRamp());
        case QImage::Format_Indexed8:
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB: {
            // Converting 1-bit images to 8 bits keeps their colour table and their indices.
            const QImage indexed = image.format() == QImage::Format_Indexed8
                                       ? image
                                       : image.convertToFormat(QImage::Format_Indexed8);
            if (indexed.isNull()) {
                return nullptr;
            }
            // Without a colour table the index itself is the grey level.
            return FromIndexBytes(indexed, indexed.colorTable().isEmpty()
                                               ? BitmapPalette::GreyRamp()
                                               : PaletteFromColorTable(indexed.colorTable()));
        }
        case QImage::Format_Grayscale16:
            return FromGrey16(image);
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
            return FromRgba64(image);
        case QImage::Format_RGBX16FPx4:
        case QImage::Format_RGBA16FPx4:
            return FromFloatImage<qfloat16>(image, false);
        case QImage::Format_RGBA16FPx4_Premultiplied:
            return FromFloatImage<qfloat16>(image, true);
        case QImage::Format_RGBX32FPx4:
        case QImage::Format_RGBA32FPx4:
            return FromFloatImage<float>(image, false);
        case QImage::Format_RGBA32FPx4_Premultiplied:
            return FromFloatImage<float>(image, true);
        default:
            break;
    }
    // All other layouts hold at most 8 bits per channel. Those with alpha are brought to
    // unpremultiplied ARGB32 (a plain reordering for unpremultiplied sources) and the alpha is
    // then ignored; the others convert to RGB32 exactly.
    const QImage rgb = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    if (rgb.isNull()) {
        return nullptr;
    }
    return ColourFromRows(rgb, [](const uchar* line, std::uint32_t x) {
        QRgb pixel;
        std::memcpy(&pixel, line + sizeof(pixel) * x, sizeof(pixel));
        return pixel;
    });
}

}  // namespace quarvel
