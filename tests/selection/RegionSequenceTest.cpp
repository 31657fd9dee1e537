// Random sequences of selection operations in every mode. After each operation the region must
// be consistent, its selected pixels must lie between a lower and an upper estimate tracked
// alongside, and after every operation that rebuilds the outline each outline pixel must be
// listed once and the outline must be exactly the selected pixels at an edge.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "RegionChecks.h"
#include "selection/VXRegion.h"

namespace quarvel {
namespace {

using test::ExpectConsistent;
using test::PixelSet;

/// Lower and upper estimates of a shape or a selection.
struct Estimate {
    PixelSet low;
    PixelSet high;
};

Estimate Empty(std::size_t n) {
    return {PixelSet(n, false), PixelSet(n, false)};
}

/// Pixels of the clipped box whose ellipse test value is below level (single precision, as the
/// region computes it); none when a divisor is zero.
PixelSet EllipseLevel(int w, int h, int cx, int cy, int rx, int ry, float radiusX, float radiusY,
                      double level) {
    PixelSet set(static_cast<std::size_t>(w) * h, false);
    const float dxr = radiusX * radiusX;
    const float dyr = radiusY * radiusY;
    if (dxr == 0.0F || dyr == 0.0F) {
        return set;
    }
    for (int y = std::max(cy - ry, 0); y <= std::min(cy + ry, h - 1); ++y) {
        for (int x = std::max(cx - rx, 0); x <= std::min(cx + rx, w - 1); ++x) {
            const float ddy = static_cast<float>(y) - static_cast<float>(cy);
            const float ddx = static_cast<float>(x) - static_cast<float>(cx);
            const float v = ddy * ddy / dyr + ddx * ddx / dxr;
            set[static_cast<std::size_t>(y) * w + x] = static_cast<double>(v) < level;
        }
    }
    return set;
}

class RegionSequence : public testing::TestWithParam<unsigned> {
protected:
    void Combine(const Estimate& shape, SelectionMode mode) {
        for (std::size_t i = 0; i < model_.low.size(); ++i) {
            bool lo = model_.low[i];
            bool hi = model_.high[i];
            switch (mode) {
                case SelectionMode::Replace:
                    lo = shape.low[i];
                    hi = shape.high[i];
                    break;
                case SelectionMode::Add:
                    lo = lo || shape.low[i];
                    hi = hi || shape.high[i];
                    break;
                case SelectionMode::Subtract:
                    lo = lo && !shape.high[i];
                    hi = hi && !shape.low[i];
                    break;
                case SelectionMode::Intersect:
                    lo = lo && shape.low[i];
                    hi = hi && shape.high[i];
                    break;
            }
            model_.low[i] = lo;
            model_.high[i] = hi;
        }
    }

    void ExpectWithinModel(const VXRegion& region, const std::string& step) {
        const PixelSet selected = test::SelectedPixels(region);
        for (std::size_t i = 0; i < selected.size(); ++i) {
            if (model_.low[i] && !selected[i]) {
                ADD_FAILURE() << step << ": pixel " << i << " should be selected";
                return;
            }
            if (!model_.high[i] && selected[i]) {
                ADD_FAILURE() << step << ": pixel " << i << " should not be selected";
                return;
            }
        }
    }

    Estimate model_;
};

TEST_P(RegionSequence, EveryOperation_KeepsInvariantsAndStaysWithinEstimate) {
    std::mt19937 rng(GetParam());
    const auto uniform = [&rng](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    const int w = GetParam() % 5 == 0 ? 1 : uniform(1, 40);
    const int h = GetParam() % 7 == 0 ? 1 : uniform(1, 36);
    const std::size_t n = static_cast<std::size_t>(w) * h;
    VXRegion region;
    region.Init(w, h);
    model_ = Empty(n);

    for (int step = 0; step < 40; ++step) {
        const bool hadMask = region.HasMask();
        const bool canCut = region.HasMask() && region.PointCount() > 0 && region.Area() != w * h;
        const auto mode = static_cast<SelectionMode>(uniform(0, 3));
        const int kind = uniform(0, 9);
        bool rebuilds = false;
        std::string name;
        if (kind <= 3) {
            const int x0 = uniform(-6, w + 5);
            const int y0 = uniform(-6, h + 5);
            const int x1 = uniform(0, 3) == 0 ? x0 : uniform(-6, w + 5);
            const int y1 = uniform(-6, h + 5);
            name = "rectangle " + std::to_string(x0) + "," + std::to_string(y0) + "," +
                   std::to_string(x1) + "," + std::to_string(y1);
            const int l = std::clamp(std::min(x0, x1), 0, w - 1);
            const int r = std::clamp(std::max(x0, x1), 0, w - 1);
            const int t = std::clamp(std::min(y0, y1), 0, h - 1);
            const int b = std::clamp(std::max(y0, y1), 0, h - 1);
            const PixelSet box = test::BoxSet(w, h, l, t, r, b);
            const Estimate shape{box, box};
            switch (mode) {
                case SelectionMode::Replace:
                    region.SetRectangle(x0, y0, x1, y1);
                    Combine(l == r || t == b ? Empty(n) : shape, mode);
                    break;
                case SelectionMode::Add:
                    region.AddRectangle(x0, y0, x1, y1);
                    if (x0 == x1 || y0 == y1) {
                        model_ = Empty(n);
                    } else {
                        Combine(shape, mode);
                    }
                    break;
                case SelectionMode::Subtract:
                    region.SubtractRectangle(x0, y0, x1, y1);
                    break;
                case SelectionMode::Intersect:
                    region.IntersectRectangle(x0, y0, x1, y1);
                    break;
            }
            if ((mode == SelectionMode::Subtract || mode == SelectionMode::Intersect) && canCut) {
                Combine(shape, mode);
            }
        } else if (kind <= 6) {
            const int cx = uniform(-5, w + 4);
            const int cy = uniform(-5, h + 4);
            const int rx = uniform(0, std::max(w, h) / 2 + 2);
            const int ry = uniform(0, std::max(w, h) / 2 + 2);
            name = "ellipse " + std::to_string(cx) + "," + std::to_string(cy) + " r " +
                   std::to_string(rx) + "," + std::to_string(ry);
            const bool replace = mode == SelectionMode::Replace;
            const float radiusX = static_cast<float>(replace ? rx : rx - 1);
            const float radiusY = static_cast<float>(replace ? ry : ry - 1);
            Estimate shape{EllipseLevel(w, h, cx, cy, rx, ry, radiusX, radiusY, 1.0),
                           EllipseLevel(w, h, cx, cy, rx, ry, radiusX, radiusY, 1.02)};
            switch (mode) {
                case SelectionMode::Replace:
                    region.SetEllipse(cx, cy, rx, ry);
                    Combine(rx < 1 || ry < 1 ? Empty(n) : shape, mode);
                    break;
                case SelectionMode::Add:
                    region.AddEllipse(cx, cy, rx, ry);
                    Combine(shape, mode);
                    break;
                case SelectionMode::Subtract:
                    region.SubtractEllipse(cx, cy, rx, ry);
                    break;
                case SelectionMode::Intersect:
                    region.IntersectEllipse(cx, cy, rx, ry);
                    break;
            }
            if ((mode == SelectionMode::Subtract || mode == SelectionMode::Intersect) && canCut) {
                Combine(shape, mode);
            }
        } else if (kind <= 8) {
            VXRegion path;
            const int vertices = uniform(1, 7);
            for (int k = 0; k < vertices; ++k) {
                path.AppendPoint(uniform(-4, w + 3), uniform(-4, h + 3));
                path.BridgeLastGap();
            }
            path.ClosePolygon();
            name = "polygon of " + std::to_string(path.PointCount()) + " points";
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
            // The clamped path pixels are selected; nothing outside their box is.
            if (mode == SelectionMode::Replace || mode == SelectionMode::Add || canCut) {
                Estimate shape = Empty(n);
                int l = w;
                int t = h;
                int r = -1;
                int b = -1;
                for (const RegionPoint& p : path.Points()) {
                    ASSERT_TRUE(p.x >= 0 && p.x < w && p.y >= 0 && p.y < h);
                    shape.low[static_cast<std::size_t>(p.y) * w + p.x] = true;
                    l = std::min(l, p.x);
                    r = std::max(r, p.x);
                    t = std::min(t, p.y);
                    b = std::max(b, p.y);
                }
                shape.high = test::BoxSet(w, h, l, t, r, b);
                const bool tooShort = mode == SelectionMode::Replace && path.PointCount() <= 4;
                Combine(tooShort ? Empty(n) : shape, mode);
            }
        } else {
            name = "invert";
            const bool hadSelection = hadMask && region.PointCount() > 0;
            region.Invert();
            if (hadSelection) {
                for (std::size_t i = 0; i < n; ++i) {
                    const bool low = !model_.high[i];
                    model_.high[i] = !model_.low[i];
                    model_.low[i] = low;
                }
            }
            rebuilds = hadSelection;
        }
        if (mode == SelectionMode::Add && hadMask && kind <= 8) {
            rebuilds = true;
        }
        if ((mode == SelectionMode::Subtract || mode == SelectionMode::Intersect) && canCut &&
            kind <= 8) {
            rebuilds = true;
        }
        const std::string where = "step " + std::to_string(step) + " (" + name + ", mode " +
                                  std::to_string(static_cast<int>(mode)) + ")";
        SCOPED_TRACE(where);
        ExpectConsistent(region);
        if (rebuilds) {
            test::ExpectRebuiltOutline(region);
        }
        ExpectWithinModel(region, where);
        if (HasFailure()) {
            return;
        }
    }

    // The display copy: a clone rescaled to a zoom has a rebuilt outline of its own, and the
    // copy scaled straight from the region is that same region. The scaling reads only the
    // bounds, which hold every selected pixel.
    if (region.PointCount() > 0) {
        EXPECT_EQ(test::CountSelected(region), static_cast<std::size_t>(region.Area()));
    }
    const float zooms[] = {0.12F, 0.25F, 0.5F, 1.5F, 2.0F, 3.0F};
    for (float zoom : zooms) {
        const std::unique_ptr<VXRegion> copy = region.Clone();
        copy->Rescale(zoom);
        {
            SCOPED_TRACE("scaled copy at zoom " + std::to_string(zoom));
            const std::unique_ptr<VXRegion> direct = region.RescaledCopy(zoom);
            EXPECT_EQ(direct->Width(), copy->Width());
            EXPECT_EQ(direct->Height(), copy->Height());
            EXPECT_EQ(direct->Points(), copy->Points());
            EXPECT_EQ(direct->Mask(), copy->Mask());
            EXPECT_EQ(direct->Bounds(), copy->Bounds());
            EXPECT_EQ(direct->Area(), copy->Area());
            EXPECT_EQ(direct->Scale(), copy->Scale());
        }
        if (region.PointCount() > 0 && copy->PointCount() > 0) {
            SCOPED_TRACE("zoom " + std::to_string(zoom));
            test::ExpectRebuiltOutline(*copy);
            EXPECT_EQ(copy->Scale(), zoom);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RegionSequence, testing::Range(1U, 121U));

}  // namespace
}  // namespace quarvel
