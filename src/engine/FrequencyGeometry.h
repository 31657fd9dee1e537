#pragma once

#include <cstdint>

namespace quarvel {

/// Where the elements of a centred spectrum plane sit in frequency, and which element is the
/// point mirror of which.
///
/// Both transform roads centre an axis of length n at c = floor(n / 2): element i holds the
/// frequency k = i - c (in cycles per n samples), for even and odd n alike. The spectrum of a
/// real image is point-symmetric, F(-k) = conj(F(k)), so element i has its twin at the
/// element of frequency -k:
///
///     mirror(i) = (2c - i) mod n
///
/// For even n that is (n - i) mod n: column 0 holds the Nyquist frequency -n/2, which is its
/// own twin, as is the centre. For odd n it is n - 1 - i, and only the centre is its own twin.
/// With n = 8: 0<->0, 1<->7, 2<->6, 3<->5, 4<->4; with n = 7: 0<->6, 1<->5, 2<->4, 3<->3.

/// The element of an axis of length n (n >= 1) whose frequency is the negative of element i's.
constexpr std::uint64_t MirrorIndex(std::uint64_t i, std::uint64_t n) {
    const std::uint64_t twice = 2 * (n / 2);
    return i == 0 && twice == n ? 0 : twice - i;
}

/// A run of elements [begin, end) of one axis.
struct IndexRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    bool Empty() const { return begin >= end; }
};

/// The mirrors of the elements [begin, end) of an axis of length n (end <= n), as at most two
/// runs: first (always) and second (empty unless the run starts at the Nyquist element 0 of an
/// even axis, which stays in place while the rest lands at the far end).
struct MirroredRanges {
    IndexRange first;
    IndexRange second;
};
MirroredRanges MirrorRange(IndexRange range, std::uint64_t n);

/// What the spectrum element under the cursor means for the image it came from.
struct SpectrumFrequency {
    /// Cycles per image width and per image height: the element's offset from the centre.
    std::int64_t cyclesX = 0;
    std::int64_t cyclesY = 0;
    /// Cycles per pixel of the image as loaded, u across and v down (positive to the right
    /// and towards the bottom, as the image's rows run).
    double u = 0.0;
    double v = 0.0;
    /// The wavelength in pixels of the image, 1 / sqrt(u^2 + v^2); 0 at the zero frequency,
    /// which has none.
    double period = 0.0;
    /// The direction in which the wave runs, in degrees from 0 up to 180, measured from the
    /// image's x axis counter-clockwise as the image is seen (upwards positive): stripes that
    /// are vertical give 0, horizontal ones 90, a wave running up and to the right 45. A wave
    /// and its mirror share one angle. 0 at the zero frequency.
    double angle = 0.0;
};

/// The frequency of element (x, y) of a planeWidth x planeHeight centred spectrum of an image
/// of imageWidth x imageHeight pixels (all sizes at least 1). The power-of-two road stretches
/// the image to the plane before the transform, so element offset k still means k cycles per
/// image width: u = k / imageWidth on both roads.
SpectrumFrequency FrequencyAt(std::int64_t x, std::int64_t y, std::uint64_t planeWidth,
                              std::uint64_t planeHeight, std::uint64_t imageWidth,
                              std::uint64_t imageHeight);

}  // namespace quarvel
