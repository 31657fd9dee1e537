#include "views/CSelectionPane.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include <QPainter>

namespace quarvel {

namespace {

/// Dashes of the outline: this many pixels white, as many black, along x + y.
constexpr std::int32_t kDashLength = 6;
constexpr std::int32_t kPhaseCount = 2 * kDashLength;
/// The longest corner mark of the ellipse feedback.
constexpr std::int32_t kCornerMark = 10;

constexpr QRgb kOutlineWhite = 0xFFFFFFFF;
constexpr QRgb kOutlineBlack = 0xFF000000;

/// The operations of VXRegion that combine one kind of shape with the selection, one for each
/// SelectionMode, in the enumeration's order.
template <typename... Args>
using ModeOperations = std::array<void (VXRegion::*)(Args...), 4>;

static_assert(static_cast<int>(SelectionMode::Replace) == 0 &&
                  static_cast<int>(SelectionMode::Add) == 1 &&
                  static_cast<int>(SelectionMode::Subtract) == 2 &&
                  static_cast<int>(SelectionMode::Intersect) == 3,
              "the operation tables follow the order of SelectionMode");

constexpr ModeOperations<std::int32_t, std::int32_t, std::int32_t, std::int32_t>
    kRectangleOperations = {&VXRegion::SetRectangle, &VXRegion::AddRectangle,
                            &VXRegion::SubtractRectangle, &VXRegion::IntersectRectangle};
constexpr ModeOperations<std::int32_t, std::int32_t, std::int32_t, std::int32_t>
    kEllipseOperations = {&VXRegion::SetEllipse, &VXRegion::AddEllipse, &VXRegion::SubtractEllipse,
                          &VXRegion::IntersectEllipse};
constexpr ModeOperations<VXRegion&> kPolygonOperations = {
    &VXRegion::SetPolygon, &VXRegion::AddPolygon, &VXRegion::SubtractPolygon,
    &VXRegion::IntersectPolygon};

/// Combines a shape with selection by the operation of mode in operations.
template <typename... Args, typename... Values>
void CombineInMode(VXRegion& selection, SelectionMode mode,
                   const ModeOperations<Args...>& operations, Values&&... values) {
    (selection.*operations[static_cast<std::size_t>(mode)])(std::forward<Values>(values)...);
}

/// The rectangle spanned by two points, left <= right and top <= bottom; both points lie on it.
CanvasRect Spanned(CanvasPoint a, CanvasPoint b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool IsPixelImage(const QImage& image) {
    return image.depth() == 32;
}

/// Inverts the colour of pixel (x, y) of a 32-bit image, when it lies in the image.
void InvertPixel(QImage& image, std::int32_t x, std::int32_t y) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) {
        return;
    }
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    line[x] ^= 0x00FFFFFFu;
}

/// Inverts every pixel on the border of the inclusive rectangle r once, so that doing it again
/// restores the picture.
void InvertRectangleOutline(QImage& image, const CanvasRect& r) {
    if (!IsPixelImage(image)) {
        return;
    }
    for (std::int32_t x = r.left; x <= r.right; ++x) {
        InvertPixel(image, x, r.top);
        if (r.bottom != r.top) {
            InvertPixel(image, x, r.bottom);
        }
    }
    for (std::int32_t y = r.top + 1; y < r.bottom; ++y) {
        InvertPixel(image, r.left, y);
        if (r.right != r.left) {
            InvertPixel(image, r.right, y);
        }
    }
}

/// Inverts the ellipse inscribed in the inclusive rectangle r and the eight marks along r's
/// sides from its corners, each m pixels long, with m half the shorter side but at most 10.
/// Every pixel is inverted once, also where the ellipse and a mark meet.
void InvertEllipseFeedback(QImage& image, const CanvasRect& r) {
    if (!IsPixelImage(image)) {
        return;
    }
    const std::int32_t w = r.right - r.left;
    const std::int32_t h = r.bottom - r.top;
    QImage shape(w + 1, h + 1, QImage::Format_ARGB32_Premultiplied);
    if (shape.isNull()) {
        return;
    }
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRect(0, 0, w, h));
    }
    const std::int32_t m = std::min({w / 2, h / 2, kCornerMark});
    for (std::int32_t k = 0; k < m; ++k) {
        for (const std::int32_t y : {0, h}) {
            shape.setPixel(k, y, kOutlineBlack);
            shape.setPixel(w - k, y, kOutlineBlack);
        }
        for (const std::int32_t x : {0, w}) {
            shape.setPixel(x, k, kOutlineBlack);
            shape.setPixel(x, h - k, kOutlineBlack);
        }
    }
    for (std::int32_t y = 0; y <= h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shape.constScanLine(y));
        for (std::int32_t x = 0; x <= w; ++x) {
            if (qAlpha(line[x]) != 0) {
                InvertPixel(image, r.left + x, r.top + y);
            }
        }
    }
}

/// The dash colour of screen pixel (sx, sy) at phase: white for the first six steps of every
/// twelve along sx + sy, black for the rest and wherever the count is negative.
QRgb DashColour(std::int32_t sx, std::int32_t sy, std::int32_t phase) {
    const std::int32_t s = sx + sy - phase + kDashLength;
    return s >= 0 && s % kPhaseCount < kDashLength ? kOutlineWhite : kOutlineBlack;
}

bool SamePanels(const std::vector<CanvasPanel>& a, const std::vector<CanvasPanel>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const CanvasPanel& p, const CanvasPanel& q) {
            return p.zoomX == q.zoomX && p.zoomY == q.zoomY && p.panelRect == q.panelRect &&
                   p.sourceRect == q.sourceRect && p.destRect == q.destRect &&
                   p.imageWidth == q.imageWidth && p.imageHeight == q.imageHeight;
        });
}

/// v limited to 0 ... size - 1 (0 when size is 0).
std::int32_t ClampInto(std::int32_t v, std::int32_t size) {
    return std::max(0, std::min(v, size - 1));
}

}  // namespace

CSelectionPane::CSelectionPane(CPaneDocument& document, CPaneWindow& window, std::int32_t rows,
                               std::int32_t columns, QWidget* parent)
    : CPaneBase(document, window, rows, columns, parent) {
    outlineTimer_.setInterval(kOutlinePeriod);
    connect(&outlineTimer_, &QTimer::timeout, this, &CSelectionPane::OutlineTick);
}

CSelectionPane::~CSelectionPane() = default;

void CSelectionPane::OnDocumentChanged() {
    CPaneBase::OnDocumentChanged();
    ++documentVersion_;
}

void CSelectionPane::OnImageRowsChanged(const ImageBitmap& bitmap, int top, int bottom) {
    CPaneBase::OnImageRowsChanged(bitmap, top, bottom);
    ++documentVersion_;
}

void CSelectionPane::Deselect() {
    selection.SetRectangle(0, 0, 0, 0);
    DropDisplayCopy();
    RepaintNow();
}

void CSelectionPane::InvertSelection() {
    selection.Invert();
    DropDisplayCopy();
    // Nothing erases the old outline between animation steps, so the pane is shown afresh; the
    // next step draws the inverted selection's outline.
    RepaintNow();
}

bool CSelectionPane::PanelShowsOutline(std::int32_t i) const {
    static_cast<void>(i);
    return true;
}

bool CSelectionPane::SelectionGone() const {
    return selection.PointCount() == 0;
}

void CSelectionPane::PaintContent(QPainter& painter) {
    PaintPane(painter);
    renderedPanels_ = Layout().Panels();
    renderedVersion_ = documentVersion_;
    // A rectangle drag keeps its inverted rectangle through a repaint, so that the next move
    // removes it again.
    if (shownRectangle_ && Drag() == PaneDrag::SelectionRectangle &&
        painter.device()->devType() == QInternal::Image) {
        InvertRectangleOutline(*static_cast<QImage*>(painter.device()), *shownRectangle_);
    }
}

bool CSelectionPane::ScreenOutdated() const {
    return renderedVersion_ != documentVersion_ || !SamePanels(renderedPanels_, Layout().Panels());
}

void CSelectionPane::RepaintNow() {
    if (!isVisible()) {
        update();
        return;
    }
    RenderScreenImage();
    ShowScreenImage();
}

void CSelectionPane::ContentChanged() {
    ++documentVersion_;
    update();
}

void CSelectionPane::ResetSelection(std::int32_t w, std::int32_t h) {
    if (HasDragFeedback()) {
        EndDragFeedback();
    }
    SetDrag(PaneDrag::None);
    shownRectangle_.reset();
    path_.Clear();
    selection.SetRectangle(0, 0, 0, 0);
    DropDisplayCopy();
    if (w > 0 && h > 0) {
        selection.Init(w, h);
    }
}

void CSelectionPane::FixMode(Qt::KeyboardModifiers modifiers) {
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const bool control = modifiers.testFlag(Qt::ControlModifier);
    if (shift && control) {
        mode_ = SelectionMode::Intersect;
    } else if (shift) {
        mode_ = SelectionMode::Add;
    } else if (control) {
        mode_ = SelectionMode::Subtract;
    } else {
        mode_ = SelectionMode::Replace;
    }
}

void CSelectionPane::SelectionTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers,
                                   CanvasPoint p) {
    if (phase == ToolPhase::Down &&
        !(tool == ToolFreeHandSelection && Drag() == PaneDrag::FreeHandSelection)) {
        FixMode(modifiers);
    }
    switch (tool) {
        case ToolSelectionRectangle:
            RectangleTool(phase, p);
            break;
        case ToolSelectionEllipse:
            EllipseTool(phase, p);
            break;
        case ToolFreeHandSelection:
            FreeHandTool(phase, p);
            break;
        default:
            break;
    }
}

void CSelectionPane::RectangleTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            if (mode_ == SelectionMode::Replace) {
                selection.ClearPoints();
                RepaintNow();
            }
            dragStart_ = p;
            shownRectangle_.reset();
            SetDrag(PaneDrag::SelectionRectangle);
            SetAnimationPhase(0);
            break;
        case ToolPhase::Move: {
            if (ScreenOutdated()) {
                RenderScreenImage();
            }
            QImage& screen = ScreenImage();
            if (shownRectangle_) {
                InvertRectangleOutline(screen, *shownRectangle_);
            }
            shownRectangle_ = Spanned(dragStart_, p);
            InvertRectangleOutline(screen, *shownRectangle_);
            ShowScreenImage();
            break;
        }
        case ToolPhase::Up: {
            SetDrag(PaneDrag::None);
            shownRectangle_.reset();
            const CanvasRect r = Spanned(dragStart_, p);
            RegionRect mapped{r.left, r.top, r.right, r.bottom};
            const std::int32_t i = Layout().PanelAtPoint(dragStart_);
            if (const CanvasPanel* panel = Layout().Panel(i)) {
                const auto topLeft = Layout().WindowToImage(i, {r.left, r.top});
                const auto bottomRight = Layout().WindowToImage(i, {r.right, r.bottom});
                if (topLeft && bottomRight) {
                    mapped = {ClampInto(topLeft->x, panel->imageWidth),
                              ClampInto(topLeft->y, panel->imageHeight),
                              ClampInto(bottomRight->x, panel->imageWidth),
                              ClampInto(bottomRight->y, panel->imageHeight)};
                }
            }
            CombineRectangle(mapped);
            break;
        }
    }
}

void CSelectionPane::EllipseTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            if (mode_ == SelectionMode::Replace) {
                selection.ClearPoints();
            }
            dragStart_ = p;
            // A release without a move selects around the pressed point.
            ellipseRect_ = Spanned(p, p);
            BeginDragFeedback();
            SetDrag(PaneDrag::SelectionEllipse);
            break;
        case ToolPhase::Move:
            if (!HasDragFeedback()) {
                return;
            }
            ellipseRect_ = Spanned(dragStart_, p);
            RestoreWorkBuffer();
            InvertEllipseFeedback(WorkBuffer(), ellipseRect_);
            PresentWorkBuffer();
            break;
        case ToolPhase::Up: {
            SetDrag(PaneDrag::None);
            EndDragFeedback();
            const CanvasRect& r = ellipseRect_;
            CanvasPoint centre{r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2};
            const std::int32_t windowRx = (r.right - r.left) / 2;
            const std::int32_t windowRy = (r.bottom - r.top) / 2;
            const std::int32_t i = Layout().PanelAtPoint(centre);
            float z = 1.0f;
            if (Layout().Panel(i)) {
                z = Layout().PanelZoom(i);
                centre = Layout().WindowToImage(i, centre).value_or(centre);
            }
            const auto imageRadius = [z](std::int32_t windowRadius) {
                return static_cast<std::int32_t>(static_cast<float>(windowRadius) / z + 0.5f);
            };
            CombineEllipse(centre.x, centre.y, imageRadius(windowRx), imageRadius(windowRy));
            break;
        }
    }
}

void CSelectionPane::FreeHandTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            path_.ClearPoints();
            dragStart_ = p;
            BeginDragFeedback();
            SetDrag(PaneDrag::FreeHandSelection);
            path_.AppendPoint(p.x, p.y);
            break;
        case ToolPhase::Move: {
            if (!HasDragFeedback()) {
                return;
            }
            path_.AppendPoint(p.x, p.y);
            path_.BridgeLastGap();
            RestoreWorkBuffer();
            QImage& work = WorkBuffer();
            const std::vector<RegionPoint>& points = path_.Points();
            for (std::size_t k = 0; k + 1 < points.size(); ++k) {
                const RegionPoint& q = points[k];
                if (q.x >= 0 && q.y >= 0 && q.x < work.width() && q.y < work.height()) {
                    work.setPixel(q.x, q.y, kOutlineBlack);
                }
            }
            PresentWorkBuffer();
            break;
        }
        case ToolPhase::Up: {
            SetDrag(PaneDrag::None);
            EndDragFeedback();
            const std::int32_t i = ActivePanel();
            const CanvasPanel* panel = Layout().Panel(i);
            for (RegionPoint& q : path_.MutablePoints()) {
                if (panel) {
                    const CanvasPoint image =
                        Layout().WindowToImage(i, {q.x, q.y}).value_or(CanvasPoint{q.x, q.y});
                    q = {ClampInto(image.x, panel->imageWidth),
                         ClampInto(image.y, panel->imageHeight)};
                } else {
                    q = {std::max(q.x, 0), std::max(q.y, 0)};
                }
            }
            path_.ClosePolygon();
            CombinePolygon();
            path_.Clear();
            break;
        }
    }
}

void CSelectionPane::BeginCombine() {
    DropDisplayCopy();
    if (mode_ == SelectionMode::Replace) {
        selection.SetRectangle(0, 0, 0, 0);
    }
}

void CSelectionPane::CombineRectangle(const RegionRect& r) {
    BeginCombine();
    CombineInMode(selection, mode_, kRectangleOperations, r.left, r.top, r.right, r.bottom);
    RepaintNow();
}

void CSelectionPane::CombineEllipse(std::int32_t cx, std::int32_t cy, std::int32_t rx,
                                    std::int32_t ry) {
    BeginCombine();
    CombineInMode(selection, mode_, kEllipseOperations, cx, cy, rx, ry);
    RepaintNow();
}

void CSelectionPane::CombinePolygon() {
    BeginCombine();
    CombineInMode(selection, mode_, kPolygonOperations, path_);
    RepaintNow();
}

void CSelectionPane::SelectionDragEnded() {
    outlineTimer_.start();
    // The commands that need a selection (Delete, Ctrl+D) become available at once.
    Window().UpdateCommandUI();
}

void CSelectionPane::DrawSelectionOutline(QImage& target) {
    outlineArea_ = QRegion();
    if (Drag() == PaneDrag::Panning || Drag() == PaneDrag::ZoomWindow ||
        selection.PointCount() == 0 || !IsPixelImage(target)) {
        return;
    }
    const std::int32_t phase = AnimationPhase();
    for (std::int32_t i = 0; i < Layout().PanelCount(); ++i) {
        const CanvasPanel* panel = Layout().Panel(i);
        if (!panel) {
            break;
        }
        if (!PanelShowsOutline(i)) {
            continue;
        }
        const float z = Layout().PanelZoom(i);
        if (displayCopy_ && displayCopy_->Scale() != z) {
            displayCopy_.reset();
        }
        if (!displayCopy_) {
            displayCopy_ = selection.RescaledCopy(z);
        }
        const QRect clip = QRect(panel->panelRect.left, panel->panelRect.top,
                                 panel->panelRect.Width(), panel->panelRect.Height())
                               .intersected(target.rect());
        // Outline point (px, py) of the scaled copy lies at this offset on the screen.
        const std::int32_t offsetX =
            panel->destRect.left -
            static_cast<std::int32_t>(static_cast<float>(panel->sourceRect.left) * z);
        const std::int32_t offsetY =
            panel->destRect.top -
            static_cast<std::int32_t>(static_cast<float>(panel->sourceRect.top) * z);
        // The bounds of the pixels set in this panel.
        std::int32_t left = clip.right() + 1;
        std::int32_t top = clip.bottom() + 1;
        std::int32_t right = clip.left() - 1;
        std::int32_t bottom = clip.top() - 1;
        for (const RegionPoint& q : displayCopy_->Points()) {
            const std::int32_t sx = offsetX + q.x;
            const std::int32_t sy = offsetY + q.y;
            if (clip.contains(sx, sy)) {
                reinterpret_cast<QRgb*>(target.scanLine(sy))[sx] = DashColour(sx, sy, phase);
                left = std::min(left, sx);
                top = std::min(top, sy);
                right = std::max(right, sx);
                bottom = std::max(bottom, sy);
            }
        }
        if (left <= right) {
            outlineArea_ += QRect(QPoint(left, top), QPoint(right, bottom));
        }
    }
}

void CSelectionPane::OutlineTick() {
    if (!isVisible() || Drag() == PaneDrag::DynamicZoom || Document().IsBusy()) {
        return;
    }
    if (SelectionGone()) {
        outlineTimer_.stop();
        return;
    }
    if (Drag() != PaneDrag::Panning && Drag() != PaneDrag::ZoomWindow) {
        // A step repaints only the outline's pixels, unless the picture under them is new.
        const bool whole = ScreenOutdated() || !ScreenImageSized();
        if (whole) {
            RenderScreenImage();
        }
        DrawSelectionOutline(ScreenImage());
        if (whole) {
            ShowScreenImage();
        } else {
            ShowScreenArea(outlineArea_);
        }
    }
    SetAnimationPhase((AnimationPhase() + 1) % kPhaseCount);
}

}  // namespace quarvel
