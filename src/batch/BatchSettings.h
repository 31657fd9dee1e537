#pragma once

#include <cstdint>
#include <string>

#include "engine/RectangleList.h"

namespace quarvel {

/// What the batch does to every file: a low-pass filter, the clearing of spectrum rectangles, or
/// the steps of a recipe file.
enum BatchFilteringType : std::int32_t {
    LowPassConvolution = 0,     ///< "Use low-pass convolution filter"
    PowerSpectrumDeleting = 1,  ///< "Use power spectrum deleting"
    RecipeReplay = 2,           ///< "Use a recipe"
};

/// The ranges the batch settings are kept in. The cut-off follows the slider (1 to 100); the
/// degree index selects degree 1 to 6.
inline constexpr std::int32_t kBatchMaxDegreeIndex = 5;
inline constexpr std::int32_t kBatchMinCutOff = 1;
inline constexpr std::int32_t kBatchMaxCutOff = 100;

/// One batch setting, as the batch dialog shows it and the settings store keeps it.
struct BatchSettings {
    std::int32_t filteringType = LowPassConvolution;  ///< a BatchFilteringType
    std::int32_t degreeIndex = 2;                     ///< the filter degree minus one, 0 to 5
    std::int32_t cutOff = 20;                         ///< low-pass cut-off in percent, 1 to 100
    std::int32_t dimensionIndex = 0;                  ///< 0 "2D Filter", 1 "1D Filter"
    std::int32_t direction = 0;  ///< 0 rows and columns, 1 rows, 2 columns (a FilterDirection)
    RectangleList rectangles{};  ///< cleared by PowerSpectrumDeleting
    std::string lastPath;        ///< the folder last chosen
    std::string recipePath;      ///< the recipe file of RecipeReplay

    bool operator==(const BatchSettings&) const = default;
};

/// A copy of settings with each integer field limited to the nearest end of its range. The
/// rectangles (any 32-bit values) and the path are taken as they are.
BatchSettings ClampBatchSettings(BatchSettings settings);

}  // namespace quarvel
