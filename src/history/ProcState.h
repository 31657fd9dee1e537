#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "engine/PlaneMemory.h"
#include "history/Recipe.h"

namespace quarvel {

/// One entry of the processing history: a complete snapshot of the image and its spectra.
///
/// A colour state (isColor true) holds the red, green and blue spectra and power spectrum
/// images and no grey ones; a grey state holds only spectrumGrey and powerGrey. All spectra have
/// the size of workImage (powers of two, or the image's own size on the exact road; the
/// zero frequency at the centre, rounded down). The state owns its images; its spectrum planes
/// and power spectrum images it may share with other states that hold the same values (a state
/// continued from another shares what its edits have not changed yet). Whoever changes a
/// shared plane makes the rows it changes its own first; a shared power image is taken over
/// from the history states, which render it again when they are shown (powerReleased).
struct ProcState {
    bool isColor = false;
    /// The image at the transform size. Of a history state only its size, format and palette
    /// are read again: once another state is shown its pixels are discarded (all zero, see
    /// workPixelsDiscarded).
    std::unique_ptr<ImageBitmap> workImage;
    /// Set when the pixels of workImage were discarded.
    bool workPixelsDiscarded = false;
    /// Not null while workImage has its size, format and palette but not yet its pixels: those
    /// are ResampleImage of this image, made when they are first needed (see
    /// FillPendingWorkImage). A working state continued from a history state points at that
    /// state's image, which the history keeps as long as the working state lives.
    const ImageBitmap* pendingWorkSource = nullptr;
    std::unique_ptr<ImageBitmap> image;  ///< the image at the size of the loaded image
    std::shared_ptr<ImageBitmap> powerRed;
    std::shared_ptr<ImageBitmap> powerGreen;
    std::shared_ptr<ImageBitmap> powerBlue;
    ChannelSpectrum spectrumRed;
    ChannelSpectrum spectrumGreen;
    ChannelSpectrum spectrumBlue;
    std::shared_ptr<ImageBitmap> powerGrey;
    ChannelSpectrum spectrumGrey;
    /// The levels of each power spectrum image, so that an edit renders only its rows again.
    PowerLevelRows levelsRed;
    PowerLevelRows levelsGreen;
    PowerLevelRows levelsBlue;
    PowerLevelRows levelsGrey;
    /// Set while a colour state is processed one channel at a time (StartBareWorkingState with a
    /// channel): the state holds the spectrum of this channel alone, the channels before it
    /// hold their final values in workImage and those after it their values as resampled.
    std::optional<ChannelKind> soleChannel;
    /// Set when an edit of the working state continued from this state took over one of its
    /// power spectrum images to render it again in place: the images missing are rendered anew
    /// when this state is shown again (see CFFTProc::DiscardWorkingState).
    bool powerReleased = false;
    /// Set on the first state of an image only (StartHistory): its spectra are those of the
    /// loaded image resampled to the transform size, so that while another state is shown the
    /// planes and power spectrum images no other state holds are released and computed again,
    /// bit for bit, when it is shown (see CFFTProc::ReleaseHiddenSpectra).
    bool spectraFromLoadedImage = false;
    /// Set while spectra of such a state are released.
    bool spectraReleased = false;
    /// The processing steps that made this state from the loaded image, oldest first: a working
    /// state starts with those of the state it continues and adds each edit and filter. Steps
    /// are shared between states, never changed.
    std::vector<std::shared_ptr<const RecipeStep>> steps;
};

/// The spectrum of channel in state.
inline ChannelSpectrum& SpectrumOf(ProcState& state, ChannelKind channel) {
    switch (channel) {
        case ChannelKind::Red:
            return state.spectrumRed;
        case ChannelKind::Green:
            return state.spectrumGreen;
        case ChannelKind::Blue:
            return state.spectrumBlue;
        case ChannelKind::Grey:
            break;
    }
    return state.spectrumGrey;
}

/// Fills the pixels of a pending workImage (see ProcState::pendingWorkSource) as ResampleImage
/// makes them. True when workImage is complete afterwards; false, with state as it was, when
/// memory runs out.
inline bool FillPendingWorkImage(ProcState& state) {
    if (state.pendingWorkSource == nullptr) {
        return true;
    }
    if (!state.workImage) {
        return false;
    }
    std::unique_ptr<ImageBitmap> filled =
        ResampleImage(state.pendingWorkSource, state.workImage->Width(), state.workImage->Height());
    if (!filled) {
        return false;
    }
    state.workImage = std::move(filled);
    state.pendingWorkSource = nullptr;
    return true;
}

/// Whether state holds a power spectrum image of any channel. A state that holds none was made
/// for a processing object that displays nothing (the batch); its edits render none either.
inline bool HoldsPowerSpectra(const ProcState& state) {
    return state.powerRed || state.powerGreen || state.powerBlue || state.powerGrey;
}

}  // namespace quarvel
