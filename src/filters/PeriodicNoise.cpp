#include "filters/PeriodicNoise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <numbers>
#include <vector>

#include "engine/ParallelFor.h"

namespace quarvel {

// How the finder works, on an example. Stripes of amplitude 20 grey levels and period 8 pixels
// running at 30 degrees over a 512 x 512 photograph are a wave of magnitude
// 20 * 512 * 512 / 2 = 2.6e6 at 64 cos 30 = 55.4 columns right of the centre and 64 sin 30 = 32
// rows above it. Its power is shared along row -32 as Sinc2(k - 55.4): columns 55 and 56 get
// 0.57 and 0.26 of it, columns 54 and 57 0.05 and 0.04, and so on, falling as 1 / distance^2.
// The photograph's log power there has a median over the blocks around some 40 dB lower and a
// spread of about 5.6 dB, so the peak at column 55 stands out by far more than the 24 dB asked.
// The offset 0.4 follows from the magnitudes of columns 55 and 56 (PeakOffset), the wave's
// whole power from the peak's share, and from both the leakage at every element around: the
// disc takes the elements off the row and column where the leakage outweighs the background,
// the arm runs along row -32 (and its neighbours when the frequency falls between rows, or
// the spike is strong) as far as it does, on each side on its own. The twin at (-55.4, 32)
// gets the mirrored notch.

namespace {

// Periods longer than this many pixels belong to the picture, not to the noise.
constexpr double kLongestPeriod = 40.0;
// Within this share of the low-frequency region no notch reaches.
constexpr double kProtectedShare = 0.6;
// Elements around the zero frequency that are always left alone, and always protected.
constexpr double kLeftAloneElements = 4.0;
constexpr double kProtectedElements = 3.0;
// Half the width of the bands along the axes whose background is taken along the axis.
constexpr std::int64_t kAxisBand = 2;
// A spike stands above its background by this many spreads and this many nats (24 dB) at
// sensitivity 1; both are divided by the square root of the sensitivity (17 dB at 2).
constexpr double kSpreads = 3.5;
constexpr double kMinimumExcess = 5.5;
// The leakage of a spike is removed where it exceeds this share of the background power.
constexpr double kLeakageShare = 1.0;
// The most spikes one spectrum gives.
constexpr std::size_t kMostSpikes = 256;
// The spread of a log power below which a background counts as this (the log of an
// exponentially distributed power spreads by about 1.28).
constexpr float kLeastSpread = 0.5f;
// The mean of an exponentially distributed power over the exponential of its median log.
constexpr double kMeanOverMedian = 1.0 / std::numbers::ln2;
// MAD to standard deviation of a normal distribution.
constexpr float kMadToSpread = 1.4826f;

/// (sin(pi t) / (pi t))^2: the share of a pure wave's power that falls on an element at
/// distance t (in elements, along one axis) from its frequency.
double Sinc2(double t) {
    if (std::abs(t) < 1e-9) {
        return 1.0;
    }
    const double s = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
    return s * s;
}

/// The share of an arm's length that its row (column) at distance across from the centre
/// keeps: a wave's leakage along a row falls as 1 / distance and is weighted across the rows by
/// Sinc2, so the distance at which it sinks below a flat background goes with the square root
/// of that weight, taken against the row nearest the centre.
double ArmTaper(double across, double centre) {
    const double nearest = std::round(centre) - centre;
    return std::sqrt(Sinc2(across) / Sinc2(nearest));
}

/// The gain of a raised-cosine edge of half-width reach and width edge at distance t.
double EdgeGain(double t, double reach, double edge) {
    const double start = reach - edge / 2.0;
    if (t <= start) {
        return 0.0;
    }
    if (t >= reach + edge / 2.0) {
        return 1.0;
    }
    return 0.5 * (1.0 - std::cos(std::numbers::pi * (t - start) / edge));
}

/// The median and spread of values (reordered); false when there are none.
bool RobustStatistics(std::vector<float>& values, float& median, float& spread) {
    if (values.empty()) {
        return false;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    median = *middle;
    for (float& value : values) {
        value = std::abs(value - median);
    }
    std::nth_element(values.begin(), middle, values.end());
    spread = std::max(kLeastSpread, *middle * kMadToSpread);
    return true;
}

/// What the finder knows of one spectrum: the power of each element (read from the planes as
/// needed) and the background around it.
class SpectrumBackground {
public:
    SpectrumBackground(const float* re, const float* im, std::uint64_t width, std::uint64_t height,
                       std::uint64_t imageWidth, std::uint64_t imageHeight)
        : re_(re),
          im_(im),
          width_(static_cast<std::int64_t>(width)),
          height_(static_cast<std::int64_t>(height)),
          centreX_(static_cast<std::int64_t>(width / 2)),
          centreY_(static_cast<std::int64_t>(height / 2)),
          imageWidth_(static_cast<double>(imageWidth)),
          imageHeight_(static_cast<double>(imageHeight)) {
        const double lowest = 1.0 / kLongestPeriod;
        leftAloneX_ = std::max(kLeftAloneElements, lowest * imageWidth_);
        leftAloneY_ = std::max(kLeftAloneElements, lowest * imageHeight_);
        protectedX_ = std::max(kProtectedElements, kProtectedShare * lowest * imageWidth_);
        protectedY_ = std::max(kProtectedElements, kProtectedShare * lowest * imageHeight_);
        block_ = std::clamp<std::int64_t>(std::min(width_, height_) / 40, 6, 32);
    }

    /// Computes the log power and the background; may throw std::bad_alloc.
    void Build() {
        BuildBlocks();
        BuildAxisLines();
    }

    std::int64_t Width() const { return width_; }
    std::int64_t Height() const { return height_; }
    std::int64_t CentreX() const { return centreX_; }
    std::int64_t CentreY() const { return centreY_; }
    /// The power of element (x, y); the finder keeps no plane of its own.
    float Power(std::int64_t x, std::int64_t y) const {
        const std::size_t i = static_cast<std::size_t>(y * width_ + x);
        return re_[i] * re_[i] + im_[i] * im_[i];
    }
    /// The natural logarithm of the power (of a tiny power for an element that is zero).
    float LogPower(std::int64_t x, std::int64_t y) const {
        return std::log(std::max(Power(x, y), 1e-30f));
    }
    double Magnitude(std::int64_t x, std::int64_t y) const {
        const std::size_t i = static_cast<std::size_t>(y * width_ + x);
        return std::hypot(static_cast<double>(re_[i]), static_cast<double>(im_[i]));
    }

    /// True inside the low frequencies that the finder leaves alone.
    bool LeftAlone(std::int64_t x, std::int64_t y) const {
        return Inside(x, y, leftAloneX_, leftAloneY_);
    }
    /// How much more a spike at (x, y) must stand out than one far from the zero frequency:
    /// 1 + (r0 / r)^2 with r0 the edge of the low frequencies left alone, as the background
    /// near them is steep and lumpy (2 at their edge, 1.25 at twice the distance).
    double NearnessFactor(std::int64_t x, std::int64_t y) const {
        const double u = static_cast<double>(x - centreX_) / leftAloneX_;
        const double v = static_cast<double>(y - centreY_) / leftAloneY_;
        return 1.0 + 1.0 / std::max(u * u + v * v, 1.0);
    }
    /// The distance in elements from (x, y) to the protected low frequencies, measured
    /// against the larger of its two radii (so a disc of that radius around (x, y) misses them).
    double ProtectedDistance(double x, double y) const {
        const double dx = x - static_cast<double>(centreX_);
        const double dy = y - static_cast<double>(centreY_);
        return std::hypot(dx, dy) - std::max(protectedX_, protectedY_);
    }
    /// How far an arm through rows (columns, when not alongRows) top..bottom may reach from
    /// column (row) at towards side (-1 or 1) before it enters the protected low frequencies;
    /// effectively unlimited when it runs away from them or its rows pass them by.
    double ArmRoom(double at, std::int64_t top, std::int64_t bottom, bool alongRows,
                   int side) const {
        const double radius = std::max(protectedX_, protectedY_);
        const std::int64_t centreAcross = alongRows ? centreY_ : centreX_;
        const double towards = static_cast<double>(alongRows ? centreX_ : centreY_) - at;
        const std::int64_t nearest = std::clamp(centreAcross, top, bottom);
        const double across = static_cast<double>(std::abs(nearest - centreAcross));
        if (across >= radius || towards * side <= 0.0) {
            return 1e9;
        }
        return std::abs(towards) - std::sqrt(radius * radius - across * across);
    }

    /// The median log power and its spread around (x, y).
    void Background(std::int64_t x, std::int64_t y, float& median, float& spread) const {
        const std::int64_t dx = x - centreX_;
        const std::int64_t dy = y - centreY_;
        if (std::abs(dy) <= kAxisBand && !rowLines_.empty()) {
            const std::size_t i = static_cast<std::size_t>((dy + kAxisBand) * width_ + x);
            median = rowLines_[i].median;
            spread = rowLines_[i].spread;
            return;
        }
        if (std::abs(dx) <= kAxisBand && !columnLines_.empty()) {
            const std::size_t i = static_cast<std::size_t>((dx + kAxisBand) * height_ + y);
            median = columnLines_[i].median;
            spread = columnLines_[i].spread;
            return;
        }
        // Bilinear between the centres of the blocks.
        const double fx = (static_cast<double>(x) + 0.5) / static_cast<double>(block_) - 0.5;
        const double fy = (static_cast<double>(y) + 0.5) / static_cast<double>(block_) - 0.5;
        const std::int64_t bx0 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(fx)), 0, blocksX_ - 1);
        const std::int64_t by0 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(fy)), 0, blocksY_ - 1);
        const std::int64_t bx1 = std::min(bx0 + 1, blocksX_ - 1);
        const std::int64_t by1 = std::min(by0 + 1, blocksY_ - 1);
        const double wx = std::clamp(fx - static_cast<double>(bx0), 0.0, 1.0);
        const double wy = std::clamp(fy - static_cast<double>(by0), 0.0, 1.0);
        const auto at = [this](std::int64_t bx, std::int64_t by) -> const Statistics& {
            return blocks_[static_cast<std::size_t>(by * blocksX_ + bx)];
        };
        const auto mix = [&](float Statistics::*field) {
            const double top = (1.0 - wx) * at(bx0, by0).*field + wx * at(bx1, by0).*field;
            const double bottom = (1.0 - wx) * at(bx0, by1).*field + wx * at(bx1, by1).*field;
            return static_cast<float>((1.0 - wy) * top + wy * bottom);
        };
        median = mix(&Statistics::median);
        spread = mix(&Statistics::spread);
    }

    /// The mean background power at (x, y), clamped into the plane.
    double BackgroundPower(std::int64_t x, std::int64_t y) const {
        float median = 0.0f;
        float spread = 0.0f;
        Background(std::clamp<std::int64_t>(x, 0, width_ - 1),
                   std::clamp<std::int64_t>(y, 0, height_ - 1), median, spread);
        return std::exp(static_cast<double>(median)) * kMeanOverMedian;
    }

private:
    struct Statistics {
        float median = 0.0f;
        float spread = 0.0f;
    };

    bool Inside(std::int64_t x, std::int64_t y, double radiusX, double radiusY) const {
        const double u = static_cast<double>(x - centreX_) / radiusX;
        const double v = static_cast<double>(y - centreY_) / radiusY;
        return u * u + v * v < 1.0;
    }
    bool InAxisBand(std::int64_t x, std::int64_t y) const {
        return std::abs(x - centreX_) <= kAxisBand || std::abs(y - centreY_) <= kAxisBand;
    }

    /// The statistics of each block from the 3 x 3 blocks around it, leaving out the low
    /// frequencies and the axis bands; a block without enough of them takes its neighbours'.
    void BuildBlocks() {
        blocksX_ = (width_ + block_ - 1) / block_;
        blocksY_ = (height_ + block_ - 1) / block_;
        blocks_.assign(static_cast<std::size_t>(blocksX_ * blocksY_), Statistics{});
        std::vector<std::uint8_t> known(blocks_.size(), 0);
        // Large blocks are sampled every step-th row and column: a median of some 600 values
        // is as good, and the statistics cost a sixteenth at the largest block.
        const std::int64_t step = std::max<std::int64_t>(1, block_ / 8);
        const std::size_t enough = static_cast<std::size_t>((block_ / step) * (block_ / step));
        ParallelFor(0, static_cast<std::size_t>(blocksY_), [&](std::size_t by) {
            std::vector<float> values;
            values.reserve(static_cast<std::size_t>(9 * block_ * block_));
            for (std::int64_t bx = 0; bx < blocksX_; ++bx) {
                values.clear();
                const std::int64_t top =
                    std::max<std::int64_t>(0, (static_cast<std::int64_t>(by) - 1) * block_);
                const std::int64_t bottom =
                    std::min(height_, (static_cast<std::int64_t>(by) + 2) * block_);
                const std::int64_t left = std::max<std::int64_t>(0, (bx - 1) * block_);
                const std::int64_t right = std::min(width_, (bx + 2) * block_);
                for (std::int64_t y = top; y < bottom; y += step) {
                    for (std::int64_t x = left; x < right; x += step) {
                        if (!InAxisBand(x, y)) {
                            values.push_back(LogPower(x, y));
                        }
                    }
                }
                const std::size_t i =
                    by * static_cast<std::size_t>(blocksX_) + static_cast<std::size_t>(bx);
                if (values.size() >= enough) {
                    known[i] = RobustStatistics(values, blocks_[i].median, blocks_[i].spread);
                }
            }
        });
        // Unknown blocks (near the centre of a small plane) take the mean of known neighbours,
        // ring by ring.
        bool anyKnown = std::find(known.begin(), known.end(), 1) != known.end();
        while (anyKnown && std::find(known.begin(), known.end(), 0) != known.end()) {
            std::vector<std::uint8_t> next = known;
            for (std::int64_t by = 0; by < blocksY_; ++by) {
                for (std::int64_t bx = 0; bx < blocksX_; ++bx) {
                    const std::size_t i = static_cast<std::size_t>(by * blocksX_ + bx);
                    if (known[i]) {
                        continue;
                    }
                    double median = 0.0;
                    double spread = 0.0;
                    int count = 0;
                    for (std::int64_t ny = std::max<std::int64_t>(0, by - 1);
                         ny <= std::min(blocksY_ - 1, by + 1); ++ny) {
                        for (std::int64_t nx = std::max<std::int64_t>(0, bx - 1);
                             nx <= std::min(blocksX_ - 1, bx + 1); ++nx) {
                            const std::size_t n = static_cast<std::size_t>(ny * blocksX_ + nx);
                            if (known[n]) {
                                median += blocks_[n].median;
                                spread += blocks_[n].spread;
                                ++count;
                            }
                        }
                    }
                    if (count > 0) {
                        blocks_[i] = {static_cast<float>(median / count),
                                      static_cast<float>(spread / count)};
                        next[i] = 1;
                    }
                }
            }
            known.swap(next);
        }
    }

    /// The statistics of the elements of the axis bands, each along its own row or column.
    ///
    /// A spike on an axis leaks along it as 1 / distance, which lifts the median of the
    /// elements next to it; the cross that the borders make falls steeply towards the zero
    /// frequency, which lifts the median of a wide window there. So two windows are measured,
    /// a near one (2 elements to 2 blocks away on either side) and a far one (2 to 5 blocks away),
    /// and the lower median and the lower spread rule.
    void BuildAxisLines() {
        const auto window = [&](bool alongRows, std::int64_t at, std::int64_t i, std::int64_t near,
                                std::int64_t reach, std::vector<float>& values) {
            const std::int64_t length = alongRows ? width_ : height_;
            values.clear();
            for (std::int64_t j = std::max<std::int64_t>(0, i - reach);
                 j <= std::min(length - 1, i + reach); ++j) {
                const std::int64_t x = alongRows ? j : at;
                const std::int64_t y = alongRows ? at : j;
                if (std::abs(j - i) >= near && (x != centreX_ || y != centreY_)) {
                    values.push_back(LogPower(x, y));
                }
            }
        };
        const auto line = [&](bool alongRows, std::int64_t offset, std::vector<Statistics>& out) {
            const std::int64_t length = alongRows ? width_ : height_;
            const std::int64_t at = (alongRows ? centreY_ : centreX_) + offset;
            const std::size_t base = static_cast<std::size_t>((offset + kAxisBand) * length);
            if (at < 0 || at >= (alongRows ? height_ : width_)) {
                return;
            }
            std::vector<float> values;
            for (std::int64_t i = 0; i < length; ++i) {
                Statistics& s = out[base + static_cast<std::size_t>(i)];
                window(alongRows, at, i, 2, 2 * block_, values);
                if (!RobustStatistics(values, s.median, s.spread)) {
                    s = {LogPower(alongRows ? i : at, alongRows ? at : i), kLeastSpread};
                }
                Statistics far;
                window(alongRows, at, i, 2 * block_, 5 * block_, values);
                if (RobustStatistics(values, far.median, far.spread)) {
                    s = {std::min(s.median, far.median), std::min(s.spread, far.spread)};
                }
            }
        };
        const std::size_t lines = 2 * kAxisBand + 1;
        rowLines_.assign(lines * static_cast<std::size_t>(width_), Statistics{});
        columnLines_.assign(lines * static_cast<std::size_t>(height_), Statistics{});
        ParallelFor(0, 2 * lines, [&](std::size_t k) {
            const std::int64_t offset = static_cast<std::int64_t>(k % lines) - kAxisBand;
            if (k < lines) {
                line(true, offset, rowLines_);
            } else {
                line(false, offset, columnLines_);
            }
        });
    }

    const float* re_;
    const float* im_;
    std::int64_t width_;
    std::int64_t height_;
    std::int64_t centreX_;
    std::int64_t centreY_;
    double imageWidth_;
    double imageHeight_;
    double leftAloneX_ = 0.0;
    double leftAloneY_ = 0.0;
    double protectedX_ = 0.0;
    double protectedY_ = 0.0;
    std::int64_t block_ = 8;
    std::int64_t blocksX_ = 0;
    std::int64_t blocksY_ = 0;
    std::vector<Statistics> blocks_;
    std::vector<Statistics> rowLines_;     ///< the rows of the band, each width long
    std::vector<Statistics> columnLines_;  ///< the columns of the band, each height long
};

/// An element that may be a spike, with its excess over the background in nats.
struct Candidate {
    std::int64_t x;
    std::int64_t y;
    float excess;
};

/// The offset in (-1/2, 1/2] of a pure wave's frequency from the element of its peak, from the
/// magnitudes of the peak and its neighbours on either side: for a wave between two elements,
/// the magnitudes fall as 1 / distance, so the nearer neighbour's share tells the offset.
double PeakOffset(double before, double peak, double after) {
    if (after >= before) {
        return after / (peak + after);
    }
    return -before / (peak + before);
}

/// Sizes the notch of a spike at (x, y) (a local maximum) from its refined frequency.
SpectrumNotch SizeNotch(const SpectrumBackground& background, std::int64_t x, std::int64_t y,
                        double offsetX, double offsetY) {
    const std::int64_t width = background.Width();
    const std::int64_t height = background.Height();
    const double peak = background.Magnitude(x, y);
    const double power = peak * peak / (Sinc2(offsetX) * Sinc2(offsetY));
    const auto leaks = [&](std::int64_t k, std::int64_t l) {
        const double leakage = power * Sinc2(static_cast<double>(k) - offsetX) *
                               Sinc2(static_cast<double>(l) - offsetY);
        return leakage > kLeakageShare * background.BackgroundPower(x + k, y + l);
    };

    SpectrumNotch notch;
    notch.x = static_cast<double>(x) + offsetX;
    notch.y = static_cast<double>(y) + offsetY;

    // The disc: the farthest element off the arms that the leakage outweighs, at least the
    // 3 x 3 block around the peak.
    double reach = 1.0;
    constexpr std::int64_t kDiscBox = 8;
    for (std::int64_t l = -kDiscBox; l <= kDiscBox; ++l) {
        for (std::int64_t k = -kDiscBox; k <= kDiscBox; ++k) {
            if (k != 0 && l != 0 && leaks(k, l)) {
                reach = std::max(reach, std::hypot(static_cast<double>(k) - offsetX,
                                                   static_cast<double>(l) - offsetY));
            }
        }
    }
    notch.edge = std::max(1.0, reach / 2.0);
    notch.radius = reach + notch.edge / 2.0;
    const double discRoom = background.ProtectedDistance(notch.x, notch.y);
    if (notch.radius + notch.edge / 2.0 > discRoom) {
        notch.edge = std::max(0.5, std::min(notch.edge, discRoom / 2.0));
        notch.radius = std::max(0.0, discRoom - notch.edge / 2.0);
    }

    // The arms: as far along the row (column) as the leakage on the rows (columns) nearest the
    // frequency outweighs the background, on either side.
    const std::int64_t longest = std::max(width, height) / 4;
    const auto armReach = [&](bool alongRows, int side) {
        std::int64_t farthest = 0;
        for (std::int64_t k = 1; k <= longest; ++k) {
            if (!(alongRows ? leaks(side * k, 0) : leaks(0, side * k))) {
                break;
            }
            farthest = k;
        }
        return static_cast<double>(farthest);
    };
    // The rows of the row arm: those whose first element beside the peak the leakage
    // outweighs; the columns of the column arm likewise.
    const auto armSpan = [&](bool alongRows, std::int64_t& first, std::int64_t& last) {
        first = 0;
        last = -1;
        for (std::int64_t l = -3; l <= 3; ++l) {
            const bool leaking =
                alongRows ? (leaks(1, l) || leaks(-1, l)) : (leaks(l, 1) || leaks(l, -1));
            if (leaking) {
                if (last < first) {
                    first = l;
                }
                last = l;
            }
        }
    };
    // An arm's gain is 1/2 at 5/4 of the reach the leakage has, and its edge half that reach
    // wide; it stops short of the protected low frequencies.
    const auto armLength = [&](double leakReach, double room) {
        const double length = std::min(1.25 * leakReach, room / 1.25);
        return length > notch.radius ? length : 0.0;
    };
    std::int64_t first = 0;
    std::int64_t last = -1;
    armSpan(true, first, last);
    if (first <= last) {
        notch.armTop = std::max<std::int64_t>(0, y + first);
        notch.armBottom = std::min(height - 1, y + last);
        notch.armLeftward =
            armLength(armReach(true, -1),
                      background.ArmRoom(notch.x, notch.armTop, notch.armBottom, true, -1));
        notch.armRightward = armLength(
            armReach(true, 1), background.ArmRoom(notch.x, notch.armTop, notch.armBottom, true, 1));
    }
    armSpan(false, first, last);
    if (first <= last) {
        notch.armLeft = std::max<std::int64_t>(0, x + first);
        notch.armRight = std::min(width - 1, x + last);
        notch.armUpward =
            armLength(armReach(false, -1),
                      background.ArmRoom(notch.y, notch.armLeft, notch.armRight, false, -1));
        notch.armDownward =
            armLength(armReach(false, 1),
                      background.ArmRoom(notch.y, notch.armLeft, notch.armRight, false, 1));
    }
    return notch;
}

/// The mirror of a column or row position between elements on an axis of length n.
double MirrorPosition(double at, std::int64_t n) {
    const double mirrored = static_cast<double>(2 * (n / 2)) - at;
    return mirrored > static_cast<double>(n) - 0.5 ? mirrored - static_cast<double>(n) : mirrored;
}

}  // namespace

SpectrumNotch MirrorNotch(const SpectrumNotch& notch, std::uint64_t width, std::uint64_t height) {
    const std::int64_t w = static_cast<std::int64_t>(width);
    const std::int64_t h = static_cast<std::int64_t>(height);
    SpectrumNotch twin = notch;
    twin.x = MirrorPosition(notch.x, w);
    twin.y = MirrorPosition(notch.y, h);
    // The arms' rows and columns mirror with the centre; a whole arm shifts with it when the
    // centre wraps around the Nyquist row or column of an even size.
    const std::int64_t shiftY =
        static_cast<std::int64_t>(std::lround(twin.y + notch.y)) - 2 * (h / 2);
    const std::int64_t shiftX =
        static_cast<std::int64_t>(std::lround(twin.x + notch.x)) - 2 * (w / 2);
    twin.armLeftward = notch.armRightward;
    twin.armRightward = notch.armLeftward;
    twin.armUpward = notch.armDownward;
    twin.armDownward = notch.armUpward;
    twin.armTop = 2 * (h / 2) - notch.armBottom + shiftY;
    twin.armBottom = 2 * (h / 2) - notch.armTop + shiftY;
    twin.armLeft = 2 * (w / 2) - notch.armRight + shiftX;
    twin.armRight = 2 * (w / 2) - notch.armLeft + shiftX;
    return twin;
}

double NotchGain(const SpectrumNotch& notch, std::int64_t x, std::int64_t y) {
    const double dx = static_cast<double>(x) - notch.x;
    const double dy = static_cast<double>(y) - notch.y;
    double gain = notch.radius > 0.0 ? EdgeGain(std::hypot(dx, dy), notch.radius, notch.edge) : 1.0;
    // An arm's edge is half its length wide.
    const auto arm = [](double along, double length, double taper) {
        return length > 0.0 ? EdgeGain(along, length * taper, length * taper / 2.0) : 1.0;
    };
    if (y >= notch.armTop && y <= notch.armBottom) {
        gain *= arm(std::abs(dx), dx < 0.0 ? notch.armLeftward : notch.armRightward,
                    ArmTaper(dy, notch.y));
    }
    if (x >= notch.armLeft && x <= notch.armRight) {
        gain *= arm(std::abs(dy), dy < 0.0 ? notch.armUpward : notch.armDownward,
                    ArmTaper(dx, notch.x));
    }
    return gain;
}

namespace {

/// Calls visit(x, y, gain) for every element of the plane where notch's gain is below 1.
template <typename Visit>
void ForEachNotched(const SpectrumNotch& notch, std::int64_t width, std::int64_t height,
                    const Visit& visit) {
    const double disc = notch.radius + notch.edge / 2.0;
    const auto low = [](double at) { return static_cast<std::int64_t>(std::floor(at)); };
    const auto high = [](double at) { return static_cast<std::int64_t>(std::ceil(at)); };
    const std::int64_t left =
        std::max<std::int64_t>(0, low(notch.x - std::max(disc, 1.25 * notch.armLeftward)));
    const std::int64_t right =
        std::min(width - 1, high(notch.x + std::max(disc, 1.25 * notch.armRightward)));
    const std::int64_t top =
        std::max<std::int64_t>(0, low(notch.y - std::max(disc, 1.25 * notch.armUpward)));
    const std::int64_t bottom =
        std::min(height - 1, high(notch.y + std::max(disc, 1.25 * notch.armDownward)));
    for (std::int64_t y = top; y <= bottom; ++y) {
        for (std::int64_t x = left; x <= right; ++x) {
            const double gain = NotchGain(notch, x, y);
            if (gain < 1.0) {
                visit(x, y, gain);
            }
        }
    }
}

}  // namespace

void ApplyNotches(float* re, float* im, std::uint64_t width, std::uint64_t height,
                  const std::vector<SpectrumNotch>& notches, std::uint64_t& top,
                  std::uint64_t& bottom) {
    top = height;
    bottom = 0;
    if (re != nullptr && im != nullptr) {
        const std::int64_t w = static_cast<std::int64_t>(width);
        const std::int64_t h = static_cast<std::int64_t>(height);
        const auto multiply = [&](std::int64_t x, std::int64_t y, double gain) {
            const std::size_t i = static_cast<std::size_t>(y * w + x);
            re[i] = static_cast<float>(re[i] * gain);
            im[i] = static_cast<float>(im[i] * gain);
            top = std::min(top, static_cast<std::uint64_t>(y));
            bottom = std::max(bottom, static_cast<std::uint64_t>(y) + 1);
        };
        for (const SpectrumNotch& notch : notches) {
            ForEachNotched(notch, w, h, multiply);
            ForEachNotched(MirrorNotch(notch, width, height), w, h, multiply);
        }
    }
    if (bottom <= top) {
        top = bottom = 0;
    }
}

std::vector<std::uint8_t> NotchCoverage(const std::vector<SpectrumNotch>& notches,
                                        std::uint64_t width, std::uint64_t height) {
    std::vector<std::uint8_t> covered(static_cast<std::size_t>(width * height), 0);
    const std::int64_t w = static_cast<std::int64_t>(width);
    const std::int64_t h = static_cast<std::int64_t>(height);
    const auto mark = [&](std::int64_t x, std::int64_t y, double gain) {
        if (gain < 0.5) {
            covered[static_cast<std::size_t>(y * w + x)] = 1;
        }
    };
    for (const SpectrumNotch& notch : notches) {
        ForEachNotched(notch, w, h, mark);
        ForEachNotched(MirrorNotch(notch, width, height), w, h, mark);
    }
    return covered;
}

std::vector<NoiseSpike> FindPeriodicNoise(const float* re, const float* im, std::uint64_t width,
                                          std::uint64_t height, std::uint64_t imageWidth,
                                          std::uint64_t imageHeight, double sensitivity) {
    std::vector<NoiseSpike> spikes;
    if (re == nullptr || im == nullptr || width < 16 || height < 16 || imageWidth == 0 ||
        imageHeight == 0) {
        return spikes;
    }
    sensitivity = std::clamp(sensitivity, kMinNoiseSensitivity, kMaxNoiseSensitivity);
    try {
        SpectrumBackground background(re, im, width, height, imageWidth, imageHeight);
        background.Build();
        const std::int64_t w = background.Width();
        const std::int64_t h = background.Height();

        // Local maxima standing far enough above their background, row by row.
        std::vector<std::vector<Candidate>> rows(static_cast<std::size_t>(h));
        ParallelFor(1, static_cast<std::size_t>(h - 1), [&](std::size_t row) {
            const std::int64_t y = static_cast<std::int64_t>(row);
            for (std::int64_t x = 1; x < w - 1; ++x) {
                if (background.LeftAlone(x, y)) {
                    continue;
                }
                // A local maximum of the power first (ties go to the first element in reading
                // order), then its excess over the background.
                const float power = background.Power(x, y);
                bool peak = true;
                for (std::int64_t ny = y - 1; ny <= y + 1 && peak; ++ny) {
                    for (std::int64_t nx = x - 1; nx <= x + 1; ++nx) {
                        const float other = background.Power(nx, ny);
                        const bool before = ny < y || (ny == y && nx < x);
                        if (other > power || (before && other == power)) {
                            peak = false;
                            break;
                        }
                    }
                }
                if (!peak) {
                    continue;
                }
                const float level = background.LogPower(x, y);
                float median = 0.0f;
                float spread = 0.0f;
                background.Background(x, y, median, spread);
                const double excess = static_cast<double>(level - median);
                const double needed =
                    std::max(kMinimumExcess, kSpreads * static_cast<double>(spread)) *
                    background.NearnessFactor(x, y) / std::sqrt(sensitivity);
                if (excess >= needed) {
                    rows[row].push_back({x, y, static_cast<float>(excess)});
                }
            }
        });
        std::vector<Candidate> candidates;
        for (const auto& row : rows) {
            candidates.insert(candidates.end(), row.begin(), row.end());
        }
        std::stable_sort(
            candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.excess > b.excess; });

        // The strongest first; a candidate that an earlier notch (or its twin) already takes
        // is its leakage or its twin.
        std::vector<SpectrumNotch> taken;
        for (const Candidate& c : candidates) {
            if (spikes.size() >= kMostSpikes) {
                break;
            }
            bool covered = false;
            for (const SpectrumNotch& notch : taken) {
                if (NotchGain(notch, c.x, c.y) < 0.5 ||
                    NotchGain(MirrorNotch(notch, width, height), c.x, c.y) < 0.5) {
                    covered = true;
                    break;
                }
            }
            if (covered) {
                continue;
            }
            const double offsetX =
                PeakOffset(background.Magnitude(c.x - 1, c.y), background.Magnitude(c.x, c.y),
                           background.Magnitude(c.x + 1, c.y));
            const double offsetY =
                PeakOffset(background.Magnitude(c.x, c.y - 1), background.Magnitude(c.x, c.y),
                           background.Magnitude(c.x, c.y + 1));
            NoiseSpike spike;
            spike.notch = SizeNotch(background, c.x, c.y, offsetX, offsetY);
            spike.x = spike.notch.x;
            spike.y = spike.notch.y;
            const SpectrumNotch twin = MirrorNotch(spike.notch, width, height);
            spike.twinX = twin.x;
            spike.twinY = twin.y;
            const double u = (spike.x - static_cast<double>(background.CentreX())) /
                             static_cast<double>(imageWidth);
            const double v = (spike.y - static_cast<double>(background.CentreY())) /
                             static_cast<double>(imageHeight);
            const double frequency = std::hypot(u, v);
            spike.period = frequency > 0.0 ? 1.0 / frequency : 0.0;
            // Rows run down the image; the angle is measured upwards.
            double angle = std::atan2(-v, u) * 180.0 / std::numbers::pi;
            if (angle < 0.0) {
                angle += 180.0;
            }
            spike.angle = angle >= 180.0 ? angle - 180.0 : angle;
            spike.strength = static_cast<double>(c.excess) * 10.0 / std::numbers::ln10;
            taken.push_back(spike.notch);
            spikes.push_back(spike);
        }
    } catch (const std::bad_alloc&) {
        spikes.clear();
    }
    return spikes;
}

}  // namespace quarvel
