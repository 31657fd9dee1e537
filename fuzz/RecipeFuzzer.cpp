// Recipe files as they might arrive: any bytes are parsed; a recipe that is accepted must be
// written back to the same recipe, and must replay on a small grey image on both transform roads
// without reading or writing outside its planes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/ImageBitmap.h"
#include "history/CFFTProc.h"
#include "recipe/RecipeFile.h"

namespace {

using namespace quarvel;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "recipe: %s\n", what);
        std::abort();
    }
}

class SilentProc final : public CFFTProc {
public:
    void UpdateViews(int /*erase*/) override {}
};

/// Replays recipe on a 13 x 7 grey image (a 16 x 8 grid on the power-of-two road).
void Replay(const Recipe& recipe, TransformSize road) {
    SilentProc proc;
    auto image = ImageBitmap::Create(13, 7, PixelFormat8bppIndexed);
    Check(image != nullptr, "no image");
    image->SetPalette(BitmapPalette::GreyRamp());
    for (std::uint32_t y = 0; y < 7; ++y) {
        for (std::uint32_t x = 0; x < 13; ++x) {
            image->Row(y)[x] = static_cast<std::uint8_t>(x * 19 + y * 7);
        }
    }
    proc.originalImage = std::move(image);
    proc.transformSize = road;
    proc.leanFilters = road == TransformSize::Exact;
    Check(proc.StartHistory(), "no history");
    for (const RecipeStep& step : recipe.steps) {
        Check(proc.ApplyStep(step), "a step did not run");
    }
    proc.CreateFinalImage();
    Check(proc.RecordedRecipe().steps == recipe.steps, "the steps were not recorded as run");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Recipe recipe;
    if (!ParseRecipe(text, recipe).empty()) {
        Check(recipe.steps.empty(), "a refused recipe kept steps");
        return 0;
    }
    Recipe again;
    Check(ParseRecipe(RecipeToJson(recipe), again).empty(), "a written recipe is refused");
    Check(again == recipe, "a written recipe reads back differently");
    // Large areas cost time on every replay, not new paths: they are only parsed.
    std::size_t runs = 0;
    for (const RecipeStep& step : recipe.steps) {
        runs += step.area.runs.size();
    }
    if (recipe.steps.size() <= 64 && runs <= 4096) {
        Replay(recipe, TransformSize::PowerOfTwo);
        Replay(recipe, TransformSize::Exact);
    }
    return 0;
}
