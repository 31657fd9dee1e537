#pragma once

#include <cstdint>

namespace quarvel {

/// A point in window client coordinates or in image pixels, as the context says.
struct CanvasPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const CanvasPoint&) const = default;
};

/// A rectangle given by its edges. In window coordinates right and bottom lie just outside the
/// rectangle (its width is right - left); a panel's sourceRect is described where it is set.
struct CanvasRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }

    bool operator==(const CanvasRect&) const = default;
};

/// One image shown in a pane: its zoom, the rectangle reserved for it in the window, the part
/// of the image it shows and where that part is drawn. A new panel has zoom 1 and no image.
struct CanvasPanel {
    float zoomX = 1.0f;  ///< always equal to zoomY; the panel's zoom is the smaller of the two
    float zoomY = 1.0f;
    CanvasRect panelRect;   ///< window client coordinates
    CanvasRect sourceRect;  ///< image pixels; right and bottom are the last column and row shown
    CanvasRect destRect;    ///< window client coordinates
    std::int32_t imageWidth = 0;  ///< 0 when the panel has no image
    std::int32_t imageHeight = 0;

    bool HasImage() const { return imageWidth != 0 && imageHeight != 0; }
};

}  // namespace quarvel
