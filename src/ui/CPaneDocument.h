#pragma once

#include <cstdint>
#include <vector>

#include "filters/PeriodicNoise.h"
#include "history/Recipe.h"

class QString;
class QWidget;

namespace quarvel {

class CUserInteraction;
class ImageBitmap;
class VXRegion;
enum class ChannelKind;
struct ProcState;

/// What a pane of the tabbed view needs of the document: the images and spectra it shows, the
/// spectrum edits it makes, and the dialogs and message boxes of the program. The document
/// implements it and is handed to each pane when the pane is created.
class CPaneDocument {
public:
    virtual ~CPaneDocument() = default;

    /// Adds pane to the panes the document repaints (update()), tells about a newly opened or
    /// reverted image (OnNewImage) and about every change of the image, the history or the
    /// working state (OnDocumentChanged). A pane registered twice is kept once.
    virtual void RegisterPane(QWidget* pane) = 0;

    /// The image as loaded; null while none is open.
    virtual const ImageBitmap* OriginalImage() const = 0;
    /// The image of the current history state, the processed image; null without one.
    virtual const ImageBitmap* ProcessedImage() const = 0;
    /// The state whose power spectra are shown and edited: the working state while edits are
    /// pending, otherwise the current state; null without an image.
    virtual const ProcState* SpectrumState() const = 0;

    /// Clears the disc of radius r around spectrum element (cx, cy) in channel member of the
    /// working state, creating it when needed.
    virtual void StampBrush(ChannelKind member, std::uint32_t cx, std::int32_t cy,
                            std::uint64_t r) = 0;
    /// Clears what region selects in channel member of the working state.
    virtual void ClearSelection(ChannelKind member, const VXRegion& region) = 0;
    /// The spikes of periodic noise in channel member of SpectrumState, strongest first (see
    /// FindPeriodicNoise); changes nothing.
    virtual std::vector<NoiseSpike> FindPeriodicNoise(ChannelKind member) const = 0;
    /// The sizes that turn the spectrum's element coordinates into the frequencies of a step.
    virtual RecipeFrame StepFrame() const = 0;
    /// Runs a clearing or filter step on the working state, creating it when needed, and
    /// records it in the document's steps. False when there is no image or memory ran out.
    virtual bool ApplyStep(const RecipeStep& step) = 0;
    /// Whether the brush and Clear Selected Area clear the point-mirrored area too (FFT,
    /// Mirror Edits): the pane records it in each clearing step it makes.
    virtual bool MirrorEdits() const = 0;
    /// Repaints every registered pane.
    virtual void UpdateViews(int erase) = 0;
    /// True while a long command works on the document on another thread: a pane then shows
    /// its last picture and reads nothing of the document.
    virtual bool IsBusy() const = 0;

    /// The dialogs and message boxes.
    virtual CUserInteraction& Interaction() const = 0;
    /// Tells the person text in an information message box over the main window.
    virtual void ShowInformation(const QString& text) const = 0;
};

}  // namespace quarvel
