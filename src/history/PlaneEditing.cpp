#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "engine/ParallelFor.h"
#include "history/CFFTProc.h"
#include "selection/VXRegion.h"

namespace quarvel {

namespace {

/// Sets element index of both planes to zero.
inline void ClearElement(ChannelSpectrum& spectrum, std::size_t index) {
    spectrum.re[index] = 0.0f;
    spectrum.im[index] = 0.0f;
}

/// A signed coordinate read as an unsigned 64-bit number after sign extension: negative values
/// become very large.
inline std::uint64_t AsUnsigned(std::int32_t value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

/// The columns [begin, end) of a mask row of the given length between its first and last
/// selected byte; begin == end when none is selected. Eight bytes are tested at a time.
std::pair<std::size_t, std::size_t> SelectedSpan(const std::uint8_t* row, std::size_t length) {
    const auto anyInWord = [row](std::size_t at) {
        std::uint64_t word = 0;
        std::memcpy(&word, row + at, sizeof word);
        return word != 0;
    };
    std::size_t begin = 0;
    while (begin + 8 <= length && !anyInWord(begin)) {
        begin += 8;
    }
    while (begin < length && row[begin] == MaskOutside) {
        ++begin;
    }
    std::size_t end = length;
    while (end >= begin + 8 && !anyInWord(end - 8)) {
        end -= 8;
    }
    while (end > begin && row[end - 1] == MaskOutside) {
        --end;
    }
    return {begin, end};
}

/// Sets the elements of columns run of the row that starts at element rowStart to zero.
inline void ClearRun(ChannelSpectrum& spectrum, std::size_t rowStart, IndexRange run) {
    if (run.Empty()) {
        return;
    }
    std::fill(spectrum.re.get() + rowStart + run.begin, spectrum.re.get() + rowStart + run.end,
              0.0f);
    std::fill(spectrum.im.get() + rowStart + run.begin, spectrum.im.get() + rowStart + run.end,
              0.0f);
}

/// Clears, in the mirror of every row of rows, the mirrors of columns of that row. Each row has
/// a mirror of its own, so the rows run in parallel and each writes only its mirror.
void ClearMirroredRuns(ChannelSpectrum& spectrum, std::uint64_t width, std::uint64_t height,
                       IndexRange rows, IndexRange columns) {
    const MirroredRanges mirrored = MirrorRange(columns, width);
    ParallelFor(rows.begin, rows.end, [&](std::size_t y) {
        const std::size_t rowStart = MirrorIndex(y, height) * width;
        ClearRun(spectrum, rowStart, mirrored.first);
        ClearRun(spectrum, rowStart, mirrored.second);
    });
}

/// Appends the rows rows and, when mirrored, their mirror rows in a plane of height rows.
void AddChangedRows(std::vector<IndexRange>& changed, IndexRange rows, bool mirrored,
                    std::uint64_t height) {
    if (rows.Empty()) {
        return;
    }
    changed.push_back(rows);
    if (mirrored) {
        const MirroredRanges mirror = MirrorRange(rows, height);
        changed.push_back(mirror.first);
        if (!mirror.second.Empty()) {
            changed.push_back(mirror.second);
        }
    }
}

/// Copies every row of from outside the runs rows (sorted, disjoint) into to, an image of the
/// same size and format.
void CopyRowsOutside(const ImageBitmap& from, ImageBitmap& to,
                     const std::vector<IndexRange>& rows) {
    const std::size_t bytes = std::min(from.Stride(), to.Stride());
    ParallelFor(0, from.Height(), [&](std::size_t y) {
        const auto after = std::upper_bound(
            rows.begin(), rows.end(), y,
            [](std::size_t row, const IndexRange& run) { return row < run.begin; });
        if (after == rows.begin() || y >= std::prev(after)->end) {
            const auto row = static_cast<std::uint32_t>(y);
            std::memcpy(to.Row(row), from.Row(row), bytes);
        }
    });
}

/// ranges sorted, with overlapping and touching runs joined.
std::vector<IndexRange> JoinRanges(std::vector<IndexRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const IndexRange& a, const IndexRange& b) { return a.begin < b.begin; });
    std::vector<IndexRange> joined;
    for (const IndexRange& range : ranges) {
        if (range.Empty()) {
            continue;
        }
        if (!joined.empty() && range.begin <= joined.back().end) {
            joined.back().end = std::max(joined.back().end, range.end);
        } else {
            joined.push_back(range);
        }
    }
    return joined;
}

}  // namespace

bool CFFTProc::BeginEdit(ChannelKind member, EditTarget& target, std::uint64_t& width,
                         std::uint64_t& height) {
    target = EditTarget{};
    const bool newState = workingState == nullptr;
    if (!PrepareWorkingState() || !workingState->workImage) {
        return false;
    }
    target.newPower = newState;
    ProcState& state = *workingState;
    width = state.workImage->Width();
    height = state.workImage->Height();

    if (state.isColor) {
        // Grey on a colour state changes nothing but still notifies.
        if (member == ChannelKind::Grey) {
            return true;
        }
        switch (member) {
            case ChannelKind::Red:
                target = {&state.spectrumRed, &state.powerRed, &state.levelsRed, newState};
                break;
            case ChannelKind::Green:
                target = {&state.spectrumGreen, &state.powerGreen, &state.levelsGreen, newState};
                break;
            case ChannelKind::Blue:
            case ChannelKind::Grey:
                target = {&state.spectrumBlue, &state.powerBlue, &state.levelsBlue, newState};
                break;
        }
    } else {
        // Every member edits the one channel of a grey state.
        target = {&state.spectrumGrey, &state.powerGrey, &state.levelsGrey, newState};
    }
    return target.spectrum->IsComplete();
}

void CFFTProc::OwnRows(const EditTarget& target, std::uint64_t width, std::uint64_t height,
                       const std::vector<IndexRange>& rows) {
    // The channel's values may still be those of the state it continues: the rows that change
    // become its own first, the others stay where they are.
    if (target.spectrum != nullptr && !MakeRowsOwn(*target.spectrum, width, height, rows)) {
        throw std::bad_alloc();
    }
}

void CFFTProc::FinishEdit(const EditTarget& target, std::uint64_t width, std::uint64_t height,
                          std::vector<IndexRange> changedRows) {
    // A state without power spectrum images belongs to a processing object that displays
    // nothing; it gets none.
    if (target.spectrum != nullptr && HoldsPowerSpectra(*workingState)) {
        const PlaneRows planes = target.spectrum->Rows();
        std::shared_ptr<ImageBitmap>& power = *target.power;
        // The image is rendered again in place, only the edited rows where the mapping of its
        // levels stays; a new one is made when that cannot be done. The views hear of the rows
        // only when the image stays.
        //
        // An image the history states share is taken from them: the views show it already,
        // and they render it anew should they be shown again. Any other holder keeps its
        // image: the rows go into a new image, and only when they are not all rendered again
        // are the others copied from the shared one.
        bool takenOver = false;
        if (power != nullptr && power.use_count() > 1) {
            TakeOverPower(power);
            takenOver = power.use_count() == 1;
        }
        std::shared_ptr<ImageBitmap> shared;
        if (power != nullptr && power.use_count() > 1) {
            shared = std::move(power);
            power = ImageBitmap::Create(shared->Width(), shared->Height(), shared->Format());
        }
        const bool replaced = shared != nullptr;
        const std::vector<IndexRange> runs = JoinRanges(std::move(changedRows));
        bool whole = false;
        const bool updated =
            power != nullptr &&
            UpdatePowerSpectrumRows(planes, width, height, *power, *target.levels, runs, whole);
        if (updated && !whole && shared) {
            CopyRowsOutside(*shared, *power, runs);
        }
        shared.reset();
        if (updated && (!target.newPower || takenOver) && !replaced) {
            if (whole) {
                PowerRowsChanged(*power, 0, height);
            } else {
                for (const IndexRange& rows : runs) {
                    PowerRowsChanged(*power, rows.begin, std::min(rows.end, height));
                }
            }
        }
        if (!updated) {
            power.reset();
            power = RenderPowerSpectrum(planes, width, height, target.levels);
        }
    }
    ReleaseHiddenSpectra();
    UpdateViews(0);
}

void CFFTProc::StampBrush(ChannelKind member, std::uint32_t cx, std::int32_t cy, std::uint64_t r) {
    EditTarget target;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!BeginEdit(member, target, width, height)) {
        return;
    }
    std::vector<IndexRange> changedRows;
    if (target.spectrum != nullptr) {
        // The box of the disc, clipped to the plane. The centre column is a signed value; the
        // bounds are worked out in 64 bits so that no sum can overflow.
        const std::int64_t centreX = static_cast<std::int32_t>(cx);
        const std::int64_t centreY = cy;
        const std::int64_t reach = static_cast<std::int64_t>(std::min<std::uint64_t>(r, INT32_MAX));
        const std::int64_t left = std::max<std::int64_t>(0, centreX - reach);
        const std::int64_t right =
            std::min<std::int64_t>(static_cast<std::int64_t>(width) - 1, centreX + reach);
        const std::int64_t top = std::max<std::int64_t>(0, centreY - reach);
        const std::int64_t bottom =
            std::min<std::int64_t>(static_cast<std::int64_t>(height) - 1, centreY + reach);

        // An element is in the disc when r >= trunc(distance), that is when its distance is
        // below r + 1: radius 1 takes the whole 3 x 3 block, radius 3 a 7 x 7 block less its
        // corners. A large brush covers much of the plane: its rows run in parallel.
        ChannelSpectrum& spectrum = *target.spectrum;
        const auto inDisc = [&](std::int64_t x, std::int64_t dy) {
            const std::int64_t dx = centreX - x;
            const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
            return r >= static_cast<std::uint64_t>(distance);
        };
        const auto clearRow = [&](std::size_t row) {
            const std::int64_t dy = centreY - static_cast<std::int64_t>(row);
            for (std::int64_t x = left; x <= right; ++x) {
                if (inDisc(x, dy)) {
                    ClearElement(spectrum, row * width + static_cast<std::size_t>(x));
                }
            }
        };
        if (top <= bottom && left <= right) {
            const IndexRange rows{static_cast<std::uint64_t>(top),
                                  static_cast<std::uint64_t>(bottom) + 1};
            AddChangedRows(changedRows, rows, mirrorEdits, height);
            OwnRows(target, width, height, changedRows);
            ParallelFor(rows.begin, rows.end, clearRow);
            if (mirrorEdits) {
                // The mirror of the disc, element by element: near an even plane's first row
                // or column the mirror is not a disc of its own. Each row's mirror is another
                // row, so each iteration still writes one row.
                ParallelFor(rows.begin, rows.end, [&](std::size_t row) {
                    const std::int64_t dy = centreY - static_cast<std::int64_t>(row);
                    const std::size_t mirrorRow = MirrorIndex(row, height) * width;
                    for (std::int64_t x = left; x <= right; ++x) {
                        if (inDisc(x, dy)) {
                            ClearElement(
                                spectrum,
                                mirrorRow + MirrorIndex(static_cast<std::uint64_t>(x), width));
                        }
                    }
                });
            }
        }
    }
    FinishEdit(target, width, height, std::move(changedRows));
}

void CFFTProc::ClearSelection(ChannelKind member, const VXRegion& region) {
    EditTarget target;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!BeginEdit(member, target, width, height)) {
        return;
    }
    std::vector<IndexRange> changedRows;
    if (target.spectrum != nullptr) {
        // Only elements inside the region's own size are considered, so a region smaller than
        // the plane never reaches beyond its image.
        const std::uint64_t columns =
            std::min<std::uint64_t>(width, static_cast<std::uint64_t>(std::max(region.Width(), 0)));
        const std::uint64_t rows = std::min<std::uint64_t>(
            height, static_cast<std::uint64_t>(std::max(region.Height(), 0)));
        ChannelSpectrum& spectrum = *target.spectrum;
        // Each row notes whether it clears anything: only those rows change and are rendered
        // again, and they are known before the first is cleared.
        std::vector<std::uint8_t> cleared(rows, 0);
        const std::uint8_t* mask = region.HasMask() ? region.Mask().data() : nullptr;
        const std::size_t maskWidth = static_cast<std::size_t>(std::max(region.Width(), 0));
        if (mask != nullptr) {
            // A row is read from its mask directly, and only between its first and last
            // selected byte: a small selection on a large plane costs a scan of the mask.
            ParallelFor(0, rows, [&](std::size_t y) {
                const auto [begin, end] = SelectedSpan(mask + y * maskWidth, columns);
                cleared[y] = begin < end ? 1 : 0;
            });
        } else if (region.Contains(0, 0) && columns > 0) {
            // Without a mask the region holds everything or nothing alike.
            std::fill(cleared.begin(), cleared.end(), 1);
        }
        const auto first = std::find(cleared.begin(), cleared.end(), 1);
        if (first != cleared.end()) {
            const IndexRange changed{
                static_cast<std::uint64_t>(first - cleared.begin()),
                rows - static_cast<std::uint64_t>(std::find(cleared.rbegin(), cleared.rend(), 1) -
                                                  cleared.rbegin())};
            AddChangedRows(changedRows, changed, mirrorEdits, height);
            OwnRows(target, width, height, changedRows);
        }
        if (mask != nullptr) {
            ParallelFor(0, rows, [&](std::size_t y) {
                const std::uint8_t* row = mask + y * maskWidth;
                const auto [begin, end] = SelectedSpan(row, columns);
                for (std::size_t x = begin; x < end; ++x) {
                    if (row[x] != MaskOutside) {
                        ClearElement(spectrum, y * width + x);
                    }
                }
            });
            if (mirrorEdits) {
                // Row y's selection is cleared in its mirror row, which no other row shares.
                ParallelFor(0, rows, [&](std::size_t y) {
                    if (cleared[y] == 0) {
                        return;
                    }
                    const std::uint8_t* row = mask + y * maskWidth;
                    const std::size_t mirrorRow = MirrorIndex(y, height) * width;
                    const auto [begin, end] = SelectedSpan(row, columns);
                    for (std::size_t x = begin; x < end; ++x) {
                        if (row[x] != MaskOutside) {
                            ClearElement(spectrum, mirrorRow + MirrorIndex(x, width));
                        }
                    }
                });
            }
        } else if (first != cleared.end()) {
            ParallelFor(0, rows, [&](std::size_t y) {
                ClearRun(spectrum, y * width, IndexRange{0, columns});
            });
            if (mirrorEdits) {
                ClearMirroredRuns(spectrum, width, height, IndexRange{0, rows},
                                  IndexRange{0, columns});
            }
        }
    }
    FinishEdit(target, width, height, std::move(changedRows));
}

void CFFTProc::ClearRectangles(ChannelKind member, const RectangleList& rectangles) {
    EditTarget target;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!BeginEdit(member, target, width, height)) {
        return;
    }
    std::vector<IndexRange> changedRows;
    if (target.spectrum != nullptr) {
        ChannelSpectrum& spectrum = *target.spectrum;
        // The rows and columns of each rectangle, worked out before anything is cleared.
        std::vector<std::pair<IndexRange, IndexRange>> areas;
        for (const SpectrumRectangle& rect : rectangles) {
            // Bounds are compared unsigned: a negative right or bottom edge is limited to the
            // last column or row, a negative left or top edge clears nothing. The bottom row is
            // exclusive and limited before, so the last row is never cleared.
            const std::uint64_t right = std::min(AsUnsigned(rect.x2), width - 1);
            const std::uint64_t bottom = std::min(AsUnsigned(rect.y2), height - 1);
            const std::uint64_t top = AsUnsigned(rect.y1);
            const std::uint64_t left = AsUnsigned(rect.x1);
            if (top >= bottom || left > right) {
                continue;
            }
            areas.emplace_back(IndexRange{top, bottom}, IndexRange{left, right + 1});
            AddChangedRows(changedRows, areas.back().first, mirrorEdits, height);
        }
        OwnRows(target, width, height, changedRows);
        for (const auto& area : areas) {
            const IndexRange rows = area.first;
            const IndexRange columns = area.second;
            ParallelFor(rows.begin, rows.end,
                        [&](std::size_t y) { ClearRun(spectrum, y * width, columns); });
            if (mirrorEdits) {
                ClearMirroredRuns(spectrum, width, height, rows, columns);
            }
        }
    }
    FinishEdit(target, width, height, std::move(changedRows));
}

}  // namespace quarvel
