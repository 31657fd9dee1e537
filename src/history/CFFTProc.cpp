#include "history/CFFTProc.h"

#include <cassert>
#include <iterator>
#include <new>
#include <utility>

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
                   PowerLevelRows& levels, std::uint64_t width, std::uint64_t height) {
    power = RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), width, height, &levels);
    return power != nullptr;
}

/// Copies a power spectrum image and its levels; false when memory runs out.
bool CopyPower(const std::unique_ptr<ImageBitmap>& from, const PowerLevelRows& fromLevels,
               std::unique_ptr<ImageBitmap>& to, PowerLevelRows& toLevels) {
    to = CopyBitmap(from.get());
    toLevels = fromLevels;
    return to != nullptr;
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
    // A failed allocation deep in a conversion (a bitmap object, a worker task) arrives as
    // std::bad_alloc; the state under construction is released on the way out.
    try {
        return BuildWorkingState();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CFFTProc::BuildWorkingState() {
    // Continue from the current state when it has an image; otherwise start from the loaded one.
    const ProcState* current = CurrentState();
    const bool continuing = current != nullptr && current->image != nullptr;
    const ImageBitmap* source = continuing ? current->image.get() : originalImage.get();
    if (source == nullptr) {
        return false;
    }
    // A continued state keeps the transform size of the spectra it copies, whatever
    // transformSize says now.
    const ImageBitmap* currentWork = continuing ? current->workImage.get() : nullptr;
    if (continuing && currentWork == nullptr) {
        assert(false && "a history state with an image has no transform-size image");
        return false;
    }
    const std::uint64_t width =
        continuing ? currentWork->Width() : SpectrumSize(source->Width(), transformSize);
    const std::uint64_t height =
        continuing ? currentWork->Height() : SpectrumSize(source->Height(), transformSize);
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
        state->isColor = current->isColor;
        state->steps = current->steps;
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

    // Copied spectra have the power spectrum images of the current state: those are copied
    // too, instead of rendered again from the same values.
    const bool copyPower =
        continuing &&
        (state->isColor ? current->powerRed && current->powerGreen && current->powerBlue
                        : current->powerGrey != nullptr);
    if (copyPower) {
        if (state->isColor ? !CopyPower(current->powerRed, current->levelsRed, state->powerRed,
                                        state->levelsRed) ||
                                 !CopyPower(current->powerGreen, current->levelsGreen,
                                            state->powerGreen, state->levelsGreen) ||
                                 !CopyPower(current->powerBlue, current->levelsBlue,
                                            state->powerBlue, state->levelsBlue)
                           : !CopyPower(current->powerGrey, current->levelsGrey, state->powerGrey,
                                        state->levelsGrey)) {
            return false;
        }
    } else if (state->isColor) {
        if (!RenderChannel(state->spectrumRed, state->powerRed, state->levelsRed, width, height) ||
            !RenderChannel(state->spectrumGreen, state->powerGreen, state->levelsGreen, width,
                           height) ||
            !RenderChannel(state->spectrumBlue, state->powerBlue, state->levelsBlue, width,
                           height)) {
            return false;
        }
    } else if (!RenderChannel(state->spectrumGrey, state->powerGrey, state->levelsGrey, width,
                              height)) {
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
    try {
        states.push_back(std::move(workingState));
    } catch (const std::bad_alloc&) {
        // The list could not grow: the working state stays as it was, uncommitted.
        return;
    }
    currentIndex = states.size() - 1;
    KeepWithinMemoryLimit();
}

void CFFTProc::KeepWithinMemoryLimit() {
    const ProcState* current = CurrentState();
    if (historyMemoryLimit == 0 || current == nullptr) {
        return;
    }
    // The next edit makes a working state about the size of the current state: its room is
    // counted, so that the history and the edit together stay within the limit.
    std::uint64_t total = HistoryBytes() + StateBytes(*current);
    std::size_t released = 0;
    while (released < currentIndex && total > historyMemoryLimit) {
        total -= StateBytes(*states[released]);
        ++released;
    }
    if (released == 0) {
        return;
    }
    states.erase(states.begin(), states.begin() + static_cast<std::ptrdiff_t>(released));
    currentIndex -= released;
    releasedStateCount += released;
}

std::uint64_t CFFTProc::StateBytes(const ProcState& state) {
    std::uint64_t bytes = 0;
    for (const auto* bitmap : {&state.workImage, &state.image, &state.powerRed, &state.powerGreen,
                               &state.powerBlue, &state.powerGrey}) {
        if (*bitmap) {
            bytes += (*bitmap)->ByteSize();
        }
    }
    // Every plane of a state has the size of its workImage.
    const std::uint64_t planeBytes = state.workImage ? std::uint64_t{state.workImage->Width()} *
                                                           state.workImage->Height() * sizeof(float)
                                                     : 0;
    for (const ChannelSpectrum* spectrum :
         {&state.spectrumRed, &state.spectrumGreen, &state.spectrumBlue, &state.spectrumGrey}) {
        bytes += (spectrum->re ? planeBytes : 0) + (spectrum->im ? planeBytes : 0);
    }
    return bytes;
}

std::uint64_t CFFTProc::HistoryBytes() const {
    std::uint64_t bytes = workingState ? StateBytes(*workingState) : 0;
    for (const auto& state : states) {
        bytes += StateBytes(*state);
    }
    return bytes;
}

std::unique_ptr<ProcState> CFFTProc::CopyState(const ProcState& state) {
    try {
        return CopyStateParts(state);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<ProcState> CFFTProc::CopyStateParts(const ProcState& state) {
    std::unique_ptr<ProcState> copy(new (std::nothrow) ProcState());
    if (!copy) {
        return nullptr;
    }
    copy->isColor = state.isColor;
    const std::pair<const std::unique_ptr<ImageBitmap>*, std::unique_ptr<ImageBitmap>*> bitmaps[] =
        {{&state.workImage, &copy->workImage}, {&state.image, &copy->image},
         {&state.powerRed, &copy->powerRed},   {&state.powerGreen, &copy->powerGreen},
         {&state.powerBlue, &copy->powerBlue}, {&state.powerGrey, &copy->powerGrey}};
    for (const auto& [from, to] : bitmaps) {
        if (*from) {
            *to = CopyBitmap(from->get());
            if (!*to) {
                return nullptr;
            }
        }
    }
    copy->levelsRed = state.levelsRed;
    copy->levelsGreen = state.levelsGreen;
    copy->levelsBlue = state.levelsBlue;
    copy->levelsGrey = state.levelsGrey;
    copy->steps = state.steps;
    const std::size_t count =
        state.workImage ? std::size_t{state.workImage->Width()} * state.workImage->Height() : 0;
    const std::pair<const ChannelSpectrum*, ChannelSpectrum*> spectra[] = {
        {&state.spectrumRed, &copy->spectrumRed},
        {&state.spectrumGreen, &copy->spectrumGreen},
        {&state.spectrumBlue, &copy->spectrumBlue},
        {&state.spectrumGrey, &copy->spectrumGrey}};
    for (const auto& [from, to] : spectra) {
        for (const auto& [plane, target] : {std::pair{&from->re, &to->re}, {&from->im, &to->im}}) {
            if (*plane) {
                *target = CopyPlane(plane->get(), count);
                if (!*target) {
                    return nullptr;
                }
            }
        }
    }
    return copy;
}

std::vector<std::unique_ptr<ProcState>> CFFTProc::TakeRedoStates() {
    std::vector<std::unique_ptr<ProcState>> redo;
    if (currentIndex + 1 >= states.size()) {
        return redo;
    }
    const auto first = states.begin() + static_cast<std::ptrdiff_t>(currentIndex + 1);
    redo.reserve(static_cast<std::size_t>(states.end() - first));
    // Nothing below allocates: the moves and the shrinking erase cannot fail.
    redo.insert(redo.end(), std::make_move_iterator(first), std::make_move_iterator(states.end()));
    states.erase(first, states.end());
    return redo;
}

void CFFTProc::PutBackRedoStates(std::vector<std::unique_ptr<ProcState>>& redo) {
    if (redo.empty() || currentIndex + 1 != states.size() ||
        states.size() + redo.size() > states.capacity()) {
        redo.clear();
        return;
    }
    for (auto& state : redo) {
        states.push_back(std::move(state));
    }
    redo.clear();
}

bool CFFTProc::StartHistory() {
    assert(states.empty() && !workingState && "StartHistory expects a reset history");
    if (!StartWorkingState()) {
        return false;
    }
    CommitWorkingState();
    if (workingState) {
        DiscardWorkingState();
        spectrumWidth = 0;
        spectrumHeight = 0;
        return false;
    }
    return true;
}

bool CFFTProc::StartWorkingState() {
    assert(states.empty() && !workingState && "StartWorkingState expects a reset history");
    if (!PrepareWorkingState()) {
        return false;
    }
    try {
        // A clone keeps the palette of every indexed image, one pixel wide included, whose
        // final image is written through the colour view and so through that palette.
        workingState->image = CloneArea(*originalImage, 0, 0, originalImage->Width(),
                                        originalImage->Height(), originalImage->Format());
    } catch (const std::bad_alloc&) {
        workingState->image.reset();
    }
    if (!workingState->image) {
        DiscardWorkingState();
        return false;
    }
    currentIndex = 0;
    spectrumTransformSize = transformSize;
    spectrumWidth = workingState->workImage->Width();
    spectrumHeight = workingState->workImage->Height();
    return true;
}

bool CFFTProc::StartBareWorkingState() {
    assert(states.empty() && !workingState && "StartBareWorkingState expects a reset history");
    if (!originalImage) {
        return false;
    }
    try {
        const ImageBitmap& source = *originalImage;
        const std::uint64_t width = SpectrumSize(source.Width(), transformSize);
        const std::uint64_t height = SpectrumSize(source.Height(), transformSize);
        std::unique_ptr<ProcState> state(new (std::nothrow) ProcState());
        if (!state) {
            return false;
        }
        state->workImage = ResampleImage(&source, static_cast<std::uint32_t>(width),
                                         static_cast<std::uint32_t>(height));
        if (!state->workImage) {
            return false;
        }
        state->isColor = IsColorImage(source);
        const auto compute = [&](ChannelSpectrum& spectrum, ChannelKind channel) {
            spectrum = ComputeSpectrum(state->workImage.get(), channel);
            return spectrum.IsComplete();
        };
        const bool complete = state->isColor
                                  ? compute(state->spectrumRed, ChannelKind::Red) &&
                                        compute(state->spectrumGreen, ChannelKind::Green) &&
                                        compute(state->spectrumBlue, ChannelKind::Blue)
                                  : compute(state->spectrumGrey, ChannelKind::Grey);
        if (!complete) {
            return false;
        }
        workingState = std::move(state);
    } catch (const std::bad_alloc&) {
        return false;
    }
    currentIndex = 0;
    spectrumTransformSize = transformSize;
    spectrumWidth = workingState->workImage->Width();
    spectrumHeight = workingState->workImage->Height();
    return true;
}

void CFFTProc::ResetHistory() {
    originalImage.reset();
    states.clear();
    currentIndex = 0;
    releasedStateCount = 0;
    DiscardWorkingState();
    filterMask.reset();
    rowResponse.reset();
    columnResponse.reset();
    spectrumTransformSize = TransformSize::PowerOfTwo;
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
