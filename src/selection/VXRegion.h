#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quarvel {

/// Mask byte values of a VXRegion.
inline constexpr std::uint8_t MaskOutside = 0;
/// Not yet known to be inside or outside; exists only while a polygon is being filled.
inline constexpr std::uint8_t MaskUnresolved = 64;
/// Selected pixel on the outline of the selection.
inline constexpr std::uint8_t MaskOutline = 128;
/// Selected pixel inside the outline.
inline constexpr std::uint8_t MaskInside = 255;

/// How a new shape is combined with the existing selection; fixed by the modifier keys held when
/// the mouse button goes down (none: Replace, Shift: Add, Ctrl: Subtract, both: Intersect).
enum class SelectionMode { Replace, Add, Subtract, Intersect };

/// One pixel position in image coordinates (x to the right, y downward).
struct RegionPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const RegionPoint&) const = default;
};

/// An inclusive pixel box.
struct RegionRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool operator==(const RegionRect&) const = default;
};

/// The set of pixels selected in one pane: a byte mask of width x height (row-major, row y at
/// byte y * width; values MaskOutside, MaskOutline, MaskInside) plus the list of its outline
/// pixels. Selected pixels are those valued MaskOutline or MaskInside.
///
/// The region is empty when PointCount() is 0; its mask is then absent or all zeros. An absent
/// mask is an empty vector. After an operation that rebuilds the outline over the whole image
/// (a combine with an existing mask, Invert, Rescale) the point list holds each outline pixel
/// exactly once, and the outline pixels are exactly the selected pixels that touch an unselected
/// pixel or the image border. Rectangles and ellipses made from an empty selection keep their
/// outline in generation order, where a pixel may repeat.
///
/// A second use is the free-hand path region: only its point list matters, holding the path's
/// vertices in drawing order (AppendPoint, BridgeLastGap, ClosePolygon); the polygon operations
/// take such a region as their argument.
///
/// Only one thread may change a region; Contains may be called concurrently while nobody
/// changes it.
class VXRegion {
public:
    /// Size 0 x 0, no mask, no points, scale 1.
    VXRegion() = default;

    /// Clears the region, then sets its size. A negative size counts as 0.
    void Init(std::int32_t width, std::int32_t height);
    /// Frees the mask and the point list; area 0, scale 1. The size stays.
    void Clear();
    /// Frees the point list only.
    void ClearPoints();
    /// A deep copy: size, scale, area, points, bounds and mask.
    std::unique_ptr<VXRegion> Clone() const;

    /// Rectangle operations; the corners are inclusive, in any order, and clamped into the image.
    /// SetRectangle replaces the selection (a rectangle of zero width or height empties it),
    /// AddRectangle adds to it (a rectangle with left == right or top == bottom as passed empties
    /// the whole selection), IntersectRectangle and SubtractRectangle combine with it.
    void SetRectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    void AddRectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    void IntersectRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom);
    void SubtractRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                           std::int32_t bottom);

    /// Ellipse operations around (cx, cy) with radii rx, ry, clipped to the image. SetEllipse
    /// uses the radii as given (below 1 it leaves the selection empty); the other three use
    /// rx - 1 and ry - 1, so their ellipse is one pixel smaller on each axis.
    void SetEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
    void AddEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
    void IntersectEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
    void SubtractEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);

    /// Polygon operations with a path region already closed by ClosePolygon. The path's
    /// vertices are first clamped into this region's image (in the path region itself).
    /// SetPolygon leaves the selection empty for a path of 4 vertices or fewer.
    void SetPolygon(VXRegion& path);
    void AddPolygon(VXRegion& path);
    void IntersectPolygon(VXRegion& path);
    void SubtractPolygon(VXRegion& path);

    /// Replaces the selection by the pixels whose byte in selected (width x height, row-major)
    /// is not 0; empties it when none is or the size does not match.
    void SetPixels(const std::vector<std::uint8_t>& selected);

    /// Exchanges selected and unselected pixels; does nothing without a selection.
    void Invert();
    /// Resamples the mask to trunc(size * factor + 0.5) by nearest neighbour and rebuilds the
    /// outline; does nothing when factor equals the stored scale, without a selection, or when
    /// the resulting size would be 0. Used on a clone to draw the outline at a zoom.
    void Rescale(float factor);
    /// A copy of the region as Rescale(factor) would make it of a clone, built straight from
    /// this region's mask: only the scaled mask is allocated, and only the rows and columns
    /// that sample the selection's bounds are read.
    std::unique_ptr<VXRegion> RescaledCopy(float factor) const;
    /// Whether pixel (x, y) is selected. With a mask: false outside the image. Without one:
    /// true when there are no points or the selection covers the whole image.
    bool Contains(std::int32_t x, std::int32_t y) const;

    /// Path region: appends a vertex.
    void AppendPoint(std::int32_t x, std::int32_t y);
    /// Path region: inserts the pixels strictly between the last two points, so that
    /// consecutive points touch.
    void BridgeLastGap();
    /// Path region: closes the path back to its first point and replaces the point list by the
    /// pixels along every segment; frees the mask and resets area and scale.
    void ClosePolygon();
    /// Path region: the points, writable in place (the pane converts them to image coordinates).
    std::span<RegionPoint> MutablePoints() { return points_; }

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::int32_t PointCount() const { return static_cast<std::int32_t>(points_.size()); }
    const std::vector<RegionPoint>& Points() const { return points_; }
    /// Number of selected pixels inside Bounds().
    std::int32_t Area() const { return area_; }
    /// The box around the outline pixels; the whole image when there are none.
    RegionRect Bounds() const { return bounds_; }
    /// Factor of the last Rescale; 1 after construction, Clear and ClosePolygon.
    float Scale() const { return scale_; }
    bool HasMask() const { return !mask_.empty(); }
    /// Width() * Height() bytes when HasMask(), else empty.
    const std::vector<std::uint8_t>& Mask() const { return mask_; }

private:
    using Mask8 = std::vector<std::uint8_t>;

    /// A shape rasterised into a mask of the region's size: its outline list in generation
    /// order and its box.
    struct Shape {
        Mask8 mask;
        std::vector<RegionPoint> outline;
        RegionRect box;
    };

    /// Byte offset of pixel (x, y) in a mask of this region's size.
    std::size_t Index(std::int32_t x, std::int32_t y) const;
    bool ImageIsEmpty() const { return width_ <= 0 || height_ <= 0; }

    /// Orders the corners (left <= right, top <= bottom), then clamps them into the image.
    void ClampRect(RegionRect& rect) const;
    /// bounds_ becomes the box of the MaskOutline bytes; the whole image, and false, if none.
    bool ComputeBounds();
    /// area_ becomes the number of selected bytes inside bounds_; false when that is 0.
    bool CountArea();
    /// Re-derives the outline of a mask holding only MaskOutside and MaskInside: inside pixels
    /// with an unselected neighbour, and selected pixels on the box's border, become outline
    /// and are listed once each, in scan order.
    void RebuildOutline(const RegionRect& box);
    /// The combine steps. Each first turns MaskOutline into MaskInside in both whole masks,
    /// then visits box: union sets, subtract clears where the shape is selected; intersect
    /// keeps what both select.
    void UnionMask(Mask8& shapeMask, const RegionRect& box);
    void SubtractMask(Mask8& shapeMask, const RegionRect& box);
    void IntersectMask(Mask8& shapeMask, const RegionRect& box);
    /// The end of every shape operation: bounds, area, and Clear if nothing is selected.
    void Finish();
    /// The precondition of intersect and subtract: there is a selection and it is not the
    /// whole image.
    bool CanIntersectOrSubtract() const;
    /// Combines a rasterised shape with the selection in the given mode, then Finish. Replace
    /// and an Add to a region without a mask adopt the shape's mask and outline list as they
    /// are; the other cases rebuild the outline over the whole image.
    void CombineShape(Shape shape, SelectionMode mode);

    /// Rasterises a clamped rectangle: its border as outline (listed clockwise from the
    /// top-left corner, corners twice), the rest inside.
    Shape GenerateRectangle(const RegionRect& rect) const;
    /// Rasterises an ellipse around (cx, cy) clipped by the box of radii rx, ry, testing each
    /// pixel against the radii radiusX, radiusY.
    Shape GenerateEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry,
                          float radiusX, float radiusY) const;
    /// Add, intersect or subtract an ellipse one pixel smaller than the radii on each axis.
    void EllipseOperation(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry,
                          SelectionMode mode);

    /// Clamps every vertex of path into this region's image.
    void ClampVertices(VXRegion& path) const;
    /// Rasterises the closed path of clamped vertices: the pixels no ray from outside can
    /// reach become the shape; its box is the box of the vertices.
    Shape FillPolygonMask(const VXRegion& path) const;
    void PolygonOperation(VXRegion& path, SelectionMode mode);
    /// On a polygon canvas: walks rays from (x0, y0) to every pixel of the border of the
    /// working box shrunk by one on the right and at the bottom.
    /// Rescale, with the mask read from source (this region itself, or another one whose
    /// scaled copy this region becomes).
    void RescaleFrom(const VXRegion& source, float factor);
    void CastRays(std::int32_t x0, std::int32_t y0, const RegionRect& box);
    /// On a polygon canvas: turns unresolved pixels along the line from (x0, y0) to (x1, y1)
    /// into outside pixels, stopping at the first outline pixel or diagonal outline gap.
    void WalkRay(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);

    /// Outline pixels of the selection; in a path region, the path's vertices.
    std::vector<RegionPoint> points_;
    /// Image size in pixels; the mask, when present, has width_ * height_ bytes.
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    /// Selected pixels inside bounds_.
    std::int32_t area_ = 0;
    /// Inclusive box around the outline pixels; the whole image when there are none.
    RegionRect bounds_;
    /// Row-major selection mask, or empty when absent.
    Mask8 mask_;
    /// Factor of the last Rescale.
    float scale_ = 1.0F;
};

}  // namespace quarvel
