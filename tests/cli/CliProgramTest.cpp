#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"
#include "engine/PlaneConversion.h"
#include "imageio/ImageFile.h"

namespace quarvel {
namespace {

using namespace test;

class CliTest : public TempFolderTest {
protected:
    /// The 8-bit grey power spectrum image written at path, checked to be w x h.
    std::unique_ptr<ImageBitmap> LoadSpectrum(const fs::path& path, std::uint32_t w,
                                              std::uint32_t h) {
        std::unique_ptr<ImageBitmap> image;
        const IoResult loaded = LoadImageFile(image, path);
        EXPECT_TRUE(loaded) << path << ": " << loaded.message;
        if (!image) {
            return nullptr;
        }
        EXPECT_EQ(image->Format(), PixelFormat8bppIndexed) << path;
        EXPECT_EQ(image->Width(), w) << path;
        EXPECT_EQ(image->Height(), h) << path;
        return image;
    }
};

TEST_F(CliTest, Spectrum_ColourImage_WritesThreeChannelsAtTransformSize) {
    const Outcome outcome =
        Run({"spectrum", TestImage("coffee.png").string(), "-o", folder_.string()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const std::string prefix = folder_.string() + "/coffee_power_";
    EXPECT_EQ(outcome.out, "wrote " + prefix + "red.png\nwrote " + prefix + "green.png\nwrote " +
                               prefix + "blue.png\n");
    for (const char* channel : {"red", "green", "blue"}) {
        const auto spectrum = LoadSpectrum(prefix + channel + ".png", 1024, 512);
        ASSERT_NE(spectrum, nullptr);
        // The zero frequency of a photograph is by far its largest term.
        EXPECT_EQ(spectrum->Row(256)[512], 255) << channel;
    }
}

TEST_F(CliTest, Spectrum_ChannelFilesHoldTheirOwnChannel) {
    ASSERT_EQ(Run({"spectrum", TestImage("rocket.jpg").string(), "-o", "."}).exitCode, 0);
    std::unique_ptr<ImageBitmap> image;
    ASSERT_TRUE(LoadImageFile(image, TestImage("rocket.jpg")));
    const auto work = ResampleImage(image.get(), 1024, 512);
    const std::pair<ChannelKind, const char*> channels[] = {{ChannelKind::Red, "red"},
                                                            {ChannelKind::Blue, "blue"}};
    for (const auto& [kind, name] : channels) {
        const ChannelSpectrum spectrum = ComputeSpectrum(work.get(), kind);
        const auto expected = RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), 1024, 512);
        const auto written =
            LoadSpectrum(folder_ / (std::string("rocket_power_") + name + ".png"), 1024, 512);
        ASSERT_TRUE(expected && written);
        for (std::uint32_t y = 0; y < 512; ++y) {
            for (std::uint32_t x = 0; x < 1024; ++x) {
                ASSERT_EQ(written->Row(y)[x], expected->Row(y)[x]) << name << " " << x << "," << y;
            }
        }
    }
}

TEST_F(CliTest, Spectrum_GreyImage_WritesOneFileBesideTheImage) {
    fs::copy_file(TestImage("coins.png"), folder_ / "coins.png");
    const Outcome outcome = Run({"spectrum", "coins.png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "wrote coins_power.png\n");
    const auto spectrum = LoadSpectrum(folder_ / "coins_power.png", 512, 512);
    ASSERT_NE(spectrum, nullptr);
    EXPECT_EQ(spectrum->Row(256)[256], 255);
    EXPECT_FALSE(fs::exists(folder_ / "coins_power_red.png"));
}

TEST_F(CliTest, Spectrum_MissingFile_FailsWhileOthersSucceed) {
    const Outcome outcome = Run({"spectrum", "missing.png", TestImage("camera.png").string(),
                                 TestImage("README.md").string(), "-o", "."});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "fftquarvel-cli: missing.png: file not found\nfftquarvel-cli: " +
                               TestImage("README.md").string() +
                               ": not an image file or unsupported format\n");
    EXPECT_EQ(outcome.out, "wrote ./camera_power.png\n");
    EXPECT_NE(LoadSpectrum(folder_ / "camera_power.png", 512, 512), nullptr);
}

TEST_F(CliTest, Spectrum_DamagedFiles_AreRefusedOrWarnedAbout) {
    const std::string whole = ReadBytes(TestImage("rocket.jpg"));
    std::ofstream(folder_ / "cut.jpg", std::ios::binary) << whole.substr(0, whole.size() / 2);
    const Outcome outcome =
        Run({"spectrum", TestImage("truncated.jpg").string(), "cut.jpg", "-o", "."});
    EXPECT_EQ(outcome.exitCode, 1);
    std::istringstream lines(outcome.err);
    std::string refused;
    std::string warned;
    std::getline(lines, refused);
    std::getline(lines, warned);
    EXPECT_EQ(refused.rfind("fftquarvel-cli: " + TestImage("truncated.jpg").string() +
                                ": damaged or truncated image data",
                            0),
              0u)
        << refused;
    EXPECT_EQ(warned.rfind("fftquarvel-cli: cut.jpg: warning: ", 0), 0u) << warned;
    EXPECT_NE(LoadSpectrum(folder_ / "cut_power_green.png", 1024, 512), nullptr);
}

TEST_F(CliTest, Spectrum_SameBaseNameTwice_RefusesToOverwriteEarlierOutput) {
    fs::copy_file(TestImage("camera.png"), folder_ / "photo.png");
    fs::create_directory(folder_ / "other");
    fs::copy_file(TestImage("coins.png"), folder_ / "other" / "photo.png");
    const Outcome outcome = Run({"spectrum", "photo.png", "other/photo.png", "-o", "."});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err,
              "fftquarvel-cli: other/photo.png: would overwrite ./photo_power.png, written for an "
              "earlier image\n");
    EXPECT_NE(LoadSpectrum(folder_ / "photo_power.png", 512, 512), nullptr);
}

TEST_F(CliTest, Spectrum_MissingOutputFolder_Fails) {
    const Outcome outcome = Run({"spectrum", TestImage("camera.png").string(), "-o", "nowhere"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "fftquarvel-cli: nowhere: output folder not found\n");
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* firstLine;
};

class CliUsage : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndSaysWhy) {
    const Outcome outcome = Run(GetParam().arguments);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), GetParam().firstLine);
    EXPECT_TRUE(fs::is_empty(folder_));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CliUsage,
    ::testing::Values(
        UsageCase{"NoArguments", {}, "fftquarvel-cli: no command given"},
        UsageCase{"UnknownCommand", {"sharpen"}, "fftquarvel-cli: unknown command 'sharpen'"},
        UsageCase{"UnknownOption",
                  {"spectrum", "--quality", "5", "a.png"},
                  "fftquarvel-cli: unknown option '--quality' for spectrum"},
        UsageCase{"NoImage",
                  {"spectrum", "-o", "."},
                  "fftquarvel-cli: spectrum needs at least one IMAGE"},
        UsageCase{"OutputWithoutValue",
                  {"spectrum", "a.png", "-o"},
                  "fftquarvel-cli: option --output needs a value DIR"}),
    [](const ::testing::TestParamInfo<UsageCase>& param) { return std::string(param.param.name); });

TEST_F(CliTest, VersionAndHelp_GoToStandardOutput) {
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "fftquarvel-cli 1.0.0\n");
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("spectrum"), std::string::npos);
    const Outcome commandHelp = Run({"spectrum", "--help"});
    EXPECT_EQ(commandHelp.exitCode, 0);
    EXPECT_NE(commandHelp.out.find("-o, --output DIR"), std::string::npos);
}

}  // namespace
}  // namespace quarvel
