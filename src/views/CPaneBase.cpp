#include "views/CPaneBase.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "engine/DeepImage.h"
#include "engine/ImageBitmap.h"

namespace quarvel {

namespace {

/// The caption band above the panels, and each caption bar, is a caption line plus this much.
constexpr std::int32_t kCaptionPadding = 6;
/// Width of each panel's frame; the image is drawn inside it.
constexpr std::int32_t kFrameWidth = 2;
/// Period of the zoom-window rectangle's animation.
constexpr int kZoomWindowPeriodMs = 50;
/// Steps of the crawling dashes before the pattern repeats.
constexpr std::int32_t kAnimationSteps = 12;
/// Zoom gained by a dynamic-zoom drag per window pixel upward.
constexpr double kDynamicZoomPerPixel = 0.01;
/// Taken from a zoom-window zoom before it is rounded to two decimals, so that the rectangle
/// surely fits.
constexpr double kZoomWindowMargin = 0.005;

constexpr QRgb kDashWhite = 0xFFFFFFFF;
constexpr QRgb kDashBlack = 0xFF000000;

QRect ToQRect(const CanvasRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

/// A one-pixel outline along the inside of r.
void FrameRect(QPainter& painter, const CanvasRect& r, const QColor& color) {
    if (r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    painter.fillRect(QRect(r.left, r.top, r.Width(), 1), color);
    painter.fillRect(QRect(r.left, r.bottom - 1, r.Width(), 1), color);
    painter.fillRect(QRect(r.left, r.top, 1, r.Height()), color);
    painter.fillRect(QRect(r.right - 1, r.top, 1, r.Height()), color);
}

}  // namespace

CPaneBase::CPaneBase(CPaneDocument& document, CPaneWindow& window, std::int32_t rows,
                     std::int32_t columns, QWidget* parent)
    : QWidget(parent), document_(document), window_(window), layout_(rows, columns) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFont(PaneFont());
    captionHeight_ =
        QFontMetrics(font()).size(Qt::TextSingleLine, QStringLiteral("Original")).height();
    layout_.SetLayoutArea(ClientLayoutArea());
    layout_.CreatePanels();
    laidOutArea_ = layout_.LayoutArea();
    zoomWindowTimer_ = new QTimer(this);
    zoomWindowTimer_->setInterval(kZoomWindowPeriodMs);
    connect(zoomWindowTimer_, &QTimer::timeout, this, &CPaneBase::TimerTick);
    document_.RegisterPane(this);
}

CPaneBase::~CPaneBase() = default;

void CPaneBase::OnDocumentChanged() {
    // Any change of the document may have replaced or rewritten the bitmaps shown.
    imageCache_.Clear();
}

void CPaneBase::OnImageRowsChanged(const ImageBitmap& bitmap, int top, int bottom) {
    imageCache_.UpdateRows(bitmap, top, bottom);
}

QFont CPaneBase::PaneFont() {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

bool CPaneBase::QueryCommand(int id, CommandStatus& status) const {
    return window_.QueryPaneCommand(*this, id, status);
}

bool CPaneBase::RunCommand(int id) {
    return window_.RunPaneCommand(*this, id);
}

void CPaneBase::ZoomActualSize() {
    SetZoomAll(1.0f, true);
}

void CPaneBase::ZoomIn() {
    SetZoomAll(CanvasLayout::ClampZoom(StepZoom() + CanvasLayout::zoomStep), true);
}

void CPaneBase::ZoomOut() {
    SetZoomAll(CanvasLayout::ClampZoom(StepZoom() - CanvasLayout::zoomStep), true);
}

void CPaneBase::ZoomFit() {
    SetZoomAll(layout_.FitZoom(layout_.PanelCount() - 1), true);
}

void CPaneBase::ZoomFitWidth() {
    SetZoomAll(layout_.FitWidthZoom(layout_.PanelCount() - 1), true);
}

void CPaneBase::ZoomFitHeight() {
    SetZoomAll(layout_.FitHeightZoom(layout_.PanelCount() - 1), true);
}

float CPaneBase::StepZoom() const {
    return layout_.PanelZoom(activePanel_ == -1 ? 0 : activePanel_);
}

CursorPoint CPaneBase::CursorPointAt(CanvasPoint p, CursorPoint previous) const {
    if (layout_.PanelShowingPoint(p)) {
        if (const auto pixel = layout_.WindowToImageClamped(layout_.PanelAtPoint(p), p)) {
            return CursorPoint{pixel->x, pixel->y};
        }
    }
    previous.x = -1;
    return previous;
}

void CPaneBase::LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers) {
    activePanel_ = layout_.PanelAtPoint(p);
    DispatchTool(CurrentTool(), ToolPhase::Down, modifiers, p);
}

void CPaneBase::DispatchTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers,
                             CanvasPoint p) {
    switch (tool) {
        case ToolBrush:
            BrushTool(phase, modifiers, p);
            break;
        case ToolSelectionRectangle:
        case ToolSelectionEllipse:
        case ToolFreeHandSelection:
            SelectionTool(tool, phase, modifiers, p);
            break;
        case ToolPanHand:
            PanTool(phase, p);
            break;
        case ToolZoomInOut:
            ZoomClickTool(phase, modifiers, p);
            break;
        case ToolZoomWindow:
            ZoomWindowTool(phase, p);
            break;
        case ToolDynamicZoom:
            DynamicZoomTool(phase, p);
            break;
    }
}

float CPaneBase::SharedZoom(std::int32_t i) const {
    return layout_.PanelZoom(layout_.Panel(i) ? i : 0);
}

void CPaneBase::PanTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            drag_ = PaneDrag::Panning;
            dragPoint_ = p;
            break;
        case ToolPhase::Move: {
            if (drag_ != PaneDrag::Panning) {
                return;
            }
            // Whole image pixels only: what a move covers below one pixel is dropped, so at a
            // zoom above 1 slow movements do not pan.
            const float z = SharedZoom(activePanel_);
            const auto dx = static_cast<std::int32_t>(static_cast<float>(p.x - dragPoint_.x) / z);
            const auto dy = static_cast<std::int32_t>(static_cast<float>(p.y - dragPoint_.y) / z);
            dragPoint_ = p;
            for (std::int32_t i = 0; i < layout_.PanelCount(); ++i) {
                layout_.ScrollPanel(i, dx, dy);
            }
            update();
            break;
        }
        case ToolPhase::Up:
            if (drag_ == PaneDrag::Panning) {
                drag_ = PaneDrag::None;
            }
            update();
            break;
    }
}

void CPaneBase::ZoomClickTool(ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p) {
    if (phase != ToolPhase::Down) {
        return;
    }
    const std::int32_t i = layout_.PanelAtPoint(p);
    const CanvasPanel* panel = layout_.Panel(i);
    if (!panel || !panel->HasImage()) {
        return;
    }
    CanvasPoint pixel = *layout_.WindowToImage(i, p);
    pixel.x = std::clamp(pixel.x, 0, panel->imageWidth - 1);
    pixel.y = std::clamp(pixel.y, 0, panel->imageHeight - 1);
    const double step =
        modifiers.testFlag(Qt::ControlModifier) ? -CanvasLayout::zoomStep : CanvasLayout::zoomStep;
    SetZoomAll(CanvasLayout::ClampZoom(layout_.PanelZoom(i) + step), false);
    CenterOn(pixel);
}

void CPaneBase::ZoomWindowTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            if (!layout_.PanelShowingPoint(p)) {
                return;
            }
            // The saved buffer takes the selection outline, which is not drawn once the flag
            // is set.
            BeginDragFeedback();
            dragRect_ = {p.x, p.y, p.x, p.y};
            animationPhase_ = 0;
            drag_ = PaneDrag::ZoomWindow;
            dragStart_ = p;
            zoomWindowTimer_->start();
            break;
        case ToolPhase::Move: {
            if (drag_ != PaneDrag::ZoomWindow) {
                return;
            }
            CanvasRect r{std::min(dragStart_.x, p.x), std::min(dragStart_.y, p.y),
                         std::max(dragStart_.x, p.x), std::max(dragStart_.y, p.y)};
            if (const CanvasPanel* panel = layout_.Panel(layout_.PanelAtPoint(p))) {
                const CanvasRect& d = panel->destRect;
                r = {std::max(r.left, d.left), std::max(r.top, d.top), std::min(r.right, d.right),
                     std::min(r.bottom, d.bottom)};
            }
            dragRect_ = r;
            break;
        }
        case ToolPhase::Up:
            if (drag_ != PaneDrag::ZoomWindow) {
                return;
            }
            drag_ = PaneDrag::None;
            EndDragFeedback();
            zoomWindowTimer_->stop();
            animationPhase_ = 0;
            ZoomToRectangle(dragRect_);
            break;
    }
}

void CPaneBase::ZoomToRectangle(const CanvasRect& r) {
    const CanvasPanel* panel = layout_.Panel(activePanel_);
    // A click without a drag, or a rectangle clipped away to nothing, leaves the zoom alone.
    if (!panel || !panel->HasImage() || r.Width() <= 0 || r.Height() <= 0) {
        update();
        return;
    }
    const CanvasPoint centre{
        static_cast<std::int32_t>(r.left + static_cast<double>(r.Width()) * 0.5),
        static_cast<std::int32_t>(r.top + static_cast<double>(r.Height()) * 0.5)};
    const std::optional<CanvasPoint> pixel = layout_.WindowToImageClamped(activePanel_, centre);

    const double fill = std::min(static_cast<double>(panel->panelRect.Height()) / r.Height(),
                                 static_cast<double>(panel->panelRect.Width()) / r.Width());
    double z = fill * static_cast<double>(layout_.PanelZoom(activePanel_)) - kZoomWindowMargin;
    // The zoom is kept to two decimals, as it would be written out (rounded, not truncated).
    char text[32];
    const std::to_chars_result written =
        std::to_chars(text, text + sizeof text, z, std::chars_format::fixed, 2);
    if (written.ec == std::errc()) {
        std::from_chars(text, written.ptr, z);
    }
    SetZoomAll(CanvasLayout::ClampZoom(z), false);
    if (pixel) {
        CenterOn(*pixel);
    } else {
        update();
    }
}

void CPaneBase::DynamicZoomTool(ToolPhase phase, CanvasPoint p) {
    switch (phase) {
        case ToolPhase::Down:
            if (const auto pixel = layout_.WindowToImageClamped(activePanel_, p)) {
                drag_ = PaneDrag::DynamicZoom;
                zoomAnchor_ = *pixel;
                dragStart_ = p;
                dragPoint_ = p;
            }
            break;
        case ToolPhase::Move: {
            if (drag_ != PaneDrag::DynamicZoom) {
                return;
            }
            // All panels share the zoom, so a point between or above the panels keeps it.
            const double z = static_cast<double>(SharedZoom(layout_.PanelAtPoint(p))) +
                             (dragPoint_.y - p.y) * kDynamicZoomPerPixel;
            SetZoomAll(CanvasLayout::ClampZoom(z), false);
            CenterOn(zoomAnchor_);
            dragPoint_ = p;
            break;
        }
        case ToolPhase::Up:
            if (drag_ == PaneDrag::DynamicZoom) {
                drag_ = PaneDrag::None;
            }
            update();
            break;
    }
}

void CPaneBase::CancelDrag() {
    drag_ = PaneDrag::None;
    zoomWindowTimer_->stop();
    EndDragFeedback();
}

void CPaneBase::TimerTick() {
    if (drag_ != PaneDrag::ZoomWindow || !HasDragFeedback()) {
        OutlineTick();
        return;
    }
    if (!isVisible()) {
        return;
    }
    animationPhase_ = (animationPhase_ + 1) % kAnimationSteps;
    RestoreWorkBuffer();
    DrawDashedRectangle(workBuffer_, dragRect_, animationPhase_);
    PresentWorkBuffer();
}

void CPaneBase::OutlineTick() {}

bool CPaneBase::ZoomWindowTimerActive() const {
    return zoomWindowTimer_->isActive();
}

void CPaneBase::DrawDashedRectangle(QImage& target, const CanvasRect& rect, std::int32_t phase) {
    const auto paint = [&target, phase](std::int32_t x, std::int32_t y, std::int32_t s) {
        const std::int32_t t = ((s - phase) % kAnimationSteps + kAnimationSteps) % kAnimationSteps;
        if (t == 0 || t == kAnimationSteps / 2 || !target.valid(x, y)) {
            return;
        }
        target.setPixel(x, y, t < kAnimationSteps / 2 ? kDashWhite : kDashBlack);
    };
    const std::int32_t width = rect.right - rect.left;
    const std::int32_t height = rect.bottom - rect.top;
    for (std::int32_t x = rect.left; x <= rect.right - 2; ++x) {
        paint(x, rect.top, x - rect.left);
        paint(x, rect.bottom - 1, height + (x - rect.left));
    }
    for (std::int32_t y = rect.top; y <= rect.bottom - 2; ++y) {
        paint(rect.left, y, y - rect.top);
        paint(rect.right - 1, y, width + (y - rect.top));
    }
}

void CPaneBase::BrushTool(ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p) {
    static_cast<void>(phase);
    static_cast<void>(modifiers);
    static_cast<void>(p);
}

void CPaneBase::SelectionTool(ToolId tool, ToolPhase phase, Qt::KeyboardModifiers modifiers,
                              CanvasPoint p) {
    static_cast<void>(tool);
    static_cast<void>(phase);
    static_cast<void>(modifiers);
    static_cast<void>(p);
}

void CPaneBase::DrawSelectionOutline(QImage& target) {
    static_cast<void>(target);
}

void CPaneBase::SelectionDragEnded() {}

QImage& CPaneBase::ScreenImage() {
    if (screen_.size() != size()) {
        RenderScreenImage();
    }
    return screen_;
}

void CPaneBase::RenderScreenImage() {
    if (screen_.size() != size()) {
        screen_ = QImage(size(), QImage::Format_RGB32);
    }
    if (screen_.isNull()) {
        return;
    }
    QPainter painter(&screen_);
    painter.fillRect(screen_.rect(), QColor::fromRgb(kBackground));
    PaintWholeContent(painter);
    zoomResetPending_ = false;
}

void CPaneBase::PaintWholeContent(QPainter& painter) {
    // Every image shown is drawn here, so the screen images of the others can go.
    imageCache_.StartFrame();
    PaintContent(painter);
    imageCache_.EndFrame();
}

void CPaneBase::ShowScreenImage() {
    showScreenAsIs_ = true;
    repaint();
    showScreenAsIs_ = false;
}

void CPaneBase::ShowScreenArea(const QRegion& area) {
    if (area.isEmpty()) {
        return;
    }
    showScreenAsIs_ = true;
    repaint(area);
    showScreenAsIs_ = false;
}

void CPaneBase::BeginDragFeedback() {
    RenderScreenImage();
    if (drag_ != PaneDrag::DynamicZoom) {
        DrawSelectionOutline(screen_);
    }
    ShowScreenImage();
    savedBuffer_ = screen_.copy();
    workBuffer_ = screen_.copy();
}

void CPaneBase::EndDragFeedback() {
    savedBuffer_ = QImage();
    workBuffer_ = QImage();
}

bool CPaneBase::HasDragFeedback() const {
    return !workBuffer_.isNull();
}

QImage& CPaneBase::WorkBuffer() {
    return workBuffer_;
}

void CPaneBase::RestoreWorkBuffer() {
    if (!savedBuffer_.isNull()) {
        workBuffer_ = savedBuffer_.copy();
    }
}

void CPaneBase::PresentWorkBuffer() {
    if (workBuffer_.isNull()) {
        return;
    }
    screen_ = workBuffer_.copy();
    ShowScreenImage();
}

void CPaneBase::RebuildPanels(std::int32_t rows, std::int32_t columns) {
    layout_.SetGrid(rows, columns);
    layout_.SetLayoutArea(ClientLayoutArea());
    layout_.CreatePanels();
    laidOutArea_ = layout_.LayoutArea();
    window_.ZoomChanged();
}

void CPaneBase::ResetZoom(std::int32_t w, std::int32_t h) {
    CancelDrag();
    layout_.ResetZoom(w, h, ClientLayoutArea());
    laidOutArea_ = layout_.LayoutArea();
    zoomResetPending_ = true;
    resetWidth_ = w;
    resetHeight_ = h;
    window_.ZoomChanged();
    update();
}

void CPaneBase::SetZoomAll(float z, bool repaint) {
    zoomResetPending_ = false;
    layout_.SetZoomAll(z);
    window_.ZoomChanged();
    if (repaint) {
        update();
    }
}

void CPaneBase::ScrollPanel(std::int32_t i, std::int32_t dx, std::int32_t dy) {
    layout_.ScrollPanel(i, dx, dy);
    update();
}

void CPaneBase::CenterOn(CanvasPoint imagePoint) {
    layout_.CenterOn(imagePoint.x, imagePoint.y);
    update();
}

CanvasRect CPaneBase::ClientLayoutArea() const {
    return CanvasRect{0, captionHeight_ + kCaptionPadding, width(), height()};
}

void CPaneBase::PaintFrames(QPainter& painter) const {
    const QColor blue = QColor::fromRgb(kFrameBlue);
    const std::int32_t band = captionHeight_ + kCaptionPadding;
    for (const CanvasPanel& panel : layout_.Panels()) {
        const CanvasRect& p = panel.panelRect;
        CanvasRect frame{p.left, p.top - band, p.right, p.bottom};
        FrameRect(painter, frame, blue);
        frame = {frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
        FrameRect(painter, frame, blue);
        painter.fillRect(ToQRect({frame.left, frame.top, frame.right, frame.top + band}), blue);
    }
}

CanvasRect CPaneBase::CaptionTextRect(std::int32_t i) const {
    const CanvasPanel* panel = layout_.Panel(i);
    if (!panel) {
        return {};
    }
    const CanvasRect& p = panel->panelRect;
    return {p.left, p.top - captionHeight_ - 2, p.right, p.top};
}

void CPaneBase::DrawCaption(QPainter& painter, std::int32_t i, const QString& text) const {
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(ToQRect(CaptionTextRect(i)), Qt::AlignHCenter | Qt::AlignTop, text);
}

void CPaneBase::DrawPanelImage(QPainter& painter, std::int32_t i, const ImageBitmap* bitmap) {
    const CanvasPanel* panel = layout_.Panel(i);
    if (!panel || !bitmap || !panel->HasImage()) {
        return;
    }
    // The image keeps the panel's zoom from the top-left of destRect, so what is drawn matches
    // the window-to-image mapping; the frame hides nothing because the image stays inside it.
    const CanvasRect& p = panel->panelRect;
    const QRect inside(p.left + kFrameWidth, p.top + kFrameWidth, p.Width() - 2 * kFrameWidth,
                       p.Height() - 2 * kFrameWidth);
    if (inside.isEmpty()) {
        return;
    }
    const CanvasRect& s = panel->sourceRect;
    const QRect source(s.left, s.top, s.Width() + 1, s.Height() + 1);
    painter.save();
    painter.setClipRect(inside);
    imageCache_.Draw(painter, *bitmap, source, QPoint(panel->destRect.left, panel->destRect.top),
                     layout_.PanelZoom(i));
    painter.restore();
}

void CPaneBase::paintEvent(QPaintEvent* event) {
    if (Document().IsBusy() && !PaintsWhileBusy()) {
        // The document is being changed on another thread: the last picture is shown as it
        // was, and a part of the window it does not cover stays background.
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromRgb(kBackground));
        painter.drawImage(QPoint(0, 0), screen_);
        return;
    }
    if (!showScreenAsIs_ || screen_.size() != size()) {
        RenderScreenImage();
    }
    QPainter painter(this);
    if (screen_.isNull()) {
        // No memory for the screen image: draw straight on the window.
        painter.fillRect(rect(), QColor::fromRgb(kBackground));
        PaintWholeContent(painter);
        zoomResetPending_ = false;
        return;
    }
    // Only what the window system asks for is copied: an outline step asks for its own area.
    for (const QRect& area : event->region()) {
        painter.drawImage(area.topLeft(), screen_, area);
    }
}

void CPaneBase::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const CanvasRect area = ClientLayoutArea();
    if (zoomResetPending_) {
        layout_.ResetZoom(resetWidth_, resetHeight_, area);
        laidOutArea_ = area;
        window_.ZoomChanged();
        return;
    }
    if (std::abs(area.Width() - laidOutArea_.Width()) <= 1 &&
        std::abs(area.Height() - laidOutArea_.Height()) <= 1) {
        return;
    }
    layout_.SetLayoutArea(area);
    layout_.LayoutPanels();
    laidOutArea_ = area;
}

void CPaneBase::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A drag whose release never arrived (the mouse grab was lost) ends here.
    if (drag_ != PaneDrag::None) {
        CancelDrag();
    }
    const QPoint p = event->position().toPoint();
    LeftButtonDown(CanvasPoint{p.x(), p.y()}, event->modifiers());
}

void CPaneBase::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const CursorPoint point = CursorPointAt(CanvasPoint{p.x(), p.y()}, window_.CursorPosition());
    window_.SetCursorPoint(point);
    const ImageBitmap* samples =
        point.x >= 0 ? PanelSamples(layout_.PanelAtPoint(CanvasPoint{p.x(), p.y()})) : nullptr;
    window_.SetCursorValue(samples != nullptr
                               ? SampleText(*samples, static_cast<std::uint32_t>(point.x),
                                            static_cast<std::uint32_t>(point.y))
                               : std::string());
    if (const auto tool = DragTool()) {
        DispatchTool(*tool, ToolPhase::Move, event->modifiers(), CanvasPoint{p.x(), p.y()});
    }
}

void CPaneBase::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const CanvasPoint p{at.x(), at.y()};
    const PaneDrag ended = drag_;
    if (const auto tool = DragTool()) {
        // The drag ends with its own tool, even when another tool was chosen meanwhile.
        DispatchTool(*tool, ToolPhase::Up, event->modifiers(), p);
    } else if (CurrentTool() == ToolZoomInOut) {
        DispatchTool(ToolZoomInOut, ToolPhase::Up, event->modifiers(), p);
    }
    if (ended == PaneDrag::SelectionRectangle || ended == PaneDrag::SelectionEllipse ||
        ended == PaneDrag::FreeHandSelection) {
        SelectionDragEnded();
    }
}

std::optional<ToolId> CPaneBase::DragTool() const {
    switch (drag_) {
        case PaneDrag::Panning:
            return ToolPanHand;
        case PaneDrag::ZoomWindow:
            return ToolZoomWindow;
        case PaneDrag::DynamicZoom:
            return ToolDynamicZoom;
        case PaneDrag::SelectionRectangle:
            return ToolSelectionRectangle;
        case PaneDrag::SelectionEllipse:
            return ToolSelectionEllipse;
        case PaneDrag::FreeHandSelection:
            return ToolFreeHandSelection;
        case PaneDrag::None:
            break;
    }
    return std::nullopt;
}

}  // namespace quarvel
