#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QFloat16>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRgba64>

#include <gtest/gtest.h>

#include "imageio/ImageFile.h"
#include "imageio/QtBitmap.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

const std::uint8_t* Pixel(const ImageBitmap& image, std::uint32_t x, std::uint32_t y) {
    return image.Row(y) + x * BytesPerPixel(image.Format());
}

TEST(FromQImage, Grey8_BecomesIndexedWithGreyRamp) {
    QImage grey(5, 3, QImage::Format_Grayscale8);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            grey.scanLine(y)[x] = static_cast<uchar>(40 * y + x);
        }
    }
    const auto image = FromQImage(grey);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(image->Palette(), BitmapPalette::GreyRamp());
    EXPECT_EQ(*Pixel(*image, 4, 2), 84);
}

TEST(FromQImage, IndexedOnePixelWide_BecomesColourThroughItsPalette) {
    QImage indexed(1, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.scanLine(0)[0] = 1;
    indexed.scanLine(1)[0] = 0;
    indexed.scanLine(2)[0] = 1;
    const auto image = FromQImage(indexed);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Format(), PixelFormat32bppRGB);
    const std::uint8_t* first = Pixel(*image, 0, 0);
    EXPECT_EQ(first[0], 50);
    EXPECT_EQ(first[1], 100);
    EXPECT_EQ(first[2], 200);
    EXPECT_EQ(Pixel(*image, 0, 1)[2], 10);

    QImage grey(1, 2, QImage::Format_Grayscale8);
    grey.scanLine(0)[0] = 77;
    grey.scanLine(1)[0] = 9;
    const auto column = FromQImage(grey);
    ASSERT_EQ(column->Format(), PixelFormat32bppRGB);
    EXPECT_EQ(Pixel(*column, 0, 0)[0], 77);
    EXPECT_EQ(Pixel(*column, 0, 0)[1], 77);
    EXPECT_EQ(Pixel(*column, 0, 0)[2], 77);
}

TEST(FromQImage, MonoImage_KeepsTwoEntryPaletteAndIndices) {
    QImage mono(9, 2, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    mono.setPixel(8, 1, 1);
    const auto image = FromQImage(mono);
    ASSERT_EQ(image->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(image->Palette().entries, (std::vector<std::uint32_t>{0xFFFFFFFFu, 0xFF000000u}));
    EXPECT_EQ(*Pixel(*image, 8, 1), 1);
    EXPECT_EQ(*Pixel(*image, 7, 1), 0);
}

TEST(FromQImage, Rgba64_KeepsSixteenBitsIgnoringAlpha) {
    QImage deep(2, 1, QImage::Format_RGBA64);
    reinterpret_cast<QRgba64*>(deep.scanLine(0))[0] = QRgba64::fromRgba64(65535, 32896, 128, 0);
    reinterpret_cast<QRgba64*>(deep.scanLine(0))[1] = QRgba64::fromRgba64(129, 0, 1000, 65535);
    const auto image = FromQImage(deep);
    ASSERT_EQ(image->Format(), PixelFormat48bppRGB);
    std::uint16_t samples[6];
    std::memcpy(samples, image->Row(0), sizeof samples);
    // Blue, green, red of each pixel, the transparent one unchanged.
    EXPECT_EQ(samples[0], 128);
    EXPECT_EQ(samples[1], 32896);
    EXPECT_EQ(samples[2], 65535);
    EXPECT_EQ(samples[3], 1000);
    EXPECT_EQ(samples[5], 129);
    // Shown and copied at 8 bits: v / 257 rounded.
    const QImage shown = ToQImage(*image);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 128, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgb(1, 0, 4));
}

TEST(FromQImage, PremultipliedColour_IsUnpremultipliedNotDarkened) {
    QImage premultiplied(1, 1, QImage::Format_ARGB32_Premultiplied);
    premultiplied.setPixel(0, 0, qRgba(100, 50, 0, 128));  // stored premultiplied
    const auto image = FromQImage(premultiplied);
    ASSERT_EQ(image->Format(), PixelFormat32bppRGB);
    EXPECT_NEAR(Pixel(*image, 0, 0)[2], 199, 1);
    EXPECT_NEAR(Pixel(*image, 0, 0)[1], 100, 1);
}

TEST(FromQImage, FloatGrey_BecomesGreyAndFloatColourStaysColour) {
    QImage grey(3, 2, QImage::Format_RGBA32FPx4);
    QImage colour(3, 2, QImage::Format_RGBX16FPx4);
    for (int y = 0; y < 2; ++y) {
        auto* g = reinterpret_cast<float*>(grey.scanLine(y));
        auto* c = reinterpret_cast<qfloat16*>(colour.scanLine(y));
        for (int x = 0; x < 3; ++x) {
            const float level = 0.25f * static_cast<float>(x + y);
            for (int k = 0; k < 3; ++k) {
                g[4 * x + k] = level;
                c[4 * x + k] = qfloat16(k == 0 ? level : 1.5f - level);
            }
            g[4 * x + 3] = 0.0f;
            c[4 * x + 3] = qfloat16(1.0f);
        }
    }
    const auto greyImage = FromQImage(grey);
    ASSERT_EQ(greyImage->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(greyImage->Palette(), BitmapPalette::GreyRamp());
    EXPECT_EQ(*Pixel(*greyImage, 2, 1), 191);  // 0.75 * 255 = 191.25
    EXPECT_EQ(*Pixel(*greyImage, 0, 0), 0);

    const auto colourImage = FromQImage(colour);
    ASSERT_EQ(colourImage->Format(), PixelFormat32bppRGB);
    EXPECT_EQ(Pixel(*colourImage, 1, 0)[2], 64);   // red 0.25
    EXPECT_EQ(Pixel(*colourImage, 1, 0)[1], 255);  // green 1.25, limited to 1
}

TEST(ToQImage, GreyRampIndexedBecomesGrayscale8AndOtherPalettesStayIndexed) {
    auto grey = ImageBitmap::Create(3, 1, PixelFormat8bppIndexed);
    grey->Row(0)[2] = 200;
    grey->SetPalette(BitmapPalette::GreyRamp());
    const QImage greyImage = ToQImage(*grey);
    EXPECT_EQ(greyImage.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(greyImage.constScanLine(0)[2], 200);

    BitmapPalette palette;
    palette.entries = {0xFF102030u, 0xFFFFFFFFu};
    grey->SetPalette(palette);
    grey->Row(0)[0] = 1;
    const QImage indexed = ToQImage(*grey);
    ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
    // Index 200 lies beyond the two entries: the table is padded with opaque black.
    ASSERT_EQ(indexed.colorCount(), 201);
    EXPECT_EQ(indexed.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(indexed.pixel(1, 0), 0xFF102030u);
    EXPECT_EQ(indexed.pixel(2, 0), 0xFF000000u);
}

TEST(ToQImage, ColourFormatsBecomeOpaqueRgb) {
    auto colour = ImageBitmap::Create(2, 2, PixelFormat32bppRGB);
    std::uint8_t* pixel = colour->Row(1) + 4;
    pixel[0] = 1;
    pixel[1] = 2;
    pixel[2] = 3;
    pixel[3] = 0;  // the fourth byte carries nothing
    const QImage rgb = ToQImage(*colour);
    ASSERT_EQ(rgb.format(), QImage::Format_RGB32);
    EXPECT_EQ(rgb.pixel(1, 1), qRgb(3, 2, 1));

    auto packed = ImageBitmap::Create(2, 1, PixelFormat24bppRGB);
    packed->Row(0)[3] = 9;
    packed->Row(0)[5] = 7;
    EXPECT_EQ(ToQImage(*packed).pixel(1, 0), qRgb(7, 0, 9));
}

/// Expects a and b to be the same image: size, format, stride, every byte of every row
/// (padding included) and the palette.
void ExpectSameBitmap(const ImageBitmap& a, const ImageBitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.Format(), b.Format());
    ASSERT_EQ(a.Stride(), b.Stride());
    EXPECT_EQ(a.Palette(), b.Palette());
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        ASSERT_EQ(std::memcmp(a.Row(y), b.Row(y), a.Stride()), 0) << "row " << y;
    }
}

/// Expects a and b to show the same pixels: size, format, colour table and the bytes of every
/// pixel of every row.
void ExpectSameQImage(const QImage& a, const QImage& b) {
    ASSERT_FALSE(a.isNull());
    ASSERT_EQ(a.size(), b.size());
    ASSERT_EQ(a.format(), b.format());
    EXPECT_EQ(a.colorTable(), b.colorTable());
    const auto rowBytes = static_cast<std::size_t>(a.width() * a.depth() / 8);
    for (int y = 0; y < a.height(); ++y) {
        ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes), 0) << "row " << y;
    }
}

/// image encoded by the writer of format.
std::string Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes.toStdString();
}

/// A pattern whose neighbouring pixels differ in every channel.
QImage Pattern(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y,
                           qRgba((x * 7 + y) & 0xFF, (x * 3 + y * 5) & 0xFF, (x ^ (y * 11)) & 0xFF,
                                 (x + 2 * y) & 0xFF));
        }
    }
    return image.convertToFormat(format);
}

/// The bitmap of an image file decoded by Qt into an image of its own and then converted.
std::unique_ptr<ImageBitmap> ConvertedAfterDecoding(const std::string& file) {
    QByteArray bytes = QByteArray::fromStdString(file);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    EXPECT_FALSE(image.isNull());
    return FromQImage(image);
}

struct DecodeCase {
    std::string name;
    std::string file;  ///< the bytes of an image file
};

std::vector<DecodeCase> DecodeCases() {
    std::vector<DecodeCase> cases;
    const auto add = [&cases](const std::string& name, const QImage& image, const char* format) {
        cases.push_back({name, Encode(image, format)});
    };
    // Large enough to come from the large blocks, and small; grey rows not a multiple of 4.
    add("JpegColourLarge", Pattern(700, 500, QImage::Format_RGB32), "jpeg");
    add("JpegColourSmall", Pattern(37, 21, QImage::Format_RGB32), "jpeg");
    add("JpegGreyLarge", Pattern(1203, 1001, QImage::Format_Grayscale8), "jpeg");
    add("JpegGreyOddWidth", Pattern(701, 43, QImage::Format_Grayscale8), "jpeg");
    add("JpegGreyOnePixelWide", Pattern(1, 40, QImage::Format_Grayscale8), "jpeg");
    add("PngColourLarge", Pattern(701, 500, QImage::Format_RGB32), "png");
    add("PngAlphaLarge", Pattern(700, 501, QImage::Format_ARGB32), "png");
    add("PngGreyLarge", Pattern(1027, 1025, QImage::Format_Grayscale8), "png");
    add("PngGreyOnePixelWide", Pattern(1, 9, QImage::Format_Grayscale8), "png");
    add("PngGrey16Large", Pattern(1025, 600, QImage::Format_Grayscale16), "png");
    add("PngRgba64Large", Pattern(400, 401, QImage::Format_RGBA64), "png");
    QImage palette = Pattern(1101, 1000, QImage::Format_Indexed8);
    add("PngPaletteLarge", palette, "png");
    QList<QRgb> table = palette.colorTable();
    for (qsizetype i = 0; i < table.size(); i += 3) {
        table[i] = qRgba(qRed(table[i]), qGreen(table[i]), qBlue(table[i]), 0x40);
    }
    palette.setColorTable(table);
    add("PngPaletteWithTransparency", palette, "png");
    add("PngMono", Pattern(13, 7, QImage::Format_Mono), "png");
    add("BmpColour", Pattern(31, 5, QImage::Format_RGB32), "bmp");
    // Cut in its pixel data: the decoder fills in the rest.
    const std::string whole = Encode(Pattern(700, 500, QImage::Format_RGB32), "jpeg");
    cases.push_back({"JpegCutShort", whole.substr(0, whole.size() * 3 / 5)});
    for (const char* file :
         {"rocket.jpg", "palette_color.png", "palette_gray.png", "horse.png", "checker_bilevel.png",
          "chessboard_GRAY_U16.tif", "no_time_for_that_tiny.gif"}) {
        std::string name = file;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        cases.push_back({name, test::ReadBytes(test::TestImage(file))});
    }
    return cases;
}

void PrintTo(const DecodeCase& decodeCase, std::ostream* out) {
    *out << decodeCase.name;
}

class LoadEqualsConversion : public testing::TestWithParam<DecodeCase> {};

TEST_P(LoadEqualsConversion, EveryByteAndThePalette) {
    const std::string& file = GetParam().file;
    std::unique_ptr<ImageBitmap> loaded;
    const IoResult result = LoadImageData(loaded, file.data(), file.size());
    ASSERT_TRUE(result) << result.message;
    const auto expected = ConvertedAfterDecoding(file);
    ASSERT_NE(expected, nullptr);
    ExpectSameBitmap(*loaded, *expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadEqualsConversion, testing::ValuesIn(DecodeCases()),
                         [](const testing::TestParamInfo<DecodeCase>& param) {
                             return param.param.name;
                         });

TEST(DecodeTarget, JpegDecodesStraightIntoTheBitmap) {
    QByteArray bytes =
        QByteArray::fromStdString(Encode(Pattern(640, 480, QImage::Format_RGB32), "jpeg"));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    DecodeTarget target = MakeDecodeTarget(640, 480, reader.imageFormat());
    ASSERT_NE(target.bitmap, nullptr);
    const std::uint8_t* pixels = target.bitmap->Data();
    ASSERT_TRUE(reader.read(&target.image));
    EXPECT_EQ(target.image.constBits(), pixels);
    const auto bitmap = TakeDecodedBitmap(target);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Data(), pixels);
    EXPECT_TRUE(target.image.isNull());
}

TEST(DecodeTarget, WhatADecoderLeftInTheUnusedBytesIsCleared) {
    // A decoder writing the fourth byte of colour pixels or the padding of grey rows.
    DecodeTarget colour = MakeDecodeTarget(3, 2, QImage::Format_RGB32);
    ASSERT_NE(colour.bitmap, nullptr);
    std::memset(colour.image.bits(), 0x5A, static_cast<std::size_t>(colour.image.sizeInBytes()));
    const auto rgb = TakeDecodedBitmap(colour);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(Pixel(*rgb, 2, 1)[3], 0xFF);
    EXPECT_EQ(Pixel(*rgb, 2, 1)[2], 0x5A);

    DecodeTarget grey = MakeDecodeTarget(5, 2, QImage::Format_Indexed8);
    ASSERT_NE(grey.bitmap, nullptr);
    std::memset(grey.image.bits(), 7, static_cast<std::size_t>(grey.image.sizeInBytes()));
    grey.image.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    const auto indexed = TakeDecodedBitmap(grey);
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(indexed->Row(1)[4], 7);
    EXPECT_EQ(indexed->Row(1)[5], 0);
    EXPECT_EQ(indexed->Palette().entries.size(), 2u);
}

TEST(DecodeTarget, AnImageTheDecoderMadeItselfIsConverted) {
    DecodeTarget target = MakeDecodeTarget(4, 4, QImage::Format_RGB32);
    target.image = Pattern(6, 5, QImage::Format_Grayscale8);
    const auto bitmap = TakeDecodedBitmap(target);
    ASSERT_NE(bitmap, nullptr);
    ExpectSameBitmap(*bitmap, *FromQImage(Pattern(6, 5, QImage::Format_Grayscale8)));

    DecodeTarget deep = MakeDecodeTarget(700, 400, QImage::Format_RGBA64);
    EXPECT_EQ(deep.bitmap, nullptr);
    ASSERT_EQ(deep.image.format(), QImage::Format_RGBA64);
    EXPECT_TRUE(MakeDecodeTarget(0, 4, QImage::Format_RGB32).image.isNull());
}

TEST(ViewAsQImage, ShowsWhatToQImageGivesAndSharesOpaqueColour) {
    auto colour = ImageBitmap::Create(700, 400, PixelFormat32bppRGB);
    for (std::uint32_t y = 0; y < colour->Height(); ++y) {
        for (std::uint32_t x = 0; x < colour->Width(); ++x) {
            std::uint8_t* pixel = colour->Row(y) + 4 * x;
            pixel[0] = static_cast<std::uint8_t>(x);
            pixel[1] = static_cast<std::uint8_t>(y);
            pixel[2] = static_cast<std::uint8_t>(x ^ y);
            pixel[3] = 0xFF;
        }
    }
    const QImage shared = ViewAsQImage(*colour);
    EXPECT_EQ(shared.constBits(), colour->Data());
    ExpectSameQImage(shared, ToQImage(*colour));

    // A fourth byte that is not 0xFF would be taken for alpha by some encoders.
    colour->Row(399)[4 * 699 + 3] = 0;
    const QImage copied = ViewAsQImage(*colour);
    EXPECT_NE(copied.constBits(), colour->Data());
    EXPECT_EQ(copied.pixel(699, 399), ToQImage(*colour).pixel(699, 399));
    ExpectSameQImage(copied, ToQImage(*colour));

    auto packed = ImageBitmap::Create(5, 3, PixelFormat24bppRGB);
    for (std::size_t i = 0; i < packed->ByteSize(); ++i) {
        packed->Data()[i] = static_cast<std::uint8_t>(i * 37);
    }
    ExpectSameQImage(ViewAsQImage(*packed), ToQImage(*packed));

    auto grey = ImageBitmap::Create(7, 3, PixelFormat8bppIndexed);
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 7; ++x) {
            grey->Row(y)[x] = static_cast<std::uint8_t>(x * 30 + y);
        }
    }
    grey->SetPalette(BitmapPalette::GreyRamp());
    ExpectSameQImage(ViewAsQImage(*grey), ToQImage(*grey));
    BitmapPalette palette;
    palette.entries = {0xFF102030u, 0xFFFFFFFFu};
    grey->SetPalette(palette);
    const QImage indexed = ViewAsQImage(*grey);
    ExpectSameQImage(indexed, ToQImage(*grey));
    EXPECT_EQ(indexed.constBits(), grey->Data());
}

TEST(SaveImageFile, WritesWhatEncodingTheCopyWouldWrite) {
    const test::TempFolder folder;
    auto colour = ImageBitmap::Create(300, 200, PixelFormat32bppRGB);
    auto grey = ImageBitmap::Create(301, 7, PixelFormat8bppIndexed);
    for (std::size_t i = 0; i < colour->ByteSize(); ++i) {
        colour->Data()[i] = i % 4 == 3 ? 0xFF : static_cast<std::uint8_t>(i * 13 / 7);
    }
    for (std::size_t i = 0; i < grey->ByteSize(); ++i) {
        grey->Data()[i] = static_cast<std::uint8_t>(i * 5 % 11);
    }
    BitmapPalette palette;
    palette.entries = {0xFF000000u, 0xFF0000FFu, 0xFF00FF00u};
    grey->SetPalette(palette);
    for (const ImageBitmap* image : {colour.get(), grey.get()}) {
        for (const char* format : {"png", "jpeg"}) {
            const auto path = folder.Path() / (std::string("out.") + format);
            ASSERT_TRUE(SaveImageFile(*image, path, {std::string("image/") + format, 90}));
            EXPECT_EQ(test::ReadBytes(path), Encode(ToQImage(*image), format)) << format;
        }
    }
}

}  // namespace
}  // namespace quarvel
