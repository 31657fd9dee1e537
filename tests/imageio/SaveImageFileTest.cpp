#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QImageWriter>

#include <gtest/gtest.h>

#include "imageio/ImageFile.h"
#include "support/MemoryNoise.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::LeaveNoise;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

/// A colour image whose every pixel differs from its neighbours in all three channels.
std::unique_ptr<ImageBitmap> ColourPattern(std::uint32_t width, std::uint32_t height) {
    auto image = ImageBitmap::Create(width, height, PixelFormat32bppRGB);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image->Row(y) + 4 * x;
            pixel[0] = static_cast<std::uint8_t>(x * 7 + y);
            pixel[1] = static_cast<std::uint8_t>(x * 3 + y * 5);
            pixel[2] = static_cast<std::uint8_t>(x ^ (y * 11));
            pixel[3] = 0xFF;
        }
    }
    return image;
}

std::unique_ptr<ImageBitmap> GreyPattern(std::uint32_t width, std::uint32_t height) {
    auto image = ImageBitmap::Create(width, height, PixelFormat8bppIndexed);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->Row(y)[x] = static_cast<std::uint8_t>(x * 13 + y * 3);
        }
    }
    image->SetPalette(BitmapPalette::GreyRamp());
    return image;
}

/// Compares the pixels of two images row by row over their width (the row padding is free).
void ExpectSamePixels(const ImageBitmap& a, const ImageBitmap& b) {
    ASSERT_EQ(a.Format(), b.Format());
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    const std::size_t rowBytes = a.Width() * BytesPerPixel(a.Format());
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(a.Row(y)), rowBytes),
                  std::string(reinterpret_cast<const char*>(b.Row(y)), rowBytes))
            << "row " << y;
    }
}

struct NamedCase {
    const char* name;
    const char* format;
};

class SaveByName : public testing::TestWithParam<NamedCase> {};

TEST_P(SaveByName, WritesTheFormatTheExtensionAsksFor) {
    TempFolder folder;
    const IoResult result = SaveImageFile(*ColourPattern(33, 17), folder / GetParam().name);
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(test::FileFormat(folder / GetParam().name), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(Extension, SaveByName,
                         testing::Values(NamedCase{"a.png", "png"}, NamedCase{"A.PNG", "png"},
                                         NamedCase{"a.jpg", "jpeg"}, NamedCase{"a.Jpeg", "jpeg"},
                                         NamedCase{"a.tif", "tiff"}, NamedCase{"a.tiff", "tiff"},
                                         NamedCase{"a.bmp", "bmp"}, NamedCase{"a.webp", "webp"},
                                         NamedCase{"noextension", "jpeg"},
                                         NamedCase{"a.gif", "jpeg"},
                                         NamedCase{"a.tiff_n2", "jpeg"}),
                         [](const testing::TestParamInfo<NamedCase>& param) {
                             std::string name = param.param.name;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

/// An image of a 16-bit or floating-point format whose samples all differ: words spread over
/// the whole range, or floats beyond 0 to 1 on both sides.
std::unique_ptr<ImageBitmap> DeepPattern(std::uint32_t width, std::uint32_t height,
                                         PixelFormat format) {
    auto image = ImageBitmap::Create(width, height, format);
    const std::size_t samples =
        width * BytesPerPixel(format) / (format == PixelFormat32bppGrayFloat ? 4 : 2);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < samples; ++i) {
            const std::size_t n = y * samples + i;
            if (format == PixelFormat32bppGrayFloat) {
                const float value = -2.5f + 0.37f * static_cast<float>(n * n);
                std::memcpy(image->Row(y) + 4 * i, &value, 4);
            } else {
                const auto value = static_cast<std::uint16_t>(n * 4099 + 1);
                std::memcpy(image->Row(y) + 2 * i, &value, 2);
            }
        }
    }
    return image;
}

TEST(SaveImageFile, DeepImages_KeepTheirDepthInPngAndTiffAndSayWhenNarrowed) {
    TempFolder folder;
    const std::pair<PixelFormat, const char*> kept[] = {{PixelFormat16bppGrayScale, "grey.png"},
                                                        {PixelFormat16bppGrayScale, "grey.tif"},
                                                        {PixelFormat48bppRGB, "colour.png"},
                                                        {PixelFormat48bppRGB, "colour.tif"},
                                                        {PixelFormat32bppGrayFloat, "float.tif"}};
    for (const auto& [format, name] : kept) {
        SCOPED_TRACE(name);
        const auto image = DeepPattern(7, 5, format);
        const IoResult saved = SaveImageFile(*image, folder / name);
        ASSERT_TRUE(saved) << saved.message;
        EXPECT_EQ(saved.warning, "");
        std::unique_ptr<ImageBitmap> loaded;
        ASSERT_TRUE(LoadImageFile(loaded, folder / name));
        ExpectSamePixels(*loaded, *image);
    }

    const IoResult jpeg =
        SaveImageFile(*DeepPattern(7, 5, PixelFormat48bppRGB), folder / "colour.jpg");
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg.warning.rfind("JPEG holds 8 bits a sample", 0), 0u) << jpeg.warning;

    const IoResult png =
        SaveImageFile(*DeepPattern(7, 5, PixelFormat32bppGrayFloat), folder / "float.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png.warning.rfind("PNG holds no floating-point samples: written at 16 bits", 0), 0u)
        << png.warning;
    std::unique_ptr<ImageBitmap> words;
    ASSERT_TRUE(LoadImageFile(words, folder / "float.png"));
    ASSERT_EQ(words->Format(), PixelFormat16bppGrayScale);
    std::uint16_t first = 1;
    std::memcpy(&first, words->Row(0), 2);
    EXPECT_EQ(first, 0);  // the lowest sample, -2.5
}

TEST(SaveImageFile, QualityOfTheDefault_GivesTheDefaultBytes) {
    TempFolder folder;
    auto image = ColourPattern(64, 48);
    ASSERT_TRUE(SaveImageFile(*image, folder / "default.jpg"));
    ASSERT_TRUE(SaveImageFile(*image, folder / "75.jpg", SaveOptions{"", 75}));
    EXPECT_EQ(ReadBytes(folder / "default.jpg"), ReadBytes(folder / "75.jpg"));
}

TEST(SaveImageFile, ExistingFile_KeepsItsPermissionsAndALinkKeepsPointingAtIt) {
    TempFolder folder;
    WriteBytes(folder / "shared.png", "old");
    std::filesystem::permissions(folder / "shared.png", std::filesystem::perms(0640));
    std::filesystem::create_symlink("shared.png", folder / "link.png");
    ASSERT_TRUE(SaveImageFile(*GreyPattern(8, 8), folder / "link.png"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.png"));
    EXPECT_EQ(test::FileFormat(folder / "shared.png"), "png");
    EXPECT_EQ(std::filesystem::status(folder / "shared.png").permissions(),
              std::filesystem::perms(0640));
}

/// Images whose PNG or JPEG encodings span the sizes where buffered writes fail late: under a
/// kilobyte, around a write buffer, and over a megabyte.
struct SizeCase {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
};

class SaveOnFullDisk : public testing::TestWithParam<SizeCase> {};

TEST_P(SaveOnFullDisk, FailsAndLeavesTheOldFileAsItWas) {
    test::SmallFileSystem disk("4m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    WriteBytes(disk / "keep.png", "the old result, which must survive");
    WriteBytes(disk / "keep.jpg", "the old photograph, which must survive");
    disk.Fill();
    auto image = ColourPattern(GetParam().width, GetParam().height);
    for (const char* name : {"keep.png", "keep.jpg"}) {
        const std::string before = ReadBytes(disk / name);
        const IoResult result = SaveImageFile(*image, disk / name);
        EXPECT_FALSE(result) << name;
        EXPECT_EQ(
            result.message.rfind("cannot write " + (disk / name).string() + ": disk full (", 0), 0u)
            << result.message;
        EXPECT_EQ(ReadBytes(disk / name), before) << name;
    }
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(disk.Path())) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"filler", "keep.jpg", "keep.png"}));
}

INSTANTIATE_TEST_SUITE_P(Size, SaveOnFullDisk,
                         testing::Values(SizeCase{"Tiny", 4, 4}, SizeCase{"Small", 64, 48},
                                         SizeCase{"Medium", 300, 200},
                                         SizeCase{"Large", 1200, 900}),
                         [](const testing::TestParamInfo<SizeCase>& param) {
                             return std::string(param.param.name);
                         });

struct EncoderCase {
    const char* mime;
    std::string magic;
};

class SaveWithEncoder : public testing::TestWithParam<EncoderCase> {};

TEST_P(SaveWithEncoder, WritesThatFormatWhateverTheName) {
    TempFolder folder;
    const IoResult result =
        SaveImageFile(*ColourPattern(20, 10), folder / "out.jpg", SaveOptions{GetParam().mime});
    ASSERT_TRUE(result) << result.message;
    const std::string bytes = ReadBytes(folder / "out.jpg");
    EXPECT_EQ(bytes.substr(0, GetParam().magic.size()), GetParam().magic);
}

INSTANTIATE_TEST_SUITE_P(Mime, SaveWithEncoder,
                         testing::Values(EncoderCase{"image/png", "\x89PNG"},
                                         EncoderCase{"image/bmp", "BM"},
                                         EncoderCase{"image/tiff", std::string("II*\0", 4)}),
                         [](const testing::TestParamInfo<EncoderCase>& param) {
                             return std::string(param.param.mime + 6);
                         });

TEST(SaveImageFile, PngRoundTrip_IsExactForColourAndGrey) {
    TempFolder folder;
    const SaveOptions png{"image/png"};
    for (auto& original : {ColourPattern(37, 23), GreyPattern(37, 23)}) {
        ASSERT_TRUE(SaveImageFile(*original, folder / "trip.png", png));
        std::unique_ptr<ImageBitmap> back;
        const IoResult loaded = LoadImageFile(back, folder / "trip.png");
        ASSERT_TRUE(loaded) << loaded.message;
        ExpectSamePixels(*original, *back);
        EXPECT_EQ(back->Palette(), original->Palette());
    }
}

TEST(SaveImageFile, PaletteImageRoundTrip_KeepsIndicesAndPalette) {
    TempFolder folder;
    auto original = GreyPattern(16, 4);
    BitmapPalette palette;
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.entries.push_back(0xFF000000u | (i << 16) | ((255 - i) << 8) | (i / 2));
    }
    original->SetPalette(palette);
    ASSERT_TRUE(SaveImageFile(*original, folder / "palette.png", SaveOptions{"image/png"}));
    std::unique_ptr<ImageBitmap> back;
    ASSERT_TRUE(LoadImageFile(back, folder / "palette.png"));
    ExpectSamePixels(*original, *back);
    EXPECT_EQ(back->Palette().entries, palette.entries);
}

TEST(SaveImageFile, TiffOfAShortPalette_HoldsOnlyItsColoursAndBlack) {
    TempFolder folder;
    auto original = ImageBitmap::Create(16, 4, PixelFormat8bppIndexed);
    for (std::uint32_t y = 0; y < 4; ++y) {
        for (std::uint32_t x = 0; x < 16; ++x) {
            original->Row(y)[x] = static_cast<std::uint8_t>((x + y) % 2);
        }
    }
    const std::vector<std::uint32_t> colours = {0xFF2040C0u, 0xFFE0D010u};
    original->SetPalette(BitmapPalette{0, colours});
    LeaveNoise(0xAB);
    ASSERT_TRUE(SaveImageFile(*original, folder / "first.tif"));
    LeaveNoise(0x5C);
    ASSERT_TRUE(SaveImageFile(*original, folder / "second.tif"));
    EXPECT_TRUE(ReadBytes(folder / "first.tif") == ReadBytes(folder / "second.tif"))
        << "two saves of one image differ";

    std::unique_ptr<ImageBitmap> back;
    ASSERT_TRUE(LoadImageFile(back, folder / "first.tif"));
    ExpectSamePixels(*original, *back);
    std::vector<std::uint32_t> expected(256, 0xFF000000u);
    std::copy(colours.begin(), colours.end(), expected.begin());
    EXPECT_EQ(back->Palette().entries, expected);
}

TEST(SaveImageFile, Quality_ChangesTheJpegEncoding) {
    TempFolder folder;
    auto image = ColourPattern(128, 128);
    ASSERT_TRUE(SaveImageFile(*image, folder / "low.jpg", SaveOptions{"image/jpeg", 5}));
    ASSERT_TRUE(SaveImageFile(*image, folder / "high.jpg", SaveOptions{"image/jpeg", 95}));
    EXPECT_LT(ReadBytes(folder / "low.jpg").size() * 2, ReadBytes(folder / "high.jpg").size());
    const IoResult bad = SaveImageFile(*image, folder / "bad.jpg", SaveOptions{"image/jpeg", 101});
    EXPECT_FALSE(bad);
    EXPECT_EQ(bad.message, "quality 101 out of range 0 to 100");
}

TEST(SaveImageFile, UnknownMime_FailsWithoutTouchingTheFile) {
    TempFolder folder;
    WriteBytes(folder / "keep.xyz", "old contents");
    const IoResult result =
        SaveImageFile(*ColourPattern(4, 4), folder / "keep.xyz", SaveOptions{"image/xyz"});
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message, "cannot write " + (folder / "keep.xyz").string() +
                                  ": no encoder for image/xyz on this system");
    EXPECT_EQ(ReadBytes(folder / "keep.xyz"), "old contents");
}

TEST(SaveImageFile, EncoderFailure_LeavesOldFileIntactAndNoTemporary) {
    // The JPEG encoder refuses rows longer than 65500 pixels: a failure root cannot bypass.
    TempFolder folder;
    WriteBytes(folder / "photo.jpg", "the old photograph");
    const IoResult result = SaveImageFile(*ColourPattern(65501, 1), folder / "photo.jpg");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message.rfind("the image/jpeg encoder cannot write this image (", 0), 0u)
        << result.message;
    EXPECT_EQ(ReadBytes(folder / "photo.jpg"), "the old photograph");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST(SaveImageFile, ReadOnlyFolder_FailsAndLeavesOldFileIntact) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "folder permissions do not stop root";
    }
    TempFolder folder;
    WriteBytes(folder / "photo.jpg", "the old photograph");
    std::filesystem::permissions(
        folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const IoResult result = SaveImageFile(*ColourPattern(8, 8), folder / "photo.jpg");
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message, "cannot write to " + folder.Path().string() + "/: permission denied");
    EXPECT_EQ(ReadBytes(folder / "photo.jpg"), "the old photograph");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST(SaveImageFile, ParentIsAFile_FailsWithReason) {
    TempFolder folder;
    WriteBytes(folder / "notes.txt", "text");
    const IoResult result = SaveImageFile(*ColourPattern(8, 8), folder / "notes.txt" / "out.jpg");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message,
              "cannot write to " + (folder / "notes.txt").string() + "/: not a folder");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"notes.txt"});
}

TEST(SaveImageFile, MissingFolder_FailsWithReason) {
    TempFolder folder;
    const IoResult result = SaveImageFile(*ColourPattern(8, 8), folder / "none" / "out.jpg");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message,
              "cannot write to " + (folder / "none").string() + "/: folder not found");
}

TEST(SaveImageFile, IntoProc_Fails) {
    const IoResult result = SaveImageFile(*ColourPattern(8, 8), "/proc/quarvel-test.jpg");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message.rfind("cannot write to /proc/: ", 0), 0u) << result.message;
}

TEST(SaveImageFile, TargetIsAFolder_Fails) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "x.jpg");
    const IoResult result = SaveImageFile(*ColourPattern(8, 8), folder / "x.jpg");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message,
              "cannot write to " + (folder / "x.jpg").string() + ": it is a folder");
}

TEST(FindEncoderByMime, ComparesExactlyAndCaseSensitively) {
    EncoderId encoder;
    const int index = FindEncoderByMime("image/jpeg", &encoder);
    ASSERT_GE(index, 0);
    EXPECT_EQ(QImageWriter::supportedMimeTypes().at(index), QByteArray("image/jpeg"));
    EXPECT_TRUE(encoder.format == "jpeg" || encoder.format == "jpg") << encoder.format;
    EncoderId untouched{"unchanged"};
    EXPECT_EQ(FindEncoderByMime("IMAGE/JPEG", &untouched), -1);
    EXPECT_EQ(FindEncoderByMime("image/jpeg ", &untouched), -1);
    EXPECT_EQ(FindEncoderByMime("image/jpe", &untouched), -1);
    EXPECT_EQ(untouched.format, "unchanged");
    EXPECT_EQ(FindEncoderByMime("image/png", nullptr),
              QImageWriter::supportedMimeTypes().indexOf(QByteArray("image/png")));
}

}  // namespace
}  // namespace quarvel
