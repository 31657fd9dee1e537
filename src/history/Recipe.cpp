#include "history/Recipe.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "selection/VXRegion.h"

namespace quarvel {

namespace {

/// centre + round(f * size), limited to the 32-bit range; 0 for a frequency that is not a number.
std::int32_t ElementOf(double f, std::uint64_t size, std::uint64_t grid) {
    const double element =
        static_cast<double>(grid / 2) + std::nearbyint(f * static_cast<double>(size));
    if (!(element == element)) {
        return 0;
    }
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(element, kLow, kHigh));
}

double FrequencyOf(std::int64_t element, std::uint64_t size, std::uint64_t grid) {
    return static_cast<double>(element - static_cast<std::int64_t>(grid / 2)) /
           static_cast<double>(size);
}

}  // namespace

double RecipeFrame::FrequencyOfColumn(std::int64_t x) const {
    return FrequencyOf(x, sourceWidth, gridWidth);
}

double RecipeFrame::FrequencyOfRow(std::int64_t y) const {
    return FrequencyOf(y, sourceHeight, gridHeight);
}

std::int32_t RecipeFrame::ColumnOfFrequency(double f) const {
    return ElementOf(f, sourceWidth, gridWidth);
}

std::int32_t RecipeFrame::RowOfFrequency(double f) const {
    return ElementOf(f, sourceHeight, gridHeight);
}

std::vector<AreaRun> RecipeArea::RunsOn(const RecipeFrame& target) const {
    if (target == frame) {
        return runs;
    }
    std::vector<AreaRun> mapped;
    if (!target.IsValid() || !frame.IsValid() || runs.empty()) {
        return mapped;
    }
    // Each target element takes the value of the stored element nearest its frequency. The
    // stored column grows with the target column, so one pass along a row walks the stored
    // runs of the row it maps to.
    for (std::uint64_t ty = 0; ty < target.gridHeight; ++ty) {
        const std::int64_t sy =
            frame.RowOfFrequency(target.FrequencyOfRow(static_cast<std::int64_t>(ty)));
        if (sy < 0 || static_cast<std::uint64_t>(sy) >= frame.gridHeight) {
            continue;
        }
        const auto rowLess = [](const AreaRun& run, std::uint32_t row) { return run.y < row; };
        auto run =
            std::lower_bound(runs.begin(), runs.end(), static_cast<std::uint32_t>(sy), rowLess);
        bool open = false;
        for (std::uint64_t tx = 0;
             tx < target.gridWidth && run != runs.end() && run->y == static_cast<std::uint32_t>(sy);
             ++tx) {
            const std::int64_t sx =
                frame.ColumnOfFrequency(target.FrequencyOfColumn(static_cast<std::int64_t>(tx)));
            while (run != runs.end() && run->y == static_cast<std::uint32_t>(sy) && sx >= run->x1) {
                ++run;
            }
            const bool inside =
                run != runs.end() && run->y == static_cast<std::uint32_t>(sy) && sx >= run->x0;
            if (inside && !open) {
                mapped.push_back({static_cast<std::uint32_t>(ty), static_cast<std::uint32_t>(tx),
                                  static_cast<std::uint32_t>(tx + 1)});
                open = true;
            } else if (inside) {
                mapped.back().x1 = static_cast<std::uint32_t>(tx + 1);
            } else {
                open = false;
            }
        }
    }
    return mapped;
}

RecipeStep MakeRectangleStep(const RecipeFrame& frame, std::int32_t x1, std::int32_t y1,
                             std::int32_t x2, std::int32_t y2) {
    RecipeStep step;
    step.kind = RecipeStepKind::Rectangle;
    step.left = frame.FrequencyOfColumn(x1);
    step.top = frame.FrequencyOfRow(y1);
    step.right = frame.FrequencyOfColumn(x2);
    step.bottom = frame.FrequencyOfRow(y2);
    return step;
}

RecipeStep MakeBrushStep(const RecipeFrame& frame, std::int32_t x, std::int32_t y,
                         std::uint64_t r) {
    RecipeStep step;
    step.kind = RecipeStepKind::Brush;
    step.x = frame.FrequencyOfColumn(x);
    step.y = frame.FrequencyOfRow(y);
    step.radius = static_cast<double>(std::min<std::uint64_t>(r, INT32_MAX)) /
                  static_cast<double>(frame.sourceWidth);
    return step;
}

RecipeStep MakeAreaStep(const RecipeFrame& frame, const VXRegion& region) {
    RecipeStep step;
    step.kind = RecipeStepKind::Area;
    step.area.frame = frame;
    // The elements ClearSelection clears: those within both the plane and the region's size
    // that the region contains.
    const std::uint64_t columns = std::min<std::uint64_t>(
        frame.gridWidth, static_cast<std::uint64_t>(std::max(region.Width(), 0)));
    const std::uint64_t rows = std::min<std::uint64_t>(
        frame.gridHeight, static_cast<std::uint64_t>(std::max(region.Height(), 0)));
    std::vector<AreaRun>& runs = step.area.runs;
    if (region.HasMask()) {
        // Every selected pixel lies within the box of the outline: a small selection on a large
        // plane is read within its box only.
        const RegionRect box = region.Bounds();
        const std::uint64_t top = static_cast<std::uint64_t>(std::max(box.top, 0));
        const std::uint64_t bottom =
            std::min<std::uint64_t>(rows, static_cast<std::uint64_t>(std::max(box.bottom, -1) + 1));
        const std::uint64_t left = static_cast<std::uint64_t>(std::max(box.left, 0));
        const std::uint64_t right = std::min<std::uint64_t>(
            columns, static_cast<std::uint64_t>(std::max(box.right, -1) + 1));
        const std::uint8_t* mask = region.Mask().data();
        const std::size_t maskWidth = static_cast<std::size_t>(region.Width());
        for (std::uint64_t y = top; y < bottom; ++y) {
            const std::uint8_t* row = mask + y * maskWidth;
            for (std::uint64_t x = left; x < right;) {
                if (row[x] == MaskOutside) {
                    ++x;
                    continue;
                }
                const std::uint64_t start = x;
                while (x < right && row[x] != MaskOutside) {
                    ++x;
                }
                runs.push_back({static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(start),
                                static_cast<std::uint32_t>(x)});
            }
        }
    } else if (region.Contains(0, 0) && columns > 0) {
        for (std::uint64_t y = 0; y < rows; ++y) {
            runs.push_back({static_cast<std::uint32_t>(y), 0, static_cast<std::uint32_t>(columns)});
        }
    }
    return step;
}

RecipeStep MakeFilterStep(FilterKind kind, const FilterSettings& settings) {
    RecipeStep step;
    step.kind = kind == FilterKind::LowPass ? RecipeStepKind::LowPass : RecipeStepKind::BandReject;
    // Only what the design uses is kept, so that equal designs make equal steps.
    const FilterSettings defaults;
    step.filter.degree = settings.degree;
    step.filter.oneDimensional = settings.oneDimensional;
    step.filter.direction = settings.oneDimensional ? settings.direction : defaults.direction;
    if (kind == FilterKind::LowPass) {
        step.filter.cutOff = settings.cutOff;
    } else {
        step.filter.lowCutOff = settings.lowCutOff;
        step.filter.highCutOff = settings.highCutOff;
    }
    return step;
}

}  // namespace quarvel
