#include "selection/VXRegion.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace quarvel {

namespace {

// Arithmetic conventions: every integer is converted to a 32-bit float before it takes part in a
// floating-point operation, and trunc converts toward zero. Coordinates are widened to 64 bits
// wherever a difference or sum of two 32-bit values could overflow.

std::int64_t Sign(std::int64_t v) {
    return (v > 0) - (v < 0);
}

std::int64_t Abs64(std::int64_t v) {
    return v < 0 ? -v : v;
}

/// trunc(v) for a value the caller knows to be finite and small enough for 64 bits.
std::int64_t TruncSmall(float v) {
    assert(std::isfinite(v) && std::fabs(v) < 9.0e18F);
    return static_cast<std::int64_t>(v);
}

std::int64_t ClampToSpan(std::int64_t v, std::int64_t a, std::int64_t b) {
    return std::clamp(v, std::min(a, b), std::max(a, b));
}

RegionPoint MakePoint(std::int64_t x, std::int64_t y) {
    return {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
}

/// Turns every MaskOutline byte into MaskInside, the first step of every combine.
void ResolveOutline(std::vector<std::uint8_t>& mask) {
    for (std::uint8_t& b : mask) {
        if (b == MaskOutline) {
            b = MaskInside;
        }
    }
}

}  // namespace

std::size_t VXRegion::Index(std::int32_t x, std::int32_t y) const {
    assert(x >= 0 && x < width_ && y >= 0 && y < height_);
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
}

void VXRegion::Init(std::int32_t width, std::int32_t height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    Clear();
}

void VXRegion::Clear() {
    mask_.clear();
    mask_.shrink_to_fit();
    points_.clear();
    points_.shrink_to_fit();
    area_ = 0;
    scale_ = 1.0F;
    bounds_ = {0, 0, width_ - 1, height_ - 1};
}

void VXRegion::ClearPoints() {
    points_.clear();
    points_.shrink_to_fit();
}

std::unique_ptr<VXRegion> VXRegion::Clone() const {
    return std::make_unique<VXRegion>(*this);
}

// Read concurrently by the spectrum-clearing loops; it only reads.
bool VXRegion::Contains(std::int32_t x, std::int32_t y) const {
    if (HasMask()) {
        if (x < 0 || x >= width_ || y < 0 || y >= height_) {
            return false;
        }
        return mask_[Index(x, y)] != MaskOutside;
    }
    return points_.empty() ||
           static_cast<std::int64_t>(width_) * static_cast<std::int64_t>(height_) == area_;
}

void VXRegion::AppendPoint(std::int32_t x, std::int32_t y) {
    points_.push_back({x, y});
}

// ---------------------------------------------------------------------------------------------
// Common steps

void VXRegion::ClampRect(RegionRect& rect) const {
    assert(!ImageIsEmpty());
    if (rect.right < rect.left) {
        std::swap(rect.left, rect.right);
    }
    if (rect.bottom < rect.top) {
        std::swap(rect.top, rect.bottom);
    }
    rect.left = std::clamp(rect.left, 0, width_ - 1);
    rect.right = std::clamp(rect.right, 0, width_ - 1);
    rect.top = std::clamp(rect.top, 0, height_ - 1);
    rect.bottom = std::clamp(rect.bottom, 0, height_ - 1);
}

bool VXRegion::ComputeBounds() {
    RegionRect box{width_, height_, -1, -1};
    if (HasMask()) {
        for (std::int32_t y = 0; y < height_; ++y) {
            const std::uint8_t* row = mask_.data() + Index(0, y);
            for (std::int32_t x = 0; x < width_; ++x) {
                if (row[x] == MaskOutline) {
                    box.left = std::min(box.left, x);
                    box.right = std::max(box.right, x);
                    box.top = std::min(box.top, y);
                    box.bottom = std::max(box.bottom, y);
                }
            }
        }
    }
    if (box.right < 0) {
        bounds_ = {0, 0, width_ - 1, height_ - 1};
        return false;
    }
    bounds_ = box;
    return true;
}

bool VXRegion::CountArea() {
    std::int64_t count = 0;
    if (HasMask()) {
        for (std::int32_t y = std::max(bounds_.top, 0); y <= std::min(bounds_.bottom, height_ - 1);
             ++y) {
            for (std::int32_t x = std::max(bounds_.left, 0);
                 x <= std::min(bounds_.right, width_ - 1); ++x) {
                const std::uint8_t b = mask_[Index(x, y)];
                count += (b == MaskOutline || b == MaskInside) ? 1 : 0;
            }
        }
    }
    area_ = static_cast<std::int32_t>(
        std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
    return area_ != 0;
}

void VXRegion::RebuildOutline(const RegionRect& box) {
    assert(HasMask() && box.left >= 0 && box.top >= 0 && box.right < width_ &&
           box.bottom < height_);
    points_.clear();
    // An inside pixel with an unselected neighbour becomes outline. Only 0 is tested, so the
    // pixels already turned into outline in this pass do not spread the outline inward.
    for (std::int32_t y = box.top + 1; y <= box.bottom - 1; ++y) {
        for (std::int32_t x = box.left + 1; x <= box.right - 1; ++x) {
            std::uint8_t& b = mask_[Index(x, y)];
            if (b == MaskInside &&
                (mask_[Index(x, y - 1)] == MaskOutside || mask_[Index(x - 1, y)] == MaskOutside ||
                 mask_[Index(x + 1, y)] == MaskOutside || mask_[Index(x, y + 1)] == MaskOutside)) {
                b = MaskOutline;
                points_.push_back({x, y});
            }
        }
    }
    // Selected pixels on the border of the box are always outline. A pixel turned into outline
    // once is not listed again, so corners and one-pixel-wide boxes appear exactly once.
    const auto markBorder = [this](std::int32_t x, std::int32_t y) {
        std::uint8_t& b = mask_[Index(x, y)];
        if (b == MaskInside) {
            b = MaskOutline;
            points_.push_back({x, y});
        }
    };
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
        markBorder(box.left, y);
        markBorder(box.right, y);
    }
    for (std::int32_t x = box.left; x <= box.right; ++x) {
        markBorder(x, box.top);
        markBorder(x, box.bottom);
    }
}

void VXRegion::UnionMask(Mask8& shapeMask, const RegionRect& box) {
    assert(shapeMask.size() == mask_.size());
    ResolveOutline(mask_);
    ResolveOutline(shapeMask);
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
        for (std::int32_t x = box.left; x <= box.right; ++x) {
            if (shapeMask[Index(x, y)] == MaskInside) {
                mask_[Index(x, y)] = MaskInside;
            }
        }
    }
}

void VXRegion::SubtractMask(Mask8& shapeMask, const RegionRect& box) {
    assert(shapeMask.size() == mask_.size());
    ResolveOutline(mask_);
    ResolveOutline(shapeMask);
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
        for (std::int32_t x = box.left; x <= box.right; ++x) {
            if (shapeMask[Index(x, y)] == MaskInside) {
                mask_[Index(x, y)] = MaskOutside;
            }
        }
    }
}

void VXRegion::IntersectMask(Mask8& shapeMask, const RegionRect& box) {
    assert(shapeMask.size() == mask_.size());
    ResolveOutline(mask_);
    ResolveOutline(shapeMask);
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
        for (std::int32_t x = box.left; x <= box.right; ++x) {
            std::uint8_t& b = mask_[Index(x, y)];
            b = (b == MaskInside && shapeMask[Index(x, y)] == MaskInside) ? MaskInside
                                                                          : MaskOutside;
        }
    }
}

void VXRegion::Finish() {
    ComputeBounds();
    CountArea();
    if (area_ == 0) {
        Clear();
    }
}

bool VXRegion::CanIntersectOrSubtract() const {
    // A region without a mask cannot be combined (a path region holds points but no mask).
    return HasMask() && !points_.empty() &&
           static_cast<std::int64_t>(width_) * static_cast<std::int64_t>(height_) != area_;
}

// The shape's box becomes bounds_ first; every path through here ends with Finish, whose
// ComputeBounds replaces it with the box of the outline.
void VXRegion::CombineShape(Shape shape, SelectionMode mode) {
    const RegionRect whole{0, 0, width_ - 1, height_ - 1};
    bounds_ = shape.box;
    switch (mode) {
        case SelectionMode::Replace:
        case SelectionMode::Add:
            if (mode == SelectionMode::Add && HasMask()) {
                UnionMask(shape.mask, shape.box);
                RebuildOutline(whole);
                ComputeBounds();
            } else {
                // The shape becomes the selection as it was generated, outline order included.
                mask_ = std::move(shape.mask);
                points_ = std::move(shape.outline);
            }
            break;
        case SelectionMode::Intersect:
            IntersectMask(shape.mask, whole);
            RebuildOutline(whole);
            ComputeBounds();
            break;
        case SelectionMode::Subtract:
            SubtractMask(shape.mask, shape.box);
            RebuildOutline(whole);
            ComputeBounds();
            break;
    }
    Finish();
}

// ---------------------------------------------------------------------------------------------
// Rectangles

// Example: the rectangle (1, 1, 4, 3) lists (1,1) (2,1) (3,1) (4,1), (4,1) (4,2) (4,3),
// (4,3) (3,3) (2,3) (1,3), (1,3) (1,2) (1,1); its inside is (2,2) and (3,2).
VXRegion::Shape VXRegion::GenerateRectangle(const RegionRect& rect) const {
    Shape shape;
    shape.mask.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                      MaskOutside);
    shape.box = rect;
    const auto [l, t, r, b] = rect;
    // Clockwise from the top-left corner; each corner is listed twice, as the end of one side
    // and the start of the next.
    const auto outline = [&shape, this](std::int32_t x, std::int32_t y) {
        shape.outline.push_back({x, y});
        shape.mask[Index(x, y)] = MaskOutline;
    };
    for (std::int32_t x = l; x <= r; ++x) {
        outline(x, t);
    }
    for (std::int32_t y = t; y <= b; ++y) {
        outline(r, y);
    }
    for (std::int32_t x = r; x >= l; --x) {
        outline(x, b);
    }
    for (std::int32_t y = b; y >= t; --y) {
        outline(l, y);
    }
    // Inside pixels exist only when both sides are at least 3 pixels long.
    for (std::int32_t y = t + 1; y < b && r - l >= 2; ++y) {
        std::fill_n(shape.mask.begin() + static_cast<std::ptrdiff_t>(Index(l + 1, y)), r - l - 1,
                    MaskInside);
    }
    return shape;
}

void VXRegion::SetRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom) {
    Clear();
    if (ImageIsEmpty()) {
        return;
    }
    RegionRect rect{left, top, right, bottom};
    ClampRect(rect);
    if (rect.left == rect.right || rect.top == rect.bottom) {
        return;
    }
    CombineShape(GenerateRectangle(rect), SelectionMode::Replace);
}

void VXRegion::AddRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom) {
    // A click without a drag in add mode drops the whole selection.
    if (left == right || top == bottom || ImageIsEmpty()) {
        Clear();
        return;
    }
    RegionRect rect{left, top, right, bottom};
    ClampRect(rect);
    CombineShape(GenerateRectangle(rect), SelectionMode::Add);
}

void VXRegion::IntersectRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                  std::int32_t bottom) {
    if (!CanIntersectOrSubtract()) {
        return;
    }
    RegionRect rect{left, top, right, bottom};
    ClampRect(rect);
    CombineShape(GenerateRectangle(rect), SelectionMode::Intersect);
}

void VXRegion::SubtractRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                 std::int32_t bottom) {
    if (!CanIntersectOrSubtract()) {
        return;
    }
    RegionRect rect{left, top, right, bottom};
    ClampRect(rect);
    CombineShape(GenerateRectangle(rect), SelectionMode::Subtract);
}

// ---------------------------------------------------------------------------------------------
// Ellipses

VXRegion::Shape VXRegion::GenerateEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx,
                                          std::int32_t ry, float radiusX, float radiusY) const {
    Shape shape;
    shape.mask.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                      MaskOutside);
    // The clipped box always comes from the radii as passed. A box that misses the image is
    // empty (left > right or top > bottom); its ends are kept within -1 ... size so that they
    // fit 32 bits.
    const std::int64_t l64 = std::max<std::int64_t>(std::int64_t{cx} - rx, 0);
    const std::int64_t r64 = std::min<std::int64_t>(std::int64_t{cx} + rx, width_ - 1);
    const std::int64_t t64 = std::max<std::int64_t>(std::int64_t{cy} - ry, 0);
    const std::int64_t b64 = std::min<std::int64_t>(std::int64_t{cy} + ry, height_ - 1);
    shape.box = {static_cast<std::int32_t>(std::min<std::int64_t>(l64, width_)),
                 static_cast<std::int32_t>(std::min<std::int64_t>(t64, height_)),
                 static_cast<std::int32_t>(std::max<std::int64_t>(r64, -1)),
                 static_cast<std::int32_t>(std::max<std::int64_t>(b64, -1))};
    const std::int32_t l = shape.box.left;
    const std::int32_t t = shape.box.top;
    const std::int32_t r = shape.box.right;
    const std::int32_t b = shape.box.bottom;
    const float divisorX = radiusX * radiusX;
    const float divisorY = radiusY * radiusY;
    // A zero divisor (a radius of 1 made one smaller) makes every test value infinite or
    // undefined, so no pixel would be marked: skip the scans instead of dividing by zero.
    if (l > r || t > b || divisorX == 0.0F || divisorY == 0.0F) {
        return shape;
    }
    const float fcx = static_cast<float>(cx);
    const float fcy = static_cast<float>(cy);

    // One pixel of a scan; returns false when the scan ends there. The test value is
    // v = dy^2 / Ry^2 + dx^2 / Rx^2 in single precision: below 1 the pixel is selected (inside,
    // or outline on the clipped box's edge); in the thin band [1, 1.02) it is outline and ends
    // the scan. Example for a unit circle: the centre is inside and its four neighbours
    // (v = 1) are outline; the diagonal pixels (v = 2) stay unselected.
    const auto visit = [&](std::int32_t x, std::int32_t y) {
        const float ddy = static_cast<float>(y) - fcy;
        const float ddx = static_cast<float>(x) - fcx;
        const float v = ddy * ddy / divisorY + ddx * ddx / divisorX;
        std::uint8_t& byte = shape.mask[Index(x, y)];
        if (v < 1.0F) {
            if (l < x && x < r && t < y && y < b) {
                byte = MaskInside;
            } else {
                byte = MaskOutline;
                shape.outline.push_back({x, y});
            }
            return true;
        }
        if (static_cast<double>(v) < 1.02) {
            byte = MaskOutline;
            shape.outline.push_back({x, y});
            return false;
        }
        return true;
    };
    // Scans walk outward from the centre's row or column; positions outside the clipped box are
    // skipped, so a scan whose start lies outside begins at the nearest edge of the box.
    const auto scanColumn = [&](std::int32_t x) {
        for (std::int64_t y = std::min<std::int64_t>(cy, b); y >= t; --y) {
            if (!visit(x, static_cast<std::int32_t>(y))) {
                break;
            }
        }
        for (std::int64_t y = std::max<std::int64_t>(cy, t); y <= b; ++y) {
            if (!visit(x, static_cast<std::int32_t>(y))) {
                break;
            }
        }
    };
    const auto scanRow = [&](std::int32_t y) {
        for (std::int64_t x = std::min<std::int64_t>(cx, r); x >= l; --x) {
            if (!visit(static_cast<std::int32_t>(x), y)) {
                break;
            }
        }
        for (std::int64_t x = std::max<std::int64_t>(cx, l); x <= r; ++x) {
            if (!visit(static_cast<std::int32_t>(x), y)) {
                break;
            }
        }
    };
    // Four passes: columns leftward, columns rightward, rows upward, rows downward. A pixel
    // met by several passes is marked the same way each time and listed each time.
    for (std::int64_t x = std::min<std::int64_t>(cx, r); x >= l; --x) {
        scanColumn(static_cast<std::int32_t>(x));
    }
    for (std::int64_t x = std::max<std::int64_t>(cx, l); x <= r; ++x) {
        scanColumn(static_cast<std::int32_t>(x));
    }
    for (std::int64_t y = std::min<std::int64_t>(cy, b); y >= t; --y) {
        scanRow(static_cast<std::int32_t>(y));
    }
    for (std::int64_t y = std::max<std::int64_t>(cy, t); y <= b; ++y) {
        scanRow(static_cast<std::int32_t>(y));
    }
    return shape;
}

void VXRegion::EllipseOperation(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry,
                                SelectionMode mode) {
    // Add, intersect and subtract draw the ellipse one pixel smaller on each axis; radii of 0
    // thus give divisors of 1 and mark the centre pixel alone.
    const float radiusX = static_cast<float>(std::int64_t{rx} - 1);
    const float radiusY = static_cast<float>(std::int64_t{ry} - 1);
    CombineShape(GenerateEllipse(cx, cy, rx, ry, radiusX, radiusY), mode);
}

void VXRegion::SetEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry) {
    Clear();
    if (ImageIsEmpty()) {
        return;
    }
    if (rx < 1 || ry < 1) {
        // The selection stays empty, with a mask of zeros.
        mask_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                     MaskOutside);
        return;
    }
    CombineShape(GenerateEllipse(cx, cy, rx, ry, static_cast<float>(rx), static_cast<float>(ry)),
                 SelectionMode::Replace);
}

void VXRegion::AddEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry) {
    if (ImageIsEmpty()) {
        Clear();
        return;
    }
    EllipseOperation(cx, cy, rx, ry, SelectionMode::Add);
}

void VXRegion::IntersectEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx,
                                std::int32_t ry) {
    if (CanIntersectOrSubtract()) {
        EllipseOperation(cx, cy, rx, ry, SelectionMode::Intersect);
    }
}

void VXRegion::SubtractEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry) {
    if (CanIntersectOrSubtract()) {
        EllipseOperation(cx, cy, rx, ry, SelectionMode::Subtract);
    }
}

// ---------------------------------------------------------------------------------------------
// Invert and rescale

void VXRegion::SetPixels(const std::vector<std::uint8_t>& selected) {
    Clear();
    const std::size_t size = static_cast<std::size_t>(std::max(width_, 0)) *
                             static_cast<std::size_t>(std::max(height_, 0));
    if (ImageIsEmpty() || selected.size() != size) {
        return;
    }
    mask_.resize(size);
    std::transform(selected.begin(), selected.end(), mask_.begin(),
                   [](std::uint8_t b) { return b != 0 ? MaskInside : MaskOutside; });
    RebuildOutline({0, 0, width_ - 1, height_ - 1});
    Finish();
}

void VXRegion::Invert() {
    if (points_.empty() || !HasMask()) {
        return;
    }
    // Flatten the outline into the inside, swap selected and unselected, derive the outline
    // of the complement; a selection of every pixel inverts to nothing and is cleared.
    ResolveOutline(mask_);
    for (std::uint8_t& b : mask_) {
        b = (b == MaskInside) ? MaskOutside : MaskInside;
    }
    RebuildOutline({0, 0, width_ - 1, height_ - 1});
    ComputeBounds();
    CountArea();
    if (area_ == 0) {
        Clear();
    }
}

// Example for Rescale(2) of an 8-pixel-wide mask: 16 columns, column x' reading source column
// min(trunc(0.5 x' + 0.5), 7), that is 0 1 1 2 2 3 3 ... 7 7 7.
void VXRegion::Rescale(float factor) {
    RescaleFrom(*this, factor);
}

std::unique_ptr<VXRegion> VXRegion::RescaledCopy(float factor) const {
    auto copy = std::make_unique<VXRegion>();
    copy->RescaleFrom(*this, factor);
    return copy;
}

void VXRegion::RescaleFrom(const VXRegion& source, float factor) {
    assert(factor > 0.0F);
    // What Rescale leaves as it is, a copy takes over whole.
    const auto keep = [this, &source] {
        if (this != &source) {
            *this = source;
        }
    };
    if (!source.HasMask() || factor == source.scale_ || source.ImageIsEmpty() ||
        source.points_.empty()) {
        keep();
        return;
    }
    // New size trunc(size * factor + 0.5). A size that does not fit (or whose mask would hold
    // more pixels than a 32-bit area can count) leaves the region as it is; a size below 1,
    // also from a factor that is not positive, gives an empty selection of that size.
    const auto newSize = [factor](std::int32_t size) -> std::int64_t {
        const float v = static_cast<float>(size) * factor + 0.5F;
        if (!(v >= 1.0F)) {
            return 0;
        }
        if (v >= 2147483648.0F) {
            return -1;
        }
        return static_cast<std::int64_t>(v);
    };
    const std::int64_t newWidth = newSize(source.width_);
    const std::int64_t newHeight = newSize(source.height_);
    if (newWidth < 0 || newHeight < 0 ||
        newWidth * newHeight > std::numeric_limits<std::int32_t>::max()) {
        keep();
        return;
    }
    scale_ = factor;
    if (newWidth == 0 || newHeight == 0) {
        width_ = static_cast<std::int32_t>(newWidth);
        height_ = static_cast<std::int32_t>(newHeight);
        Clear();
        return;
    }

    // The scaled mask holds only inside and outside (an outline pixel samples as inside), and
    // its outline is derived afresh at the new size. Nearest source pixel:
    // min(trunc(size / newSize * i + 0.5), size - 1), quotient first.
    const auto sourceIndex = [](std::int32_t size, std::int64_t newSizeValue) {
        const float q = static_cast<float>(size) / static_cast<float>(newSizeValue);
        std::vector<std::int32_t> map(static_cast<std::size_t>(newSizeValue));
        for (std::size_t i = 0; i < map.size(); ++i) {
            const std::int64_t s = TruncSmall(q * static_cast<float>(i) + 0.5F);
            map[i] = static_cast<std::int32_t>(std::min<std::int64_t>(s, size - 1));
        }
        return map;
    };
    const std::vector<std::int32_t> columns = sourceIndex(source.width_, newWidth);
    const std::vector<std::int32_t> rows = sourceIndex(source.height_, newHeight);
    // The maps never decrease: the targets that sample the source's bounds are one run of
    // rows and one of columns; everything else stays outside.
    const RegionRect box = source.bounds_;
    const auto firstAt = [](const std::vector<std::int32_t>& map, std::int32_t value) {
        return static_cast<std::size_t>(std::lower_bound(map.begin(), map.end(), value) -
                                        map.begin());
    };
    const std::size_t top = firstAt(rows, box.top);
    const std::size_t bottom = firstAt(rows, box.bottom + 1);
    const std::size_t left = firstAt(columns, box.left);
    const std::size_t right = firstAt(columns, box.right + 1);
    Mask8 scaled(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight));
    const std::size_t sourceWidth = static_cast<std::size_t>(source.width_);
    for (std::size_t y = top; y < bottom; ++y) {
        const std::uint8_t* sourceRow =
            source.mask_.data() + static_cast<std::size_t>(rows[y]) * sourceWidth;
        std::uint8_t* row = scaled.data() + y * columns.size();
        for (std::size_t x = left; x < right; ++x) {
            row[x] = sourceRow[columns[x]] != MaskOutside ? MaskInside : MaskOutside;
        }
    }
    width_ = static_cast<std::int32_t>(newWidth);
    height_ = static_cast<std::int32_t>(newHeight);
    mask_ = std::move(scaled);
    RebuildOutline({0, 0, width_ - 1, height_ - 1});
    ComputeBounds();
    CountArea();
    if (area_ == 0) {
        Clear();
    }
}

// ---------------------------------------------------------------------------------------------
// Free-hand paths

void VXRegion::BridgeLastGap() {
    const std::size_t n = points_.size();
    if (n < 2) {
        return;
    }
    const RegionPoint p = points_[n - 2];
    const RegionPoint q = points_[n - 1];
    const std::int64_t dx = std::int64_t{q.x} - p.x;
    const std::int64_t dy = std::int64_t{q.y} - p.y;
    const std::int64_t adx = Abs64(dx);
    const std::int64_t ady = Abs64(dy);
    if (adx <= 1 && ady <= 1) {
        return;
    }
    // Example: P = (0, 0), Q = (10, 3) inserts x = 1 ... 9 with y = trunc(0.3 * k + 0.5), that
    // is 0 1 1 1 2 2 2 2 3.
    std::vector<RegionPoint> bridge;
    if (ady < adx) {
        const float slope = static_cast<float>(ady) / static_cast<float>(adx);
        std::int64_t k = 1;
        for (std::int64_t x = p.x + Sign(dx); x != q.x; x += Sign(dx), ++k) {
            const std::int64_t y =
                p.y + Sign(dy) * TruncSmall(slope * static_cast<float>(k) + 0.5F);
            bridge.push_back(MakePoint(x, ClampToSpan(y, p.y, q.y)));
        }
    } else {
        const float slope = static_cast<float>(adx) / static_cast<float>(ady);
        std::int64_t k = 1;
        for (std::int64_t y = p.y + Sign(dy); y != q.y; y += Sign(dy), ++k) {
            const std::int64_t x =
                p.x + Sign(dx) * TruncSmall(slope * static_cast<float>(k) + 0.5F);
            bridge.push_back(MakePoint(ClampToSpan(x, p.x, q.x), y));
        }
    }
    points_.insert(points_.end() - 1, bridge.begin(), bridge.end());
}

void VXRegion::ClosePolygon() {
    if (points_.empty()) {
        return;
    }
    // Each segment contributes its start vertex, then the pixels of a line walk to its end
    // vertex, skipping a pixel equal to the one listed last. Example: the square (0,0) (4,0)
    // (4,4) (0,4) becomes (0,0) (1,0) ... (4,0), (4,0) (4,1) ... (4,4), (4,4) (3,4) ... and ends
    // back at (0,0), every vertex but the first listed twice.
    // The path with a copy of its first point appended, which closes it.
    std::vector<RegionPoint> vertices;
    vertices.reserve(points_.size() + 1);
    vertices.insert(vertices.end(), points_.begin(), points_.end());
    vertices.push_back(points_.front());
    const std::size_t n = vertices.size();
    std::vector<RegionPoint> closed;
    for (std::size_t j = 1; j < n; ++j) {
        // Segment from a to e; j + 1 < n means it is not the closing segment.
        const RegionPoint a = vertices[j - 1];
        const RegionPoint e = vertices[j];
        closed.push_back(a);
        const std::int64_t dx = std::int64_t{e.x} - a.x;
        const std::int64_t dy = std::int64_t{e.y} - a.y;
        const std::int64_t adx = Abs64(dx);
        const std::int64_t ady = Abs64(dy);
        if (adx == 0 && ady == 0) {
            continue;
        }
        const bool stepX = adx > ady;
        const std::int64_t steps = stepX ? adx : ady;
        for (std::int64_t i = 0; i <= steps; ++i) {
            // The cross offset is i / |step delta| * |cross delta|, rounded half up.
            RegionPoint candidate;
            if (stepX) {
                const float f =
                    static_cast<float>(i) / static_cast<float>(adx) * static_cast<float>(ady) +
                    0.5F;
                const std::int64_t y = ClampToSpan(a.y + Sign(dy) * TruncSmall(f), a.y, e.y);
                candidate = MakePoint(a.x + Sign(dx) * i, y);
            } else {
                const float f =
                    static_cast<float>(i) / static_cast<float>(ady) * static_cast<float>(adx) +
                    0.5F;
                const std::int64_t x = ClampToSpan(a.x + Sign(dx) * TruncSmall(f), a.x, e.x);
                candidate = MakePoint(x, a.y + Sign(dy) * i);
            }
            if (candidate == closed.back()) {
                continue;
            }
            // Reaching the vertex after E means the path doubles back over this segment.
            if (j + 1 < n && candidate == vertices[j + 1]) {
                break;
            }
            closed.push_back(candidate);
        }
    }
    Clear();
    points_ = std::move(closed);
}

void VXRegion::ClampVertices(VXRegion& path) const {
    assert(!ImageIsEmpty());
    for (RegionPoint& p : path.points_) {
        p.x = std::clamp(p.x, 0, width_ - 1);
        p.y = std::clamp(p.y, 0, height_ - 1);
    }
}

void VXRegion::WalkRay(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    if (x0 == x1 && y0 == y1) {
        std::uint8_t& b = mask_[Index(x0, y0)];
        if (b == MaskUnresolved) {
            b = MaskOutside;
        }
        return;
    }
    const std::int32_t dx = x1 - x0;
    const std::int32_t dy = y1 - y0;
    const std::int32_t adx = std::abs(dx);
    const std::int32_t ady = std::abs(dy);
    const std::int32_t sx = (dx > 0) - (dx < 0);
    const std::int32_t sy = (dy > 0) - (dy < 0);
    // Visits one pixel; returns false when the ray stops there. back is the pixel one step back
    // along the stepping axis: a ray may not slip between two outline pixels touching at a
    // corner.
    const auto step = [this](std::int32_t x, std::int32_t y, std::int32_t crossLow,
                             std::int32_t crossHigh, std::int32_t cross, bool hasBack,
                             std::int32_t backX, std::int32_t backY) {
        if (cross < crossLow || cross > crossHigh) {
            return false;
        }
        std::uint8_t& b = mask_[Index(x, y)];
        if (b == MaskOutline) {
            return false;
        }
        if (hasBack && mask_[Index(backX, backY)] == MaskOutline) {
            return false;
        }
        if (b == MaskUnresolved) {
            b = MaskOutside;
        }
        return true;
    };
    // Step along the longer axis; the cross coordinate is offset by trunc(i * slope + 0.5)
    // (or i / slope along y), which may overshoot the end point by rounding and then stops the
    // ray.
    if (adx > ady) {
        const float s = static_cast<float>(ady) / static_cast<float>(adx);
        const std::int32_t low = std::min(y0, y1);
        const std::int32_t high = std::max(y0, y1);
        for (std::int32_t i = 0; i <= adx; ++i) {
            const std::int32_t x = x0 + i * sx;
            const std::int32_t y =
                y0 + sy * static_cast<std::int32_t>(TruncSmall(static_cast<float>(i) * s + 0.5F));
            if (!step(x, y, low, high, y, i >= 1, x - sx, y)) {
                return;
            }
        }
    } else {
        // With dx = 0 the walk stays in column x0 (the slope would be infinite).
        const float s = adx == 0 ? 0.0F : static_cast<float>(ady) / static_cast<float>(adx);
        const std::int32_t low = std::min(x0, x1);
        const std::int32_t high = std::max(x0, x1);
        for (std::int32_t i = 0; i <= ady; ++i) {
            const std::int32_t y = y0 + i * sy;
            const std::int32_t x = adx == 0 ? x0
                                            : x0 + sx * static_cast<std::int32_t>(TruncSmall(
                                                            static_cast<float>(i) / s + 0.5F));
            if (!step(x, y, low, high, x, i >= 1, x, y - sy)) {
                return;
            }
        }
    }
}

void VXRegion::CastRays(std::int32_t x0, std::int32_t y0, const RegionRect& box) {
    // Rays go to every pixel of the border of left ... right - 1 by top ... bottom - 1,
    // clockwise from the top-left corner.
    const auto [l, t, r, b] = box;
    for (std::int32_t k = l; k <= r - 1; ++k) {
        WalkRay(x0, y0, k, t);
    }
    for (std::int32_t k = t; k <= b - 1; ++k) {
        WalkRay(x0, y0, r - 1, k);
    }
    for (std::int32_t k = r - 1; k >= l; --k) {
        WalkRay(x0, y0, k, b - 1);
    }
    for (std::int32_t k = b - 1; k >= t; --k) {
        WalkRay(x0, y0, l, k);
    }
}

VXRegion::Shape VXRegion::FillPolygonMask(const VXRegion& path) const {
    Shape shape;
    shape.mask.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                      MaskOutside);
    shape.box = {0, 0, -1, -1};

    // The fill works like a flood fill from outside that moves along straight rays. Example:
    // for the outline of a 3 x 3 square at canvas (4..6, 4..6), the working box is 2..8 by
    // 2..8; rays from its corners reach every pixel outside the square (they stop at the
    // outline), the centre (5, 5) stays unresolved, and the square becomes the shape with the
    // centre inside and the ring as outline.
    //
    // The canvas has a margin of 2 pixels on every side, so the working box, the vertices' box
    // widened by 2, always lies inside it.
    VXRegion canvas;
    canvas.width_ = width_ + 4;
    canvas.height_ = height_ + 4;
    canvas.mask_.assign(
        static_cast<std::size_t>(canvas.width_) * static_cast<std::size_t>(canvas.height_),
        MaskUnresolved);
    for (const RegionPoint& p : path.points_) {
        assert(p.x >= 0 && p.x < width_ && p.y >= 0 && p.y < height_);
        canvas.mask_[canvas.Index(p.x + 2, p.y + 2)] = MaskOutline;
    }
    if (!canvas.ComputeBounds()) {
        return shape;
    }
    const RegionRect work{canvas.bounds_.left - 2, canvas.bounds_.top - 2, canvas.bounds_.right + 2,
                          canvas.bounds_.bottom + 2};
    const auto [l, t, r, b] = work;
    std::vector<std::uint8_t>& m = canvas.mask_;
    const auto at = [&canvas](std::int32_t x, std::int32_t y) -> std::uint8_t& {
        return canvas.mask_[canvas.Index(x, y)];
    };
    const auto touchesOutside = [&at](std::int32_t x, std::int32_t y) {
        return at(x, y - 1) == MaskOutside || at(x - 1, y) == MaskOutside ||
               at(x + 1, y) == MaskOutside || at(x, y + 1) == MaskOutside;
    };

    // Rays from the corners mark the outside they reach; then every unresolved pixel next to
    // the outside sends rays of its own, until no pass finds such a pixel. Rays stop at outline
    // pixels, so what stays unresolved is enclosed by the path.
    canvas.CastRays(l, t, work);
    canvas.CastRays(l, b, work);
    canvas.CastRays(r, t, work);
    canvas.CastRays(r, b, work);
    for (bool changed = true; changed;) {
        changed = false;
        for (std::int32_t y = t + 1; y <= b - 1; ++y) {
            for (std::int32_t x = l + 1; x <= r - 1; ++x) {
                if (at(x, y) == MaskUnresolved && touchesOutside(x, y)) {
                    canvas.CastRays(x, y, work);
                    changed = true;
                }
            }
        }
    }
    // The enclosed pixels and the path become the inside; the outline is derived again.
    for (std::int32_t y = t; y <= b; ++y) {
        for (std::int32_t x = l; x <= r; ++x) {
            std::uint8_t& v = at(x, y);
            if (v == MaskUnresolved || v == MaskOutline) {
                v = MaskInside;
            }
        }
    }
    for (std::int32_t y = t + 1; y <= b - 1; ++y) {
        for (std::int32_t x = l + 1; x <= r - 1; ++x) {
            if (at(x, y) == MaskInside && touchesOutside(x, y)) {
                at(x, y) = MaskOutline;
            }
        }
    }
    for (std::uint8_t& v : m) {
        if (v == MaskUnresolved) {
            v = MaskOutside;
        }
    }
    // Inside pixels left on the working box's own edge that touch the outside are dropped.
    for (std::int32_t y = 1; y <= canvas.height_ - 2; ++y) {
        for (std::int32_t x = 1; x <= canvas.width_ - 2; ++x) {
            if (at(x, y) == MaskInside && touchesOutside(x, y)) {
                at(x, y) = MaskOutside;
            }
        }
    }

    // Back to image coordinates: the working box shrunk by 2 and shifted by -2 is the box of
    // the vertices; the shape's outline is listed row by row.
    shape.box = {l, t, r - 4, b - 4};
    for (std::int32_t y = 0; y < height_; ++y) {
        std::copy_n(m.begin() + static_cast<std::ptrdiff_t>(canvas.Index(2, y + 2)), width_,
                    shape.mask.begin() + static_cast<std::ptrdiff_t>(Index(0, y)));
    }
    for (std::int32_t y = shape.box.top; y <= shape.box.bottom; ++y) {
        for (std::int32_t x = shape.box.left; x <= shape.box.right; ++x) {
            if (shape.mask[Index(x, y)] == MaskOutline) {
                shape.outline.push_back({x, y});
            }
        }
    }
    return shape;
}

void VXRegion::PolygonOperation(VXRegion& path, SelectionMode mode) {
    ClampVertices(path);
    CombineShape(FillPolygonMask(path), mode);
}

// The polygon operations clamp the path's vertices in place first, so the canvas and the working
// box always lie within the image plus its margin.

void VXRegion::SetPolygon(VXRegion& path) {
    Clear();
    if (ImageIsEmpty()) {
        return;
    }
    ClampVertices(path);
    // A click without a drag gives a path of a handful of points at most.
    if (path.PointCount() <= 4) {
        return;
    }
    CombineShape(FillPolygonMask(path), SelectionMode::Replace);
}

void VXRegion::AddPolygon(VXRegion& path) {
    if (ImageIsEmpty() || path.points_.empty()) {
        return;
    }
    PolygonOperation(path, SelectionMode::Add);
}

void VXRegion::IntersectPolygon(VXRegion& path) {
    if (CanIntersectOrSubtract()) {
        PolygonOperation(path, SelectionMode::Intersect);
    }
}

void VXRegion::SubtractPolygon(VXRegion& path) {
    if (CanIntersectOrSubtract()) {
        PolygonOperation(path, SelectionMode::Subtract);
    }
}

}  // namespace quarvel
