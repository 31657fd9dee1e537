// Selection regions under random sequences of shapes and modes: rectangles, ellipses and
// free-hand polygons set, added, subtracted and intersected, inverted, rescaled and cloned. After
// every step the mask, the outline list, the area and the bounds must agree.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "selection/VXRegion.h"

namespace {

using quarvel::RegionPoint;
using quarvel::RegionRect;
using quarvel::SelectionMode;
using quarvel::VXRegion;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "region: %s\n", what);
        std::abort();
    }
}

bool Selected(std::uint8_t b) {
    return b == quarvel::MaskOutline || b == quarvel::MaskInside;
}

/// What holds after every operation: mask bytes are 0, 128 or 255; the listed points are
/// exactly the pixels valued 128; the bounds are their box and the area counts the selected
/// pixels inside it; Contains agrees with the mask. With rebuilt set, also what holds after the
/// outline was rebuilt over the whole image: every outline pixel listed once, and the outline is
/// exactly the selected pixels at an unselected neighbour or the image border.
void CheckRegion(const VXRegion& region, bool rebuilt) {
    const std::int32_t w = region.Width();
    const std::int32_t h = region.Height();
    Check(w >= 0 && h >= 0, "negative size");
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::vector<std::uint8_t>& mask = region.Mask();
    Check(mask.empty() || mask.size() == pixels, "the mask does not have the region's size");
    const auto index = [w](std::int32_t x, std::int32_t y) {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
               static_cast<std::size_t>(x);
    };

    // How often each pixel is listed as an outline point.
    std::vector<std::uint32_t> listed(pixels, 0);
    for (const RegionPoint& p : region.Points()) {
        Check(p.x >= 0 && p.y >= 0 && p.x < w && p.y < h, "an outline point outside the image");
        ++listed[index(p.x, p.y)];
    }

    RegionRect box{w, h, -1, -1};
    std::int64_t selected = 0;
    for (std::int32_t y = 0; y < h && !mask.empty(); ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t b = mask[index(x, y)];
            Check(b == quarvel::MaskOutside || Selected(b), "a mask byte of no meaning");
            Check(region.Contains(x, y) == Selected(b), "Contains disagrees with the mask");
            Check((listed[index(x, y)] > 0) == (b == quarvel::MaskOutline),
                  "the outline list is not the set of outline pixels");
            Check(!rebuilt || listed[index(x, y)] <= 1, "an outline pixel is listed twice");
            selected += Selected(b) ? 1 : 0;
            if (b == quarvel::MaskOutline) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
            }
        }
    }
    if (mask.empty()) {
        Check(region.PointCount() == 0, "outline points without a mask");
    } else {
        Check(!region.Contains(-1, 0) && !region.Contains(0, -1) && !region.Contains(w, 0) &&
                  !region.Contains(0, h),
              "Contains is true outside the image");
    }
    if (region.PointCount() == 0) {
        Check(selected == 0, "pixels are selected without an outline");
        return;
    }
    Check(region.Bounds() == box, "the bounds are not the box of the outline");
    std::int64_t area = 0;
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
        for (std::int32_t x = box.left; x <= box.right; ++x) {
            area += Selected(mask[index(x, y)]) ? 1 : 0;
        }
    }
    Check(region.Area() == area && area > 0, "the area is not the count of selected pixels");
    Check(area == selected, "selected pixels lie outside the bounds");
    if (!rebuilt) {
        return;
    }
    const auto sel = [&](std::int32_t x, std::int32_t y) {
        return x >= 0 && y >= 0 && x < w && y < h && Selected(mask[index(x, y)]);
    };
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const bool edge =
                sel(x, y) && (x == 0 || y == 0 || x == w - 1 || y == h - 1 || !sel(x - 1, y) ||
                              !sel(x + 1, y) || !sel(x, y - 1) || !sel(x, y + 1));
            Check(edge == (mask[index(x, y)] == quarvel::MaskOutline),
                  "the rebuilt outline is wrong");
        }
    }
}

/// With QUARVEL_FUZZ_TRACE set, every step is written to the error stream (for reading a
/// finding).
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
    static const bool enabled = std::getenv("QUARVEL_FUZZ_TRACE") != nullptr;
    if (enabled) {
        va_list arguments;
        va_start(arguments, format);
        std::vfprintf(stderr, format, arguments);
        va_end(arguments);
    }
}

/// A coordinate: mostly near the image, sometimes anywhere in the 32-bit range.
std::int32_t Coordinate(FuzzedDataProvider& input, std::int32_t size) {
    if (input.ConsumeIntegralInRange<std::uint8_t>(0, 15) == 0) {
        return input.ConsumeIntegral<std::int32_t>();
    }
    return input.ConsumeIntegralInRange<std::int32_t>(-8, size + 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::int32_t w = input.ConsumeIntegralInRange<std::int32_t>(-1, 64);
    const std::int32_t h = input.ConsumeIntegralInRange<std::int32_t>(-1, 64);
    VXRegion region;
    region.Init(w, h);
    const std::int32_t width = region.Width();
    const std::int32_t height = region.Height();
    Check(width == std::max(w, 0) && height == std::max(h, 0), "Init keeps a wrong size");
    Trace("init %d x %d\n", w, h);
    CheckRegion(region, false);

    for (int step = 0; step < 48 && input.remaining_bytes() > 0; ++step) {
        const auto mode = static_cast<SelectionMode>(input.ConsumeIntegralInRange<int>(0, 3));
        const bool hadMask = region.HasMask();
        const bool canCut = hadMask && region.PointCount() > 0 && region.Area() != width * height;
        const bool combines =
            (mode == SelectionMode::Add && hadMask) ||
            (mode != SelectionMode::Add && mode != SelectionMode::Replace && canCut);
        bool rebuilt = false;
        const std::vector<std::uint8_t> maskBefore = region.Mask();
        const std::vector<RegionPoint> pointsBefore = region.Points();
        switch (input.ConsumeIntegralInRange<int>(0, 6)) {
            case 0:
            case 1: {
                const std::int32_t x0 = Coordinate(input, width);
                const std::int32_t y0 = Coordinate(input, height);
                const std::int32_t x1 = Coordinate(input, width);
                const std::int32_t y1 = Coordinate(input, height);
                Trace("rectangle mode %d: %d %d %d %d\n", static_cast<int>(mode), x0, y0, x1, y1);
                switch (mode) {
                    case SelectionMode::Replace:
                        region.SetRectangle(x0, y0, x1, y1);
                        break;
                    case SelectionMode::Add:
                        region.AddRectangle(x0, y0, x1, y1);
                        break;
                    case SelectionMode::Subtract:
                        region.SubtractRectangle(x0, y0, x1, y1);
                        break;
                    case SelectionMode::Intersect:
                        region.IntersectRectangle(x0, y0, x1, y1);
                        break;
                }
                rebuilt = combines;
                break;
            }
            case 2:
            case 3: {
                const std::int32_t cx = Coordinate(input, width);
                const std::int32_t cy = Coordinate(input, height);
                const std::int32_t rx = Coordinate(input, width);
                const std::int32_t ry = Coordinate(input, height);
                Trace("ellipse mode %d: %d %d %d %d\n", static_cast<int>(mode), cx, cy, rx, ry);
                switch (mode) {
                    case SelectionMode::Replace:
                        region.SetEllipse(cx, cy, rx, ry);
                        break;
                    case SelectionMode::Add:
                        region.AddEllipse(cx, cy, rx, ry);
                        break;
                    case SelectionMode::Subtract:
                        region.SubtractEllipse(cx, cy, rx, ry);
                        break;
                    case SelectionMode::Intersect:
                        region.IntersectEllipse(cx, cy, rx, ry);
                        break;
                }
                rebuilt = combines;
                break;
            }
            case 4: {
                // A free-hand path as the pane builds it: points appended while dragging, each
                // gap bridged, then closed. Its points stay within a few image sizes, as mouse
                // positions do.
                VXRegion path;
                const int count = input.ConsumeIntegralInRange<int>(0, 12);
                for (int i = 0; i < count; ++i) {
                    path.AppendPoint(
                        input.ConsumeIntegralInRange<std::int32_t>(-2 * width - 4, 3 * width + 4),
                        input.ConsumeIntegralInRange<std::int32_t>(-2 * height - 4,
                                                                   3 * height + 4));
                    if (input.ConsumeBool()) {
                        path.BridgeLastGap();
                    }
                }
                path.ClosePolygon();
                Trace("polygon mode %d:", static_cast<int>(mode));
                for (const RegionPoint& p : path.Points()) {
                    Trace(" %d,%d", p.x, p.y);
                }
                Trace("\n");
                switch (mode) {
                    case SelectionMode::Replace:
                        region.SetPolygon(path);
                        break;
                    case SelectionMode::Add:
                        region.AddPolygon(path);
                        break;
                    case SelectionMode::Subtract:
                        region.SubtractPolygon(path);
                        break;
                    case SelectionMode::Intersect:
                        region.IntersectPolygon(path);
                        break;
                }
                rebuilt = combines;
                break;
            }
            case 5:
                rebuilt = region.PointCount() > 0;
                Trace("invert\n");
                region.Invert();
                break;
            case 6: {
                // The outline display works on a rescaled clone; the region itself stays.
                const std::unique_ptr<VXRegion> clone = region.Clone();
                Check(clone->Width() == width && clone->Height() == height &&
                          clone->Mask() == region.Mask() && clone->Points() == region.Points() &&
                          clone->Area() == region.Area() && clone->Bounds() == region.Bounds(),
                      "a clone differs from its region");
                const float factor =
                    static_cast<float>(input.ConsumeIntegralInRange<int>(1, 64)) / 8.0F;
                const auto scaled = [factor](std::int32_t side) {
                    return static_cast<std::int32_t>(static_cast<float>(side) * factor + 0.5F);
                };
                const bool changes = clone->PointCount() > 0 && clone->HasMask() &&
                                     factor != clone->Scale() && scaled(width) > 0 &&
                                     scaled(height) > 0;
                Trace("rescale %g\n", static_cast<double>(factor));
                clone->Rescale(factor);
                CheckRegion(*clone, changes);
                break;
            }
        }
        // An operation that left the region as it was (an empty path, nothing to cut) rebuilt
        // nothing either.
        const bool unchanged = region.Mask() == maskBefore && region.Points() == pointsBefore;
        CheckRegion(region, rebuilt && !unchanged);
    }
    return 0;
}
