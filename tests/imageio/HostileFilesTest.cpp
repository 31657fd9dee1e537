#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "imageio/HostileCorpus.h"
#include "imageio/ImageFile.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::CorpusFile;
using test::Expect;
using test::TempFolder;

/// How each class of the corpus ended, printed when the suite ends.
std::map<std::string, std::map<std::string, int>>& Tally() {
    static std::map<std::string, std::map<std::string, int>> tally;
    return tally;
}

class HostileFile : public testing::TestWithParam<CorpusFile> {
public:
    static void TearDownTestSuite() {
        int total = 0;
        std::printf("Hostile corpus: files tried by class and outcome\n");
        for (const auto& [group, outcomes] : Tally()) {
            for (const auto& [outcome, count] : outcomes) {
                std::printf("  %-14s %-22s %d\n", group.c_str(), outcome.c_str(), count);
                total += count;
            }
        }
        std::printf("  %d files in all\n", total);
    }
};

TEST_P(HostileFile, LoadsOrIsRefusedAsExpectedAndChangesNothing) {
    const CorpusFile& file = GetParam();
    TempFolder folder;
    test::MakeCorpusEntry(folder.Path(), file);
    const auto before = test::FolderContents(folder.Path());

    auto image = ImageBitmap::Create(2, 2, PixelFormat32bppRGB);
    const IoResult result = LoadImageFile(image, folder / file.name);

    // The load reads and nothing else: every file is as it was, and nothing was added.
    EXPECT_EQ(test::FolderContents(folder.Path()), before);
    EXPECT_EQ(result.ok, image != nullptr);
    if (result) {
        EXPECT_EQ(result.message, "");
        EXPECT_GT(image->Width(), 0u);
        EXPECT_GT(image->Height(), 0u);
    } else {
        EXPECT_NE(result.message, "");
    }
    Tally()[file.group][!result                  ? "refused"
                        : result.warning.empty() ? "loaded"
                                                 : "loaded, warned"]++;

    switch (file.expect) {
        case Expect::Loads:
            ASSERT_TRUE(result) << result.message;
            EXPECT_EQ(result.warning, "");
            if (file.width != 0) {
                EXPECT_EQ(image->Width(), file.width);
                EXPECT_EQ(image->Height(), file.height);
            }
            break;
        case Expect::LoadsDamaged:
            ASSERT_TRUE(result) << result.message;
            EXPECT_NE(result.warning, "");
            break;
        case Expect::Refused:
            EXPECT_FALSE(result);
            EXPECT_EQ(result.message.rfind(file.reason, 0), 0u) << result.message;
            break;
        case Expect::Damaged:
            EXPECT_TRUE(!result || !result.warning.empty()) << "loaded without a warning";
            break;
        case Expect::Either:
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileFile, testing::ValuesIn(test::HostileCorpus()),
                         [](const testing::TestParamInfo<CorpusFile>& param) {
                             return param.param.label;
                         });

/// The pixels of the first frame or page, where a file holds several.
TEST(HostileFile, AnimatedGifAndMultiPageTiff_GiveTheirFirstFrame) {
    TempFolder folder;
    test::WriteBytes(folder / "a.gif", test::AnimatedGif(8, 6, {1, 2, 3}));
    test::WriteBytes(folder / "a.tif", test::GreyTiff(3, 8, 6, true));
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, folder / "a.gif"));
    ASSERT_EQ(image->Format(), PixelFormat32bppRGB);
    const std::uint8_t* pixel = image->Row(3) + 4 * 4;
    EXPECT_EQ((std::vector<int>{pixel[2], pixel[1], pixel[0]}), (std::vector<int>{255, 0, 0}));

    ASSERT_TRUE(LoadImageFile(image, folder / "a.tif"));
    ASSERT_EQ(image->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(image->Palette().entries[image->Row(2)[5]] & 0xFF, 40u);
}

TEST(HostileFile, CmykJpeg_LoadsAsAColourImage) {
    TempFolder folder;
    test::WriteBytes(folder / "cmyk.jpg", test::CmykJpeg(16, 8, {0, 0, 0, 0}));
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageFile(image, folder / "cmyk.jpg");
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(result.warning, "");
    EXPECT_EQ(image->Format(), PixelFormat32bppRGB);
    EXPECT_EQ(image->Width(), 16u);
    EXPECT_EQ(image->Height(), 8u);
}

TEST(HostileFile, ScanLimit_CountsEveryScanUpToTheLimit) {
    // 100 scans are the most a JPEG may have; the 101st is refused before decoding.
    const std::string within = test::JpegWithScans(100);
    const std::string beyond = test::JpegWithScans(101);
    std::unique_ptr<ImageBitmap> image;
    EXPECT_NE(LoadImageData(image, within.data(), within.size())
                  .message.rfind("a progressive JPEG of more", 0),
              0u);
    EXPECT_EQ(LoadImageData(image, beyond.data(), beyond.size()).message,
              "a progressive JPEG of more than 100 scans, too many to decode");
}

TEST(HostileFile, BytesInMemory_AreJudgedLikeAFile) {
    const std::string cut = test::Cut(test::Encode(test::Photo(64, 64), "bmp"), 0.6);
    std::unique_ptr<ImageBitmap> image;
    const IoResult result = LoadImageData(image, cut.data(), cut.size());
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(result.warning.rfind("the file is cut short: it holds ", 0), 0u) << result.warning;
    EXPECT_EQ(LoadImageData(image, cut.data(), 0).message, "empty file");
    const std::string huge = test::PngClaiming(70000, 70000);
    EXPECT_EQ(LoadImageData(image, huge.data(), huge.size()).message.rfind("too large: ", 0), 0u);
}

TEST(MemoryBudget, IsTheSetValueOrHalfThePhysicalMemory) {
    const std::uint64_t previous = SetMemoryBudget(0);
    EXPECT_EQ(MemoryBudget(), PhysicalMemoryBytes() / 2);
    EXPECT_EQ(SetMemoryBudget(std::uint64_t{3} << 20), 0u);
    EXPECT_EQ(MemoryBudget(), std::uint64_t{3} << 20);
    // A load that names no limit takes the budget, for opening in the program unless it says
    // otherwise.
    const std::string png = test::Encode(test::Photo(64, 64), "png");
    const std::uint64_t needed = EstimatedImageMemory(ImageWork::Document, 64, 64, false);
    std::unique_ptr<ImageBitmap> image;
    SetMemoryBudget(needed);
    EXPECT_TRUE(LoadImageData(image, png.data(), png.size()));
    SetMemoryBudget(needed - 1);
    EXPECT_EQ(LoadImageData(image, png.data(), png.size()).message,
              "too large: 64 x 64 pixels needs " + MemorySizeText(needed) + ", limit " +
                  MemorySizeText(needed - 1));
    LoadLimits spectrum;
    spectrum.work = ImageWork::Spectrum;
    EXPECT_LT(EstimatedImageMemory(ImageWork::Spectrum, 64, 64, false), needed);
    EXPECT_TRUE(LoadImageData(image, png.data(), png.size(), spectrum));
    SetMemoryBudget(previous);
}

TEST(MemoryBudget, EstimateGrowsWithTheImageAndSaturates) {
    for (const ImageWork work :
         {ImageWork::Spectrum, ImageWork::Filter, ImageWork::FilterWithSpectra, ImageWork::Batch,
          ImageWork::Document, ImageWork::HistoryState}) {
        const std::uint64_t grey = EstimatedImageMemory(work, 3000, 2000, true);
        EXPECT_LT(grey, EstimatedImageMemory(work, 3000, 2000, false));
        // Wider samples need wider bitmaps and float planes of channel values.
        const auto deep = [work](bool isGrey, SampleDepth depth) {
            return EstimatedImageMemory(work, 3000, 2000, isGrey, TransformSize::PowerOfTwo, depth);
        };
        EXPECT_LT(deep(true, SampleDepth::Bits16), deep(true, SampleDepth::Float32));
        // (What one more history state adds may shrink: the open document holds more already.)
        if (work != ImageWork::HistoryState) {
            EXPECT_LT(grey, deep(true, SampleDepth::Bits16));
            EXPECT_LT(deep(false, SampleDepth::Bits8), deep(false, SampleDepth::Bits16));
        }
        EXPECT_LT(EstimatedImageMemory(work, 1500, 1000, true), grey);
        EXPECT_EQ(EstimatedImageMemory(work, std::uint64_t{1} << 40, std::uint64_t{1} << 40, false),
                  UINT64_MAX);
    }
}

struct SizeText {
    const char* text;
    std::optional<std::uint64_t> bytes;
};

TEST(MemoryBudget, SizesAreReadWithBinaryUnits) {
    const SizeText cases[] = {
        {"1048576", 1048576},
        {"512M", 512ull << 20},
        {"4g", 4ull << 30},
        {"3GiB", 3ull << 30},
        {"2KB", 2048},
        {"1T", 1ull << 40},
        {"0", 0},
        {"", std::nullopt},
        {"M", std::nullopt},
        {"-1G", std::nullopt},
        {"1.5G", std::nullopt},
        {"4 G", std::nullopt},
        {"4X", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"16777216T", std::nullopt},
    };
    for (const SizeText& size : cases) {
        EXPECT_EQ(ParseMemorySize(size.text), size.bytes) << size.text;
    }
}

}  // namespace
}  // namespace quarvel
