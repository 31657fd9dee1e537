#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/FrequencyGeometry.h"
#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "engine/PlaneMemory.h"
#include "engine/RectangleList.h"
#include "filters/FilterSettings.h"
#include "filters/PeriodicNoise.h"
#include "history/ProcState.h"
#include "history/Recipe.h"

namespace quarvel {

class VXRegion;

/// The processing of one image: the image as loaded, the undoable history of processing states,
/// at most one working state that collects uncommitted spectrum edits, and the filter design
/// with its buffers.
///
/// Editing and filtering change only the working state, creating it from the current state when
/// needed; CreateFinalImage turns it into a new history entry. Undo, Redo and
/// RestorePowerSpectrum throw it away. An operation whose input is missing (no image, no state)
/// does nothing. Derived classes say how the views are told about changes (UpdateViews).
///
/// Spectrum coordinates are those of the power spectrum image: column x, row y from the top-left
/// element, the zero frequency at (W2 / 2, H2 / 2) rounded down (odd sizes occur on the exact
/// road, see transformSize). The editing members Red, Green and Blue pick
/// a colour channel of a colour state and the grey channel of a grey state; Grey picks the grey
/// channel of a grey state and nothing (only the notification) on a colour state.
///
/// All operations run on one thread; their row loops run in parallel and are joined before they
/// return.
class CFFTProc {
public:
    CFFTProc() = default;
    virtual ~CFFTProc();

    CFFTProc(const CFFTProc&) = delete;
    CFFTProc& operator=(const CFFTProc&) = delete;

    /// The history entry at currentIndex, or null when there is none.
    ProcState* CurrentState();
    const ProcState* CurrentState() const;
    /// The working state when there is one, otherwise the current state.
    ProcState* ActiveState();
    const ProcState* ActiveState() const;

    /// Makes sure a working state exists: continues from the current state (sharing its spectra)
    /// or, with an empty history, transforms originalImage. All or nothing: when a bitmap or
    /// plane cannot be made, no working state is left behind and no exception leaves. True when
    /// a working state exists afterwards.
    bool PrepareWorkingState();
    /// Destroys the working state, if any. The current state, shown again, gets the power
    /// spectrum images an edit took over from it rendered anew (when memory runs out it shows
    /// none until it is shown again).
    void DiscardWorkingState();
    /// Discards the pixels of the image at the transform size of every history state not shown
    /// (not the active state). Releases, of each such state whose spectra come from the loaded
    /// image (ProcState::spectraFromLoadedImage), the spectrum planes no other state holds, and
    /// then its power spectrum images that no other state holds, which are rendered anew when
    /// it is shown again. Called by the operations that change what is shown or take over
    /// planes; a caller that held copies of a state's spectra calls it once it has dropped them.
    void ReleaseHiddenSpectra();
    /// Computes again, from the loaded image, the spectra ReleaseHiddenSpectra released from
    /// state (the same values, bit for bit). True when state holds all its spectra afterwards;
    /// false, with state as it was, when memory runs out or there is no loaded image.
    bool RestoreReleasedSpectra(ProcState& state);
    /// Makes the history state at index current (clamped to the history), drops the working
    /// state and prepares the current state to be shown: spectra released from it are computed
    /// again and missing power spectrum images rendered. Does not notify: Undo and Redo do.
    void MoveToState(std::uint64_t index);
    /// Whether showing state needs its spectra computed again or its power spectrum images
    /// rendered again (long work for a large image).
    static bool NeedsRendering(const ProcState& state) {
        return state.spectraReleased || state.powerReleased;
    }
    /// Destroys every history state after the current one. The working state is kept.
    void DropRedoStates();
    /// Appends the working state to the history and makes it current, then releases the oldest
    /// undo states that historyMemoryLimit has no room for. Nothing without a working state;
    /// when the history's list cannot grow or a pending workImage cannot be made, the working
    /// state stays uncommitted.
    void CommitWorkingState();

    /// Builds and commits the first state of a freshly loaded originalImage and records its
    /// transform size in spectrumWidth and spectrumHeight. Expects an empty history (after
    /// ResetHistory). False when there is no image or memory runs out; nothing is added then.
    bool StartHistory();
    /// The batch's start of one file: as StartHistory, but the first state stays uncommitted as
    /// the working state (its image a copy of originalImage), with currentIndex 0 and an empty
    /// history, so that edits and CreateFinalImage commit it as the only state.
    bool StartWorkingState();
    /// StartWorkingState for a processing object that shows nothing (the batch, the command
    /// line): the working state gets its spectra but no power spectrum images, so that its
    /// edits render none either, and no image, which only CreateFinalImage fills in. False,
    /// with nothing kept, when memory runs out.
    ///
    /// Given a colour channel, a colour image whose channels have bytes or samples of their own
    /// in workImage (not an indexed image one pixel wide) is processed one channel at a time, so
    /// that the spectra of one channel live at a time: the state gets the spectrum of that
    /// channel alone (ProcState::soleChannel), the edits change only it, and NextBareChannel
    /// moves on to the next; CreateFinalImage(true) writes the last one and makes the final
    /// image. The channels never mix, so each gets the values the all-channel road gives it.
    bool StartBareWorkingState(std::optional<ChannelKind> channel = std::nullopt);
    /// For a working state processed one channel at a time: transforms the spectrum it holds
    /// back into that channel of workImage, releasing its planes, and computes in its place the
    /// spectrum of channel (Red, Green or Blue) from workImage. False when the state is not
    /// processed so or memory runs out; CreateFinalImage then fails too.
    bool NextBareChannel(ChannelKind channel);
    /// Releases the original image, every state, the working state and the filter buffers.
    void ResetHistory();

    /// Steps back one state (not below the first), drops the working state, notifies.
    void Undo();
    /// Steps forward one state (not beyond the last), drops the working state, notifies.
    void Redo();
    /// Drops the uncommitted edits of the working state and notifies.
    void RestorePowerSpectrum();

    /// The clearing operations (the three below and ClearRuns) also clear, when mirrorEdits is
    /// on, the point mirror of every element they clear: the element of the negated frequency,
    /// at (MirrorIndex(x, W2), MirrorIndex(y, H2)) of FrequencyGeometry.h, (W2 - x) mod W2 for
    /// an even width and W2 - 1 - x for an odd one (likewise for rows). An element that is its own
    /// mirror, or an area that overlaps its mirror, is cleared once: clearing is idempotent.
    /// An edit of a channel whose planes the working state still shares with the state it
    /// continues copies them first, and throws std::bad_alloc, changing nothing, when that
    /// copy cannot be had (likewise the filters and ApplyNotches).

    /// Clears the disc of elements around (cx, cy): every element whose distance d from the
    /// centre has r >= trunc(d), clipped to the plane. cx is read as a signed 32-bit value.
    void StampBrush(ChannelKind member, std::uint32_t cx, std::int32_t cy, std::uint64_t r);
    /// Clears every element the region contains, within the region's width and height.
    void ClearSelection(ChannelKind member, const VXRegion& region);
    /// Clears each rectangle in turn (see SpectrumRectangle); a right or bottom edge outside
    /// the plane (negative ones included) is limited to the last column or row, and the last
    /// row is never cleared.
    void ClearRectangles(ChannelKind member, const RectangleList& rectangles);

    /// The spikes of periodic noise in the spectrum of member in ActiveState (see
    /// FindPeriodicNoise; the member picks the channel as the editing members do, Grey on a
    /// colour state none), with periods in pixels of the loaded image. Changes nothing; empty
    /// when there is no such spectrum.
    std::vector<NoiseSpike> FindPeriodicNoise(ChannelKind member,
                                              double sensitivity = kDefaultNoiseSensitivity) const;
    /// Multiplies the spectrum of member in the working state by each notch and its twin's
    /// (see ApplyNotches), as the other edits do: the working state is made first when needed,
    /// the power spectrum image rendered again and the views notified.
    void ApplyNotches(ChannelKind member, const std::vector<SpectrumNotch>& notches);
    /// FindPeriodicNoise on the working state's spectrum of member and ApplyNotches with the
    /// notches found; returns the spikes.
    std::vector<NoiseSpike> RemovePeriodicNoise(ChannelKind member,
                                                double sensitivity = kDefaultNoiseSensitivity);
    /// Transforms the working state's spectra back into its workImage (rounded, limited to
    /// 0 to 255), resamples that to the loaded image's size as its image and commits it. Redo
    /// states are dropped first, also when there is nothing to commit (no working state, no
    /// workImage or no originalImage). When memory runs out the working state stays uncommitted
    /// and a later call synthesises it again from its unchanged spectra.
    void CreateFinalImage() { CreateFinalImage(false); }
    /// CreateFinalImage; with consumeSpectra the spectra are transformed back in their own
    /// planes and released (see SynthesiseWorkImage), for a caller that never reads them again.
    void CreateFinalImage(bool consumeSpectra);

    /// Releases the filter buffers and builds, from filterSettings and the spectrum size, either
    /// filterMask (2-D design) or rowResponse and columnResponse (1-D design).
    void BuildFilter(FilterKind kind);
    /// Multiplies the working state's spectra by the filter last built and renders their power
    /// spectrum images again. On a colour state only the switched-on channels are filtered; a
    /// grey state is always filtered. Redo states are dropped first.
    void ApplyFilter(bool applyRed, bool applyGreen, bool applyBlue);
    /// BuildFilter and ApplyFilter for a processing object that keeps no filter buffers: the
    /// response of a 2-D design is computed row by row as it is applied instead of held as a
    /// whole mask (the same products), and filterMask stays empty; a 1-D design is built and
    /// applied as usual.
    void BuildAndApplyFilter(FilterKind kind, bool applyRed, bool applyGreen, bool applyBlue);

    /// Clears the elements of runs (rows beyond the plane and columns past its width are left
    /// out), as ClearSelection does for a region.
    void ClearRuns(ChannelKind member, const std::vector<AreaRun>& runs);

    /// The frame of the active state: the loaded image and the transform size of its spectra.
    /// Invalid when no image is loaded.
    RecipeFrame StepFrame() const;
    /// Runs step on the working state (creating it when needed) and records it there: a filter
    /// as ApplyFilter (redo states dropped, filterSettings given the step's design), a clearing
    /// on each of its channels (the one channel of a grey state) with its coordinates mapped
    /// onto StepFrame, and its mirrored area too when the step says so. A step made from elements
    /// of this frame clears exactly those elements. False, with the step not recorded, when there
    /// is no image or the filter could not be built for lack of memory.
    bool ApplyStep(const RecipeStep& step);
    /// The steps that made the active state, with the loaded image's size and the transform road.
    Recipe RecordedRecipe() const;

    /// Tells the views that the displayed spectra or the history changed; erase is passed on.
    virtual void UpdateViews(int erase) = 0;
    /// Called by an edit of the working state that changed only rows top to bottom - 1 of the
    /// power spectrum image power (the same bitmap as before, rendered again in place), just
    /// before its UpdateViews: views that keep copies of power may update only those rows.
    /// Not called when the edit made the working state, whose bitmaps are all new.
    virtual void PowerRowsChanged(const ImageBitmap& power, std::uint64_t top,
                                  std::uint64_t bottom) {
        static_cast<void>(power);
        static_cast<void>(top);
        static_cast<void>(bottom);
    }

    /// The bytes of the bitmaps and planes state holds.
    static std::uint64_t StateBytes(const ProcState& state);
    /// The bytes of the working state and of the history states from index skipped on, each
    /// plane or bitmap that states share counted once.
    std::uint64_t HistoryBytes(std::size_t skipped = 0) const;
    /// A copy of state, or null when memory runs out: its images are copied, its spectrum planes
    /// and power spectrum images shared (see ProcState).
    static std::unique_ptr<ProcState> CopyState(const ProcState& state);
    /// Moves the states after the current one out of the history, oldest first, so that an
    /// operation that would drop them can be undone by PutBackRedoStates. Empty when there are
    /// none. Throws std::bad_alloc when the list for them cannot be had; the history is
    /// unchanged then.
    std::vector<std::unique_ptr<ProcState>> TakeRedoStates();
    /// Appends states taken by TakeRedoStates after the current state again, provided that the
    /// history still ends with the state that was current when they were taken. Never
    /// allocates: the history's list keeps its room.
    void PutBackRedoStates(std::vector<std::unique_ptr<ProcState>>& redo);

    std::unique_ptr<ImageBitmap> originalImage;  ///< the image as loaded
    SpectrumPlane filterMask;                    ///< spectrumWidth x spectrumHeight, row-major
    SpectrumPlane rowResponse;                   ///< spectrumWidth values, by column
    SpectrumPlane columnResponse;                ///< spectrumHeight values, by row
    FilterSettings filterSettings;
    /// The transform size of the next image started (StartHistory and the other starts); the
    /// states of an image keep the size it was started with. Not changed by ResetHistory.
    TransformSize transformSize = TransformSize::PowerOfTwo;
    /// The road of the first state's spectra: with Exact the radial filters measure distances
    /// in normalised frequency (see CRadialResponse).
    TransformSize spectrumTransformSize = TransformSize::PowerOfTwo;
    std::uint64_t spectrumWidth = 0;                 ///< transform width of the first state
    std::uint64_t spectrumHeight = 0;                ///< transform height of the first state
    std::vector<std::unique_ptr<ProcState>> states;  ///< the history, oldest first
    std::uint64_t currentIndex = 0;
    std::unique_ptr<ProcState> workingState;  ///< pending edits, or null

    /// Whether StampBrush, ClearSelection, ClearRectangles and ClearRuns clear the
    /// point-mirrored elements too (ApplyStep uses the step's own flag instead), so that a real
    /// image loses both halves of a frequency pair (off by default: the chosen elements alone). Not
    /// changed by ResetHistory.
    bool mirrorEdits = false;

    /// The memory the history may hold, in bytes; 0 for no limit. When a state is committed,
    /// the oldest undo states are released until the history, together with room for one more
    /// state of the current state's size (the working state of the next edit), fits. The
    /// current state is always kept, and so are redo states: they go only when an operation
    /// drops them.
    std::uint64_t historyMemoryLimit = 0;
    /// Undo states released to keep within historyMemoryLimit since the last ResetHistory.
    std::uint64_t releasedStateCount = 0;
    /// ApplyStep builds filters as BuildAndApplyFilter does, keeping no filter buffers (for a
    /// processing object that shows nothing).
    bool leanFilters = false;

private:
    /// Releases the oldest undo states for which historyMemoryLimit has no room.
    void KeepWithinMemoryLimit();
    /// PrepareWorkingState without a working state yet; may throw std::bad_alloc.
    bool BuildWorkingState();
    /// CopyState; may throw std::bad_alloc.
    static std::unique_ptr<ProcState> CopyStateParts(const ProcState& state);
    /// ApplyFilter with the filter last built, or with the 2-D design of radial computed as it
    /// is applied.
    void FilterWorkingState(bool applyRed, bool applyGreen, bool applyBlue,
                            std::optional<FilterKind> radial);

    /// The planes and power image one editing member works on.
    struct EditTarget {
        ChannelSpectrum* spectrum = nullptr;
        std::shared_ptr<ImageBitmap>* power = nullptr;
        PowerLevelRows* levels = nullptr;
        /// The edit made the working state: the views have seen none of its images.
        bool newPower = false;
    };
    /// Renders the power spectrum images state lacks because an edit took them over (see
    /// ProcState::powerReleased).
    static void RenderReleasedPower(ProcState& state);
    /// Takes power, a power spectrum image of the working state, from every history state that
    /// shares it, so that it can be rendered again in place; those states render it anew when
    /// they are shown.
    void TakeOverPower(const std::shared_ptr<ImageBitmap>& power);
    /// Gives the edited channel of target its own copies of the rows in rows (runs, in any
    /// order, possibly overlapping) before they change. Throws std::bad_alloc, with nothing
    /// changed, when the copies cannot be had.
    static void OwnRows(const EditTarget& target, std::uint64_t width, std::uint64_t height,
                        const std::vector<IndexRange>& rows);
    /// The start every editing operation shares: makes sure a working state with an image
    /// exists, reads the plane size and picks the channel member edits (see the class comment).
    /// Returns
    /// false when the operation stops without notifying; otherwise width and height are the plane
    /// size and target.spectrum is null when only the notification is due (Grey on a colour state).
    /// The channel may still share its planes: the edit calls OwnRows before it changes rows.
    bool BeginEdit(ChannelKind member, EditTarget& target, std::uint64_t& width,
                   std::uint64_t& height);
    /// Renders the edited channel's power spectrum image again (when there is one) after the
    /// elements of the rows in changedRows (runs of rows, in any order, possibly overlapping)
    /// changed, in place (taking it over from the history states that share it), and notifies.
    void FinishEdit(const EditTarget& target, std::uint64_t width, std::uint64_t height,
                    std::vector<IndexRange> changedRows);
    /// FinishEdit after the elements of rows top to bottom - 1 changed.
    void FinishEdit(const EditTarget& target, std::uint64_t width, std::uint64_t height,
                    std::uint64_t top, std::uint64_t bottom) {
        FinishEdit(target, width, height, {IndexRange{top, bottom}});
    }
};

}  // namespace quarvel
