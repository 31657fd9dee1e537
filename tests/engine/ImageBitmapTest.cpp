#include "engine/ImageBitmap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quarvel {
namespace {

std::unique_ptr<ImageBitmap> MakeIndexed(std::uint32_t width, std::uint32_t height) {
    auto image = ImageBitmap::Create(width, height, PixelFormat8bppIndexed);
    image->SetPalette(BitmapPalette::GreyRamp());
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
        }
    }
    return image;
}

TEST(ImageBitmap, Create_RowsArePaddedToMultipleOfFour) {
    auto grey = ImageBitmap::Create(5, 3, PixelFormat8bppIndexed);
    auto rgb = ImageBitmap::Create(5, 3, PixelFormat24bppRGB);
    auto rgbx = ImageBitmap::Create(5, 3, PixelFormat32bppRGB);
    EXPECT_EQ(grey->Stride(), 8u);
    EXPECT_EQ(rgb->Stride(), 16u);
    EXPECT_EQ(rgbx->Stride(), 20u);
    EXPECT_EQ(ImageBitmap::Create(0, 3, PixelFormat8bppIndexed), nullptr);
    EXPECT_EQ(ImageBitmap::Create(3, 0, PixelFormat8bppIndexed), nullptr);
}

TEST(ImageBitmap, CopyBitmap_IndexedKeepsPaletteAndBytes) {
    auto source = MakeIndexed(10, 7);
    auto copy = CopyBitmap(source.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(copy->Palette(), source->Palette());
    EXPECT_EQ(std::memcmp(copy->Data(), source->Data(), source->ByteSize()), 0);
    EXPECT_EQ(CopyBitmap(nullptr), nullptr);
}

TEST(ImageBitmap, CopyBitmap_PaletteOnlyWhenStrideAtMostTwiceWidth) {
    // One pixel wide: the row is padded to 4 bytes, more than twice the width.
    auto narrow = MakeIndexed(1, 4);
    EXPECT_TRUE(CopyBitmap(narrow.get())->Palette().entries.empty());
    // Two pixels wide: stride 4 is exactly twice the width and the palette is copied.
    auto two = MakeIndexed(2, 4);
    EXPECT_EQ(CopyBitmap(two.get())->Palette().entries.size(), 256u);
}

TEST(ImageBitmap, CopyBitmap_OneRowMatchesParallelPath) {
    auto one = MakeIndexed(33, 1);
    auto copy = CopyBitmap(one.get());
    EXPECT_EQ(std::memcmp(copy->Data(), one->Data(), one->ByteSize()), 0);
}

TEST(RowAccess, ColourViewOfIndexedShowsPaletteAndWritesBackNearestEntry) {
    auto image = MakeIndexed(4, 2);
    BitmapPalette palette;
    palette.entries = {0xFF000000u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    image->SetPalette(palette);
    image->Row(0)[0] = 1;
    image->Row(0)[1] = 3;
    {
        RowAccess rows(*image, PixelFormat32bppRGB);
        ASSERT_TRUE(rows.IsValid());
        EXPECT_EQ(rows.Row(0)[2], 255);  // red of entry 1
        EXPECT_EQ(rows.Row(0)[4], 255);  // blue of entry 3
        // A nearly green pixel written back lands on the green entry.
        rows.Row(1)[0] = 10;
        rows.Row(1)[1] = 240;
        rows.Row(1)[2] = 5;
    }
    EXPECT_EQ(image->Row(1)[0], 2);
}

TEST(RowAccess, ColourViewOf24BitWritesBackOnlyColourBytes) {
    auto image = ImageBitmap::Create(3, 2, PixelFormat24bppRGB);
    {
        RowAccess rows(*image, PixelFormat32bppRGB);
        EXPECT_EQ(rows.Stride(), 12u);
        for (std::uint32_t y = 0; y < 2; ++y) {
            for (int i = 0; i < 12; ++i) {
                rows.Row(y)[i] = static_cast<std::uint8_t>(i + 20 * y);
            }
        }
    }
    // Pixel 1 of row 1: view bytes 4, 5, 6 of that row; the fourth byte is dropped.
    EXPECT_EQ(image->Row(1)[3], 24);
    EXPECT_EQ(image->Row(1)[4], 25);
    EXPECT_EQ(image->Row(1)[5], 26);
    EXPECT_EQ(image->Row(1)[6], 28);
}

TEST(RowAccess, ReadOnlyViewLeavesImageAlone) {
    auto image = ImageBitmap::Create(2, 2, PixelFormat24bppRGB);
    image->Row(0)[0] = 77;
    {
        const ImageBitmap& constImage = *image;
        RowAccess rows(constImage, PixelFormat32bppRGB);
        EXPECT_EQ(rows.Row(0)[0], 77);
        EXPECT_EQ(rows.Row(0)[3], 255);
    }
    EXPECT_EQ(image->Row(0)[0], 77);
}

TEST(CloneArea, CopiesTheAreaInTheRequestedFormat) {
    auto image = MakeIndexed(8, 6);
    auto area = CloneArea(*image, 2, 1, 3, 4, PixelFormat8bppIndexed);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->Width(), 3u);
    EXPECT_EQ(area->Row(2)[1], image->Row(3)[3]);
    EXPECT_EQ(area->Palette(), image->Palette());
    auto colour = CloneArea(*image, 0, 0, 8, 6, PixelFormat32bppRGB);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->Row(5)[4 * 7], image->Row(5)[7]);  // grey ramp: blue byte equals the index
    EXPECT_EQ(CloneArea(*image, 6, 0, 3, 1, PixelFormat8bppIndexed), nullptr);
}

}  // namespace
}  // namespace quarvel
