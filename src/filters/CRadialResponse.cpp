#include "filters/CRadialResponse.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <memory>
#include <new>

#include "engine/ParallelFor.h"
#include "filters/FilterResponse.h"

namespace quarvel {

namespace {

/// Rows per task of MultiplySpectra: each task computes its rows' responses into a buffer of
/// its own.
constexpr std::size_t kRowsPerTask = 16;

/// Radii from here on are not tabled (every response is computed where it is used): no mask
/// that fits in memory reaches them, the longest transform axis being 65536.
constexpr std::int64_t kLargestTable = std::int64_t{1} << 24;

/// The reference radius: the smaller half length, leaving out one of 0 when normalised.
std::int64_t ReferenceRadius(std::int64_t cx, std::int64_t cy, bool normalised) {
    if (normalised && (cx == 0 || cy == 0)) {
        return std::max(cx, cy);
    }
    return std::min(cx, cy);
}

}  // namespace

CRadialResponse::CRadialResponse(std::uint64_t width, std::uint64_t height, FilterKind kind,
                                 std::int32_t degree, std::int32_t cut1, std::int32_t cut2,
                                 bool normalised)
    : width_(width),
      height_(height),
      centreX_(static_cast<std::int64_t>(width / 2)),
      centreY_(static_cast<std::int64_t>(height / 2)),
      kind_(kind),
      degree_(degree),
      normalised_(normalised),
      low_(ScaleCutOff(ReferenceRadius(centreX_, centreY_, normalised), cut1)),
      high_(kind == FilterKind::LowPass
                ? 0
                : ScaleCutOff(ReferenceRadius(centreX_, centreY_, normalised), cut2)) {
    if (normalised_) {
        const auto reference = static_cast<double>(ReferenceRadius(centreX_, centreY_, true));
        scaleX_ = centreX_ == 0 ? 0.0 : reference / static_cast<double>(centreX_);
        scaleY_ = centreY_ == 0 ? 0.0 : reference / static_cast<double>(centreY_);
    }
    // No element lies farther from the centre than the corner (0, 0): |dx| <= width / 2 and
    // |dy| <= height / 2 everywhere.
    const std::int64_t farthest = RadiusOf(centreX_, centreY_);
    if (farthest >= kLargestTable) {
        return;
    }
    try {
        byRadius_.resize(static_cast<std::size_t>(farthest) + 1);
    } catch (const std::bad_alloc&) {
        byRadius_.clear();
        return;
    }
    for (std::int64_t r = 0; r <= farthest; ++r) {
        byRadius_[static_cast<std::size_t>(r)] = FilterResponseAt(r, kind_, degree_, low_, high_);
    }
}

std::int64_t CRadialResponse::RadiusOf(std::int64_t dx, std::int64_t dy) const {
    // The square root and the addition in double precision, then truncated.
    if (!normalised_) {
        return static_cast<std::int64_t>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) + 0.5);
    }
    const double x = static_cast<double>(dx) * scaleX_;
    const double y = static_cast<double>(dy) * scaleY_;
    return static_cast<std::int64_t>(std::sqrt(x * x + y * y) + 0.5);
}

float CRadialResponse::At(std::int64_t dx, std::int64_t dy) const {
    const std::int64_t radius = RadiusOf(dx, dy);
    if (byRadius_.empty()) {
        return FilterResponseAt(radius, kind_, degree_, low_, high_);
    }
    assert(radius >= 0 && static_cast<std::size_t>(radius) < byRadius_.size());
    return byRadius_[static_cast<std::size_t>(radius)];
}

void CRadialResponse::FillRow(std::uint64_t y, float* out) const {
    assert(y < height_);
    const std::int64_t dy = centreY_ - static_cast<std::int64_t>(y);
    const auto width = static_cast<std::int64_t>(width_);
    const std::int64_t cx = centreX_;
    // The centre column and those right of it, then the left ones: column cx - d mirrors
    // column cx + d when that exists.
    if (!normalised_ && !byRadius_.empty()) {
        // The radius of a squared distance d2, sqrt(d2) rounded half up, is the smallest r with
        // r^2 + r >= d2: (r - 1/2)^2 <= d2 < (r + 1/2)^2 holds for whole numbers exactly when
        // r^2 - r < d2 <= r^2 + r. (No d2 lies within 1e-6 of a half-way point, far more than
        // the rounding of the square root could move, so both ways give the same radius.) Along
        // the row the radius grows from |dy| one step at a time: for dy = 3 and dx = 0 1 2 3
        // the squared distances 9 10 13 18 give the radii 3 3 4 4.
        std::int64_t r = dy < 0 ? -dy : dy;
        for (std::int64_t x = cx; x < width; ++x) {
            const std::int64_t dx = x - cx;
            const std::int64_t d2 = dx * dx + dy * dy;
            while (r * r + r < d2) {
                ++r;
            }
            out[x] = byRadius_[static_cast<std::size_t>(r)];
        }
    } else {
        for (std::int64_t x = cx; x < width; ++x) {
            out[x] = At(x - cx, dy);
        }
    }
    for (std::int64_t x = 0; x < cx; ++x) {
        const std::int64_t mirror = 2 * cx - x;
        out[x] = mirror < width ? out[mirror] : At(cx - x, dy);
    }
}

void CRadialResponse::MultiplySpectra(ChannelSpectrum* const* spectra, std::size_t count) const {
    const std::uint64_t width = width_;
    const std::uint64_t height = height_;
    ParallelFor(0, (height + kRowsPerTask - 1) / kRowsPerTask, [&](std::size_t task) {
        const std::unique_ptr<float[]> factors(new (std::nothrow) float[width]);
        const std::uint64_t first = task * kRowsPerTask;
        const std::uint64_t last = std::min<std::uint64_t>(first + kRowsPerTask, height);
        for (std::uint64_t y = first; y < last; ++y) {
            const std::int64_t dy = centreY_ - static_cast<std::int64_t>(y);
            if (factors) {
                FillRow(y, factors.get());
            }
            for (std::size_t c = 0; c < count; ++c) {
                float* re = spectra[c]->re.get() + y * width;
                float* im = spectra[c]->im.get() + y * width;
                if (factors) {
                    const float* factor = factors.get();
                    for (std::uint64_t x = 0; x < width; ++x) {
                        re[x] = re[x] * factor[x];
                        im[x] = im[x] * factor[x];
                    }
                    continue;
                }
                // Without a buffer each factor is computed where it is used.
                for (std::uint64_t x = 0; x < width; ++x) {
                    const float factor = At(centreX_ - static_cast<std::int64_t>(x), dy);
                    re[x] = re[x] * factor;
                    im[x] = im[x] * factor;
                }
            }
        }
    });
}

}  // namespace quarvel
