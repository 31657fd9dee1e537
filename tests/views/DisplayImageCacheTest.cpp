#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include <QImage>
#include <QPainter>

#include "engine/ImageBitmap.h"
#include "views/CDisplayImageCache.h"

namespace quarvel {
namespace {

/// What cache draws of bitmap shrunk (zoom 0.3) or at zoom 1 into a fresh 64 x 40 image.
QImage Drawn(CDisplayImageCache& cache, const ImageBitmap& bitmap, float zoom) {
    QImage target(64, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    cache.Draw(painter, bitmap, QRect(0, 0, 200, 120), QPoint(2, 3), zoom);
    return target;
}

TEST(DisplayImageCache, RowsUpdatedInPlaceDrawAsAFreshCopyDoes) {
    auto bitmap = ImageBitmap::Create(200, 120, PixelFormat32bppRGB);
    ASSERT_TRUE(bitmap);
    std::mt19937 generator(3);
    for (std::uint32_t y = 0; y < 120; ++y) {
        for (std::uint32_t x = 0; x < 4 * 200; ++x) {
            bitmap->Row(y)[x] = static_cast<std::uint8_t>(generator());
        }
    }
    for (const float zoom : {0.3f, 1.0f}) {
        CDisplayImageCache kept;
        Drawn(kept, *bitmap, zoom);
        // Rows 50 to 69 change, as a brush press changes a power spectrum image.
        for (std::uint32_t y = 50; y < 70; ++y) {
            for (std::uint32_t x = 0; x < 4 * 200; ++x) {
                bitmap->Row(y)[x] = static_cast<std::uint8_t>(255 - bitmap->Row(y)[x]);
            }
        }
        kept.UpdateRows(*bitmap, 50, 70);
        CDisplayImageCache fresh;
        EXPECT_EQ(Drawn(kept, *bitmap, zoom), Drawn(fresh, *bitmap, zoom)) << "zoom " << zoom;
    }
}

/// A 200 x 120 colour bitmap of reproducible noise whose fourth bytes are fourth.
std::unique_ptr<ImageBitmap> NoiseBitmap(std::uint8_t fourth) {
    auto bitmap = ImageBitmap::Create(200, 120, PixelFormat32bppRGB);
    std::mt19937 generator(5);
    for (std::uint32_t y = 0; bitmap && y < 120; ++y) {
        for (std::uint32_t x = 0; x < 200; ++x) {
            for (std::uint32_t c = 0; c < 3; ++c) {
                bitmap->Row(y)[4 * x + c] = static_cast<std::uint8_t>(generator());
            }
            bitmap->Row(y)[4 * x + 3] = fourth;
        }
    }
    return bitmap;
}

TEST(DisplayImageCache, OpaqueBitmapIsShownFromItsOwnMemoryWithTheCopysPixels) {
    const auto opaque = NoiseBitmap(0xFF);
    const auto other = NoiseBitmap(0);
    ASSERT_TRUE(opaque && other);
    for (const float zoom : {0.3f, 1.0f}) {
        CDisplayImageCache viewed;
        CDisplayImageCache copied;
        EXPECT_EQ(Drawn(viewed, *opaque, zoom), Drawn(copied, *other, zoom)) << "zoom " << zoom;
        EXPECT_EQ(viewed.CopiedBytes(), 0u);
        EXPECT_EQ(copied.CopiedBytes(), 4u * 200 * 120);
        // Rows 30 to 39 change in both, then rows 40 to 44, which in the opaque one lose their
        // opacity, so that it can no longer be shown as it is.
        for (const auto& [top, bottom] : {std::pair{30u, 40u}, std::pair{40u, 45u}}) {
            for (std::uint32_t y = top; y < bottom; ++y) {
                for (std::uint32_t x = 0; x < 4 * 200; x += 4) {
                    opaque->Row(y)[x + 1] = static_cast<std::uint8_t>(x + y);
                    other->Row(y)[x + 1] = static_cast<std::uint8_t>(x + y);
                    opaque->Row(y)[x + 3] = y < 40 ? 0xFF : 0;
                }
            }
            viewed.UpdateRows(*opaque, static_cast<int>(top), static_cast<int>(bottom));
            copied.UpdateRows(*other, static_cast<int>(top), static_cast<int>(bottom));
            EXPECT_EQ(Drawn(viewed, *opaque, zoom), Drawn(copied, *other, zoom))
                << "zoom " << zoom << ", rows from " << top;
        }
        EXPECT_EQ(viewed.CopiedBytes(), 4u * 200 * 120);
        for (std::uint32_t y = 40; y < 45; ++y) {
            for (std::uint32_t x = 0; x < 4 * 200; x += 4) {
                opaque->Row(y)[x + 3] = 0xFF;
            }
        }
    }
}

TEST(DisplayImageCache, GreyBitmapIsShownFromItsOwnMemoryAsItsLevelsInColourAre) {
    // The same levels as an 8-bit grey bitmap and as 32-bit pixels of three equal bytes.
    auto grey = ImageBitmap::Create(200, 120, PixelFormat8bppIndexed);
    auto colour = ImageBitmap::Create(200, 120, PixelFormat32bppRGB);
    ASSERT_TRUE(grey && colour);
    grey->SetPalette(BitmapPalette::GreyRamp());
    std::mt19937 generator(9);
    const auto setLevel = [&](std::uint32_t x, std::uint32_t y, std::uint8_t level) {
        grey->Row(y)[x] = level;
        std::memset(colour->Row(y) + 4 * x, level, 3);
        colour->Row(y)[4 * x + 3] = 0xFF;
    };
    for (std::uint32_t y = 0; y < 120; ++y) {
        for (std::uint32_t x = 0; x < 200; ++x) {
            setLevel(x, y, static_cast<std::uint8_t>(generator()));
        }
    }
    for (const float zoom : {0.3f, 1.0f, 2.5f}) {
        CDisplayImageCache greyCache;
        CDisplayImageCache colourCache;
        EXPECT_EQ(Drawn(greyCache, *grey, zoom), Drawn(colourCache, *colour, zoom))
            << "zoom " << zoom;
        EXPECT_EQ(greyCache.CopiedBytes(), 0u);
        // Rows 50 to 69 change in place, as a brush press changes a power spectrum image.
        for (std::uint32_t y = 50; y < 70; ++y) {
            for (std::uint32_t x = 0; x < 200; ++x) {
                setLevel(x, y, static_cast<std::uint8_t>(255 - grey->Row(y)[x]));
            }
        }
        greyCache.UpdateRows(*grey, 50, 70);
        colourCache.UpdateRows(*colour, 50, 70);
        EXPECT_EQ(greyCache.Size(), 1);
        EXPECT_EQ(Drawn(greyCache, *grey, zoom), Drawn(colourCache, *colour, zoom))
            << "zoom " << zoom << " after the change";
    }
}

TEST(DisplayImageCache, ShrunkPixelIsTheRoundedMeanOfItsBox) {
    const auto bitmap = NoiseBitmap(0xFF);
    ASSERT_TRUE(bitmap);
    // A part from (13, 7) of 150 x 90 pixels at zoom 0.37 is drawn as 56 x 33 pixels; pixel
    // (i, j) takes in columns 13 + 150 i / 56 up to the next box's, and rows likewise.
    const QRect part(13, 7, 150, 90);
    const int width = 56;
    const int height = 33;
    QImage target(64, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter painter(&target);
        CDisplayImageCache cache;
        cache.Draw(painter, *bitmap, part, QPoint(0, 0), 0.37f);
    }
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            int sums[3] = {0, 0, 0};
            const int x0 = 13 + 150 * i / width;
            const int x1 = 13 + 150 * (i + 1) / width;
            const int y0 = 7 + 90 * j / height;
            const int y1 = 7 + 90 * (j + 1) / height;
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        sums[c] += bitmap->Row(static_cast<std::uint32_t>(y))[4 * x + c];
                    }
                }
            }
            const int count = (x1 - x0) * (y1 - y0);
            const QRgb expected = qRgb((sums[2] + count / 2) / count, (sums[1] + count / 2) / count,
                                       (sums[0] + count / 2) / count);
            ASSERT_EQ(target.pixel(i, j), expected) << i << ", " << j;
        }
    }
    EXPECT_EQ(target.pixel(width, 0), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(0, height), qRgb(0, 0, 0));
}

TEST(DisplayImageCache, FrameForgetsTheBitmapsItDidNotDraw) {
    const auto shown = NoiseBitmap(0);
    const auto gone = NoiseBitmap(0);
    ASSERT_TRUE(shown && gone);
    CDisplayImageCache cache;
    Drawn(cache, *shown, 1.0f);
    Drawn(cache, *gone, 1.0f);
    EXPECT_EQ(cache.Size(), 2);
    cache.StartFrame();
    Drawn(cache, *shown, 1.0f);
    cache.EndFrame();
    EXPECT_EQ(cache.Size(), 1);
    EXPECT_EQ(cache.CopiedBytes(), 4u * 200 * 120);
}

}  // namespace
}  // namespace quarvel
