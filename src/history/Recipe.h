#pragma once

#include <cstdint>
#include <vector>

#include "engine/PlaneConversion.h"
#include "filters/FilterSettings.h"

namespace quarvel {

class VXRegion;

/// The sizes that turn spectrum element coordinates into frequencies and back: the loaded image
/// (source) and the transform (grid) of one processing object.
///
/// A frequency is in cycles per pixel of the source image, measured from the zero frequency at
/// element (gridWidth / 2, gridHeight / 2) rounded down: column x is (x - gridWidth / 2) /
/// sourceWidth. On the power-of-two road the image is stretched to the grid, so a pattern of
/// period P source pixels lands gridWidth / (P * gridWidth / sourceWidth) = sourceWidth / P
/// columns from the centre whatever the grid: its frequency 1 / P is the same on every road and
/// every size. Example: a 600 pixel wide image on a 1024 grid, column 612 is (612 - 512) / 600
/// = 1/6 cycle per pixel, a screen of period 6 pixels.
///
/// An element turned into a frequency and back on the same frame is the same element: k / W
/// rounded to a double and multiplied by W again is within far less than half of k.
struct RecipeFrame {
    std::uint64_t sourceWidth = 0;
    std::uint64_t sourceHeight = 0;
    std::uint64_t gridWidth = 0;
    std::uint64_t gridHeight = 0;

    bool IsValid() const {
        return sourceWidth > 0 && sourceHeight > 0 && gridWidth > 0 && gridHeight > 0;
    }
    bool operator==(const RecipeFrame&) const = default;

    double FrequencyOfColumn(std::int64_t x) const;
    double FrequencyOfRow(std::int64_t y) const;
    /// The element nearest a frequency, limited to the 32-bit range.
    std::int32_t ColumnOfFrequency(double f) const;
    std::int32_t RowOfFrequency(double f) const;
};

/// One row run of a cleared area: columns x0 up to but not including x1 of row y.
struct AreaRun {
    std::uint32_t y = 0;
    std::uint32_t x0 = 0;
    std::uint32_t x1 = 0;

    bool operator==(const AreaRun&) const = default;
};

/// An area of any shape (a selection made of rectangles, ellipses and free-hand polygons,
/// combined in any way), kept as the runs of elements it covers on the frame it was made on.
///
/// Runs replay exactly on a frame of the same sizes. On another frame every element is mapped to
/// its frequency and looked up in the stored runs at the nearest stored element, so the area
/// keeps its place and shape in frequency. Runs are sorted by row, then by column, and do not
/// overlap or touch.
struct RecipeArea {
    RecipeFrame frame;
    std::vector<AreaRun> runs;

    bool operator==(const RecipeArea&) const = default;
    /// The runs of this area on frame (the stored ones when the frame is the same).
    std::vector<AreaRun> RunsOn(const RecipeFrame& target) const;
};

/// What a step does.
enum class RecipeStepKind {
    LowPass,     ///< Butterworth low-pass (filter.cutOff)
    BandReject,  ///< Butterworth band-reject (filter.lowCutOff to filter.highCutOff)
    Rectangle,   ///< clears columns left to right, rows top up to but not including bottom
    Brush,       ///< clears the disc of the brush around (x, y)
    Area,        ///< clears the elements of area
};

/// One processing step of a document: a filter or a clearing, the channels it reaches and, for
/// a clearing, whether its point-mirrored area is cleared as well.
///
/// Coordinates are frequencies (see RecipeFrame). The brush radius is a frequency along the x
/// axis (radius in elements / source width), so the disc grows with the image's width.
struct RecipeStep {
    RecipeStepKind kind = RecipeStepKind::LowPass;
    bool red = true;  ///< channels of a colour image; a grey image has one and takes every step
    bool green = true;
    bool blue = true;
    bool mirror = false;
    FilterSettings filter;  ///< LowPass and BandReject: the design
    double left = 0.0;      ///< Rectangle
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
    double x = 0.0;  ///< Brush: the centre
    double y = 0.0;
    double radius = 0.0;
    RecipeArea area;  ///< Area

    bool operator==(const RecipeStep&) const = default;
};

/// The ordered steps of a document and the transform road they were made on. sourceWidth and
/// sourceHeight name the image the recipe was made on, for a person reading it.
struct Recipe {
    TransformSize transformSize = TransformSize::PowerOfTwo;
    std::uint64_t sourceWidth = 0;
    std::uint64_t sourceHeight = 0;
    std::vector<RecipeStep> steps;

    bool operator==(const Recipe&) const = default;
};

/// A clearing step of rectangle (x1, y1, x2, y2) in elements of frame (as ClearRectangles
/// reads one entry).
RecipeStep MakeRectangleStep(const RecipeFrame& frame, std::int32_t x1, std::int32_t y1,
                             std::int32_t x2, std::int32_t y2);
/// A brush stamp at element (x, y) with radius r in elements.
RecipeStep MakeBrushStep(const RecipeFrame& frame, std::int32_t x, std::int32_t y, std::uint64_t r);
/// The clearing of every element of frame that region contains (as ClearSelection reads it).
RecipeStep MakeAreaStep(const RecipeFrame& frame, const VXRegion& region);
/// A filter step.
RecipeStep MakeFilterStep(FilterKind kind, const FilterSettings& settings);

}  // namespace quarvel
