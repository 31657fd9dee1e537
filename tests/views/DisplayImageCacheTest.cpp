#include <gtest/gtest.h>

#include <random>

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

}  // namespace
}  // namespace quarvel
