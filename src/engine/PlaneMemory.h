#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "engine/FrequencyGeometry.h"

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

/// Where the rows of a spectrum's two planes are read: a row that the spectrum has made its own
/// from re and im, any other from inheritedRe and inheritedIm (see ChannelSpectrum).
struct PlaneRows {
    const float* re = nullptr;
    const float* im = nullptr;
    const float* inheritedRe = nullptr;
    const float* inheritedIm = nullptr;
    const std::uint8_t* own = nullptr;  ///< one flag per row; null: every row is in re and im

    bool Inherits(std::size_t y) const { return own != nullptr && own[y] == 0; }
    const float* Re(std::size_t y, std::size_t width) const {
        return (Inherits(y) ? inheritedRe : re) + y * width;
    }
    const float* Im(std::size_t y, std::size_t width) const {
        return (Inherits(y) ? inheritedIm : im) + y * width;
    }
};

/// The rows a spectrum continued from another has not made its own yet: those keep their values
/// in the other spectrum's planes, which this holds.
struct InheritedRows {
    SharedPlane re;
    SharedPlane im;
    std::vector<std::uint8_t> own;  ///< one flag per row: 1 when the row is the spectrum's own
    std::size_t ownCount = 0;       ///< rows flagged in own
};

/// The complex spectrum of one channel at its transform size W2 x H2 (powers of two, or the
/// image's own size on the exact road), centred: the zero frequency sits at column W2 / 2,
/// row H2 / 2, rounded down for odd sizes.
///
/// Copies of a spectrum share its planes. Whoever changes the values of a spectrum that may
/// have been copied makes the rows it changes its own first (MakeRowsOwn), or all of them
/// (MakePlanesOwn). A spectrum that owns only some rows has planes of the full size whose other
/// rows hold nothing yet: those are read from inherited (Rows tells where each row is), and
/// only code that reads through Rows may be given such a spectrum. The memory of rows never
/// made its own is not touched, so it costs nothing.
struct ChannelSpectrum {
    ChannelSpectrum() = default;
    /// A spectrum that holds every row in re and im.
    ChannelSpectrum(SharedPlane realParts, SharedPlane imaginaryParts)
        : re(std::move(realParts)), im(std::move(imaginaryParts)) {}

    SharedPlane re;  ///< real parts
    SharedPlane im;  ///< imaginary parts
    /// Null when re and im hold every row.
    std::shared_ptr<const InheritedRows> inherited;

    bool IsComplete() const { return re && im; }
    /// Whether re and im hold every row themselves.
    bool HoldsAllRows() const { return inherited == nullptr; }
    /// Whether another spectrum holds one of the planes too.
    bool IsShared() const { return re.use_count() > 1 || im.use_count() > 1; }
    /// Where each row is read.
    PlaneRows Rows() const {
        if (!inherited) {
            return PlaneRows{re.get(), im.get()};
        }
        return PlaneRows{re.get(), im.get(), inherited->re.get(), inherited->im.get(),
                         inherited->own.data()};
    }
};

/// Gives spectrum, a width x height spectrum, rows of its own for every row of the given runs
/// (rows past height are left out), so that changing them changes no other holder's values:
/// when its planes are shared it gets new ones that inherit the rest (see ChannelSpectrum), and
/// the rows are copied from where they were. False, with spectrum as it was, when memory runs
/// out or a plane is missing.
bool MakeRowsOwn(ChannelSpectrum& spectrum, std::size_t width, std::size_t height,
                 const std::vector<IndexRange>& rows);

/// MakeRowsOwn for every row: afterwards spectrum holds all its rows in planes of its own.
bool MakePlanesOwn(ChannelSpectrum& spectrum, std::size_t width, std::size_t height);

}  // namespace quarvel
