#pragma once

#include <cstdint>

#include "filters/FilterSettings.h"

namespace quarvel {

/// Butterworth-type filter responses.
///
/// Conventions:
/// - A cut-off in percent becomes a distance in samples against a reference radius R:
///   edge = (R * percent) / 100, truncated toward zero. R is half the length of a 1-D curve and
///   min(W / 2, H / 2) for a W x H mask. The product is formed in 64-bit integers, so it gives
///   the same edge as 32-bit arithmetic wherever that does not overflow and a meaningful one
///   where it would.
/// - The response of distance d is 1 / (p * 0.414f + 1) with p = r^(2n) in single precision:
///   low-pass r = d / L; band-reject r = w / (d - c) with half-width w = (Hc - L) / 2 and band
///   centre c = L + w (a sample exactly at c is evaluated at d + 1). So the response at an edge
///   is 1 / 1.414 = 0.7072136.
/// - A low-pass whose edge L is 0 passes only the zero frequency: the response is 1 at d = 0
///   and 0 elsewhere. No response is ever NaN.
/// - Curves and masks are centred at index count / 2 (column W / 2, row H / 2), where the
///   zero frequency of a centred spectrum sits.

/// The single-precision constant 0.414 of the response formula.
inline constexpr float kResponseConstant = 0.414f;

/// The edge distance in samples of a cut-off of percent against the reference radius.
std::int64_t ScaleCutOff(std::int64_t reference, std::int32_t percent);

/// The response at integer distance d for the scaled edges low (L) and high (Hc; ignored by a
/// low-pass). A degree below 0 counts as 0.
float FilterResponseAt(std::int64_t d, FilterKind kind, std::int32_t degree, std::int64_t low,
                       std::int64_t high);

/// Fills out[0 .. count) with the 1-D response curve centred at count / 2, its edges scaled
/// against count / 2. For LowPass cut1 is the cut-off and cut2 is ignored; for BandReject cut1
/// and cut2 are the lower and upper edges. Runs on the calling thread.
void ComputeResponseCurve(float* out, std::uint64_t count, FilterKind kind, std::int32_t degree,
                          std::int32_t cut1, std::int32_t cut2);

/// Fills the width x height radial mask out (element (x, y) at y * width + x) with the response
/// of each element's distance from (width / 2, height / 2), rounded half up to an integer. The
/// edges are scaled against min(width / 2, height / 2). With normalised, distances are in
/// normalised frequency (see CRadialResponse). Rows run in parallel.
void BuildFilterMask(float* out, std::uint64_t width, std::uint64_t height, FilterKind kind,
                     std::int32_t degree, std::int32_t cut1, std::int32_t cut2,
                     bool normalised = false);

}  // namespace quarvel
