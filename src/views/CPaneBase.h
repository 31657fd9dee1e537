#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QWidget>

#include "app/CommandIds.h"
#include "app/ToolState.h"
#include "views/CDisplayImageCache.h"
#include "views/CanvasLayout.h"

class QPainter;

namespace quarvel {

class ImageBitmap;

/// A pane of the tabbed main view: the image pane or the power spectrum pane. Both show their
/// images in the panels of a zoomable canvas (CanvasLayout): a grey background, each panel
/// framed in blue under a caption bar, all panels at one zoom. The pane handles the six zoom
/// commands, lays its panels out again when resized and reports the image pixel under the mouse
/// to the main window's status bar.
///
/// The document repaints its panes through update() and tells them about a newly opened or
/// reverted image through OnNewImage; the main window routes the commands of the active pane to
/// it. A pane registers itself with the document (theDoc) when it is created.
class CPaneBase : public QWidget, public CCommandTarget {
    Q_OBJECT

public:
    /// Background of the pane outside its images.
    static constexpr QRgb kBackground = 0xFF606060;
    /// Frames and caption bars.
    static constexpr QRgb kFrameBlue = 0xFF4080FF;

    /// A pane whose canvas starts as rows x columns panels without images.
    CPaneBase(std::int32_t rows, std::int32_t columns, QWidget* parent = nullptr);
    ~CPaneBase() override;

    /// Resets the pane for the document's new image: sizes the selection to the image and
    /// chooses the zoom at which the image is shown.
    virtual void OnNewImage() = 0;

    /// The zoom commands, enabled while the pane has an image to show.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    const CanvasLayout& Layout() const { return layout_; }
    /// The panel under the last left-button press; -1 when it was outside every panel.
    std::int32_t ActivePanel() const { return activePanel_; }
    /// Height in pixels of a caption line in the pane font.
    std::int32_t CaptionHeight() const { return captionHeight_; }

    /// The cursor position to report for window point p, given the one reported before: the
    /// image pixel under p, clamped into the image, while p lies on a shown image; otherwise
    /// the previous position with x set to -1.
    CursorPoint CursorPointAt(CanvasPoint p, CursorPoint previous) const;

    /// The pane font: "Verdana", 12 pixels, normal weight.
    static QFont PaneFont();

protected:
    /// True when the pane has images the zoom commands can act on.
    virtual bool HasImageToShow() const = 0;
    /// Draws frames, captions and images over the background.
    virtual void PaintContent(QPainter& painter) = 0;
    /// A left-button press at p. Makes the panel under p the active panel.
    virtual void LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers);

    /// Replaces the panels by rows x columns new ones laid out in the current area.
    void RebuildPanels(std::int32_t rows, std::int32_t columns);
    /// Shows a w x h image (0 x 0 for none) in every panel at the zoom rule for a new image,
    /// in the current client area, and repaints. Until the pane is first painted, every resize
    /// applies the rule again, so an image opened while the pane is hidden or not yet at its
    /// final size is fitted to the size it is shown at.
    void ResetZoom(std::int32_t w, std::int32_t h);
    /// Sets zoom z on every panel, re-centring each image; repaints when asked.
    void SetZoomAll(float z, bool repaint);
    void SetActivePanel(std::int32_t i) { activePanel_ = i; }
    /// Forgets the screen copies of the document's images.
    void ClearImageCache() { imageCache_.Clear(); }

    /// Draws the two-pixel blue frame of every panel with its caption bar above it.
    void PaintFrames(QPainter& painter) const;
    /// Where panel i's caption is written; its check icon sits at its top-left.
    CanvasRect CaptionTextRect(std::int32_t i) const;
    /// Writes text in white, centred in panel i's caption.
    void DrawCaption(QPainter& painter, std::int32_t i, const QString& text) const;
    /// Draws the shown part of bitmap in panel i at the panel's zoom, inside its frame.
    void DrawPanelImage(QPainter& painter, std::int32_t i, const ImageBitmap* bitmap);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    /// The client rectangle below the caption band: where the panels are laid out.
    CanvasRect ClientLayoutArea() const;

    CanvasLayout layout_;
    std::int32_t activePanel_ = 0;
    std::int32_t captionHeight_ = 0;
    /// The area the panels were last laid out in; resizes by at most a pixel keep the layout.
    CanvasRect laidOutArea_;
    /// True from ResetZoom until the next paint or zoom change; the image size it was given.
    bool zoomResetPending_ = false;
    std::int32_t resetWidth_ = 0;
    std::int32_t resetHeight_ = 0;
    CDisplayImageCache imageCache_;
};

}  // namespace quarvel
