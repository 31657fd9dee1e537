#include "views/CanvasLayout.h"

#include <algorithm>
#include <cassert>

namespace quarvel {

namespace {

/// Window pixels kept between the grid and the area's edges, and between neighbouring panels.
constexpr std::int32_t kGridGap = 4;
/// Room left by the fit zooms for the 2-pixel margin on each side inside destRect.
constexpr std::int32_t kFitMargin = 4;

/// One axis of LayoutPanel. panelStart and panelEnd bound the panel; imageSize is the image's
/// extent along the axis. Writes the window span (end exclusive) and the image span (end
/// inclusive).
void PlaceAxis(std::int32_t panelStart, std::int32_t panelEnd, std::int32_t imageSize, float z,
               std::int32_t& destStart, std::int32_t& destEnd, std::int32_t& sourceStart,
               std::int32_t& sourceEnd) {
    const std::int32_t panelSize = panelEnd - panelStart;
    // The product is a float; the rounding half is added in double, then truncated.
    const auto drawn =
        static_cast<std::int32_t>(static_cast<double>(static_cast<float>(imageSize) * z) + 0.5);
    if (drawn < panelSize) {
        destStart = panelStart + (panelSize - drawn) / 2;
        destEnd = destStart + drawn;
        sourceStart = 0;
        sourceEnd = imageSize - 1;
        return;
    }
    destStart = panelStart;
    destEnd = panelEnd;
    const auto visible =
        static_cast<std::int32_t>(static_cast<double>(static_cast<float>(panelSize) / z) + 0.5);
    sourceStart = visible < imageSize ? (imageSize - visible) / 2 : 0;
    sourceEnd = sourceStart + visible - 1;
}

/// The zoom at which imageSize pixels fill panelSize less the margins. A panel too small for its
/// margins counts as one pixel wide, so the zoom stays positive.
float FitAxisZoom(std::int32_t panelSize, std::int32_t imageSize) {
    const std::int32_t room = std::max(panelSize - kFitMargin, 1);
    return static_cast<float>(room) / static_cast<float>(imageSize);
}

/// The scroll delta along one axis that keeps the window inside [0, imageSize].
std::int32_t LimitScroll(std::int32_t delta, std::int32_t sourceStart, std::int32_t sourceEnd,
                         std::int32_t imageSize) {
    if (sourceStart - delta < 0) {
        delta = sourceStart;
    }
    if (sourceEnd - delta > imageSize) {
        delta = sourceEnd - imageSize;
    }
    return delta;
}

}  // namespace

CanvasLayout::CanvasLayout(std::int32_t rows, std::int32_t columns)
    : rows_(rows), columns_(columns) {
    assert(rows > 0 && columns > 0);
}

float CanvasLayout::ClampZoom(double z) {
    return static_cast<float>(
        std::clamp(z, static_cast<double>(minZoom), static_cast<double>(maxZoom)));
}

void CanvasLayout::SetGrid(std::int32_t rows, std::int32_t columns) {
    assert(rows > 0 && columns > 0);
    rows_ = rows;
    columns_ = columns;
}

void CanvasLayout::CreatePanels() {
    panels_.assign(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_),
                   CanvasPanel{});
    LayoutPanels();
}

void CanvasLayout::LayoutPanels() {
    const CanvasRect& area = layoutArea_;
    // A window narrower than its margins has no room for a cell.
    const std::int32_t cellWidth = std::max(area.Width() - kGridGap, 0) / columns_;
    const std::int32_t cellHeight = std::max(area.Height() - kGridGap, 0) / rows_;
    if (cellWidth == 0 || cellHeight == 0) {
        return;
    }
    for (std::int32_t row = 0; row < rows_; ++row) {
        for (std::int32_t column = 0; column < columns_; ++column) {
            const std::size_t index = static_cast<std::size_t>(row * columns_ + column);
            if (index >= panels_.size()) {
                return;
            }
            CanvasPanel& panel = panels_[index];
            CanvasRect& rect = panel.panelRect;
            rect.left = area.left + kGridGap + column * cellWidth;
            rect.top = area.top + kGridGap + row * cellHeight;
            rect.right = column == columns_ - 1 ? area.right - kGridGap
                                                : area.left + (column + 1) * cellWidth;
            rect.bottom =
                row == rows_ - 1 ? area.bottom - kGridGap : area.top + (row + 1) * cellHeight;
            LayoutPanel(panel, std::min(panel.zoomX, panel.zoomY));
        }
    }
}

void CanvasLayout::LayoutPanel(CanvasPanel& panel, float z) {
    if (!panel.HasImage()) {
        panel.sourceRect = panel.panelRect;
        panel.destRect = panel.panelRect;
        return;
    }
    const CanvasRect& rect = panel.panelRect;
    PlaceAxis(rect.left, rect.right, panel.imageWidth, z, panel.destRect.left, panel.destRect.right,
              panel.sourceRect.left, panel.sourceRect.right);
    PlaceAxis(rect.top, rect.bottom, panel.imageHeight, z, panel.destRect.top,
              panel.destRect.bottom, panel.sourceRect.top, panel.sourceRect.bottom);
}

const CanvasPanel* CanvasLayout::Panel(std::int32_t i) const {
    if (i < 0 || i >= PanelCount()) {
        return nullptr;
    }
    return &panels_[static_cast<std::size_t>(i)];
}

CanvasPanel* CanvasLayout::MutablePanel(std::int32_t i) {
    if (i < 0 || i >= PanelCount()) {
        return nullptr;
    }
    return &panels_[static_cast<std::size_t>(i)];
}

float CanvasLayout::PanelZoom(std::int32_t i) const {
    const CanvasPanel* panel = Panel(i);
    return panel ? std::min(panel->zoomX, panel->zoomY) : 1.0f;
}

float CanvasLayout::FitZoom(std::int32_t i) const {
    return std::min(FitWidthZoom(i), FitHeightZoom(i));
}

float CanvasLayout::FitWidthZoom(std::int32_t i) const {
    const CanvasPanel* panel = Panel(i);
    if (!panel || !panel->HasImage()) {
        return 1.0f;
    }
    return FitAxisZoom(panel->panelRect.Width(), panel->imageWidth);
}

float CanvasLayout::FitHeightZoom(std::int32_t i) const {
    const CanvasPanel* panel = Panel(i);
    if (!panel || !panel->HasImage()) {
        return 1.0f;
    }
    return FitAxisZoom(panel->panelRect.Height(), panel->imageHeight);
}

void CanvasLayout::SetZoomAll(float z) {
    assert(z > 0.0f);
    for (CanvasPanel& panel : panels_) {
        panel.zoomX = z;
        panel.zoomY = z;
        LayoutPanel(panel, z);
    }
}

void CanvasLayout::ResetZoom(std::int32_t w, std::int32_t h, const CanvasRect& area) {
    for (CanvasPanel& panel : panels_) {
        panel.imageWidth = w;
        panel.imageHeight = h;
    }
    // The fit zooms are measured in the panels of the current area.
    layoutArea_ = area;
    LayoutPanels();
    if (!panels_.empty()) {
        const float z = FitZoom(PanelCount() - 1) < 1.0f ? FitZoom(0) : 1.0f;
        for (CanvasPanel& panel : panels_) {
            panel.zoomX = z;
            panel.zoomY = z;
        }
    }
    LayoutPanels();
}

void CanvasLayout::ScrollPanel(std::int32_t i, std::int32_t dx, std::int32_t dy) {
    CanvasPanel* panel = MutablePanel(i);
    if (!panel) {
        return;
    }
    const float z = PanelZoom(i);
    CanvasRect& source = panel->sourceRect;
    if (FitWidthZoom(i) < z) {
        dx = LimitScroll(dx, source.left, source.right, panel->imageWidth);
        source.left -= dx;
        source.right -= dx;
    }
    if (FitHeightZoom(i) < z) {
        dy = LimitScroll(dy, source.top, source.bottom, panel->imageHeight);
        source.top -= dy;
        source.bottom -= dy;
    }
}

void CanvasLayout::CenterOn(std::int32_t x, std::int32_t y) {
    for (std::int32_t i = 0; i < PanelCount(); ++i) {
        const CanvasPanel& panel = panels_[static_cast<std::size_t>(i)];
        ScrollPanel(i, panel.imageWidth / 2 - x, panel.imageHeight / 2 - y);
    }
}

std::int32_t CanvasLayout::PanelAtPoint(CanvasPoint p) const {
    for (std::int32_t i = 0; i < PanelCount(); ++i) {
        const CanvasRect& r = panels_[static_cast<std::size_t>(i)].panelRect;
        if (r.left < p.x && p.x < r.right && r.top < p.y && p.y < r.bottom) {
            return i;
        }
    }
    return -1;
}

bool CanvasLayout::PanelShowingPoint(CanvasPoint p) const {
    return std::any_of(panels_.begin(), panels_.end(), [p](const CanvasPanel& panel) {
        const CanvasRect& r = panel.destRect;
        return r.left <= p.x && p.x <= r.right && r.top <= p.y && p.y <= r.bottom;
    });
}

std::optional<CanvasPoint> CanvasLayout::WindowToImage(std::int32_t i, CanvasPoint p) const {
    const CanvasPanel* panel = Panel(i);
    if (!panel) {
        return std::nullopt;
    }
    const float z = PanelZoom(i);
    const CanvasRect& dest = panel->destRect;
    const CanvasRect& source = panel->sourceRect;
    return CanvasPoint{
        static_cast<std::int32_t>(static_cast<float>(p.x - dest.left) / z) + source.left,
        static_cast<std::int32_t>(static_cast<float>(p.y - dest.top) / z) + source.top};
}

std::optional<CanvasPoint> CanvasLayout::WindowToImageClamped(std::int32_t i, CanvasPoint p) const {
    const CanvasPanel* panel = Panel(i);
    if (!panel || !panel->HasImage()) {
        return std::nullopt;
    }
    CanvasPoint point = *WindowToImage(i, p);
    point.x = std::clamp(point.x, 0, panel->imageWidth - 1);
    point.y = std::clamp(point.y, 0, panel->imageHeight - 1);
    return point;
}

}  // namespace quarvel
