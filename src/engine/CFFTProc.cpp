#include "engine/CFFTProc.h"

#include <cassert>
#include <new>

namespace quarvel {

namespace {

/// Copies both planes of a count-element spectrum; false when a plane is missing or memory runs
/// out.
bool CopyChannel(const ChannelSpectrum& from, ChannelSpectrum& to, std::size_t count) {
    to.re = CopyPlane(from.re.get(), count);
    to.im = CopyPlane(from.im.get(), count);
    return to.IsComplete();
}

/// Renders the power spectrum image of a width x height spectrum into power; false on failure.
bool RenderChannel(const ChannelSpectrum& spectrum, std::unique_ptr<ImageBitmap>& power,
                   std::uint64_t width, std::uint64_t height) {
    power = RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), width, height);
    return power != nullptr;
}

}  // namespace

CFFTProc::~CFFTProc() {
    ResetHistory();
}

ProcState* CFFTProc::CurrentState() {
    return currentIndex < states.size() ? states[currentIndex].get() : nullptr;
}

const ProcState* CFFTProc::CurrentState() const {
    return currentIndex < states.size() ? states[currentIndex].get() : nullptr;
}

ProcState* CFFTProc::ActiveState() {
    return workingState ? workingState.get() : CurrentState();
}

const ProcState* CFFTProc::ActiveState() const {
    return workingState ? workingState.get() : CurrentState();
}

bool CFFTProc::PrepareWorkingState() {
    if (workingState) {
        return true;
    }
    // Continue from the current state when it has an image; otherwise start from the loaded one.
    const ProcState* current = CurrentState();
    const bool continuing = current != nullptr && current->image != nullptr;
    const ImageBitmap* source = continuing ? current->image.get() : originalImage.get();
    if (source == nullptr) {
        return false;
    }
    const std::uint64_t width = SpectrumSize(source->Width());
    const std::uint64_t height = SpectrumSize(source->Height());
    const std::size_t count = width * height;

    // Everything is built in a local state and handed over only when complete.
    std::unique_ptr<ProcState> state(new (std::nothrow) ProcState());
    if (!state) {
        return false;
    }
    state->workImage = ResampleImage(source, static_cast<std::uint32_t>(width),
                                     static_cast<std::uint32_t>(height));
    if (!state->workImage) {
        return false;
    }

    if (continuing) {
        // The committed spectra are copied, not recomputed: edits the synthesised image cannot
        // show (imaginary parts, values outside 0 to 255) stay as they are.
        const ImageBitmap* currentWork = current->workImage.get();
        if (currentWork == nullptr || currentWork->Width() != width ||
            currentWork->Height() != height) {
            assert(false && "a history state's spectra do not match its image size");
            return false;
        }
        state->isColor = current->isColor;
        if (state->isColor) {
            if (!CopyChannel(current->spectrumRed, state->spectrumRed, count) ||
                !CopyChannel(current->spectrumGreen, state->spectrumGreen, count) ||
                !CopyChannel(current->spectrumBlue, state->spectrumBlue, count)) {
                return false;
            }
        } else if (!CopyChannel(current->spectrumGrey, state->spectrumGrey, count)) {
            return false;
        }
    } else {
        state->isColor = IsColorImage(*originalImage);
        if (state->isColor) {
            state->spectrumRed = ComputeSpectrum(state->workImage.get(), ChannelKind::Red);
            state->spectrumGreen = ComputeSpectrum(state->workImage.get(), ChannelKind::Green);
            state->spectrumBlue = ComputeSpectrum(state->workImage.get(), ChannelKind::Blue);
            if (!state->spectrumRed.IsComplete() || !state->spectrumGreen.IsComplete() ||
                !state->spectrumBlue.IsComplete()) {
                return false;
            }
        } else {
            state->spectrumGrey = ComputeSpectrum(state->workImage.get(), ChannelKind::Grey);
            if (!state->spectrumGrey.IsComplete()) {
                return false;
            }
        }
    }

    if (state->isColor) {
        if (!RenderChannel(state->spectrumRed, state->powerRed, width, height) ||
            !RenderChannel(state->spectrumGreen, state->powerGreen, width, height) ||
            !RenderChannel(state->spectrumBlue, state->powerBlue, width, height)) {
            return false;
        }
    } else if (!RenderChannel(state->spectrumGrey, state->powerGrey, width, height)) {
        return false;
    }
    workingState = std::move(state);
    return true;
}

void CFFTProc::DiscardWorkingState() {
    workingState.reset();
}

void CFFTProc::DropRedoStates() {
    if (currentIndex + 1 < states.size()) {
        states.erase(states.begin() + static_cast<std::ptrdiff_t>(currentIndex + 1), states.end());
    }
}

void CFFTProc::CommitWorkingState() {
    if (!workingState) {
        return;
    }
    states.push_back(std::move(workingState));
    currentIndex = states.size() - 1;
}

bool CFFTProc::StartHistory() {
    assert(states.empty() && !workingState && "StartHistory expects a reset history");
    if (!PrepareWorkingState()) {
        return false;
    }
    workingState->image = CopyBitmap(originalImage.get());
    if (!workingState->image) {
        DiscardWorkingState();
        return false;
    }
    CommitWorkingState();
    spectrumWidth = states.back()->workImage->Width();
    spectrumHeight = states.back()->workImage->Height();
    return true;
}

bool CFFTProc::StartWorkingState() {
    assert(states.empty() && !workingState && "StartWorkingState expects a reset history");
    if (!PrepareWorkingState()) {
        return false;
    }
    workingState->image = CloneArea(*originalImage, 0, 0, originalImage->Width(),
                                    originalImage->Height(), originalImage->Format());
    if (!workingState->image) {
        DiscardWorkingState();
        return false;
    }
    currentIndex = 0;
    spectrumWidth = workingState->workImage->Width();
    spectrumHeight = workingState->workImage->Height();
    return true;
}

void CFFTProc::ResetHistory() {
    originalImage.reset();
    states.clear();
    currentIndex = 0;
    DiscardWorkingState();
    filterMask.reset();
    rowResponse.reset();
    columnResponse.reset();
    spectrumWidth = 0;
    spectrumHeight = 0;
}

void CFFTProc::Undo() {
    if (currentIndex > 0) {
        --currentIndex;
    }
    DiscardWorkingState();
    UpdateViews(0);
}

void CFFTProc::Redo() {
    if (currentIndex + 1 < states.size()) {
        ++currentIndex;
    }
    DiscardWorkingState();
    UpdateViews(0);
}

void CFFTProc::RestorePowerSpectrum() {
    DiscardWorkingState();
    UpdateViews(0);
}

}  // namespace quarvel
