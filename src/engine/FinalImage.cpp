#include <cstdint>

#include "engine/C2DFFT.h"
#include "engine/CFFTProc.h"
#include "engine/FastKernels.h"
#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

/// The inverse transform of spectrum rounded into bytes by the rule of the final image (value
/// + 0.5 truncated, limited to 0 to 255); null when memory runs out.
BytePlane RoundedInverse(const C2DFFT& fft, const ChannelSpectrum& spectrum,
                         const FastKernels& kernels) {
    const std::uint64_t width = fft.width;
    const std::uint64_t height = fft.height;
    BytePlane bytes = AllocateBytePlane(width * height);
    if (!bytes) {
        return nullptr;
    }
    const SpectrumPlane values = fft.Inverse(spectrum.re.get(), spectrum.im.get());
    if (!values) {
        return nullptr;
    }
    ParallelFor(0, height, [&](std::size_t y) {
        kernels.roundBytes(values.get() + y * width, width, bytes.get() + y * width);
    });
    return bytes;
}

}  // namespace

void CFFTProc::CreateFinalImage() {
    DropRedoStates();
    if (!workingState || !workingState->workImage || !originalImage) {
        return;
    }
    ProcState& state = *workingState;
    ImageBitmap& work = *state.workImage;
    const std::uint64_t width = work.Width();
    const std::uint64_t height = work.Height();

    // One transform object, with its tables, serves every channel. Nothing in the state
    // changes until every channel is at hand: each inverse plane is rounded into bytes of its
    // own and released before the next is made, so that only one float plane lives at a time.
    C2DFFT fft(width, height);
    const FastKernels& kernels = FastKernelsFor(ActiveVectorPath());
    if (state.isColor) {
        if (!state.spectrumRed.IsComplete() || !state.spectrumGreen.IsComplete() ||
            !state.spectrumBlue.IsComplete()) {
            return;
        }
        const BytePlane red = RoundedInverse(fft, state.spectrumRed, kernels);
        const BytePlane green = red ? RoundedInverse(fft, state.spectrumGreen, kernels) : nullptr;
        const BytePlane blue = green ? RoundedInverse(fft, state.spectrumBlue, kernels) : nullptr;
        if (!blue) {
            return;
        }
        RowAccess rows(work, PixelFormat32bppRGB);
        if (!rows.IsValid()) {
            return;
        }
        // Pixels of the 32-bit view are blue, green, red and an ignored fourth byte, which is
        // left as it is.
        ParallelFor(0, height, [&](std::size_t y) {
            const std::size_t base = y * width;
            kernels.mergePixels(red.get() + base, green.get() + base, blue.get() + base, width,
                                rows.Row(static_cast<std::uint32_t>(y)));
        });
    } else {
        if (!state.spectrumGrey.IsComplete()) {
            return;
        }
        const SpectrumPlane grey =
            fft.Inverse(state.spectrumGrey.re.get(), state.spectrumGrey.im.get());
        if (!grey) {
            return;
        }
        // The grey level is the pixel byte itself; the palette is left alone.
        RowAccess rows(work, work.Format());
        if (!rows.IsValid()) {
            return;
        }
        ParallelFor(0, height, [&](std::size_t y) {
            kernels.roundBytes(grey.get() + y * width, width,
                               rows.Row(static_cast<std::uint32_t>(y)));
        });
    }

    // Back to the loaded image's size. Should that fail, the working state stays uncommitted;
    // a later attempt overwrites workImage again from the unchanged spectra.
    std::unique_ptr<ImageBitmap> image =
        ResampleImage(&work, originalImage->Width(), originalImage->Height());
    if (!image) {
        return;
    }
    state.image = std::move(image);
    CommitWorkingState();
}

}  // namespace quarvel
