#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quarvel {

/// Frees a plane allocated by AllocatePlane.
struct PlaneDeleter {
    void operator()(float* plane) const noexcept;
};

/// W x H single-precision floats, row-major: element (x, y) sits at index y * W + x, rows follow
/// one another without gaps. The size is not stored; the owner knows it. Planes are aligned to
/// 64 bytes so that whole-plane loops can use the widest vector loads.
using SpectrumPlane = std::unique_ptr<float[], PlaneDeleter>;

/// A new uninitialised plane of count floats, or null when the memory cannot be had.
SpectrumPlane AllocatePlane(std::size_t count);

/// A new plane holding a copy of count floats from source, or null when the memory cannot be
/// had or source is null.
SpectrumPlane CopyPlane(const float* source, std::size_t count);

/// Frees a byte plane allocated by AllocateBytePlane.
struct BytePlaneDeleter {
    void operator()(std::uint8_t* plane) const noexcept;
};

/// W x H bytes of one channel, row-major, from the same allocator as the spectrum planes.
using BytePlane = std::unique_ptr<std::uint8_t[], BytePlaneDeleter>;

/// A new uninitialised byte plane of count bytes, or null when the memory cannot be had.
BytePlane AllocateBytePlane(std::size_t count);

/// A plane that several owners may hold at once (history states with the same values).
using SharedPlane = std::shared_ptr<float[]>;

/// The complex spectrum of one channel at its transform size W2 x H2 (powers of two, or the
/// image's own size on the exact road), centred: the zero frequency sits at column W2 / 2,
/// row H2 / 2, rounded down for odd sizes.
///
/// Copies of a spectrum share its planes. Whoever changes the values of a spectrum that may
/// have been copied makes its planes its own first (MakePlanesOwn).
struct ChannelSpectrum {
    SharedPlane re;  ///< real parts
    SharedPlane im;  ///< imaginary parts

    bool IsComplete() const { return re && im; }
    /// Whether another spectrum holds one of the planes too.
    bool IsShared() const { return re.use_count() > 1 || im.use_count() > 1; }
};

/// Gives spectrum planes of its own, copies of the count elements of the shared ones, so that
/// changing them changes no other holder's; nothing to do when they are its own already. False,
/// with spectrum as it was, when memory runs out or a plane is missing.
bool MakePlanesOwn(ChannelSpectrum& spectrum, std::size_t count);

}  // namespace quarvel
