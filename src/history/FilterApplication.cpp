#include <array>
#include <cassert>
#include <cstdint>
#include <optional>

#include "engine/ParallelFor.h"
#include "filters/CRadialResponse.h"
#include "filters/FilterResponse.h"
#include "history/CFFTProc.h"

namespace quarvel {

namespace {

/// The factors of a filter as ApplyFilter uses them: the 2-D mask, or the row and the column
/// response of a 1-D design (each null when its pass does not run).
struct FilterFactors {
    const float* mask = nullptr;
    const float* rows = nullptr;
    const float* columns = nullptr;
};

/// Multiplies both planes of each of count spectra, row y by row y of factors: element (x, y)
/// by mask[y * width + x], or by rows[x] and then by columns[y]. One pass over the planes does
/// what separate passes per channel and per response would: every element gets the same
/// single-precision products in the same order.
void MultiplySpectra(ChannelSpectrum* const* spectra, std::size_t count,
                     const FilterFactors& factors, std::uint64_t width, std::uint64_t height) {
    ParallelFor(0, height, [&](std::size_t y) {
        for (std::size_t c = 0; c < count; ++c) {
            float* re = spectra[c]->re.get() + y * width;
            float* im = spectra[c]->im.get() + y * width;
            if (factors.mask != nullptr) {
                const float* factor = factors.mask + y * width;
                for (std::size_t x = 0; x < width; ++x) {
                    re[x] = re[x] * factor[x];
                    im[x] = im[x] * factor[x];
                }
            } else if (factors.rows != nullptr && factors.columns != nullptr) {
                const float* row = factors.rows;
                const float column = factors.columns[y];
                for (std::size_t x = 0; x < width; ++x) {
                    re[x] = re[x] * row[x] * column;
                    im[x] = im[x] * row[x] * column;
                }
            } else if (factors.rows != nullptr) {
                const float* row = factors.rows;
                for (std::size_t x = 0; x < width; ++x) {
                    re[x] = re[x] * row[x];
                    im[x] = im[x] * row[x];
                }
            } else if (factors.columns != nullptr) {
                const float column = factors.columns[y];
                for (std::size_t x = 0; x < width; ++x) {
                    re[x] = re[x] * column;
                    im[x] = im[x] * column;
                }
            }
        }
    });
}

/// The edges of a filter of kind: the cut-off of a low-pass (and 0), or the lower and upper
/// cut-off of a band-reject.
void FilterEdges(FilterKind kind, const FilterSettings& settings, std::int32_t& cut1,
                 std::int32_t& cut2) {
    const bool lowPass = kind == FilterKind::LowPass;
    cut1 = lowPass ? settings.cutOff : settings.lowCutOff;
    cut2 = lowPass ? 0 : settings.highCutOff;
}

}  // namespace

void CFFTProc::BuildFilter(FilterKind kind) {
    filterMask.reset();
    rowResponse.reset();
    columnResponse.reset();

    const FilterSettings& settings = filterSettings;
    std::int32_t cut1 = 0;
    std::int32_t cut2 = 0;
    FilterEdges(kind, settings, cut1, cut2);
    const std::uint64_t width = spectrumWidth;
    const std::uint64_t height = spectrumHeight;
    if (width == 0 || height == 0) {
        return;
    }

    // A buffer that cannot be had leaves the filter unbuilt; ApplyFilter then changes nothing.
    if (!settings.oneDimensional) {
        SpectrumPlane mask = AllocatePlane(width * height);
        if (!mask) {
            return;
        }
        BuildFilterMask(mask.get(), width, height, kind, settings.degree, cut1, cut2,
                        spectrumTransformSize == TransformSize::Exact);
        filterMask = std::move(mask);
    } else {
        // Each axis is scaled against its own half length.
        SpectrumPlane rows = AllocatePlane(width);
        SpectrumPlane columns = AllocatePlane(height);
        if (!rows || !columns) {
            return;
        }
        ComputeResponseCurve(rows.get(), width, kind, settings.degree, cut1, cut2);
        ComputeResponseCurve(columns.get(), height, kind, settings.degree, cut1, cut2);
        rowResponse = std::move(rows);
        columnResponse = std::move(columns);
    }
}

void CFFTProc::ApplyFilter(bool applyRed, bool applyGreen, bool applyBlue) {
    FilterWorkingState(applyRed, applyGreen, applyBlue, std::nullopt);
}

void CFFTProc::BuildAndApplyFilter(FilterKind kind, bool applyRed, bool applyGreen,
                                   bool applyBlue) {
    if (filterSettings.oneDimensional) {
        BuildFilter(kind);
        ApplyFilter(applyRed, applyGreen, applyBlue);
        return;
    }
    filterMask.reset();
    rowResponse.reset();
    columnResponse.reset();
    FilterWorkingState(applyRed, applyGreen, applyBlue, kind);
}

void CFFTProc::FilterWorkingState(bool applyRed, bool applyGreen, bool applyBlue,
                                  std::optional<FilterKind> radial) {
    DropRedoStates();
    PrepareWorkingState();
    const ProcState* active = ActiveState();
    const bool isColor = active != nullptr && active->isColor;
    if (!workingState || !workingState->workImage) {
        return;
    }
    ProcState& state = *workingState;
    const std::uint64_t width = state.workImage->Width();
    const std::uint64_t height = state.workImage->Height();

    // The buffers are built for spectrumWidth x spectrumHeight; any other size would read past
    // them.
    const bool oneDimensional = filterSettings.oneDimensional;
    const bool built =
        radial || (oneDimensional ? (rowResponse && columnResponse) : bool(filterMask));
    if (!built || width != spectrumWidth || height != spectrumHeight) {
        assert(built && "ApplyFilter needs BuildFilter first");
        assert(width == spectrumWidth && height == spectrumHeight);
        return;
    }

    // The channels to multiply, in the order red, green, blue.
    std::array<ChannelSpectrum*, 3> channels{};
    std::size_t channelCount = 0;
    // A channel still sharing its planes with another state gets copies of its own first.
    bool owned = true;
    const auto select = [&](ChannelSpectrum& spectrum, bool on) {
        if (on && spectrum.IsComplete()) {
            owned = owned && MakePlanesOwn(spectrum, width, height);
            channels[channelCount++] = &spectrum;
            // The planes the working state no longer shares may go before the next are copied.
            ReleaseHiddenSpectra();
        }
    };
    if (isColor) {
        select(state.spectrumRed, applyRed);
        select(state.spectrumGreen, applyGreen);
        select(state.spectrumBlue, applyBlue);
    } else {
        select(state.spectrumGrey, true);
    }
    if (!owned) {
        throw std::bad_alloc();
    }

    if (radial) {
        // The 2-D design, each row's response computed as it is applied.
        std::int32_t cut1 = 0;
        std::int32_t cut2 = 0;
        FilterEdges(*radial, filterSettings, cut1, cut2);
        const CRadialResponse response(width, height, *radial, filterSettings.degree, cut1, cut2,
                                       spectrumTransformSize == TransformSize::Exact);
        response.MultiplySpectra(channels.data(), channelCount);
    } else {
        // The direction is compared as its unsigned value: at most 1 filters rows, 0 after
        // clearing bit 1 filters columns; rows come first.
        FilterFactors factors;
        if (!oneDimensional) {
            factors.mask = filterMask.get();
        } else {
            const std::uint64_t direction = filterSettings.direction;
            factors.rows = direction <= 1 ? rowResponse.get() : nullptr;
            factors.columns = (direction & ~std::uint64_t{2}) == 0 ? columnResponse.get() : nullptr;
        }
        MultiplySpectra(channels.data(), channelCount, factors, width, height);
    }

    // Every power spectrum image of the state is rendered again, switched on or not. A state
    // made without them, for a processing object that displays nothing (the batch), stays so.
    const auto render = [&](const ChannelSpectrum& spectrum, std::shared_ptr<ImageBitmap>& power,
                            PowerLevelRows& levels) {
        // The old image goes first, also from a state that is not shown when nothing else
        // holds it there.
        power.reset();
        ReleaseHiddenSpectra();
        power = RenderPowerSpectrum(spectrum.Rows(), width, height, &levels);
    };
    if (!HoldsPowerSpectra(state)) {
        return;
    }
    if (isColor) {
        render(state.spectrumRed, state.powerRed, state.levelsRed);
        render(state.spectrumGreen, state.powerGreen, state.levelsGreen);
        render(state.spectrumBlue, state.powerBlue, state.levelsBlue);
    } else {
        render(state.spectrumGrey, state.powerGrey, state.levelsGrey);
    }
}

}  // namespace quarvel
