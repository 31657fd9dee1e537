#pragma once

#include "ui/ToolState.h"

namespace quarvel {

/// What a pane of the tabbed view needs of the main window: the current mouse tool, the status
/// bar's cursor position and the refresh of the commands. The main window implements it and is
/// handed to each pane when the pane is created.
class CPaneWindow {
public:
    virtual ~CPaneWindow() = default;

    /// The mouse tool a left-button press in a pane uses.
    virtual ToolId CurrentTool() const = 0;
    /// The image pixel under the mouse last reported; x is -1 while the mouse is over no image.
    virtual CursorPoint CursorPosition() const = 0;
    /// Reports the image pixel under the mouse for the status bar.
    virtual void SetCursorPoint(CursorPoint point) = 0;
    /// Refreshes the enabled and checked state of every command, after a change that may have
    /// changed what they can do (a selection drawn, for instance).
    virtual void UpdateCommandUI() = 0;
};

}  // namespace quarvel
