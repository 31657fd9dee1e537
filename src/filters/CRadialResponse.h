#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/PlaneMemory.h"
#include "filters/FilterSettings.h"

namespace quarvel {

/// The radial two-dimensional response of a width x height spectrum, one row at a time: the
/// values that BuildFilterMask stores, without a whole mask in memory.
///
/// Element (x, y) takes the response of its distance from (width / 2, height / 2), rounded half
/// up to an integer radius (see FilterResponse.h). Only radii up to the farthest corner occur,
/// so the response of each of them is computed once, when the object is made; a row then costs
/// a square root per column distance from the centre column, and the columns on either side of
/// it share their values. For a row of 8 columns (centre column 4) the distances are
/// 4 3 2 1 0 1 2 3: columns 5 to 7 are computed, columns 1 to 3 copied from them, and
/// column 0 computed on its own.
///
/// With normalised distances (the spectra of the exact road) the distance is measured in
/// normalised frequency instead: R sqrt((dx / cx)^2 + (dy / cy)^2) with (cx, cy) the centre and
/// R the reference radius, so that a cut-off is the same fraction of the highest frequency in
/// every direction however wide and high the image is; an axis of length 1 (cx = 0) counts only
/// the other. For a square spectrum both measures are the same.
///
/// Thread safe after construction.
class CRadialResponse {
public:
    /// The response of a width x height mask with the edges of cut1 and cut2 scaled against
    /// min(width / 2, height / 2) (leaving out a half length of 0 when normalised), as
    /// BuildFilterMask takes them.
    CRadialResponse(std::uint64_t width, std::uint64_t height, FilterKind kind, std::int32_t degree,
                    std::int32_t cut1, std::int32_t cut2, bool normalised = false);

    std::uint64_t Width() const { return width_; }
    std::uint64_t Height() const { return height_; }

    /// Fills out[0 .. width) with row y (< height) of the mask.
    void FillRow(std::uint64_t y, float* out) const;

    /// Multiplies both planes of each of count width x height spectra, element (x, y) by the
    /// response at (x, y): the same single-precision products as multiplying by a whole mask.
    /// Rows run in parallel, each row's response computed once for all the spectra.
    void MultiplySpectra(ChannelSpectrum* const* spectra, std::size_t count) const;

private:
    /// The response at column distance dx of a row at distance dy from the centre.
    float At(std::int64_t dx, std::int64_t dy) const;
    /// The distance of (dx, dy) from the centre, rounded half up.
    std::int64_t RadiusOf(std::int64_t dx, std::int64_t dy) const;

    std::uint64_t width_;
    std::uint64_t height_;
    std::int64_t centreX_;
    std::int64_t centreY_;
    FilterKind kind_;
    std::int32_t degree_;
    /// Normalised distances: the factors R / cx and R / cy (0 for an axis of length 1).
    bool normalised_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    std::int64_t low_;   ///< the scaled lower (low-pass: only) edge
    std::int64_t high_;  ///< the scaled upper edge of a band-reject
    /// The response of radius r at index r; empty when it could not be had or would be
    /// absurdly long, and then every response is computed where it is used.
    std::vector<float> byRadius_;
};

}  // namespace quarvel
