#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "selection/VXRegion.h"

namespace quarvel::test {

/// One flag per pixel, row-major; true means selected.
using PixelSet = std::vector<bool>;

inline bool IsSelectedByte(std::uint8_t b) {
    return b == MaskOutline || b == MaskInside;
}

/// The selected pixels as the mask records them (none without a mask).
inline PixelSet SelectedPixels(const VXRegion& region) {
    PixelSet set(static_cast<std::size_t>(region.Width()) * region.Height(), false);
    if (region.HasMask()) {
        for (std::size_t i = 0; i < set.size(); ++i) {
            set[i] = IsSelectedByte(region.Mask()[i]);
        }
    }
    return set;
}

inline std::size_t CountSelected(const VXRegion& region) {
    std::size_t n = 0;
    for (bool b : SelectedPixels(region)) {
        n += b ? 1 : 0;
    }
    return n;
}

inline std::set<std::pair<int, int>> PointSet(const std::vector<RegionPoint>& points) {
    std::set<std::pair<int, int>> set;
    for (const RegionPoint& p : points) {
        set.insert({p.x, p.y});
    }
    return set;
}

/// What holds after every operation: bytes are 0, 128 or 255; the points are exactly the
/// pixels valued 128; an empty region has no mask or a mask of zeros; otherwise bounds is the
/// box of the outline pixels and area counts the selected pixels inside it.
inline void ExpectConsistent(const VXRegion& region) {
    const int w = region.Width();
    const int h = region.Height();
    const std::vector<std::uint8_t>& mask = region.Mask();
    ASSERT_TRUE(mask.empty() || mask.size() == static_cast<std::size_t>(w) * h);
    std::set<std::pair<int, int>> outline;
    RegionRect box{w, h, -1, -1};
    int area = 0;
    for (int y = 0; y < h && !mask.empty(); ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t b = mask[static_cast<std::size_t>(y) * w + x];
            ASSERT_TRUE(b == MaskOutside || b == MaskOutline || b == MaskInside)
                << "byte " << int{b} << " at " << x << "," << y;
            if (b == MaskOutline) {
                outline.insert({x, y});
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
            }
        }
    }
    EXPECT_EQ(PointSet(region.Points()), outline);
    if (region.PointCount() == 0) {
        EXPECT_EQ(CountSelected(region), 0U);
        return;
    }
    EXPECT_EQ(region.Bounds(), box);
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            area += IsSelectedByte(mask[static_cast<std::size_t>(y) * w + x]) ? 1 : 0;
        }
    }
    EXPECT_EQ(region.Area(), area);
    EXPECT_GT(region.Area(), 0);
}

/// What holds after the outline was rebuilt over the whole image: each outline pixel is listed
/// once, and the outline pixels are exactly the selected pixels that touch an unselected pixel
/// or lie on the image border.
inline void ExpectRebuiltOutline(const VXRegion& region) {
    ExpectConsistent(region);
    const std::set<std::pair<int, int>> listed = PointSet(region.Points());
    EXPECT_EQ(listed.size(), region.Points().size()) << "an outline pixel is listed twice";
    const int w = region.Width();
    const int h = region.Height();
    const PixelSet selected = SelectedPixels(region);
    const auto sel = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && selected[static_cast<std::size_t>(y) * w + x];
    };
    std::set<std::pair<int, int>> expected;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (sel(x, y) && (x == 0 || y == 0 || x == w - 1 || y == h - 1 || !sel(x - 1, y) ||
                              !sel(x + 1, y) || !sel(x, y - 1) || !sel(x, y + 1))) {
                expected.insert({x, y});
            }
        }
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(static_cast<std::size_t>(region.Area()), CountSelected(region));
}

/// The pixels x0..x1 by y0..y1 (inclusive) of a w x h image.
inline PixelSet BoxSet(int w, int h, int x0, int y0, int x1, int y1) {
    PixelSet set(static_cast<std::size_t>(w) * h, false);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            set[static_cast<std::size_t>(y) * w + x] = true;
        }
    }
    return set;
}

}  // namespace quarvel::test
