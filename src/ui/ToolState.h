#pragma once

#include <cstdint>

namespace quarvel {

/// The mouse tool that decides what a left-button press in either pane does. The application
/// holds the current one; the panes ask their window for it at each press.
enum ToolId : std::int32_t {
    ToolPanHand = 1,
    ToolBrush = 2,
    ToolSelectionRectangle = 3,
    ToolZoomInOut = 5,
    ToolZoomWindow = 6,
    ToolDynamicZoom = 7,
    ToolSelectionEllipse = 8,
    ToolFreeHandSelection = 9,
};

/// The image pixel under the mouse, shown in the status bar while neither coordinate is -1.
struct CursorPoint {
    std::int32_t x = -1;
    std::int32_t y = -1;
};

}  // namespace quarvel
