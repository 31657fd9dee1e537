#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <cstring>

#include "imageio/ImageFile.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::TestImage;
using test::WriteBytes;

/// What loading one of the test images must give.
struct LoadCase {
    const char* file;
    PixelFormat format;
    std::uint32_t width;
    std::uint32_t height;
    bool greyRamp;  ///< palette expected to be the 256-level grey ramp
};

std::string CaseName(const testing::TestParamInfo<LoadCase>& info) {
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

class LoadTestImage : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTestImage, GivesEngineFormatAndSize) {
    const LoadCase& expected = GetParam();
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, TestImage(expected.file));
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(result.warning, "");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Format(), expected.format);
    EXPECT_EQ(image->Width(), expected.width);
    EXPECT_EQ(image->Height(), expected.height);
    if (expected.format == PixelFormat32bppRGB) {
        EXPECT_TRUE(image->Palette().entries.empty());
    } else if (expected.greyRamp) {
        EXPECT_EQ(image->Palette(), BitmapPalette::GreyRamp());
    }
}

INSTANTIATE_TEST_SUITE_P(
    TestImages, LoadTestImage,
    testing::Values(LoadCase{"astronaut.png", PixelFormat32bppRGB, 512, 512, false},
                    LoadCase{"coffee.png", PixelFormat32bppRGB, 600, 400, false},
                    LoadCase{"camera.png", PixelFormat8bppIndexed, 512, 512, true},
                    LoadCase{"coins.png", PixelFormat8bppIndexed, 384, 303, true},
                    LoadCase{"rocket.jpg", PixelFormat32bppRGB, 640, 427, false},
                    LoadCase{"palette_color.png", PixelFormat8bppIndexed, 10, 10, false},
                    LoadCase{"palette_gray.png", PixelFormat8bppIndexed, 10, 10, false},
                    LoadCase{"horse.png", PixelFormat32bppRGB, 400, 328, false},
                    LoadCase{"checker_bilevel.png", PixelFormat8bppIndexed, 10, 10, false},
                    LoadCase{"chessboard_GRAY_U16.tif", PixelFormat16bppGrayScale, 200, 200, false},
                    LoadCase{"no_time_for_that_tiny.gif", PixelFormat32bppRGB, 14, 25, false}),
    CaseName);

/// What refusing a file must say.
struct RefusalCase {
    const char* name;
    const char* contents;  ///< written to a file of that name; null for no file
    const char* reason;
};

class RefuseFile : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefuseFile, SaysWhyAndLeavesSlotEmpty) {
    const RefusalCase& refusal = GetParam();
    TempFolder folder;
    if (refusal.contents != nullptr) {
        WriteBytes(folder / refusal.name, refusal.contents);
    }
    auto image = ImageBitmap::Create(4, 4, PixelFormat32bppRGB);
    const IoResult result = LoadImageFile(image, folder / refusal.name);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message, refusal.reason);
    EXPECT_EQ(image, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BadFiles, RefuseFile,
                         testing::Values(RefusalCase{"text.png",
                                                     "This is a text file, not a picture.\n",
                                                     "not an image file or unsupported format"},
                                         RefusalCase{"missing.png", nullptr, "file not found"},
                                         RefusalCase{"empty.png", "", "empty file"}),
                         [](const testing::TestParamInfo<RefusalCase>& param) {
                             return std::string(param.param.contents == nullptr ? "Missing"
                                                : *param.param.contents == 0    ? "Empty"
                                                                                : "Text");
                         });

TEST(LoadImageFile, TruncatedHeader_IsRefusedAsDamaged) {
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, TestImage("truncated.jpg"));
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message.rfind("damaged or truncated image data", 0), 0u) << result.message;
    EXPECT_EQ(image, nullptr);
}

TEST(LoadImageFile, JpegCutInItsPixelData_LoadsWithWarning) {
    TempFolder folder;
    const std::string whole = ReadBytes(TestImage("rocket.jpg"));
    WriteBytes(folder / "cut.jpg", whole.substr(0, whole.size() / 2));
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "cut.jpg");
    ASSERT_TRUE(result) << result.message;
    EXPECT_NE(result.warning, "");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Width(), 640u);
    EXPECT_EQ(image->Height(), 427u);
}

TEST(LoadImageFile, PngCutShort_IsRefusedAlthoughThePartialImageCameBack) {
    TempFolder folder;
    const std::string whole = ReadBytes(TestImage("coffee.png"));
    WriteBytes(folder / "cut.png", whole.substr(0, whole.size() / 2));
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "cut.png");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message.rfind("damaged or truncated image data", 0), 0u) << result.message;
    EXPECT_EQ(image, nullptr);
}

TEST(LoadImageFile, Folder_IsRefusedAsNotARegularFile) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "x.png");
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "x.png");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message, "not a regular file: it is a folder");
}

TEST(LoadImageFile, FifoAndDevice_AreRefusedWithoutWaiting) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe.png").c_str(), 0600), 0);
    std::unique_ptr<ImageBitmap> image;
    EXPECT_EQ(LoadImageFile(image, folder / "pipe.png").message,
              "not a regular file: it is a pipe");
    EXPECT_EQ(LoadImageFile(image, "/dev/zero").message, "not a regular file: it is a device");
    // A link is judged by what it leads to.
    std::filesystem::create_symlink("/dev/null", folder / "null.png");
    EXPECT_EQ(LoadImageFile(image, folder / "null.png").message,
              "not a regular file: it is a device");
}

TEST(LoadImageFile, UnreadableFile_SaysPermissionDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "file permissions do not stop root";
    }
    TempFolder folder;
    std::filesystem::copy_file(TestImage("camera.png"), folder / "locked.png");
    std::filesystem::permissions(folder / "locked.png", std::filesystem::perms::none);
    std::unique_ptr<ImageBitmap> image;
    EXPECT_EQ(LoadImageFile(image, folder / "locked.png").message, "permission denied");
}

TEST(LoadImageFile, PaletteImage_KeepsFilePaletteAndIndices) {
    const QImage reference(QString::fromStdString(TestImage("palette_color.png").string()));
    ASSERT_EQ(reference.format(), QImage::Format_Indexed8);
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("palette_color.png")));
    const QList<QRgb> table = reference.colorTable();
    EXPECT_EQ(image->Palette().entries, std::vector<std::uint32_t>(table.begin(), table.end()));
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            ASSERT_EQ(image->Row(static_cast<std::uint32_t>(y))[x], reference.pixelIndex(x, y));
        }
    }
}

TEST(LoadImageFile, BilevelImage_IndexIsZeroOrOneWithItsTwoColourPalette) {
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("checker_bilevel.png")));
    ASSERT_EQ(image->Palette().entries.size(), 2u);
    std::set<std::uint32_t> colours;
    std::set<int> indices;
    for (std::uint32_t y = 0; y < image->Height(); ++y) {
        for (std::uint32_t x = 0; x < image->Width(); ++x) {
            indices.insert(image->Row(y)[x]);
            colours.insert(image->Palette().entries[image->Row(y)[x]]);
        }
    }
    EXPECT_EQ(indices, (std::set<int>{0, 1}));
    EXPECT_EQ(colours, (std::set<std::uint32_t>{0xFF000000u, 0xFFFFFFFFu}));
}

TEST(LoadImageFile, SixteenBitGrey_KeepsEverySample) {
    QImageReader reader(QString::fromStdString(TestImage("chessboard_GRAY_U16.tif").string()));
    const QImage reference = reader.read();
    ASSERT_EQ(reference.format(), QImage::Format_Grayscale16);
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("chessboard_GRAY_U16.tif")));
    ASSERT_EQ(image->Format(), PixelFormat16bppGrayScale);
    for (int y = 0; y < reference.height(); ++y) {
        ASSERT_EQ(std::memcmp(image->Row(static_cast<std::uint32_t>(y)), reference.constScanLine(y),
                              2 * static_cast<std::size_t>(reference.width())),
                  0);
    }
}

TEST(LoadImageFile, AlphaIsIgnoredNotBlended) {
    const QImage reference(QString::fromStdString(TestImage("horse.png").string()));
    ASSERT_EQ(reference.format(), QImage::Format_ARGB32);
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("horse.png")));
    int translucent = 0;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            const QRgb pixel = reference.pixel(x, y);
            translucent += qAlpha(pixel) != 255 ? 1 : 0;
            const std::uint8_t* out = image->Row(static_cast<std::uint32_t>(y)) + 4 * x;
            ASSERT_EQ(out[0], qBlue(pixel));
            ASSERT_EQ(out[1], qGreen(pixel));
            ASSERT_EQ(out[2], qRed(pixel));
        }
    }
    EXPECT_GT(translucent, 0);
}

TEST(LoadImageFile, AnimatedGif_GivesFirstFrame) {
    QImageReader reader(QString::fromStdString(TestImage("no_time_for_that_tiny.gif").string()));
    const QImage first = reader.read().convertToFormat(QImage::Format_RGB32);
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("no_time_for_that_tiny.gif")));
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            const QRgb pixel = first.pixel(x, y);
            const std::uint8_t* out = image->Row(static_cast<std::uint32_t>(y)) + 4 * x;
            ASSERT_EQ(out[2], qRed(pixel));
            ASSERT_EQ(out[1], qGreen(pixel));
            ASSERT_EQ(out[0], qBlue(pixel));
        }
    }
}

/// A JPEG of width x height whose left half is black and right half white, with an Exif block
/// giving the orientation tag.
QByteArray JpegWithOrientation(int width, int height, std::uint16_t orientation) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixel(x, y, x < width / 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(picture);
    // APP1 "Exif": a little-endian TIFF header and one IFD holding tag 0x0112 (SHORT, 1 value).
    const unsigned char exif[] = {'E',
                                  'x',
                                  'i',
                                  'f',
                                  0,
                                  0,
                                  'I',
                                  'I',
                                  42,
                                  0,
                                  8,
                                  0,
                                  0,
                                  0,  // header, IFD at offset 8
                                  1,
                                  0,  // one entry
                                  0x12,
                                  0x01,
                                  3,
                                  0,
                                  1,
                                  0,
                                  0,
                                  0,  // orientation, SHORT, count 1
                                  static_cast<unsigned char>(orientation),
                                  0,
                                  0,
                                  0,  // value
                                  0,
                                  0,
                                  0,
                                  0};  // no next IFD
    QByteArray segment("\xFF\xE1", 2);
    const int length = static_cast<int>(sizeof(exif)) + 2;
    segment.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
    segment.append(reinterpret_cast<const char*>(exif), sizeof(exif));
    return jpeg.insert(2, segment);
}

TEST(LoadImageFile, ExifOrientation_IsApplied) {
    TempFolder folder;
    const QByteArray jpeg = JpegWithOrientation(40, 20, 6);  // 6: turn 90 degrees clockwise
    WriteBytes(folder / "turned.jpg", jpeg.toStdString());
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, folder / "turned.jpg"));
    ASSERT_EQ(image->Width(), 20u);
    ASSERT_EQ(image->Height(), 40u);
    // Turned clockwise, the black left half is now the top half.
    EXPECT_LT(image->Row(5)[4 * 10], 40);
    EXPECT_GT(image->Row(34)[4 * 10], 215);
}

std::uint32_t Crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

/// A valid tiny PNG whose header has been rewritten to claim width x height pixels.
QByteArray PngClaimingSize(std::uint32_t width, std::uint32_t height) {
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(qRgb(10, 20, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(tiny);
    // Signature (8), IHDR length (4), "IHDR" at 12, width at 16, height at 20, CRC at 29.
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = Crc32(png.mid(12, 17));
    for (int i = 0; i < 4; ++i) {
        png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    }
    return png;
}

TEST(LoadImageFile, HeaderClaimingHugeSize_IsRefusedBeforeDecoding) {
    TempFolder folder;
    WriteBytes(folder / "huge.png", PngClaimingSize(70000, 70000).toStdString());
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "huge.png");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message.rfind("too large: 70000 x 70000 pixels needs a transform of 131072 x "
                                   "131072 (at most 65536 on a side) and ",
                                   0),
              0u)
        << result.message;
}

TEST(LoadImageFile, ImageOverMemoryLimit_IsRefusedWithNeedAndLimit) {
    std::unique_ptr<ImageBitmap> image;
    // coffee.png is 600 x 400 colour; its limit is what opening it in the program needs.
    const std::uint64_t needed = EstimatedImageMemory(ImageWork::Document, 600, 400, false);
    const IoResult result = LoadImageFile(image, TestImage("coffee.png"), LoadLimits{1024 * 1024});
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message,
              "too large: 600 x 400 pixels needs " + MemorySizeText(needed) + ", limit 1 MB");
    EXPECT_FALSE(LoadImageFile(image, TestImage("coffee.png"), LoadLimits{needed - 1}));
    EXPECT_TRUE(LoadImageFile(image, TestImage("coffee.png"), LoadLimits{needed}));
    // The batch needs less.
    const std::uint64_t batch = EstimatedImageMemory(ImageWork::Batch, 600, 400, false);
    EXPECT_TRUE(LoadImageFile(image, TestImage("coffee.png"), LoadLimits{batch, ImageWork::Batch}));
}

TEST(LoadImageFile, LargePhotograph_IsNotStoppedByQtsDefaultLimit) {
    // 12000 x 8000 RGB needs 384 MB decoded, over Qt's default allocation limit of 256 MB.
    TempFolder folder;
    QImage big(12000, 8000, QImage::Format_RGB32);
    ASSERT_FALSE(big.isNull());
    big.fill(qRgb(90, 120, 150));
    ASSERT_TRUE(
        QImageWriter(QString::fromStdString((folder / "big.jpg").string()), "jpeg").write(big));
    big = QImage();
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "big.jpg", LoadLimits{16ull << 30});
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(image->Width(), 12000u);
    EXPECT_EQ(image->Height(), 8000u);
}

}  // namespace
}  // namespace quarvel
