#include <array>
#include <cassert>
#include <cstdint>

#include "engine/CFFTProc.h"
#include "engine/ParallelFor.h"
#include "filters/FilterResponse.h"

namespace quarvel {

namespace {

/// Multiplies element (x, y) of both planes by mask[y * width + x].
void MultiplyByMask(ChannelSpectrum& spectrum, const float* mask, std::uint64_t width,
                    std::uint64_t height) {
    ParallelFor(0, height, [&](std::size_t y) {
        float* re = spectrum.re.get() + y * width;
        float* im = spectrum.im.get() + y * width;
        const float* factor = mask + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            re[x] = re[x] * factor[x];
            im[x] = im[x] * factor[x];
        }
    });
}

/// Multiplies element (x, y) of both planes by the row response at x.
void MultiplyRows(ChannelSpectrum& spectrum, const float* response, std::uint64_t width,
                  std::uint64_t height) {
    ParallelFor(0, height, [&](std::size_t y) {
        float* re = spectrum.re.get() + y * width;
        float* im = spectrum.im.get() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            re[x] = re[x] * response[x];
            im[x] = im[x] * response[x];
        }
    });
}

/// Multiplies every element of row y of both planes by the column response at y.
void MultiplyColumns(ChannelSpectrum& spectrum, const float* response, std::uint64_t width,
                     std::uint64_t height) {
    ParallelFor(0, height, [&](std::size_t y) {
        float* re = spectrum.re.get() + y * width;
        float* im = spectrum.im.get() + y * width;
        const float factor = response[y];
        for (std::size_t x = 0; x < width; ++x) {
            re[x] = re[x] * factor;
            im[x] = im[x] * factor;
        }
    });
}

}  // namespace

void CFFTProc::BuildFilter(FilterKind kind) {
    filterMask.reset();
    rowResponse.reset();
    columnResponse.reset();

    const FilterSettings& settings = filterSettings;
    const bool lowPass = kind == FilterKind::LowPass;
    const std::int32_t cut1 = lowPass ? settings.cutOff : settings.lowCutOff;
    const std::int32_t cut2 = lowPass ? 0 : settings.highCutOff;
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
        BuildFilterMask(mask.get(), width, height, kind, settings.degree, cut1, cut2);
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
    const bool built = oneDimensional ? (rowResponse && columnResponse) : bool(filterMask);
    if (!built || width != spectrumWidth || height != spectrumHeight) {
        assert(built && "ApplyFilter needs BuildFilter first");
        assert(width == spectrumWidth && height == spectrumHeight);
        return;
    }

    // The channels to multiply, in the order red, green, blue.
    std::array<ChannelSpectrum*, 3> channels{};
    std::size_t channelCount = 0;
    const auto select = [&](ChannelSpectrum& spectrum, bool on) {
        if (on && spectrum.IsComplete()) {
            channels[channelCount++] = &spectrum;
        }
    };
    if (isColor) {
        select(state.spectrumRed, applyRed);
        select(state.spectrumGreen, applyGreen);
        select(state.spectrumBlue, applyBlue);
    } else {
        select(state.spectrumGrey, true);
    }

    if (!oneDimensional) {
        for (std::size_t i = 0; i < channelCount; ++i) {
            MultiplyByMask(*channels[i], filterMask.get(), width, height);
        }
    } else {
        // The direction is compared as its unsigned value: at most 1 filters rows, 0 after
        // clearing bit 1 filters columns. Every row pass runs before any column pass.
        const std::uint64_t direction = filterSettings.direction;
        if (direction <= 1) {
            for (std::size_t i = 0; i < channelCount; ++i) {
                MultiplyRows(*channels[i], rowResponse.get(), width, height);
            }
        }
        if ((direction & ~std::uint64_t{2}) == 0) {
            for (std::size_t i = 0; i < channelCount; ++i) {
                MultiplyColumns(*channels[i], columnResponse.get(), width, height);
            }
        }
    }

    // Every power spectrum image of the state is rendered again, switched on or not. A state
    // made without them, for a processing object that displays nothing (the batch), stays so.
    const auto render = [&](const ChannelSpectrum& spectrum, std::unique_ptr<ImageBitmap>& power) {
        power.reset();
        power = RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), width, height);
    };
    if (!HoldsPowerSpectra(state)) {
        return;
    }
    if (isColor) {
        render(state.spectrumRed, state.powerRed);
        render(state.spectrumGreen, state.powerGreen);
        render(state.spectrumBlue, state.powerBlue);
    } else {
        render(state.spectrumGrey, state.powerGrey);
    }
}

}  // namespace quarvel
