#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "views/CanvasPanel.h"

namespace quarvel {

/// The panels of a pane laid out as a grid in the pane's layout area, with the zoom rules and
/// the mapping between window points and image pixels that every pane shares.
///
/// Coordinates: window points are client coordinates of the pane (x right, y down); image
/// points are pixel column and row from the top-left pixel. All panels share one zoom, where a
/// zoom z draws one image pixel as z window pixels. Integer divisions truncate toward zero;
/// zoom arithmetic is single precision.
///
/// A panel index without a panel makes the layout operations do nothing, the zoom queries
/// answer 1 and the mappings answer nothing.
class CanvasLayout {
public:
    /// The zoom range of the zoom commands and tools; the fit commands are not clamped to it.
    static constexpr float minZoom = 0.05f;
    static constexpr float maxZoom = 8.0f;
    /// What Zoom In adds to the zoom and Zoom Out takes from it.
    static constexpr double zoomStep = 0.2;

    /// A layout of rows x columns panels; CreatePanels makes them.
    CanvasLayout(std::int32_t rows, std::int32_t columns);

    /// z limited to minZoom ... maxZoom, as a single-precision zoom.
    static float ClampZoom(double z);

    /// Sets the grid size; the panels follow at the next CreatePanels.
    void SetGrid(std::int32_t rows, std::int32_t columns);
    std::int32_t Rows() const { return rows_; }
    std::int32_t Columns() const { return columns_; }

    /// The window area the grid is laid out in: the client rectangle below the caption band.
    void SetLayoutArea(const CanvasRect& area) { layoutArea_ = area; }
    const CanvasRect& LayoutArea() const { return layoutArea_; }

    /// Replaces all panels by rows x columns new ones (zoom 1, no image) and lays them out.
    void CreatePanels();
    /// Gives every panel its place in the grid, 4 pixels from the area's edges and from each
    /// other, and lays each out at its own zoom. Nothing happens when a cell would be empty.
    void LayoutPanels();
    /// Sets the panel's sourceRect and destRect for zoom z: an image narrower than the panel is
    /// centred and shown whole; of a wider one the panel shows the centred part that fills it.
    /// The same holds vertically.
    static void LayoutPanel(CanvasPanel& panel, float z);

    std::int32_t PanelCount() const { return static_cast<std::int32_t>(panels_.size()); }
    const CanvasPanel* Panel(std::int32_t i) const;
    const std::vector<CanvasPanel>& Panels() const { return panels_; }

    /// The zoom of panel i: the smaller of zoomX and zoomY.
    float PanelZoom(std::int32_t i) const;
    /// The zoom at which panel i's whole image fits inside its panelRect, with the 2-pixel
    /// margin on every side; its width only; its height only. 1 when the panel has no image.
    float FitZoom(std::int32_t i) const;
    float FitWidthZoom(std::int32_t i) const;
    float FitHeightZoom(std::int32_t i) const;

    /// Sets zoom z on every panel and lays each out again, which re-centres its image.
    void SetZoomAll(float z);
    /// The zoom rule for a newly shown image of w x h pixels (0 x 0 for none) in every panel:
    /// the fit zoom of the first panel when the image does not fit the last panel at zoom 1,
    /// otherwise 1, so a new image is never enlarged. area becomes the layout area.
    void ResetZoom(std::int32_t w, std::int32_t h, const CanvasRect& area);

    /// Moves panel i's window into its image by (dx, dy) image pixels, along an axis only when
    /// the image does not fit the panel along it, and never past the image's first pixel; the
    /// window's last column (row) may reach imageWidth (imageHeight). A positive dx moves the
    /// window toward the image's left edge.
    void ScrollPanel(std::int32_t i, std::int32_t dx, std::int32_t dy);
    /// Brings image point (x, y) to the middle of every panel's window, as far as scrolling
    /// allows. Expects every window centred on its image (right after SetZoomAll).
    void CenterOn(std::int32_t x, std::int32_t y);

    /// The first panel whose panelRect contains p strictly inside its edges; -1 for none.
    std::int32_t PanelAtPoint(CanvasPoint p) const;
    /// True when p lies in the destRect of some panel, edges included.
    bool PanelShowingPoint(CanvasPoint p) const;
    /// The image pixel under window point p in panel i (it may lie outside the image).
    std::optional<CanvasPoint> WindowToImage(std::int32_t i, CanvasPoint p) const;
    /// WindowToImage limited to the image; nothing when panel i does not exist or shows no
    /// image.
    std::optional<CanvasPoint> WindowToImageClamped(std::int32_t i, CanvasPoint p) const;

private:
    CanvasPanel* MutablePanel(std::int32_t i);

    CanvasRect layoutArea_;
    std::int32_t rows_;
    std::int32_t columns_;
    std::vector<CanvasPanel> panels_;  ///< row by row, left to right within a row
};

}  // namespace quarvel
