#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/ParallelFor.h"
#include "history/CFFTProc.h"

namespace quarvel {

void CFFTProc::ClearRuns(ChannelKind member, const std::vector<AreaRun>& runs) {
    EditTarget target;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!BeginEdit(member, target, width, height)) {
        return;
    }
    std::vector<IndexRange> changedRows;
    if (target.spectrum != nullptr) {
        // Runs are sorted by row: the runs of one row are one slice, and each slice is cleared
        // by its own iteration.
        std::vector<std::size_t> rowStarts;
        for (std::size_t k = 0; k < runs.size(); ++k) {
            if (runs[k].y < height && (k == 0 || runs[k].y != runs[k - 1].y)) {
                rowStarts.push_back(k);
            }
        }
        if (!rowStarts.empty()) {
            const IndexRange rows{runs[rowStarts.front()].y,
                                  std::uint64_t{runs[rowStarts.back()].y} + 1};
            changedRows.push_back(rows);
            if (mirrorEdits) {
                const MirroredRanges mirrored = MirrorRange(rows, height);
                changedRows.push_back(mirrored.first);
                changedRows.push_back(mirrored.second);
            }
        }
        OwnRows(target, width, height, changedRows);
        ChannelSpectrum& spectrum = *target.spectrum;
        ParallelFor(0, rowStarts.size(), [&](std::size_t slice) {
            const std::uint32_t row = runs[rowStarts[slice]].y;
            for (std::size_t k = rowStarts[slice]; k < runs.size() && runs[k].y == row; ++k) {
                const std::uint64_t begin = std::min<std::uint64_t>(runs[k].x0, width);
                const std::uint64_t end = std::min<std::uint64_t>(runs[k].x1, width);
                if (begin < end) {
                    std::fill(spectrum.re.get() + row * width + begin,
                              spectrum.re.get() + row * width + end, 0.0f);
                    std::fill(spectrum.im.get() + row * width + begin,
                              spectrum.im.get() + row * width + end, 0.0f);
                }
            }
        });
        if (mirrorEdits) {
            // Each row's runs are cleared mirrored in its mirror row, which no other row shares.
            ParallelFor(0, rowStarts.size(), [&](std::size_t slice) {
                const std::uint32_t row = runs[rowStarts[slice]].y;
                const std::size_t mirrorRow = MirrorIndex(row, height) * width;
                for (std::size_t k = rowStarts[slice]; k < runs.size() && runs[k].y == row; ++k) {
                    const IndexRange run{std::min<std::uint64_t>(runs[k].x0, width),
                                         std::min<std::uint64_t>(runs[k].x1, width)};
                    const MirroredRanges mirrored = MirrorRange(run, width);
                    for (const IndexRange& columns : {mirrored.first, mirrored.second}) {
                        if (!columns.Empty()) {
                            std::fill(spectrum.re.get() + mirrorRow + columns.begin,
                                      spectrum.re.get() + mirrorRow + columns.end, 0.0f);
                            std::fill(spectrum.im.get() + mirrorRow + columns.begin,
                                      spectrum.im.get() + mirrorRow + columns.end, 0.0f);
                        }
                    }
                }
            });
        }
    }
    FinishEdit(target, width, height, std::move(changedRows));
}

RecipeFrame CFFTProc::StepFrame() const {
    RecipeFrame frame;
    if (!originalImage) {
        return frame;
    }
    frame.sourceWidth = originalImage->Width();
    frame.sourceHeight = originalImage->Height();
    const ProcState* active = ActiveState();
    if (active != nullptr && active->workImage) {
        frame.gridWidth = active->workImage->Width();
        frame.gridHeight = active->workImage->Height();
    } else {
        frame.gridWidth = spectrumWidth;
        frame.gridHeight = spectrumHeight;
    }
    return frame;
}

bool CFFTProc::ApplyStep(const RecipeStep& step) {
    if (!originalImage) {
        return false;
    }
    if (step.kind == RecipeStepKind::LowPass || step.kind == RecipeStepKind::BandReject) {
        const FilterKind kind =
            step.kind == RecipeStepKind::LowPass ? FilterKind::LowPass : FilterKind::BandReject;
        // Only what this design uses is taken: the other kind's cut-offs stay as they were.
        filterSettings.degree = step.filter.degree;
        filterSettings.oneDimensional = step.filter.oneDimensional;
        filterSettings.direction = step.filter.direction;
        if (kind == FilterKind::LowPass) {
            filterSettings.cutOff = step.filter.cutOff;
        } else {
            filterSettings.lowCutOff = step.filter.lowCutOff;
            filterSettings.highCutOff = step.filter.highCutOff;
        }
        if (leanFilters) {
            BuildAndApplyFilter(kind, step.red, step.green, step.blue);
        } else {
            BuildFilter(kind);
            const bool built =
                filterSettings.oneDimensional ? rowResponse && columnResponse : bool(filterMask);
            if (!built) {
                return false;
            }
            ApplyFilter(step.red, step.green, step.blue);
        }
    } else {
        if (!PrepareWorkingState()) {
            return false;
        }
        // The step says whether its mirrored area goes too, whatever the object's own setting.
        struct MirrorForStep {
            bool& setting;
            bool kept;
            ~MirrorForStep() { setting = kept; }
        } mirrorForStep{mirrorEdits, mirrorEdits};
        mirrorEdits = step.mirror;
        const RecipeFrame frame = StepFrame();
        // The channels a clearing reaches, in the order red, green, blue.
        std::vector<ChannelKind> members;
        if (!workingState->isColor) {
            members.push_back(ChannelKind::Grey);
        } else {
            for (const auto& [on, member] : {std::pair{step.red, ChannelKind::Red},
                                             {step.green, ChannelKind::Green},
                                             {step.blue, ChannelKind::Blue}}) {
                if (on) {
                    members.push_back(member);
                }
            }
        }
        switch (step.kind) {
            case RecipeStepKind::Rectangle: {
                RectangleList rectangles{};
                rectangles[0] = {frame.ColumnOfFrequency(step.left), frame.RowOfFrequency(step.top),
                                 frame.ColumnOfFrequency(step.right),
                                 frame.RowOfFrequency(step.bottom)};
                for (const ChannelKind member : members) {
                    ClearRectangles(member, rectangles);
                }
                break;
            }
            case RecipeStepKind::Brush: {
                const double radius =
                    std::nearbyint(step.radius * static_cast<double>(frame.sourceWidth));
                const auto r = static_cast<std::uint64_t>(
                    std::clamp(radius == radius ? radius : 0.0, 0.0, double{INT32_MAX}));
                // The column travels as an unsigned value and is read back as a signed one.
                const auto cx = static_cast<std::uint32_t>(frame.ColumnOfFrequency(step.x));
                const std::int32_t cy = frame.RowOfFrequency(step.y);
                for (const ChannelKind member : members) {
                    StampBrush(member, cx, cy, r);
                }
                break;
            }
            case RecipeStepKind::Area: {
                const std::vector<AreaRun> runs = step.area.RunsOn(frame);
                for (const ChannelKind member : members) {
                    ClearRuns(member, runs);
                }
                break;
            }
            case RecipeStepKind::LowPass:
            case RecipeStepKind::BandReject:
                break;
        }
    }
    if (!workingState) {
        return false;
    }
    workingState->steps.push_back(std::make_shared<const RecipeStep>(step));
    return true;
}

Recipe CFFTProc::RecordedRecipe() const {
    Recipe recipe;
    recipe.transformSize = spectrumTransformSize;
    if (originalImage) {
        recipe.sourceWidth = originalImage->Width();
        recipe.sourceHeight = originalImage->Height();
    }
    if (const ProcState* active = ActiveState()) {
        recipe.steps.reserve(active->steps.size());
        for (const auto& step : active->steps) {
            recipe.steps.push_back(*step);
        }
    }
    return recipe;
}

}  // namespace quarvel
