#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"
#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "history/CFFTProc.h"
#include "imageio/ImageFile.h"

namespace quarvel {
namespace {

using namespace test;

/// The image at path, loaded as the program loads it.
std::unique_ptr<ImageBitmap> Load(const fs::path& path) {
    std::unique_ptr<ImageBitmap> image;
    const IoResult loaded = LoadImageFile(image, path);
    EXPECT_TRUE(loaded) << path << ": " << loaded.message;
    return image;
}

/// How many bytes of one colour component (0 blue, 1 green, 2 red) differ between two
/// 32-bit images of the same size.
std::size_t ComponentDifferences(const ImageBitmap& a, const ImageBitmap& b, int component) {
    std::size_t differences = 0;
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        for (std::uint32_t x = 0; x < a.Width(); ++x) {
            differences += a.Row(y)[4 * x + component] != b.Row(y)[4 * x + component];
        }
    }
    return differences;
}

bool SamePixels(const ImageBitmap& a, const ImageBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) {
        return false;
    }
    const std::size_t rowBytes = a.Width() * BytesPerPixel(a.Format());
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        for (std::size_t i = 0; i < rowBytes; ++i) {
            // The fourth byte of a 32-bit pixel carries nothing.
            if ((a.Format() != PixelFormat32bppRGB || i % 4 != 3) && a.Row(y)[i] != b.Row(y)[i]) {
                return false;
            }
        }
    }
    return true;
}

class FilterCommand : public TempFolderTest {};

TEST_F(FilterCommand, NothingCleared_GivesBackTheImageExactly) {
    for (const char* name : {"camera.png", "astronaut.png"}) {
        const Outcome outcome = Run({"filter", TestImage(name).string(), "--clear", "0,0,0,0",
                                     "--format", "png", "-o", "out.png"});
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.out, "wrote out.png\n");
        const auto source = Load(TestImage(name));
        const auto result = Load(folder_ / "out.png");
        ASSERT_TRUE(source && result);
        EXPECT_TRUE(SamePixels(*source, *result)) << name;
    }
}

// An image whose sides are not powers of two comes back byte for byte only at its own size;
// its spectra are written at that size too, and the batch takes the option alike.
TEST_F(FilterCommand, ExactSize_GivesBackAnOddSizedImageExactlyWhereThePowerOfTwoRoadCannot) {
    const auto coffee = Load(TestImage("coffee.png"));
    ASSERT_TRUE(coffee);
    const auto odd = CloneArea(*coffee, 3, 5, 301, 199, coffee->Format());
    ASSERT_TRUE(odd);
    const fs::path source = folder_ / "odd.png";
    SaveOptions png;
    png.mime = "image/png";
    ASSERT_TRUE(SaveImageFile(*odd, source, png));

    for (const bool exact : {false, true}) {
        std::vector<std::string> arguments = {"filter",     source.string(), "--clear", "0,0,0,0",
                                              "--spectrum", "--format",      "png",     "-o",
                                              "out.png"};
        if (exact) {
            arguments.push_back("--exact-size");
        }
        const Outcome outcome = Run(arguments);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        const auto result = Load(folder_ / "out.png");
        ASSERT_TRUE(result);
        EXPECT_EQ(SamePixels(*Load(source), *result), exact);
        const auto power = Load(folder_ / "out_power_red.png");
        ASSERT_TRUE(power);
        EXPECT_EQ(power->Width(), exact ? 301u : 512u);
        EXPECT_EQ(power->Height(), exact ? 199u : 256u);
    }

    fs::create_directory(folder_ / "batch");
    fs::copy_file(source, folder_ / "batch" / "b.png");
    const Outcome batch =
        Run({"batch", (folder_ / "batch").string(), "--clear", "0,0,0,0", "--exact-size"});
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    const auto filtered = Load(folder_ / "batch" / "b_flt.png");
    ASSERT_TRUE(filtered);
    EXPECT_TRUE(SamePixels(*Load(source), *filtered));
}

double GreyPsnr(const ImageBitmap& a, const ImageBitmap& b) {
    double sum = 0.0;
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        for (std::uint32_t x = 0; x < a.Width(); ++x) {
            const double d = static_cast<double>(a.Row(y)[x]) - static_cast<double>(b.Row(y)[x]);
            sum += d * d;
        }
    }
    return 10.0 * std::log10(255.0 * 255.0 * a.Width() * a.Height() / std::max(sum, 1e-9));
}

// Stripes of period 6 at 30 degrees are found, reported and removed; the clean photograph is
// reported clean and comes back exactly.
TEST_F(FilterCommand, AutoNotch_ReportsAndRemovesStripesAndLeavesACleanImageAlone) {
    const auto camera = Load(TestImage("camera.png"));
    ASSERT_TRUE(camera);
    const auto clean = CloneArea(*camera, 0, 0, 301, 211, camera->Format());
    auto noisy = CloneArea(*camera, 0, 0, 301, 211, camera->Format());
    ASSERT_TRUE(clean && noisy);
    for (std::uint32_t y = 0; y < noisy->Height(); ++y) {
        for (std::uint32_t x = 0; x < noisy->Width(); ++x) {
            const double phase = 2.0 * 3.14159265358979 * (x * 0.8660254 - y * 0.5) / 6.0;
            const long value = std::lround(noisy->Row(y)[x] + 20.0 * std::cos(phase));
            noisy->Row(y)[x] = static_cast<std::uint8_t>(std::clamp(value, 0L, 255L));
        }
    }
    SaveOptions png;
    png.mime = "image/png";
    ASSERT_TRUE(SaveImageFile(*clean, folder_ / "clean.png", png));
    ASSERT_TRUE(SaveImageFile(*noisy, folder_ / "noisy.png", png));

    const Outcome outcome = Run({"filter", "noisy.png", "--auto-notch", "--report", "--exact-size",
                                 "--format", "png", "-o", "out.png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("noisy.png: grey: spike at "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("period 6.00 px, angle 30.0 degrees"), std::string::npos)
        << outcome.out;
    const auto result = Load(folder_ / "out.png");
    ASSERT_TRUE(result);
    EXPECT_LT(GreyPsnr(*clean, *noisy), 26.0);
    EXPECT_GT(GreyPsnr(*clean, *result), 36.0) << outcome.out;

    const Outcome untouched = Run({"filter", "clean.png", "--auto-notch=1.5", "--report",
                                   "--exact-size", "--format", "png", "-o", "same.png"});
    ASSERT_EQ(untouched.exitCode, 0) << untouched.err;
    EXPECT_EQ(untouched.out, "clean.png: grey: no periodic noise found\nwrote same.png\n");
    const auto same = Load(folder_ / "same.png");
    ASSERT_TRUE(same);
    EXPECT_TRUE(SamePixels(*clean, *same));
}

// A 16-bit colour image keeps its depth through the channel-by-channel filtering: unedited at
// its own size every sample comes back within 1; a JPEG gets 8 bits and a warning saying so.
TEST_F(FilterCommand, SixteenBitColour_ComesBackAtSixteenBitsAndAJpegSaysItHasEight) {
    auto deep = ImageBitmap::Create(301, 199, PixelFormat48bppRGB);
    for (std::uint32_t y = 0; y < 199; ++y) {
        for (std::uint32_t i = 0; i < 3 * 301; ++i) {
            const auto sample = static_cast<std::uint16_t>((i * 211 + y * 977 + i * y) % 65536);
            std::memcpy(deep->Row(y) + 2 * i, &sample, 2);
        }
    }
    ASSERT_TRUE(SaveImageFile(*deep, folder_ / "deep.png"));
    const Outcome outcome =
        Run({"filter", "deep.png", "--clear", "0,0,0,0", "--exact-size", "-o", "out.png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const auto result = Load(folder_ / "out.png");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->Format(), PixelFormat48bppRGB);
    int largest = 0;
    for (std::uint32_t y = 0; y < 199; ++y) {
        for (std::uint32_t i = 0; i < 3 * 301; ++i) {
            std::uint16_t a;
            std::uint16_t b;
            std::memcpy(&a, deep->Row(y) + 2 * i, 2);
            std::memcpy(&b, result->Row(y) + 2 * i, 2);
            largest = std::max(largest, std::abs(a - b));
        }
    }
    EXPECT_LE(largest, 1);

    const Outcome jpeg = Run({"filter", "deep.png", "--lowpass", "50", "-o", "out.jpg"});
    ASSERT_EQ(jpeg.exitCode, 0) << jpeg.err;
    EXPECT_EQ(jpeg.err,
              "fftquarvel-cli: out.jpg: warning: JPEG holds 8 bits a sample: the image of 16-bit "
              "samples was written at 8 bits\n");
}

// --mirror clears each area and its point mirror: the same as giving the mirrored area too,
// with the centre of each road (512 wide: column x mirrors to 512 - x; 301 wide: to 300 - x).
// The areas lie near the centre, where a half-cleared spike changes the 8-bit result.
TEST_F(FilterCommand, Mirror_ClearsTheMirroredAreasOnBothRoadsAndInTheBatch) {
    const auto coffee = Load(TestImage("coffee.png"));
    ASSERT_TRUE(coffee);
    const auto odd = CloneArea(*coffee, 3, 5, 301, 199, coffee->Format());
    ASSERT_TRUE(odd);
    SaveOptions png;
    png.mime = "image/png";
    ASSERT_TRUE(SaveImageFile(*odd, folder_ / "odd.png", png));
    const std::string oddPath = (folder_ / "odd.png").string();

    struct Road {
        std::vector<std::string> edits;     ///< with --mirror
        std::vector<std::string> mirrored;  ///< the mirrors spelt out
    };
    const Road roads[] = {
        {{TestImage("coins.png").string(), "--clear", "240,240,250,245", "--brush", "230,250,3"},
         {"--clear", "262,268,272,273", "--brush", "282,262,3"}},
        {{oddPath, "--exact-size", "--clear", "130,90,140,95", "--brush", "140,80,3"},
         {"--clear", "160,104,170,109", "--brush", "160,118,3"}},
    };
    for (const Road& road : roads) {
        std::vector<std::string> mirror = {"filter", "--mirror", "-o", "mirror.png"};
        mirror.insert(mirror.end(), road.edits.begin(), road.edits.end());
        std::vector<std::string> spelt = {"filter", "-o", "spelt.png"};
        spelt.insert(spelt.end(), road.edits.begin(), road.edits.end());
        spelt.insert(spelt.end(), road.mirrored.begin(), road.mirrored.end());
        for (const auto& arguments : {mirror, spelt}) {
            const Outcome outcome = Run(arguments);
            ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        }
        const auto a = Load(folder_ / "mirror.png");
        const auto b = Load(folder_ / "spelt.png");
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(SamePixels(*a, *b)) << road.edits.front();
    }

    fs::create_directory(folder_ / "batch");
    fs::copy_file(oddPath, folder_ / "batch" / "b.png");
    ASSERT_EQ(Run({"batch", (folder_ / "batch").string(), "--clear", "130,90,140,95", "--mirror",
                   "--exact-size"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"filter", oddPath, "--clear", "130,90,140,95", "--clear", "160,104,170,109",
                   "--exact-size", "-o", "spelt.png"})
                  .exitCode,
              0);
    const auto batched = Load(folder_ / "batch" / "b_flt.png");
    const auto expected = Load(folder_ / "spelt.png");
    ASSERT_TRUE(batched && expected);
    EXPECT_TRUE(SamePixels(*batched, *expected));
}

TEST_F(FilterCommand, OnlyGreenChosen_LeavesRedAndBlueExact) {
    const Outcome outcome =
        Run({"filter", TestImage("astronaut.png").string(), "--lowpass", "10", "--brush",
             "256,256,3", "--channels", "g", "--format", "png", "-o", "green.png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const auto source = Load(TestImage("astronaut.png"));
    const auto result = Load(folder_ / "green.png");
    ASSERT_TRUE(source && result);
    EXPECT_EQ(ComponentDifferences(*source, *result, 2), 0u);
    EXPECT_EQ(ComponentDifferences(*source, *result, 0), 0u);
    // A low-pass at 10 percent blurs the whole green channel.
    EXPECT_GT(ComponentDifferences(*source, *result, 1), 512u * 512u / 2);
}

TEST_F(FilterCommand, ClearedRectangle_ShowsAsOneLevelInTheWrittenSpectrum) {
    const Outcome outcome = Run({"filter", TestImage("coins.png").string(), "--clear",
                                 "10,20,30,25", "--spectrum", "-d", "."});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "wrote ./coins_flt.png\nwrote ./coins_flt_power.png\n");
    EXPECT_EQ(test::FileFormat(folder_ / "coins_flt.png"), "png");
    const auto spectrum = Load(folder_ / "coins_flt_power.png");
    ASSERT_NE(spectrum, nullptr);
    ASSERT_EQ(spectrum->Width(), 512u);
    ASSERT_EQ(spectrum->Height(), 512u);
    // Columns 10 to 30 of rows 20 to 24 were cleared: their magnitude is 0 and their level the
    // one that L = 0 maps to; the row below the rectangle is untouched.
    const std::uint8_t cleared = spectrum->Row(20)[10];
    std::size_t sameAsCleared = 0;
    for (std::uint32_t y = 20; y < 25; ++y) {
        for (std::uint32_t x = 10; x <= 30; ++x) {
            sameAsCleared += spectrum->Row(y)[x] == cleared;
        }
    }
    EXPECT_EQ(sameAsCleared, 21u * 5u);
    std::size_t sameBelow = 0;
    for (std::uint32_t x = 10; x <= 30; ++x) {
        sameBelow += spectrum->Row(25)[x] == cleared;
    }
    EXPECT_LT(sameBelow, 21u);
    EXPECT_EQ(spectrum->Row(256)[256], 255);
}

TEST_F(FilterCommand, ColourChannelsFilteredOneByOne_MatchTheirSpectraHeldTogether) {
    // 600 x 400 pixels, transformed at 1024 x 512: both resamplings take part.
    const Outcome outcome =
        Run({"filter", TestImage("coffee.png").string(), "--bandreject", "10,40", "--degree", "3",
             "--clear", "500,250,520,260", "--channels", "r,b", "--spectrum", "--format", "png",
             "-o", "out.png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    // The same steps on one processing state that holds the spectra of all three channels.
    struct WholeImageProc final : CFFTProc {
        void UpdateViews(int /*erase*/) override {}
    } proc;
    proc.originalImage = Load(TestImage("coffee.png"));
    ASSERT_TRUE(proc.originalImage && proc.StartBareWorkingState());
    proc.filterSettings.degree = 3;
    proc.filterSettings.lowCutOff = 10;
    proc.filterSettings.highCutOff = 40;
    proc.BuildAndApplyFilter(FilterKind::BandReject, true, false, true);
    RectangleList rectangles{};
    rectangles[0] = {500, 250, 520, 260};
    proc.ClearRectangles(ChannelKind::Red, rectangles);
    proc.ClearRectangles(ChannelKind::Blue, rectangles);
    const ProcState& state = *proc.workingState;
    for (const auto& [spectrum, name] :
         {std::pair{&state.spectrumRed, "red"}, std::pair{&state.spectrumGreen, "green"},
          std::pair{&state.spectrumBlue, "blue"}}) {
        const auto expected =
            RenderPowerSpectrum(spectrum->re.get(), spectrum->im.get(), 1024, 512);
        const auto written = Load(folder_ / (std::string("out_power_") + name + ".png"));
        ASSERT_TRUE(expected && written);
        ASSERT_EQ(written->Width(), 1024u);
        std::size_t differences = 0;
        for (std::uint32_t y = 0; y < 512; ++y) {
            for (std::uint32_t x = 0; x < 1024; ++x) {
                differences += written->Row(y)[x] != expected->Row(y)[x];
            }
        }
        EXPECT_EQ(differences, 0u) << name;
    }
    proc.CreateFinalImage();
    const auto written = Load(folder_ / "out.png");
    ASSERT_TRUE(proc.CurrentState() && proc.CurrentState()->image && written);
    EXPECT_TRUE(SamePixels(*proc.CurrentState()->image, *written));
}

TEST_F(FilterCommand, DefaultOutput_GoesBesideTheImageWithTheBatchNameInItsFormat) {
    fs::copy_file(TestImage("camera.png"), folder_ / "scan.tiff");
    fs::copy_file(TestImage("rocket.jpg"), folder_ / "photo.jpg");
    const Outcome outcome = Run({"filter", "scan.tiff", "photo.jpg", "--bandreject", "30,60",
                                 "--degree", "4", "--separable", "rows"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "wrote scan.tiff_n2\nwrote photo_flt.jpg\n");
    EXPECT_TRUE(IsJpeg(folder_ / "scan.tiff_n2"));
    EXPECT_TRUE(IsJpeg(folder_ / "photo_flt.jpg"));
    const auto result = Load(folder_ / "photo_flt.jpg");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->Width(), 640u);
    EXPECT_EQ(result->Height(), 427u);
}

TEST_F(FilterCommand, Format_FollowsTheNameUnlessForcedAndThenADerivedNameFollowsIt) {
    fs::copy_file(TestImage("coins.png"), folder_ / "c.png");
    ASSERT_EQ(Run({"filter", "c.png", "--lowpass", "30", "-o", "out.bmp"}).exitCode, 0);
    EXPECT_EQ(test::FileFormat(folder_ / "out.bmp"), "bmp");
    ASSERT_EQ(Run({"filter", "c.png", "--lowpass", "30", "-o", "out.TIFF"}).exitCode, 0);
    EXPECT_EQ(test::FileFormat(folder_ / "out.TIFF"), "tiff");
    // A name given is kept even when the format is forced.
    ASSERT_EQ(
        Run({"filter", "c.png", "--lowpass", "30", "-o", "kept.png", "--format", "jpeg"}).exitCode,
        0);
    EXPECT_EQ(test::FileFormat(folder_ / "kept.png"), "jpeg");
    // A derived name takes the forced format's extension.
    const Outcome forced = Run({"filter", "c.png", "--lowpass", "30", "--format", "tiff"});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(forced.out, "wrote c_flt.tif\n");
    EXPECT_EQ(test::FileFormat(folder_ / "c_flt.tif"), "tiff");
    EXPECT_FALSE(fs::exists(folder_ / "c_flt.png"));
}

TEST_F(FilterCommand, OutputNamingAnInput_IsRefusedAndTheInputKept) {
    fs::copy_file(TestImage("camera.png"), folder_ / "a.png");
    fs::copy_file(TestImage("coins.png"), folder_ / "b.png");
    const std::string before = ReadBytes(folder_ / "a.png");
    const Outcome self = Run({"filter", "a.png", "--lowpass", "20", "-o", "./a.png"});
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_EQ(self.err, "fftquarvel-cli: a.png: refusing to overwrite the input image a.png\n");
    EXPECT_EQ(ReadBytes(folder_ / "a.png"), before);
    // b_flt.png would be fine, but a's output name is b.png's own name in the same folder.
    fs::copy_file(folder_ / "a.png", folder_ / "b_flt.png");
    const Outcome other = Run({"filter", "b.png", "b_flt.png", "--lowpass", "20"});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.err,
              "fftquarvel-cli: b.png: refusing to overwrite the input image b_flt.png\n");
    EXPECT_EQ(other.out, "wrote b_flt_flt.png\n");
    EXPECT_EQ(ReadBytes(folder_ / "b_flt.png"), before);
}

TEST_F(FilterCommand, UnreadableImage_FailsWhileTheOthersAreWritten) {
    const Outcome outcome = Run(
        {"filter", "missing.png", TestImage("camera.png").string(), "--lowpass", "25", "-d", "."});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "fftquarvel-cli: missing.png: file not found\n");
    EXPECT_EQ(outcome.out, "wrote ./camera_flt.png\n");
}

struct FilterUsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class FilterUsage : public TempFolderTest, public ::testing::WithParamInterface<FilterUsageCase> {};

TEST_P(FilterUsage, ExitsWithTwoNamingTheOption) {
    std::vector<std::string> arguments{"filter", "a.png", "b.png"};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')),
              std::string("fftquarvel-cli: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FilterUsage,
    ::testing::Values(
        FilterUsageCase{"NoOperation",
                        {},
                        "filter needs at least one of --lowpass, "
                        "--bandreject, --clear, --brush, --auto-notch or --recipe"},
        FilterUsageCase{"ReportAlone",
                        {"--lowpass", "5", "--report"},
                        "option --report lists what --auto-notch finds; give --auto-notch as "
                        "well"},
        FilterUsageCase{"SensitivityAbove10",
                        {"--auto-notch=20"},
                        "option --auto-notch: 20 out of range 0.1 to 10"},
        FilterUsageCase{"RecipeAndSteps",
                        {"--recipe", "r.json", "--lowpass", "5"},
                        "option --recipe cannot be combined with --lowpass: the recipe holds the "
                        "steps"},
        FilterUsageCase{"RecipeSavedForTwoImages",
                        {"--lowpass", "5", "--save-recipe", "r.json"},
                        "option --save-recipe takes one image, whose size the recipe's "
                        "frequencies are measured on"},
        FilterUsageCase{
            "CutOffAbove100", {"--lowpass", "101"}, "option --lowpass: 101 out of range 0 to 100"},
        FilterUsageCase{"DegreeSeven",
                        {"--lowpass", "5", "--degree", "7"},
                        "option --degree: 7 out of range 1 to 6"},
        FilterUsageCase{"BandTheWrongWayRound",
                        {"--bandreject", "60,30"},
                        "option --bandreject: '60,30' is not LOW,HIGH with 0 <= LOW < HIGH <= "
                        "100 (percent)"},
        FilterUsageCase{"ThreeCorners",
                        {"--clear", "1,2,3"},
                        "option --clear: '1,2,3' is not X1,Y1,X2,Y2 (four whole numbers, "
                        "spectrum coordinates)"},
        FilterUsageCase{"NegativeRadius",
                        {"--brush", "1,2,-1"},
                        "option --brush: '1,2,-1' is not X,Y,R (spectrum coordinates and a "
                        "radius of 0 or more)"},
        FilterUsageCase{"UnknownChannel",
                        {"--lowpass", "5", "--channels", "r,x"},
                        "option --channels: 'r,x' is not a list of r, g and b (for example r,b)"},
        FilterUsageCase{"UnknownAxes",
                        {"--lowpass", "5", "--separable", "diagonal"},
                        "option --separable: 'diagonal' is not rows, columns or both"},
        FilterUsageCase{"QualityForPng",
                        {"--lowpass", "5", "--format", "png", "--quality", "80"},
                        "option --quality: only for JPEG and WebP, not --format png"},
        FilterUsageCase{"OutputForTwoImages",
                        {"--lowpass", "5", "-o", "x.jpg"},
                        "option --output takes one image; use --directory for several"}),
    [](const ::testing::TestParamInfo<FilterUsageCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace quarvel
