#include <cstdint>
#include <vector>

#include "filters/PeriodicNoise.h"
#include "history/CFFTProc.h"

namespace quarvel {

namespace {

/// The spectrum that member picks in state (see CFFTProc), or null.
const ChannelSpectrum* MemberSpectrum(const ProcState& state, ChannelKind member) {
    if (!state.isColor) {
        return &state.spectrumGrey;
    }
    switch (member) {
        case ChannelKind::Red:
            return &state.spectrumRed;
        case ChannelKind::Green:
            return &state.spectrumGreen;
        case ChannelKind::Blue:
            return &state.spectrumBlue;
        case ChannelKind::Grey:
            break;
    }
    return nullptr;
}

}  // namespace

std::vector<NoiseSpike> CFFTProc::FindPeriodicNoise(ChannelKind member, double sensitivity) const {
    const ProcState* state = ActiveState();
    if (state == nullptr || !state->workImage) {
        return {};
    }
    const ChannelSpectrum* picked = MemberSpectrum(*state, member);
    if (picked == nullptr || !picked->IsComplete()) {
        return {};
    }
    const std::uint64_t width = state->workImage->Width();
    const std::uint64_t height = state->workImage->Height();
    // The search reads whole planes: a spectrum that inherits rows is read from a copy.
    ChannelSpectrum whole = *picked;
    if (!whole.HoldsAllRows() && !MakePlanesOwn(whole, width, height)) {
        return {};
    }
    const ChannelSpectrum* spectrum = &whole;
    // Periods are told in pixels of the image as loaded, whatever size it was transformed at.
    const ImageBitmap* image = originalImage ? originalImage.get() : state->workImage.get();
    return quarvel::FindPeriodicNoise(spectrum->re.get(), spectrum->im.get(), width, height,
                                      image->Width(), image->Height(), sensitivity);
}

void CFFTProc::ApplyNotches(ChannelKind member, const std::vector<SpectrumNotch>& notches) {
    EditTarget target;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!BeginEdit(member, target, width, height)) {
        return;
    }
    std::uint64_t top = 0;
    std::uint64_t bottom = 0;
    if (target.spectrum != nullptr) {
        // The notches may reach any row.
        OwnRows(target, width, height, {IndexRange{0, height}});
        quarvel::ApplyNotches(target.spectrum->re.get(), target.spectrum->im.get(), width, height,
                              notches, top, bottom);
    }
    FinishEdit(target, width, height, top, bottom);
}

std::vector<NoiseSpike> CFFTProc::RemovePeriodicNoise(ChannelKind member, double sensitivity) {
    if (!PrepareWorkingState()) {
        return {};
    }
    std::vector<NoiseSpike> spikes = FindPeriodicNoise(member, sensitivity);
    std::vector<SpectrumNotch> notches;
    notches.reserve(spikes.size());
    for (const NoiseSpike& spike : spikes) {
        notches.push_back(spike.notch);
    }
    ApplyNotches(member, notches);
    return spikes;
}

}  // namespace quarvel
