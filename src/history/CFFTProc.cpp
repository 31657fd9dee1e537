#include "history/CFFTProc.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

#include "history/FinalImage.h"

namespace quarvel {

namespace {

/// Gives to the steps, colour kind, spectra and power spectrum images of from, the planes and
/// images shared.
void ShareSpectra(const ProcState& from, ProcState& to) {
    to.isColor = from.isColor;
    to.steps = from.steps;
    to.spectrumRed = from.spectrumRed;
    to.spectrumGreen = from.spectrumGreen;
    to.spectrumBlue = from.spectrumBlue;
    to.spectrumGrey = from.spectrumGrey;
    to.powerRed = from.powerRed;
    to.powerGreen = from.powerGreen;
    to.powerBlue = from.powerBlue;
    to.powerGrey = from.powerGrey;
    to.levelsRed = from.levelsRed;
    to.levelsGreen = from.levelsGreen;
    to.levelsBlue = from.levelsBlue;
    to.levelsGrey = from.levelsGrey;
}

/// Renders the power spectrum image of a width x height spectrum into power; false on failure.
bool RenderChannel(const ChannelSpectrum& spectrum, std::shared_ptr<ImageBitmap>& power,
                   PowerLevelRows& levels, std::uint64_t width, std::uint64_t height) {
    power = RenderPowerSpectrum(spectrum.Rows(), width, height, &levels);
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
    ProcState* current = CurrentState();
    const bool continuing = current != nullptr && current->image != nullptr;
    // Spectra released while another state was shown are needed again.
    if (continuing && !RestoreReleasedSpectra(*current)) {
        return false;
    }
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

    // Everything is built in a local state and handed over only when complete.
    std::unique_ptr<ProcState> state(new (std::nothrow) ProcState());
    if (!state) {
        return false;
    }
    // A continued state's image at the transform size is needed only when its final image is
    // made: until then it has its size and format alone.
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    state->workImage = continuing ? ResampleTarget(source, w, h) : ResampleImage(source, w, h);
    if (!state->workImage) {
        return false;
    }
    state->pendingWorkSource = continuing ? source : nullptr;

    if (continuing) {
        // The committed spectra are taken over, not recomputed: edits the synthesised image
        // cannot show (imaginary parts, values outside 0 to 255) stay as they are. Their planes
        // and power spectrum images are shared until an edit changes them.
        ShareSpectra(*current, *state);
        const bool complete = state->isColor ? state->spectrumRed.IsComplete() &&
                                                   state->spectrumGreen.IsComplete() &&
                                                   state->spectrumBlue.IsComplete()
                                             : state->spectrumGrey.IsComplete();
        if (!complete) {
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

    // A new state, or a continued one without every power spectrum image, gets them rendered.
    const bool hasPower = state->isColor ? state->powerRed && state->powerGreen && state->powerBlue
                                         : state->powerGrey != nullptr;
    if (!hasPower) {
        const bool rendered = state->isColor
                                  ? RenderChannel(state->spectrumRed, state->powerRed,
                                                  state->levelsRed, width, height) &&
                                        RenderChannel(state->spectrumGreen, state->powerGreen,
                                                      state->levelsGreen, width, height) &&
                                        RenderChannel(state->spectrumBlue, state->powerBlue,
                                                      state->levelsBlue, width, height)
                                  : RenderChannel(state->spectrumGrey, state->powerGrey,
                                                  state->levelsGrey, width, height);
        if (!rendered) {
            return false;
        }
    }
    workingState = std::move(state);
    return true;
}

void CFFTProc::DiscardWorkingState() {
    workingState.reset();
    if (ProcState* current = CurrentState()) {
        // Without its spectra the state shows nothing until it is shown again.
        if (RestoreReleasedSpectra(*current)) {
            RenderReleasedPower(*current);
        }
    }
}

void CFFTProc::ReleaseHiddenSpectra() {
    const ProcState* shown = ActiveState();
    for (const std::unique_ptr<ProcState>& state : states) {
        if (state.get() == shown) {
            continue;
        }
        // Nothing reads the pixels of a history state's image at the transform size again: a
        // state continued from it resamples its image, and only the size is asked.
        if (state->workImage && state->pendingWorkSource == nullptr &&
            !state->workPixelsDiscarded) {
            state->workImage->DiscardPixels();
            state->workPixelsDiscarded = true;
        }
        if (!state->spectraFromLoadedImage) {
            continue;
        }
        for (ChannelSpectrum* spectrum : {&state->spectrumRed, &state->spectrumGreen,
                                          &state->spectrumBlue, &state->spectrumGrey}) {
            // Planes another spectrum holds or inherits rows from stay.
            if (spectrum->IsComplete() && spectrum->HoldsAllRows() && !spectrum->IsShared()) {
                *spectrum = ChannelSpectrum();
                state->spectraReleased = true;
            }
        }
        if (!state->spectraReleased) {
            continue;
        }
        for (std::shared_ptr<ImageBitmap>* power :
             {&state->powerRed, &state->powerGreen, &state->powerBlue, &state->powerGrey}) {
            if (*power != nullptr && power->use_count() == 1) {
                power->reset();
                state->powerReleased = true;
            }
        }
    }
}

bool CFFTProc::RestoreReleasedSpectra(ProcState& state) {
    if (!state.spectraReleased) {
        return true;
    }
    if (!originalImage || !state.workImage) {
        return false;
    }
    try {
        // The state's image at the transform size was made so from the loaded image, and its
        // spectra from that image.
        const std::unique_ptr<ImageBitmap> work =
            ResampleImage(originalImage.get(), state.workImage->Width(), state.workImage->Height());
        if (!work) {
            return false;
        }
        const std::vector<ChannelKind> channels =
            state.isColor ? std::vector{ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue}
                          : std::vector{ChannelKind::Grey};
        for (const ChannelKind channel : channels) {
            ChannelSpectrum& spectrum = SpectrumOf(state, channel);
            if (!spectrum.IsComplete()) {
                ChannelSpectrum computed = ComputeSpectrum(work.get(), channel);
                if (!computed.IsComplete()) {
                    return false;
                }
                spectrum = std::move(computed);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    state.spectraReleased = false;
    return true;
}

void CFFTProc::MoveToState(std::uint64_t index) {
    if (!states.empty()) {
        currentIndex = std::min<std::uint64_t>(index, states.size() - 1);
    }
    DiscardWorkingState();
    ReleaseHiddenSpectra();
}

void CFFTProc::RenderReleasedPower(ProcState& state) {
    if (!state.powerReleased || !state.workImage) {
        return;
    }
    const std::uint64_t width = state.workImage->Width();
    const std::uint64_t height = state.workImage->Height();
    bool complete = true;
    const auto render = [&](const ChannelSpectrum& spectrum, std::shared_ptr<ImageBitmap>& power,
                            PowerLevelRows& levels) {
        if (!power && spectrum.IsComplete()) {
            complete = RenderChannel(spectrum, power, levels, width, height) && complete;
        }
    };
    try {
        render(state.spectrumRed, state.powerRed, state.levelsRed);
        render(state.spectrumGreen, state.powerGreen, state.levelsGreen);
        render(state.spectrumBlue, state.powerBlue, state.levelsBlue);
        render(state.spectrumGrey, state.powerGrey, state.levelsGrey);
    } catch (const std::bad_alloc&) {
        complete = false;
    }
    state.powerReleased = !complete;
}

void CFFTProc::TakeOverPower(const std::shared_ptr<ImageBitmap>& power) {
    for (const std::unique_ptr<ProcState>& state : states) {
        for (std::shared_ptr<ImageBitmap>* held :
             {&state->powerRed, &state->powerGreen, &state->powerBlue, &state->powerGrey}) {
            if (*held == power) {
                held->reset();
                state->powerReleased = true;
            }
        }
    }
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
    // A history state is complete: it never depends on another state's image.
    try {
        if (!FillPendingWorkImage(*workingState)) {
            return;
        }
    } catch (const std::bad_alloc&) {
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
    ReleaseHiddenSpectra();
}

void CFFTProc::KeepWithinMemoryLimit() {
    const ProcState* current = CurrentState();
    if (historyMemoryLimit == 0 || current == nullptr) {
        return;
    }
    // The next edit makes a working state about the size of the current state: its room is
    // counted, so that the history and the edit together stay within the limit. A released
    // state gives back only what no other state shares.
    const std::uint64_t room = StateBytes(*current);
    std::size_t released = 0;
    while (released < currentIndex && HistoryBytes(released) + room > historyMemoryLimit) {
        ++released;
    }
    if (released == 0) {
        return;
    }
    states.erase(states.begin(), states.begin() + static_cast<std::ptrdiff_t>(released));
    currentIndex -= released;
    releasedStateCount += released;
}

namespace {

/// The bitmaps and spectrum planes of a state with their sizes in bytes (null where it has none).
struct StateBuffers {
    static constexpr std::size_t kCount = 22;
    std::array<const void*, kCount> address{};
    std::array<std::uint64_t, kCount> bytes{};

    explicit StateBuffers(const ProcState& state) {
        std::size_t i = 0;
        for (const ImageBitmap* bitmap :
             {state.workImage.get(), state.image.get(), state.powerRed.get(),
              state.powerGreen.get(), state.powerBlue.get(), state.powerGrey.get()}) {
            address[i] = bitmap;
            bytes[i++] = bitmap != nullptr ? bitmap->ByteSize() : 0;
        }
        // Every plane of a state has the size of its workImage.
        const std::uint64_t rowBytes =
            state.workImage ? std::uint64_t{state.workImage->Width()} * sizeof(float) : 0;
        const std::uint64_t planeBytes = state.workImage ? rowBytes * state.workImage->Height() : 0;
        for (const ChannelSpectrum* spectrum :
             {&state.spectrumRed, &state.spectrumGreen, &state.spectrumBlue, &state.spectrumGrey}) {
            // Rows a spectrum inherits keep the planes they are read from alive; of its own
            // planes only the rows it owns are memory in use.
            const InheritedRows* inherited = spectrum->inherited.get();
            const std::uint64_t ownBytes =
                inherited != nullptr ? inherited->ownCount * rowBytes : planeBytes;
            using Plane = std::pair<const float*, std::uint64_t>;
            for (const auto& [plane, size] :
                 {Plane{spectrum->re.get(), ownBytes}, Plane{spectrum->im.get(), ownBytes},
                  Plane{inherited != nullptr ? inherited->re.get() : nullptr, planeBytes},
                  Plane{inherited != nullptr ? inherited->im.get() : nullptr, planeBytes}}) {
                address[i] = plane;
                bytes[i++] = plane != nullptr ? size : 0;
            }
        }
    }

    bool Holds(const void* buffer, std::size_t before = kCount) const {
        return std::find(address.begin(), address.begin() + static_cast<std::ptrdiff_t>(before),
                         buffer) != address.begin() + static_cast<std::ptrdiff_t>(before);
    }
};

/// The bytes of the buffers of count states, at(i) the i-th, each buffer counted once however
/// many share it. Nothing is allocated: the lists are short.
template <typename StateAt>
std::uint64_t DistinctBytes(std::size_t count, const StateAt& at) {
    std::uint64_t total = 0;
    for (std::size_t s = 0; s < count; ++s) {
        const StateBuffers buffers(at(s));
        for (std::size_t i = 0; i < StateBuffers::kCount; ++i) {
            const void* buffer = buffers.address[i];
            if (buffer == nullptr || buffers.Holds(buffer, i)) {
                continue;
            }
            bool counted = false;
            for (std::size_t earlier = 0; earlier < s && !counted; ++earlier) {
                counted = StateBuffers(at(earlier)).Holds(buffer);
            }
            if (!counted) {
                total += buffers.bytes[i];
            }
        }
    }
    return total;
}

}  // namespace

std::uint64_t CFFTProc::StateBytes(const ProcState& state) {
    return DistinctBytes(1, [&](std::size_t) -> const ProcState& { return state; });
}

std::uint64_t CFFTProc::HistoryBytes(std::size_t skipped) const {
    // The working state first, then the history from skipped on.
    const std::size_t first = workingState ? 1 : 0;
    const std::size_t kept = states.size() > skipped ? states.size() - skipped : 0;
    return DistinctBytes(first + kept, [&](std::size_t i) -> const ProcState& {
        return i < first ? *workingState : *states[skipped + i - first];
    });
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
    copy->pendingWorkSource = state.pendingWorkSource;
    // A pending workImage has no pixels worth copying: the copy gets one of the same size,
    // format and palette, whose memory is not touched until it is filled.
    if (state.pendingWorkSource != nullptr && state.workImage) {
        copy->workImage = ResampleTarget(state.pendingWorkSource, state.workImage->Width(),
                                         state.workImage->Height());
        if (!copy->workImage) {
            return nullptr;
        }
    }
    for (const auto& [from, to] :
         {std::pair{&state.workImage, &copy->workImage}, std::pair{&state.image, &copy->image}}) {
        if (*from && !*to) {
            *to = CopyBitmap(from->get());
            if (!*to) {
                return nullptr;
            }
        }
    }
    ShareSpectra(state, *copy);
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
    states.front()->spectraFromLoadedImage = true;
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

bool CFFTProc::StartBareWorkingState(std::optional<ChannelKind> channel) {
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
        const auto compute = [&](ChannelKind kind) {
            ChannelSpectrum& spectrum = SpectrumOf(*state, kind);
            spectrum = ComputeSpectrum(state->workImage.get(), kind);
            return spectrum.IsComplete();
        };
        // An indexed image one pixel wide is colour by its rows but has one index a pixel: a
        // channel written into it would be mapped to the palette together with the others.
        const PixelFormat format = state->workImage->Format();
        if (state->isColor && channel && *channel != ChannelKind::Grey &&
            format != PixelFormat8bppIndexed) {
            state->soleChannel = channel;
        }
        const bool complete = state->soleChannel ? compute(*channel)
                              : state->isColor
                                  ? compute(ChannelKind::Red) && compute(ChannelKind::Green) &&
                                        compute(ChannelKind::Blue)
                                  : compute(ChannelKind::Grey);
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

bool CFFTProc::NextBareChannel(ChannelKind channel) {
    if (!workingState || !workingState->soleChannel || channel == ChannelKind::Grey) {
        return false;
    }
    ProcState& state = *workingState;
    try {
        if (!SynthesiseWorkImage(state, true)) {
            return false;
        }
        // The channel's bytes or samples are still those resampled from the loaded image: the
        // channels written back so far are other ones.
        ChannelSpectrum& spectrum = SpectrumOf(state, channel);
        spectrum = ComputeSpectrum(state.workImage.get(), channel);
        if (!spectrum.IsComplete()) {
            return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    state.soleChannel = channel;
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
    MoveToState(currentIndex > 0 ? currentIndex - 1 : currentIndex);
    UpdateViews(0);
}

void CFFTProc::Redo() {
    MoveToState(currentIndex + 1);
    UpdateViews(0);
}

void CFFTProc::RestorePowerSpectrum() {
    DiscardWorkingState();
    UpdateViews(0);
}

}  // namespace quarvel
