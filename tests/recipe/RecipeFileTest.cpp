#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "recipe/RecipeFile.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

/// A recipe with every kind of step, on a frame whose frequencies have no short decimal form.
Recipe EveryStep() {
    const RecipeFrame frame{45, 37, 64, 64};
    Recipe recipe;
    recipe.transformSize = TransformSize::Exact;
    recipe.sourceWidth = 45;
    recipe.sourceHeight = 37;
    FilterSettings band;
    band.oneDimensional = true;
    band.direction = static_cast<std::uint64_t>(FilterDirection::Columns);
    band.degree = 4;
    band.lowCutOff = 10;
    band.highCutOff = 90;
    recipe.steps.push_back(MakeFilterStep(FilterKind::BandReject, band));
    recipe.steps.push_back(MakeFilterStep(FilterKind::LowPass, FilterSettings{}));
    recipe.steps.back().green = false;
    recipe.steps.push_back(MakeRectangleStep(frame, -5, 7, 2000000000, 33));
    recipe.steps.push_back(MakeBrushStep(frame, 61, 2, 7));
    recipe.steps.back().mirror = true;
    recipe.steps.back().red = recipe.steps.back().blue = false;
    RecipeStep area;
    area.kind = RecipeStepKind::Area;
    area.area.frame = frame;
    area.area.runs = {{3, 0, 5}, {3, 9, 64}, {40, 17, 18}};
    recipe.steps.push_back(area);
    return recipe;
}

TEST(RecipeFile, Text_ReadsBackAsTheSameRecipe_OneStepALine) {
    const Recipe recipe = EveryStep();
    const std::string text = RecipeToJson(recipe);
    Recipe read;
    ASSERT_EQ(ParseRecipe(text, read), "");
    EXPECT_EQ(read, recipe);
    EXPECT_NE(text.find("\n        {\"bottom\":"), std::string::npos) << text;
    EXPECT_NE(text.find("\"rows\":[[3,0,5,9,64],[40,17,18]]"), std::string::npos) << text;
}

TEST(RecipeFile, SaveAndLoad_GoThroughTheFile) {
    test::TempFolder folder;
    const std::string path = (folder / "r.json").string();
    ASSERT_TRUE(SaveRecipeFile(path, EveryStep()));
    Recipe read;
    ASSERT_TRUE(LoadRecipeFile(path, read));
    EXPECT_EQ(read, EveryStep());

    EXPECT_FALSE(SaveRecipeFile((folder / "missing" / "r.json").string(), EveryStep()));
    const IoResult missing = LoadRecipeFile((folder / "none.json").string(), read);
    EXPECT_NE(missing.message.find("cannot read the recipe"), std::string::npos);
    {
        std::ofstream large(path, std::ios::binary | std::ios::trunc);
        large << std::string(kMaxRecipeFileBytes + 1, ' ');
    }
    EXPECT_EQ(LoadRecipeFile(path, read).message, "larger than 16 MB");
}

struct Refusal {
    const char* name;
    std::string text;
    const char* message;  ///< a part of the message
};

std::string WithSteps(const std::string& steps, const std::string& version = "1") {
    return "{\"format\": \"FFT Quarvel recipe\", \"version\": " + version +
           ", \"transform\": \"power-of-two\", \"source\": {\"width\": 8, \"height\": 8},\n"
           "\"steps\": [" +
           steps + "]}";
}

class RecipeRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(RecipeRefusals, NamePlaceAndReason) {
    Recipe recipe;
    const std::string message = ParseRecipe(GetParam().text, recipe);
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
    EXPECT_TRUE(recipe.steps.empty());
}

const std::string kArea = R"({"step":"area","grid":{"width":8,"height":4},)"
                          R"("source":{"width":8,"height":4},"rows":)";

INSTANTIATE_TEST_SUITE_P(
    Damaged, RecipeRefusals,
    ::testing::Values(
        Refusal{"Truncated", WithSteps("{\"step\": \"brush\"").substr(0, 120), "line 2, column"},
        Refusal{"Empty", "", "line 1, column 1: not valid JSON"},
        Refusal{"NotAnObject", "[1, 2]", "no JSON object"},
        Refusal{"OtherFormat", R"({"format": "something else", "version": 1})",
                "not a recipe: recipe: \"format\""},
        Refusal{"NewerVersion", WithSteps("", "2"), "recipe version 2 is not known"},
        Refusal{"UnknownRoad",
                R"({"format": "FFT Quarvel recipe", "version": 1, "transform": "odd"})",
                "\"transform\" must be \"power-of-two\" or \"image-size\""},
        Refusal{"UnknownStep", WithSteps(R"({"step":"blur"})"), "steps[0]: \"step\" must be"},
        Refusal{"CutOffOutOfRange",
                WithSteps(R"({"step":"lowpass","degree":2,"separable":"no","cutoff":101})"),
                "steps[0]: \"cutoff\" must be a whole number from 0 to 100"},
        Refusal{"EdgesReversed",
                WithSteps(R"({"step":"bandreject","degree":2,"separable":"no","low":50,)"
                          R"("high":50})"),
                "\"high\" must be a whole number from 51 to 100"},
        Refusal{"MisspeltField",
                WithSteps(R"({"step":"brush","x":0,"y":0,"radius":0,"mirorr":true})"),
                "steps[0]: unknown field \"mirorr\""},
        Refusal{"MissingField", WithSteps(R"({"step":"rectangle","left":0,"top":0,"right":1})"),
                "steps[0]: \"bottom\" is missing"},
        Refusal{"TextForNumber", WithSteps(R"({"step":"brush","x":"0","y":0,"radius":1})"),
                "\"x\" must be a number"},
        Refusal{"NegativeRadius", WithSteps(R"({"step":"brush","x":0,"y":0,"radius":-1})"),
                "\"radius\" must be a number from 0"},
        Refusal{"ChannelTwice",
                WithSteps(R"({"step":"brush","x":0,"y":0,"radius":1,"channels":["red","red"]})"),
                "\"channels\" must be"},
        Refusal{"RowBeyondGrid", WithSteps(kArea + "[[4,0,1]]}"), "steps[0]: \"rows\"[0]"},
        Refusal{"RowsOutOfOrder", WithSteps(kArea + "[[2,0,1],[1,0,1]]}"), "\"rows\"[1]"},
        Refusal{"RunsOverlap", WithSteps(kArea + "[[0,0,4,3,6]]}"), "each run after"},
        Refusal{"RunPastWidth", WithSteps(kArea + "[[0,5,9]]}"), "<= the grid width"},
        Refusal{"HugeGrid",
                WithSteps(R"({"step":"area","grid":{"width":2000000,"height":4},"rows":[]})"),
                "steps[0].grid: \"width\" must be a whole number from 1 to 1048576"},
        Refusal{"TooManySteps",
                [] {
                    std::string steps = R"({"step":"brush","x":0,"y":0,"radius":0})";
                    for (std::size_t k = 0; k < kMaxRecipeSteps; ++k) {
                        steps += R"(,{"step":"brush","x":0,"y":0,"radius":0})";
                    }
                    return WithSteps(steps);
                }(),
                "more than 10000 steps"}),
    [](const ::testing::TestParamInfo<Refusal>& refusal) { return refusal.param.name; });

}  // namespace
}  // namespace quarvel
