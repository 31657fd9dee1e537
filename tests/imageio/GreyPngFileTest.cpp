#include "imageio/GreyPngFile.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "imageio/ImageFile.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::TempFolder;

struct Shape {
    std::uint32_t width;
    std::uint32_t height;
    bool flat;  ///< one level everywhere, else noise
};

class GreyPngFile : public testing::TestWithParam<Shape> {};

TEST_P(GreyPngFile, ReadsBackAsTheSameLevels) {
    const Shape shape = GetParam();
    auto image = ImageBitmap::Create(shape.width, shape.height, PixelFormat8bppIndexed);
    ASSERT_TRUE(image);
    std::mt19937 generator(shape.width);
    for (std::uint32_t y = 0; y < shape.height; ++y) {
        for (std::uint32_t x = 0; x < shape.width; ++x) {
            image->Row(y)[x] = static_cast<std::uint8_t>(shape.flat ? 200 : generator());
        }
    }
    TempFolder folder;
    const IoResult saved = SaveGreyPngFile(*image, folder / "levels.png");
    ASSERT_TRUE(saved) << saved.message;
    EXPECT_EQ(test::FileFormat(folder / "levels.png"), "png");

    std::unique_ptr<ImageBitmap> loaded;
    const IoResult read = LoadImageFile(loaded, folder / "levels.png");
    ASSERT_TRUE(read) << read.message;
    EXPECT_TRUE(read.warning.empty()) << read.warning;
    ASSERT_EQ(loaded->Format(), PixelFormat8bppIndexed);
    ASSERT_EQ(loaded->Width(), shape.width);
    ASSERT_EQ(loaded->Height(), shape.height);
    for (std::uint32_t y = 0; y < shape.height; ++y) {
        ASSERT_EQ(std::memcmp(loaded->Row(y), image->Row(y), shape.width), 0) << "row " << y;
    }
}

// 2048 x 4096 takes two full stripes of compressed rows and a short third one.
INSTANTIATE_TEST_SUITE_P(Shapes, GreyPngFile,
                         testing::Values(Shape{2, 1, false}, Shape{3, 5, false},
                                         Shape{2048, 4096, false}, Shape{512, 300, true}),
                         [](const testing::TestParamInfo<Shape>& param) {
                             return std::to_string(param.param.width) + "x" +
                                    std::to_string(param.param.height) +
                                    (param.param.flat ? "Flat" : "Noise");
                         });

TEST(GreyPngFileTarget, FolderIsRefusedWithItsName) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "taken.png");
    const auto image = ImageBitmap::Create(4, 4, PixelFormat8bppIndexed);
    const IoResult saved = SaveGreyPngFile(*image, folder / "taken.png");
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.message.find("taken.png: it is a folder"), std::string::npos) << saved.message;
    EXPECT_EQ(folder.Entries().size(), 1u);
}

}  // namespace
}  // namespace quarvel
