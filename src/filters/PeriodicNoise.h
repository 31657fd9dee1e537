#pragma once

#include <cstdint>
#include <vector>

namespace quarvel {

/// A soft notch around one spike of a centred spectrum: a disc around the spike and two arms
/// along the row and the column through it, where a spike whose frequency falls between
/// elements leaks (the leakage of a pure wave falls off as 1 / distance along the row and the
/// column through it, and much faster elsewhere).
///
/// Each part removes everything well inside it and nothing outside it, with a raised-cosine
/// edge between: the gain of a part at distance t from its centre (or along its arm) with
/// half-width R and edge e is 0 for t <= R - e / 2, 1 for t >= R + e / 2, and
/// (1 - cos(pi (t - R + e / 2) / e)) / 2 between, so it is 1/2 at R. The notch's gain is the
/// product of its parts' gains; elements outside every part are left exactly as they are.
struct SpectrumNotch {
    double x = 0.0;       ///< centre column, between elements where the spike's frequency is
    double y = 0.0;       ///< centre row
    double radius = 0.0;  ///< where the disc's gain is 1/2
    double edge = 1.0;    ///< width of the disc's edge
    /// The row arm: rows armTop to armBottom (inclusive), reaching armLeftward columns to the
    /// left of x and armRightward to the right (gain 1/2 there, the edge half that wide); rows
    /// farther from y reach less, as a wave's leakage does. No arm on a side whose reach is 0.
    double armLeftward = 0.0;
    double armRightward = 0.0;
    std::int64_t armTop = 0;
    std::int64_t armBottom = -1;
    /// The column arm: columns armLeft to armRight, reaching armUpward rows above y and
    /// armDownward below.
    double armUpward = 0.0;
    double armDownward = 0.0;
    std::int64_t armLeft = 0;
    std::int64_t armRight = -1;
};

/// One spike of periodic noise found in a centred spectrum, with its point-mirrored twin.
///
/// Positions are element coordinates of the spectrum plane (zero frequency at
/// (floor(W / 2), floor(H / 2))), refined between elements. The frequency of an element offset
/// (k, l) from the centre is (k / imageWidth, l / imageHeight) cycles per pixel of the image
/// (on the power-of-two road the image was stretched to the plane, so this holds on both
/// roads). The period is 1 / |frequency| in pixels; the angle is the direction in which the
/// wave runs, in degrees from 0 up to 180, counter-clockwise from the image's x axis as the
/// image is seen: vertical stripes give 0, horizontal ones (scan lines) 90.
struct NoiseSpike {
    double x = 0.0;
    double y = 0.0;
    double twinX = 0.0;
    double twinY = 0.0;
    double period = 0.0;
    double angle = 0.0;
    /// How far the spike's peak stands above the local background of the spectrum, in dB of
    /// power.
    double strength = 0.0;
    SpectrumNotch notch;  ///< around the spike; MirrorNotch gives the twin's
};

/// The sensitivity of FindPeriodicNoise when none is given.
inline constexpr double kDefaultNoiseSensitivity = 1.0;
/// The range of sensitivities: higher finds weaker spikes.
inline constexpr double kMinNoiseSensitivity = 0.1;
inline constexpr double kMaxNoiseSensitivity = 10.0;

/// Finds the spikes of periodic noise in the centred width x height spectrum (re, im) of an
/// image of imageWidth x imageHeight pixels, strongest first, one entry per spike and twin.
///
/// The log power of every element is compared with the local background: the median and the
/// spread (median absolute deviation) of the log power in a window around it. Those of the
/// elements along the two axes through the zero frequency (where the image borders put a cross
/// of their own) are taken along that axis only. A spike is an element that is a local maximum
/// and stands above its background by several spreads and at least 24 dB, more near the low
/// frequencies (both divided by the square root of sensitivity: 17 dB at 2). The low frequencies
/// around the zero frequency (periods above about 40 pixels, and a few elements at the least) are
/// left alone; so is the smooth fall-off of natural images, which the background follows.
///
/// Each spike's notch is sized from the spike: the spike is taken for a pure wave at the
/// refined frequency, whose leakage into the elements around it is known; the disc and the
/// arms reach as far as that leakage outweighs the background there, and never into the low
/// frequencies. Rows run in parallel. Empty when a plane is missing, the plane is too small
/// (below 16 elements in either direction) or memory runs out.
std::vector<NoiseSpike> FindPeriodicNoise(const float* re, const float* im, std::uint64_t width,
                                          std::uint64_t height, std::uint64_t imageWidth,
                                          std::uint64_t imageHeight,
                                          double sensitivity = kDefaultNoiseSensitivity);

/// The notch around the point-mirrored twin of notch's spike in a width x height plane.
SpectrumNotch MirrorNotch(const SpectrumNotch& notch, std::uint64_t width, std::uint64_t height);

/// The gain of notch at element (x, y) (0 to 1).
double NotchGain(const SpectrumNotch& notch, std::int64_t x, std::int64_t y);

/// A width x height byte mask (row-major) that is 1 where a notch of notches or of a twin
/// removes more than half (its gain is below 1/2) and 0 elsewhere: the notches as a selection.
std::vector<std::uint8_t> NotchCoverage(const std::vector<SpectrumNotch>& notches,
                                        std::uint64_t width, std::uint64_t height);

/// Multiplies both planes of the centred width x height spectrum by every notch and by the
/// notch of its twin. Elements outside all of them keep their values bit for bit. Returns the
/// rows [top, bottom) that changed (top == bottom for none) through the last two arguments.
void ApplyNotches(float* re, float* im, std::uint64_t width, std::uint64_t height,
                  const std::vector<SpectrumNotch>& notches, std::uint64_t& top,
                  std::uint64_t& bottom);

}  // namespace quarvel
