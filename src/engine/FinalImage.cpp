#include <cstdint>

#include "engine/C2DFFT.h"
#include "engine/CFFTProc.h"
#include "engine/FastKernels.h"
#include "engine/ParallelFor.h"

namespace quarvel {

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
    // changes until all inverse planes are at hand, so a failure leaves it as it was.
    C2DFFT fft(width, height);
    if (state.isColor) {
        if (!state.spectrumRed.IsComplete() || !state.spectrumGreen.IsComplete() ||
            !state.spectrumBlue.IsComplete()) {
            return;
        }
        const SpectrumPlane red =
            fft.Inverse(state.spectrumRed.re.get(), state.spectrumRed.im.get());
        const SpectrumPlane green =
            fft.Inverse(state.spectrumGreen.re.get(), state.spectrumGreen.im.get());
        const SpectrumPlane blue =
            fft.Inverse(state.spectrumBlue.re.get(), state.spectrumBlue.im.get());
        if (!red || !green || !blue) {
            return;
        }
        RowAccess rows(work, PixelFormat32bppRGB);
        if (!rows.IsValid()) {
            return;
        }
        // Pixels of the 32-bit view are blue, green, red and an ignored fourth byte, which is
        // left as it is.
        const FastKernels& kernels = FastKernelsFor(ActiveVectorPath());
        ParallelFor(0, height, [&](std::size_t y) {
            const std::size_t base = y * width;
            kernels.roundPixels(red.get() + base, green.get() + base, blue.get() + base, width,
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
        const FastKernels& kernels = FastKernelsFor(ActiveVectorPath());
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
