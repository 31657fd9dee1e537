#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"

namespace quarvel {
namespace {

using namespace test;

/// Runs the program in its folder with a settings store of its own, never the user's.
class RecipeCommand : public TempFolderTest {
protected:
    Outcome RunAlone(const std::vector<std::string>& arguments) {
        fs::create_directories(folder_ / "config");
        return RunProgram(arguments, RunOptions{folder_,
                                                {"XDG_CONFIG_HOME=" + (folder_ / "config").string(),
                                                 "HOME=" + folder_.string()}});
    }
};

// coffee.png is 600 x 400: on the power-of-two road its spectrum is 1024 x 512, so every step's
// coordinates go through a frequency that is not a whole number of elements of the image.
TEST_F(RecipeCommand, SavedRecipe_ReplaysToTheSameBitsOnBothRoads) {
    for (const std::string road : {"", "--exact-size"}) {
        std::vector<std::string> made = {"filter",
                                         TestImage("coffee.png").string(),
                                         "--bandreject",
                                         "10,40",
                                         "--degree",
                                         "3",
                                         "--separable",
                                         "rows",
                                         "--clear",
                                         "500,250,520,260",
                                         "--brush",
                                         "300,100,4",
                                         "--lowpass",
                                         "30",
                                         "--channels",
                                         "r,b",
                                         "--format",
                                         "png",
                                         "-o",
                                         "made.png",
                                         "--save-recipe",
                                         "r.json"};
        if (!road.empty()) {
            made.push_back(road);
        }
        const Outcome first = RunAlone(made);
        ASSERT_EQ(first.exitCode, 0) << first.err;
        EXPECT_EQ(first.out, "wrote made.png\nwrote r.json\n");
        EXPECT_NE(ReadBytes(folder_ / "r.json").find(road.empty() ? "power-of-two" : "image-size"),
                  std::string::npos);

        const Outcome replay = RunAlone({"filter", TestImage("coffee.png").string(), "--recipe",
                                         "r.json", "--format", "png", "-o", "replayed.png"});
        ASSERT_EQ(replay.exitCode, 0) << replay.err;
        EXPECT_EQ(ReadBytes(folder_ / "made.png"), ReadBytes(folder_ / "replayed.png")) << road;
    }
}

TEST_F(RecipeCommand, Batch_ReplaysTheRecipeOnEveryImageOfTheFolder) {
    ASSERT_EQ(
        RunAlone({"filter", TestImage("coffee.png").string(), "--brush", "600,200,9", "--clear",
                  "0,240,1023,260", "--format", "png", "-o", "made.png", "--save-recipe", "r.json"})
            .exitCode,
        0);
    fs::create_directory(folder_ / "scans");
    fs::copy_file(TestImage("coffee.png"), folder_ / "scans" / "a.png");
    fs::copy_file(TestImage("camera.png"), folder_ / "scans" / "b.png");
    const Outcome batch =
        RunAlone({"batch", (folder_ / "scans").string(), "--recipe", "r.json", "--format", "png"});
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(ReadBytes(folder_ / "scans" / "a_flt.png"), ReadBytes(folder_ / "made.png"));
    // Another size and a grey image: the steps land at the same frequencies.
    EXPECT_TRUE(fs::exists(folder_ / "scans" / "b_flt.png"));
}

TEST_F(RecipeCommand, DamagedRecipe_IsRefusedNamingTheFileAndPlaceAndWritesNothing) {
    WriteBytes(folder_ / "bad.json", "{\"format\": \"FFT Quarvel recipe\",\n \"version\": 1,");
    const Outcome filter = RunAlone(
        {"filter", TestImage("camera.png").string(), "--recipe", "bad.json", "-o", "out.png"});
    EXPECT_EQ(filter.exitCode, 1);
    EXPECT_EQ(filter.err.rfind("fftquarvel-cli: bad.json: line 2, column 15: not valid JSON", 0),
              0u)
        << filter.err;
    EXPECT_FALSE(fs::exists(folder_ / "out.png"));
    // A recipe is never written over an image.
    fs::copy_file(TestImage("camera.png"), folder_ / "in.png");
    for (const char* target : {"in.png", "out.png"}) {
        const Outcome clash = RunAlone(
            {"filter", "in.png", "--lowpass", "5", "-o", "out.png", "--save-recipe", target});
        EXPECT_EQ(clash.exitCode, 1) << target;
        EXPECT_EQ(ReadBytes(folder_ / "in.png"), ReadBytes(TestImage("camera.png")));
        EXPECT_FALSE(fs::exists(folder_ / "out.png"));
    }

    fs::create_directory(folder_ / "scans");
    fs::copy_file(TestImage("camera.png"), folder_ / "scans" / "a.png");
    WriteBytes(folder_ / "new.json",
               R"({"format": "FFT Quarvel recipe", "version": 7, "steps": []})");
    const Outcome batch = RunAlone({"batch", (folder_ / "scans").string(), "--recipe", "new.json"});
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_EQ(batch.err,
              "fftquarvel-cli: new.json: recipe version 7 is not known (this program "
              "reads version 1)\n");
    EXPECT_FALSE(fs::exists(folder_ / "scans" / "a_flt.png"));
}

}  // namespace
}  // namespace quarvel
