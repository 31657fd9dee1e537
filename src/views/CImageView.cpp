#include "views/CImageView.h"

#include <QPainter>

#include "engine/ImageBitmap.h"

namespace quarvel {

CImageView::CImageView(CPaneDocument& document, CPaneWindow& window, QWidget* parent)
    : CSelectionPane(document, window, 1, 2, parent) {}

CImageView::~CImageView() = default;

void CImageView::OnNewImage() {
    // The image shown while the file was opened is the document's now, unchanged: its screen
    // copy is kept.
    if (opening_ == nullptr || opening_ != Document().OriginalImage()) {
        ClearImageCache();
    }
    opening_ = nullptr;
    ResetForShownImage();
}

void CImageView::ShowOpeningImage(const ImageBitmap* image) {
    if (image == opening_) {
        return;
    }
    opening_ = image;
    ClearImageCache();
    ResetForShownImage();
}

const ImageBitmap* CImageView::ShownOriginal() const {
    return opening_ != nullptr ? opening_ : Document().OriginalImage();
}

const ImageBitmap* CImageView::ShownProcessed() const {
    return opening_ != nullptr ? opening_ : Document().ProcessedImage();
}

void CImageView::ResetForShownImage() {
    SetActivePanel(0);
    const ImageBitmap* original = ShownOriginal();
    const std::int32_t w = original ? static_cast<std::int32_t>(original->Width()) : 0;
    const std::int32_t h = original ? static_cast<std::int32_t>(original->Height()) : 0;
    ResetSelection(w, h);
    ResetZoom(w, h);
}

bool CImageView::HasImageToShow() const {
    return Document().OriginalImage() && Document().ProcessedImage();
}

bool CImageView::CanShow(DisplayMode mode) const {
    const bool original = Document().OriginalImage() != nullptr;
    const bool processed = Document().ProcessedImage() != nullptr;
    switch (mode) {
        case DisplayMode::Original:
            return original;
        case DisplayMode::Processed:
            return processed;
        case DisplayMode::OriginalAndProcessed:
            return original && processed;
    }
    return false;
}

void CImageView::SetDisplayMode(DisplayMode mode) {
    displayMode_ = mode;
    ContentChanged();
    RebuildPanels(1, mode == DisplayMode::OriginalAndProcessed ? 2 : 1);
    const ImageBitmap* original = Document().OriginalImage();
    ResetZoom(original ? static_cast<std::int32_t>(original->Width()) : 0,
              original ? static_cast<std::int32_t>(original->Height()) : 0);
}

const ImageBitmap* CImageView::PanelSamples(std::int32_t panel) const {
    switch (displayMode_) {
        case DisplayMode::Processed:
            return panel == 0 ? Document().ProcessedImage() : nullptr;
        case DisplayMode::Original:
            return panel == 0 ? Document().OriginalImage() : nullptr;
        case DisplayMode::OriginalAndProcessed:
            return panel == 0   ? Document().OriginalImage()
                   : panel == 1 ? Document().ProcessedImage()
                                : nullptr;
    }
    return nullptr;
}

bool CImageView::SelectionGone() const {
    return selection.Area() == 0;
}

void CImageView::PaintPane(QPainter& painter) {
    PaintFrames(painter);
    const QString originalCaption = QStringLiteral("Original Image");
    const QString processedCaption = QStringLiteral("Processed Image");
    switch (displayMode_) {
        case DisplayMode::Processed:
            DrawCaption(painter, 0, processedCaption);
            DrawPanelImage(painter, 0, ShownProcessed());
            break;
        case DisplayMode::Original:
            DrawCaption(painter, 0, originalCaption);
            DrawPanelImage(painter, 0, ShownOriginal());
            break;
        case DisplayMode::OriginalAndProcessed:
            DrawCaption(painter, 0, originalCaption);
            DrawPanelImage(painter, 0, ShownOriginal());
            DrawCaption(painter, 1, processedCaption);
            DrawPanelImage(painter, 1, ShownProcessed());
            break;
    }
}

}  // namespace quarvel
