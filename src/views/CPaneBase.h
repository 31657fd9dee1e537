#pragma once

#include <cstdint>
#include <optional>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>

#include "ui/CPaneDocument.h"
#include "ui/CPaneWindow.h"
#include "ui/CommandIds.h"
#include "views/CDisplayImageCache.h"
#include "views/CanvasLayout.h"

class QPainter;
class QTimer;

namespace quarvel {

class ImageBitmap;

/// The three steps of a mouse tool's handling of a drag.
enum class ToolPhase : std::int32_t { Down = 0, Move = 1, Up = 2 };

/// The drag in progress in a pane. At most one runs at a time; the tool that started it at the
/// press receives the moves and the release.
enum class PaneDrag : std::int32_t {
    None,
    Panning,
    ZoomWindow,
    DynamicZoom,
    SelectionRectangle,
    SelectionEllipse,
    FreeHandSelection,
};

/// A pane of the tabbed main view: the image pane or the power spectrum pane. Both show their
/// images in the panels of a zoomable canvas (CanvasLayout): a grey background, each panel
/// framed in blue under a caption bar, all panels at one zoom. The pane handles the six zoom
/// commands, lays its panels out again when resized and reports the image pixel under the mouse
/// to the main window's status bar.
///
/// A left-button press goes to the application's current tool; the moves and the release go to
/// the tool whose drag the press started, whatever tool is chosen meanwhile. The pan hand and
/// the three zoom tools are handled here, the brush and the selection tools by the derived
/// panes. A drag that needs feedback draws it into a work buffer restored from a saved copy of
/// the screen, and shows only whole frames.
///
/// A pane is given the document (CPaneDocument) and the main window (CPaneWindow) when it is
/// created, and registers itself with the document. The document repaints its panes through
/// update() and tells them about a newly opened or reverted image through OnNewImage and about
/// every change through OnDocumentChanged; the main window routes the commands of the active
/// pane to it.
class CPaneBase : public QWidget, public CCommandTarget {
    Q_OBJECT

public:
    /// Background of the pane outside its images.
    static constexpr QRgb kBackground = 0xFF606060;
    /// Frames and caption bars.
    static constexpr QRgb kFrameBlue = 0xFF4080FF;

    /// A pane of document and window whose canvas starts as rows x columns panels without
    /// images.
    CPaneBase(CPaneDocument& document, CPaneWindow& window, std::int32_t rows, std::int32_t columns,
              QWidget* parent = nullptr);
    ~CPaneBase() override;

    /// Resets the pane for the document's new image: sizes the selection to the image and
    /// chooses the zoom at which the image is shown.
    virtual void OnNewImage() = 0;
    /// The image, the history or the working state changed: forgets the screen copies of the
    /// document's images.
    virtual void OnDocumentChanged();
    /// Only rows top to bottom - 1 of the document's bitmap changed, in place: updates only
    /// those rows of its screen copies.
    virtual void OnImageRowsChanged(const ImageBitmap& bitmap, int top, int bottom);
    /// While a file being opened has its spectra worked out on another thread, image is its
    /// decoded image, which no one changes until the open ends: a pane that shows the image may
    /// show it meanwhile. Null when the open failed and the document's image stays. A pane that
    /// shows no image ignores it.
    virtual void ShowOpeningImage(const ImageBitmap* image) { static_cast<void>(image); }

    /// The pane's commands, as the command table says (asked through the main window): the
    /// zoom commands and those of the derived panes.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    /// True when the pane has images the zoom commands can act on.
    virtual bool HasImageToShow() const = 0;
    /// The zoom commands. All panels share one zoom; In and Out step from the zoom of the active
    /// panel (of the first after a press outside every panel), the fits take the last panel's.
    void ZoomActualSize();
    void ZoomIn();
    void ZoomOut();
    void ZoomFit();
    void ZoomFitWidth();
    void ZoomFitHeight();

    const CanvasLayout& Layout() const { return layout_; }
    /// The screen images of the document's bitmaps the pane keeps.
    const CDisplayImageCache& ImageCache() const { return imageCache_; }
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

    /// Draws the crawling dashed frame of a zoom-window drag into target: one-pixel lines on
    /// the columns rect.left and rect.right - 1 and the rows rect.top and rect.bottom - 1.
    /// Each pixel has a position s along the frame (top and left sides from the top-left
    /// corner, the right side after the top's length, the bottom after the left's length);
    /// with t = (s - phase) mod 12 it is white for t = 1 ... 5, black for t = 7 ... 11 and left
    /// as it is for t = 0 and 6. The bottom-right pixel stays as it is. Pixels outside target
    /// are skipped.
    static void DrawDashedRectangle(QImage& target, const CanvasRect& rect, std::int32_t phase);

protected:
    /// Draws frames, captions and images over the background.
    virtual void PaintContent(QPainter& painter) = 0;
    /// Whether the pane paints what it shows while the document is busy (it then reads only
    /// what the running job does not change); otherwise it shows its last picture.
    virtual bool PaintsWhileBusy() const { return false; }
    /// The image whose samples panel shows, for the status bar's readout of the value under the
    /// mouse; null when its levels are not the image's own (a power spectrum).
    virtual const ImageBitmap* PanelSamples(std::int32_t panel) const {
        static_cast<void>(panel);
        return nullptr;
    }
    /// A left-button press at p. Makes the panel under p the active panel and hands the press
    /// to the current tool (DispatchTool).
    virtual void LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers);

    /// The current tool of the main window.
    ToolId CurrentTool() const { return window_.CurrentTool(); }
    CPaneDocument& Document() const { return document_; }
    CPaneWindow& Window() const { return window_; }
    /// Hands one phase of a drag to tool's handler: the pan and zoom tools are handled here,
    /// the brush and the three selection tools by the hooks below.
    void DispatchTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p);
    /// The brush at a press; the image pane has none.
    virtual void BrushTool(ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p);
    /// The selection rectangle, ellipse and free-hand tools.
    virtual void SelectionTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers,
                               CanvasPoint p);
    /// Draws the outline of the pane's selection into target (the screen image, or the saved
    /// buffer at the start of a drag); nothing while there is no selection.
    virtual void DrawSelectionOutline(QImage& target);
    /// Called after the release of a rectangle, ellipse or free-hand drag: starts the outline
    /// animation.
    virtual void SelectionDragEnded();

    PaneDrag Drag() const { return drag_; }
    void SetDrag(PaneDrag drag) { drag_ = drag; }
    /// Ends the drag in progress without finishing it: clears its flag, stops the zoom-window
    /// animation and releases the drag feedback buffers.
    void CancelDrag();
    /// Where the drag started, the last point it reached, and its rectangle (left <= right,
    /// top <= bottom), all in window coordinates; the selection tools may use them too.
    CanvasPoint DragStart() const { return dragStart_; }
    void SetDragStart(CanvasPoint p) { dragStart_ = p; }
    CanvasPoint DragPoint() const { return dragPoint_; }
    void SetDragPoint(CanvasPoint p) { dragPoint_ = p; }
    const CanvasRect& DragRect() const { return dragRect_; }
    void SetDragRect(const CanvasRect& r) { dragRect_ = r; }
    /// Step of the crawling dashes, 0 to 11, shared by the selection outline and the zoom
    /// window rectangle.
    std::int32_t AnimationPhase() const { return animationPhase_; }
    void SetAnimationPhase(std::int32_t phase) { animationPhase_ = phase; }

    /// The tick of the pane's animation timers. While a zoom-window drag has its feedback
    /// buffers it moves the dashes of the zoom rectangle one step and shows the frame;
    /// otherwise it is an outline tick (OutlineTick). The zoom-window timer calls it every
    /// 50 ms from the press to the release of a zoom-window drag; the selection outline's timer
    /// may call it too.
    void TimerTick();
    /// One step of the selection outline's animation; the panes with a selection draw it.
    virtual void OutlineTick();
    bool ZoomWindowTimerActive() const;

    /// What the pane shows on screen, one pixel per window pixel. A repaint renders it afresh
    /// (background and content, no outline); drawing into it and calling ShowScreenImage puts
    /// the change on screen without rendering the content again.
    QImage& ScreenImage();
    /// Brings the screen image to the screen as it is.
    void ShowScreenImage();
    /// Brings only area of the screen image to the screen, as it is.
    void ShowScreenArea(const QRegion& area);
    /// True when the screen image has the pane's size (it may still show an older content).
    bool ScreenImageSized() const { return screen_.size() == size(); }
    /// Renders the screen image afresh now, as a repaint would, without the outline.
    void RenderScreenImage();

    /// Creates the work and saved buffers for a drag: renders the screen afresh, draws the
    /// selection outline over it (not during a dynamic zoom) and keeps a copy as the saved
    /// buffer.
    void BeginDragFeedback();
    /// Releases both buffers; the next repaint shows the normal picture.
    void EndDragFeedback();
    bool HasDragFeedback() const;
    /// The work buffer: restore it from the saved buffer, draw a feedback shape into it, then
    /// PresentWorkBuffer puts the whole frame on screen.
    QImage& WorkBuffer();
    void RestoreWorkBuffer();
    void PresentWorkBuffer();

    /// Replaces the panels by rows x columns new ones laid out in the current area.
    void RebuildPanels(std::int32_t rows, std::int32_t columns);
    /// Shows a w x h image (0 x 0 for none) in every panel at the zoom rule for a new image,
    /// in the current client area, and repaints. Until the pane is first painted, every resize
    /// applies the rule again, so an image opened while the pane is hidden or not yet at its
    /// final size is fitted to the size it is shown at. A drag in progress is cancelled.
    void ResetZoom(std::int32_t w, std::int32_t h);
    /// Sets zoom z on every panel, re-centring each image; repaints when asked.
    void SetZoomAll(float z, bool repaint);
    /// Moves panel i's window into its image by (dx, dy) image pixels as far as the image
    /// allows (CanvasLayout::ScrollPanel), and repaints.
    void ScrollPanel(std::int32_t i, std::int32_t dx, std::int32_t dy);
    /// Brings image point (x, y) to the middle of every panel as far as scrolling allows, and
    /// repaints. Call it right after SetZoomAll, which centres every window on its image.
    void CenterOn(CanvasPoint imagePoint);
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
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The tool whose drag is in progress, if any.
    std::optional<ToolId> DragTool() const;
    /// The zoom shared by all panels as panel i tells it; panel 0 tells it for a point
    /// outside every panel.
    float SharedZoom(std::int32_t i) const;
    /// The zoom Zoom In and Zoom Out step from.
    float StepZoom() const;

    /// Pan Hand: the picture follows the mouse while the button is held.
    void PanTool(ToolPhase phase, CanvasPoint p);
    /// Zoom In/Out: a click zooms in by one step around the clicked pixel, out with Ctrl.
    void ZoomClickTool(ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p);
    /// Zoom Window: a dragged rectangle is zoomed to fill the panel.
    void ZoomWindowTool(ToolPhase phase, CanvasPoint p);
    /// Dynamic Zoom: dragging up zooms in and dragging down zooms out around the pressed pixel.
    void DynamicZoomTool(ToolPhase phase, CanvasPoint p);
    /// Zooms the active panel's view so that window rectangle r fills it, centred on r.
    void ZoomToRectangle(const CanvasRect& r);
    /// PaintContent, after which the image cache keeps only the bitmaps it drew.
    void PaintWholeContent(QPainter& painter);
    /// The client rectangle below the caption band: where the panels are laid out.
    CanvasRect ClientLayoutArea() const;

    CPaneDocument& document_;
    CPaneWindow& window_;
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
    PaneDrag drag_ = PaneDrag::None;
    CanvasPoint dragStart_;
    CanvasPoint dragPoint_;
    CanvasRect dragRect_;
    /// The image pixel a dynamic zoom keeps in the middle of the panels.
    CanvasPoint zoomAnchor_;
    std::int32_t animationPhase_ = 0;
    QTimer* zoomWindowTimer_ = nullptr;
    QImage screen_;
    QImage workBuffer_;
    QImage savedBuffer_;
    /// Set while a repaint only puts the screen image on screen.
    bool showScreenAsIs_ = false;
};

}  // namespace quarvel
