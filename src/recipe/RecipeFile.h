#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "history/Recipe.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// Recipe files: a document's processing steps as JSON, read and written with Qt's JSON classes.
///
/// A recipe is one object:
///
///     {
///         "format": "FFT Quarvel recipe",
///         "version": 1,
///         "transform": "power-of-two",                 or "image-size"
///         "source": { "height": 37, "width": 45 },     the image it was made on
///         "steps": [
///             {"channels":["red"],"cutoff":40,"degree":3,"separable":"no","step":"lowpass"},
///             {"bottom":-0.1,"channels":["blue"],"left":-0.6,"mirror":false,"right":-0.5,...},
///             {"channels":["green"],"mirror":true,"radius":0.0667,"step":"brush","x":-0.04,...},
///             {"channels":["red"],"grid":{"height":64,"width":64},"mirror":false,
///              "rows":[[12,9,13],[13,8,14,20,22]],"source":{"height":37,"width":45},...}
///         ]
///     }
///
/// one step to a line. Coordinates are frequencies in cycles per pixel of the source image (see
/// RecipeFrame), so a recipe applies to images of other sizes; a rectangle's right column is
/// included and its bottom row is not. An area keeps the elements it covers as row runs on the
/// grid (transform size) and source size it was made on, each row [y, x0, x1, x0, x1, ...] with
/// columns x0 up to but not including x1: it replays exactly on an image of that size and is
/// resampled by frequency on others (RecipeArea). "channels" (default all three) and "mirror"
/// (default false) may be left out; every other field is required, and a field the version does
/// not define is refused.
inline constexpr std::uint64_t kMaxRecipeFileBytes = 16u << 20;
inline constexpr std::size_t kMaxRecipeSteps = 10000;
/// The largest grid or source side and the most runs of all areas together.
inline constexpr std::uint64_t kMaxRecipeSide = 1u << 20;
inline constexpr std::size_t kMaxRecipeRuns = 4000000;

/// The recipe as the text of a recipe file.
std::string RecipeToJson(const Recipe& recipe);
/// Reads the text of a recipe file into recipe. An empty string on success, else what is
/// wrong: the line and column of a syntax error, or the step and field of a wrong value.
std::string ParseRecipe(std::string_view text, Recipe& recipe);

/// Reads the recipe file at path (at most kMaxRecipeFileBytes). The message of a failure says
/// what is wrong without naming the file.
IoResult LoadRecipeFile(const std::string& path, Recipe& recipe);
/// Writes recipe to path through the checked replacement of WriteFileReplacing.
IoResult SaveRecipeFile(const std::string& path, const Recipe& recipe);

}  // namespace quarvel
