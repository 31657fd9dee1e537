#include <cstdint>

#include <QFloat16>
#include <QImage>
#include <QRgba64>

#include <gtest/gtest.h>

#include "imageio/QtBitmap.h"

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

TEST(FromQImage, Rgba64_IsRoundedToEightBitsIgnoringAlpha) {
    QImage deep(2, 1, QImage::Format_RGBA64);
    reinterpret_cast<QRgba64*>(deep.scanLine(0))[0] = QRgba64::fromRgba64(65535, 32896, 128, 0);
    reinterpret_cast<QRgba64*>(deep.scanLine(0))[1] = QRgba64::fromRgba64(129, 0, 1000, 65535);
    const auto image = FromQImage(deep);
    ASSERT_EQ(image->Format(), PixelFormat32bppRGB);
    const std::uint8_t* transparent = Pixel(*image, 0, 0);
    EXPECT_EQ(transparent[2], 255);  // red
    EXPECT_EQ(transparent[1], 128);  // green: 32896 / 257 = 128
    EXPECT_EQ(transparent[0], 0);    // blue: 128 / 257 rounds to 0
    EXPECT_EQ(transparent[3], 0xFF);
    EXPECT_EQ(Pixel(*image, 1, 0)[2], 1);  // 129 / 257 rounds to 1
    EXPECT_EQ(Pixel(*image, 1, 0)[0], 4);  // 1000 / 257 = 3.89
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

}  // namespace
}  // namespace quarvel
