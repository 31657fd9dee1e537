#include "batch/BatchSettings.h"

#include <algorithm>

namespace quarvel {

BatchSettings ClampBatchSettings(BatchSettings settings) {
    settings.filteringType =
        std::clamp<std::int32_t>(settings.filteringType, LowPassConvolution, RecipeReplay);
    settings.degreeIndex = std::clamp<std::int32_t>(settings.degreeIndex, 0, kBatchMaxDegreeIndex);
    settings.cutOff = std::clamp(settings.cutOff, kBatchMinCutOff, kBatchMaxCutOff);
    settings.dimensionIndex = std::clamp<std::int32_t>(settings.dimensionIndex, 0, 1);
    settings.direction = std::clamp<std::int32_t>(settings.direction, 0, 2);
    return settings;
}

}  // namespace quarvel
