#pragma once

#include <cstdint>
#include <string>

#include "batch/BatchSettings.h"
#include "engine/RectangleList.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// The smallest memory limit, in megabytes, the store gives for "Memory"/"Image Limit".
inline constexpr std::int64_t kMinMemoryLimitMegabytes = 64;

/// The batch settings in the per-user settings store (organisation "Quarvel Software",
/// application "FFT Quarvel"), or in an explicitly named settings file.
///
/// Section "Settings" holds "Last Path" and "Recipe Path" (texts) and the integers "Filtering
/// Type", "Filter
/// Dimension", "Filter Direction", "Filter Degree" (the degree index) and "Cut Off Frequency";
/// section "Rectangles" holds "UX1".."UX4", "UY1".."UY4", "DX1".."DX4" and "DY1".."DY4" (x1, y1,
/// x2, y2 of rectangles 1 to 4). Nothing read back is trusted: a missing value or one that is
/// not an integer gives the default, an integer outside its range the nearest end of the range
/// (the 32-bit range for rectangle values), and a repaired value is written back to the store.
/// Each call opens the store afresh, so several objects may share it.
///
/// Section "Memory" holds "Image Limit", the memory the processing of one image may need at its
/// peak (opening it, or a batch file), in megabytes (0 or absent: half the physical memory).
class BatchSettingsStore {
public:
    /// The user's own settings store.
    BatchSettingsStore() = default;
    /// A store kept in the INI file at filePath.
    explicit BatchSettingsStore(std::string filePath) : filePath_(std::move(filePath)) {}

    /// The five "Settings" integers, "Last Path", "Recipe Path" and the rectangles
    /// (LoadRectangles).
    BatchSettings LoadBatchSettings() const;
    /// The sixteen "Rectangles" values.
    RectangleList LoadRectangles() const;

    /// Writes the five "Settings" integers and "Recipe Path", then SaveRectangles. "Last Path"
    /// is left alone.
    IoResult SaveBatchSettings(const BatchSettings& settings);
    /// Writes the sixteen "Rectangles" values.
    IoResult SaveRectangles(const RectangleList& rectangles);
    /// Writes "Settings"/"Last Path".
    IoResult SaveLastPath(const std::string& folder);

    /// "Memory"/"Image Limit" in bytes, 0 for the default share of the physical memory. A
    /// value below 64 MB is raised to 64 MB, one above the physical memory lowered to it, one
    /// that is not a number (or negative) gives 0; each such repair is written back.
    std::uint64_t LoadMemoryLimit() const;
    /// Writes "Memory"/"Image Limit" in megabytes (0 for the default share).
    IoResult SaveMemoryLimit(std::uint64_t megabytes);

    /// The file the store lives in.
    std::string Location() const;

private:
    std::string filePath_;  ///< empty for the user's store
};

}  // namespace quarvel
