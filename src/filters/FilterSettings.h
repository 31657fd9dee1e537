#pragma once

#include <cstdint>

namespace quarvel {

/// Which axes a separable ("1D") filter acts on. Stored in FilterSettings::direction as its
/// unsigned value and compared as such when the filter is applied.
enum class FilterDirection : std::uint64_t {
    RowsAndColumns = 0,  ///< "Filter Rows and Columns"
    Rows = 1,            ///< "Filter Rows"
    Columns = 2,         ///< "Filter Columns"
};

/// The two response shapes a design can take. The kind is chosen by the command that designs
/// the filter and is not part of FilterSettings.
enum class FilterKind { LowPass, BandReject };

/// The design of a frequency filter. Cut-offs are in percent of the maximum frequency; the
/// low-pass uses cutOff, the band-reject lowCutOff and highCutOff.
struct FilterSettings {
    std::uint64_t direction = static_cast<std::uint64_t>(FilterDirection::RowsAndColumns);
    bool oneDimensional = false;  ///< false: radial 2-D mask; true: row and column responses
    std::int32_t degree = 2;      ///< filter degree n, 1 to 6
    std::int32_t cutOff = 25;
    std::int32_t lowCutOff = 33;
    std::int32_t highCutOff = 66;

    bool operator==(const FilterSettings&) const = default;
};

}  // namespace quarvel
