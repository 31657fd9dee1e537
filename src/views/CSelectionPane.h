#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QRegion>
#include <QTimer>

#include "selection/VXRegion.h"
#include "views/CPaneBase.h"

namespace quarvel {

/// A pane with a selection: the part of both panes that builds a VXRegion with the selection
/// rectangle, ellipse and free-hand tools and shows it as an animated dashed outline.
///
/// The mode of a drag is fixed at the press from the modifier keys (none: Replace, Shift: Add,
/// Ctrl: Subtract, both: Intersect). While the mouse moves the pane shows the shape being
/// dragged: the rectangle as inverted pixels straight on the screen image, the ellipse (with
/// eight corner marks) and the free-hand path through the drag feedback buffers. At the release
/// the shape is mapped to image coordinates and combined with the selection.
///
/// The outline is drawn from a copy of the selection rescaled to the panels' zoom (the display
/// copy), pixel by pixel in white and black dashes of six pixels along the diagonal, and moves
/// one pixel every 30 ms. Nothing is erased between steps; a repaint shows the pane without the
/// outline until the next step. Derived panes paint their content in PaintPane.
class CSelectionPane : public CPaneBase {
    Q_OBJECT

public:
    /// Period of the outline animation in milliseconds.
    static constexpr int kOutlinePeriod = 30;

    CSelectionPane(CPaneDocument& document, CPaneWindow& window, std::int32_t rows,
                   std::int32_t columns, QWidget* parent = nullptr);
    ~CSelectionPane() override;

    /// Deselect and Invert Selection, enabled while there is a selection (Invert also needs its
    /// mask).
    bool HasSelection() const { return selection.PointCount() > 0; }
    bool CanInvertSelection() const { return HasSelection() && selection.HasMask(); }
    void Deselect();
    void InvertSelection();

    void OnDocumentChanged() override;
    void OnImageRowsChanged(const ImageBitmap& bitmap, int top, int bottom) override;

    /// One step of the outline animation, run by the outline timer: draws the outline on the
    /// screen with the current phase, repainting only the area the outline covers, and advances
    /// the phase; stops the timer once the selection is empty. Does nothing while the pane is
    /// hidden or a dynamic zoom runs.
    void OutlineTick() override;
    /// True while the outline timer runs.
    bool OutlineAnimating() const { return outlineTimer_.isActive(); }
    /// The scaled copy of the selection the outline is drawn from, or null until the next
    /// outline drawing makes one.
    const VXRegion* DisplayCopy() const { return displayCopy_.get(); }

    /// The selection, sized to the pane's image.
    VXRegion selection;

protected:
    /// Draws frames, captions and images over the background.
    virtual void PaintPane(QPainter& painter) = 0;
    /// Whether panel i shows the selection outline; a disabled channel's panel does not.
    virtual bool PanelShowsOutline(std::int32_t i) const;
    /// Whether the outline timer has nothing left to draw.
    virtual bool SelectionGone() const;

    void PaintContent(QPainter& painter) final;
    void SelectionTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers,
                       CanvasPoint p) override;
    void DrawSelectionOutline(QImage& target) override;
    void SelectionDragEnded() override;

    /// Empties the selection, ends any drag and drops the display copy, for a new image of
    /// w x h pixels (0 x 0 for none).
    void ResetSelection(std::int32_t w, std::int32_t h);
    /// Drops the display copy; the next outline drawing makes a fresh one.
    void DropDisplayCopy() { displayCopy_.reset(); }
    /// Renders the pane afresh and puts it on screen at once.
    void RepaintNow();
    /// Something the pane shows changed outside the document: repaints the pane.
    void ContentChanged();

private:
    void RectangleTool(ToolPhase phase, CanvasPoint p);
    void EllipseTool(ToolPhase phase, CanvasPoint p);
    void FreeHandTool(ToolPhase phase, CanvasPoint p);
    /// Reads the mode of a new drag from the keys held at its press.
    void FixMode(Qt::KeyboardModifiers modifiers);
    /// The end of every selection drag: in Replace mode empties the selection first.
    void BeginCombine();
    /// Combines the mapped shape with the selection in the drag's mode and repaints.
    void CombineRectangle(const RegionRect& r);
    void CombineEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
    void CombinePolygon();
    /// True when the screen image no longer shows the current layout or document.
    bool ScreenOutdated() const;

    /// Scaled copy of the selection for drawing the outline.
    std::unique_ptr<VXRegion> displayCopy_;
    /// Where the last outline drawing set pixels: a rectangle per panel; empty for none.
    QRegion outlineArea_;
    /// Point list of the free-hand tool: window coordinates while dragging.
    VXRegion path_;
    SelectionMode mode_ = SelectionMode::Replace;
    CanvasPoint dragStart_;
    /// The rectangle now shown inverted on the screen during a rectangle drag (inclusive).
    std::optional<CanvasRect> shownRectangle_;
    /// The bounding rectangle of the ellipse at the last move (normalised).
    CanvasRect ellipseRect_;
    QTimer outlineTimer_;
    /// What the screen image was last rendered from.
    std::vector<CanvasPanel> renderedPanels_;
    std::uint64_t documentVersion_ = 0;
    std::uint64_t renderedVersion_ = 0;
};

}  // namespace quarvel
