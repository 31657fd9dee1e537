#include "history/FinalImage.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/C2DFFT.h"
#include "engine/CExactFFT.h"
#include "engine/DeepImage.h"
#include "engine/FastKernels.h"
#include "engine/ParallelFor.h"
#include "history/CFFTProc.h"

namespace quarvel {

namespace {

/// The inverse transform of spectrum, as float values, handed to write; false when memory runs
/// out. Consuming, the transform runs in the spectrum's planes, which are released afterwards,
/// unless they are shared.
template <typename Transform, typename Write>
bool WithInverse(const Transform& fft, ChannelSpectrum& spectrum, bool consume,
                 const Write& write) {
    // Rows the spectrum inherits are gathered into planes of their own, which the transform
    // then works in as a consuming one does: the same values, bit for bit.
    if (!spectrum.HoldsAllRows()) {
        const std::uint64_t width = fft.width;
        const std::uint64_t height = fft.height;
        SpectrumPlane re = AllocatePlane(width * height);
        const SpectrumPlane im = re ? AllocatePlane(width * height) : nullptr;
        if (!im) {
            return false;
        }
        const PlaneRows rows = spectrum.Rows();
        ParallelFor(0, height, [&](std::size_t y) {
            std::memcpy(re.get() + y * width, rows.Re(y, width), width * sizeof(float));
            std::memcpy(im.get() + y * width, rows.Im(y, width), width * sizeof(float));
        });
        if (!fft.InverseInPlace(re.get(), im.get())) {
            return false;
        }
        write(re.get());
        return true;
    }
    // Planes another state shares keep their values.
    if (!consume || spectrum.IsShared()) {
        const SpectrumPlane values = fft.Inverse(spectrum.re.get(), spectrum.im.get());
        if (!values) {
            return false;
        }
        write(values.get());
        return true;
    }
    const bool done = fft.InverseInPlace(spectrum.re.get(), spectrum.im.get());
    spectrum.im.reset();
    if (done) {
        write(spectrum.re.get());
    }
    spectrum.re.reset();
    return done;
}

/// The inverse transform of spectrum rounded into bytes by the rule of the final image; null
/// when memory runs out.
template <typename Transform>
BytePlane RoundedInverse(const Transform& fft, ChannelSpectrum& spectrum, bool consume,
                         const FastKernels& kernels) {
    const std::uint64_t width = fft.width;
    const std::uint64_t height = fft.height;
    BytePlane bytes = AllocateBytePlane(width * height);
    if (!bytes) {
        return nullptr;
    }
    const bool done = WithInverse(fft, spectrum, consume, [&](const float* values) {
        ParallelFor(0, height, [&](std::size_t y) {
            kernels.roundBytes(values + y * width, width, bytes.get() + y * width);
        });
    });
    return done ? std::move(bytes) : nullptr;
}

/// SynthesiseWorkImage of a work image of 16-bit or floating-point samples: each channel's
/// values go straight into its samples (ScatterChannelValues). Without consuming, they go into
/// a copy of the work image, which replaces it once every channel is written.
template <typename Transform>
bool SynthesiseDeep(const Transform& fft, ProcState& state, bool consumeSpectra) {
    struct Channel {
        ChannelSpectrum* spectrum;
        ChannelKind kind;
    };
    std::vector<Channel> channels;
    if (state.soleChannel) {
        channels = {{&SpectrumOf(state, *state.soleChannel), *state.soleChannel}};
    } else if (state.isColor) {
        channels = {{&state.spectrumRed, ChannelKind::Red},
                    {&state.spectrumGreen, ChannelKind::Green},
                    {&state.spectrumBlue, ChannelKind::Blue}};
    } else {
        channels = {{&state.spectrumGrey, ChannelKind::Grey}};
    }
    for (const Channel& channel : channels) {
        if (!channel.spectrum->IsComplete()) {
            return false;
        }
    }
    std::unique_ptr<ImageBitmap> copy;
    if (!consumeSpectra) {
        copy = CopyBitmap(state.workImage.get());
        if (!copy) {
            return false;
        }
    }
    ImageBitmap& work = consumeSpectra ? *state.workImage : *copy;
    for (const Channel& channel : channels) {
        const bool done = WithInverse(
            fft, *channel.spectrum, consumeSpectra,
            [&](const float* values) { ScatterChannelValues(values, work, channel.kind); });
        if (!done) {
            return false;
        }
    }
    if (copy) {
        state.workImage = std::move(copy);
    }
    return true;
}

/// Puts bytes[i] into byte offset of pixel i of pixels (step bytes each) for count pixels. On a
/// little-endian machine 4-byte pixels are changed a word at a time, which the compiler turns
/// into vector code.
void PutChannelBytes(const std::uint8_t* bytes, std::size_t count, std::size_t step,
                     std::size_t offset, std::uint8_t* pixels) {
    if constexpr (std::endian::native == std::endian::little) {
        if (step == 4) {
            const unsigned shift = 8 * static_cast<unsigned>(offset);
            const std::uint32_t kept = ~(std::uint32_t{0xFF} << shift);
            for (std::size_t i = 0; i < count; ++i) {
                std::uint32_t pixel;
                std::memcpy(&pixel, pixels + 4 * i, 4);
                pixel = (pixel & kept) | (std::uint32_t{bytes[i]} << shift);
                std::memcpy(pixels + 4 * i, &pixel, 4);
            }
            return;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        pixels[step * i + offset] = bytes[i];
    }
}

/// SynthesiseWorkImage of the sole channel of a 24- or 32-bit colour work image: each row's
/// values are rounded into bytes a stretch at a time and put straight into their place in the
/// pixels (byte 2, 1 or 0 for red, green or blue), the other bytes left as they are.
template <typename Transform>
bool SynthesiseSoleChannel(const Transform& fft, ProcState& state, bool consumeSpectra,
                           const FastKernels& kernels) {
    const ChannelKind channel = *state.soleChannel;
    ChannelSpectrum& spectrum = SpectrumOf(state, channel);
    ImageBitmap& work = *state.workImage;
    if (!spectrum.IsComplete() ||
        (work.Format() != PixelFormat32bppRGB && work.Format() != PixelFormat24bppRGB)) {
        return false;
    }
    const std::size_t step = BytesPerPixel(work.Format());
    const std::size_t offset = channel == ChannelKind::Red     ? 2
                               : channel == ChannelKind::Green ? 1
                                                               : 0;
    const std::uint64_t width = work.Width();
    return WithInverse(fft, spectrum, consumeSpectra, [&](const float* values) {
        ParallelFor(0, work.Height(), [&](std::size_t y) {
            constexpr std::size_t kStretch = 512;
            std::uint8_t bytes[kStretch];
            std::uint8_t* pixels = work.Row(static_cast<std::uint32_t>(y));
            for (std::uint64_t x0 = 0; x0 < width; x0 += kStretch) {
                const std::size_t count =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kStretch, width - x0));
                kernels.roundBytes(values + y * width + x0, count, bytes);
                PutChannelBytes(bytes, count, step, offset, pixels + step * x0);
            }
        });
    });
}

/// SynthesiseWorkImage with fft, a C2DFFT or CExactFFT of the work image's size.
template <typename Transform>
bool Synthesise(const Transform& fft, ProcState& state, bool consumeSpectra) {
    ImageBitmap& work = *state.workImage;
    const std::uint64_t width = work.Width();
    const std::uint64_t height = work.Height();
    if (!fft.IsComplete()) {
        return false;
    }
    const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
    if (DepthOf(work.Format()) != SampleDepth::Bits8) {
        return SynthesiseDeep(fft, state, consumeSpectra);
    }
    if (state.isColor && state.soleChannel) {
        return SynthesiseSoleChannel(fft, state, consumeSpectra, kernels);
    }
    if (state.isColor) {
        if (!state.spectrumRed.IsComplete() || !state.spectrumGreen.IsComplete() ||
            !state.spectrumBlue.IsComplete()) {
            return false;
        }
        const BytePlane red = RoundedInverse(fft, state.spectrumRed, consumeSpectra, kernels);
        const BytePlane green =
            red ? RoundedInverse(fft, state.spectrumGreen, consumeSpectra, kernels) : nullptr;
        const BytePlane blue =
            green ? RoundedInverse(fft, state.spectrumBlue, consumeSpectra, kernels) : nullptr;
        if (!blue) {
            return false;
        }
        RowAccess rows(work, PixelFormat32bppRGB);
        if (!rows.IsValid()) {
            return false;
        }
        // Pixels of the 32-bit view are blue, green, red and an ignored fourth byte, which is
        // left as it is.
        ParallelFor(0, height, [&](std::size_t y) {
            const std::size_t base = y * width;
            kernels.mergePixels(red.get() + base, green.get() + base, blue.get() + base, width,
                                rows.Row(static_cast<std::uint32_t>(y)));
        });
        return true;
    }
    if (!state.spectrumGrey.IsComplete()) {
        return false;
    }
    // The grey level is the pixel byte itself; the palette is left alone. The row access is
    // opened first: should it fail, a consumed spectrum is not lost for nothing.
    RowAccess rows(work, work.Format());
    if (!rows.IsValid()) {
        return false;
    }
    return WithInverse(fft, state.spectrumGrey, consumeSpectra, [&](const float* values) {
        ParallelFor(0, height, [&](std::size_t y) {
            kernels.roundBytes(values + y * width, width, rows.Row(static_cast<std::uint32_t>(y)));
        });
    });
}

}  // namespace

bool SynthesiseWorkImage(ProcState& state, bool consumeSpectra) {
    if (!state.workImage) {
        return false;
    }
    // One transform object, with its tables, serves every channel. Each inverse plane is
    // rounded into bytes of its own and released before the next is made, so that at most one
    // float plane of results lives at a time.
    const std::uint64_t width = state.workImage->Width();
    const std::uint64_t height = state.workImage->Height();
    const auto isPowerOfTwo = [](std::uint64_t n) { return (n & (n - 1)) == 0; };
    if (isPowerOfTwo(width) && isPowerOfTwo(height)) {
        return Synthesise(C2DFFT(width, height), state, consumeSpectra);
    }
    return Synthesise(CExactFFT(width, height), state, consumeSpectra);
}

void CFFTProc::CreateFinalImage(bool consumeSpectra) {
    DropRedoStates();
    if (!workingState || !workingState->workImage || !originalImage) {
        return;
    }
    ProcState& state = *workingState;
    ReleaseHiddenSpectra();
    if (!FillPendingWorkImage(state) || !SynthesiseWorkImage(state, consumeSpectra)) {
        return;
    }
    // Back to the loaded image's size. Should that fail, the working state stays uncommitted;
    // a later attempt overwrites workImage again from the unchanged spectra.
    std::unique_ptr<ImageBitmap> image =
        ResampleImage(state.workImage.get(), originalImage->Width(), originalImage->Height());
    if (!image) {
        return;
    }
    state.image = std::move(image);
    CommitWorkingState();
}

}  // namespace quarvel
