#pragma once

#include <cstdint>

#include "views/CSelectionPane.h"

namespace quarvel {

/// The pane of the "Image " tab: the image as loaded, the image of the current history state
/// (the processed image), or both side by side. Spectrum edits not yet committed by Create
/// Final Image do not show here. Its selection tools work as in the power spectrum pane, but no
/// edit reads its selection.
class CImageView : public CSelectionPane {
    Q_OBJECT

public:
    /// Which images the pane shows; the values are those of the display mode field.
    enum class DisplayMode : std::uint8_t {
        Processed = 0,
        Original = 1,
        OriginalAndProcessed = 2,
    };

    /// An image pane of document and window in display mode OriginalAndProcessed.
    CImageView(CPaneDocument& document, CPaneWindow& window, QWidget* parent = nullptr);
    ~CImageView() override;

    /// Activates panel 0, empties the selection and sizes it to the loaded image, and resets
    /// the zoom for the image; the display mode is kept. Ends the showing of an opening image.
    void OnNewImage() override;
    /// Shows image as both the loaded and the processed image, at the zoom of a new image,
    /// until the document's new image arrives (OnNewImage); null goes back to the document's.
    void ShowOpeningImage(const ImageBitmap* image) override;
    /// The image shown while a file is opened; null when the document's images are shown.
    const ImageBitmap* OpeningImage() const { return opening_; }

    bool HasImageToShow() const override;

    DisplayMode Mode() const { return displayMode_; }
    /// Whether the document has the images mode shows.
    bool CanShow(DisplayMode mode) const;
    /// Shows the images of mode in one panel or two, at the zoom rule for a new image.
    void SetDisplayMode(DisplayMode mode);

protected:
    void PaintPane(QPainter& painter) override;
    bool PaintsWhileBusy() const override { return opening_ != nullptr; }
    const ImageBitmap* PanelSamples(std::int32_t panel) const override;
    /// The outline animation stops once nothing is selected.
    bool SelectionGone() const override;

private:
    /// The loaded and the processed image shown: the opening image while there is one.
    const ImageBitmap* ShownOriginal() const;
    const ImageBitmap* ShownProcessed() const;
    /// Activates panel 0 and sizes the selection and the zoom to the loaded image shown.
    void ResetForShownImage();

    DisplayMode displayMode_ = DisplayMode::OriginalAndProcessed;
    const ImageBitmap* opening_ = nullptr;
};

}  // namespace quarvel
