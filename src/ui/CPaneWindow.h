#pragma once

#include <optional>
#include <string>

#include "engine/FrequencyGeometry.h"
#include "ui/CommandIds.h"
#include "ui/ToolState.h"

namespace quarvel {

/// What a pane of the tabbed view needs of the main window: the current mouse tool, the status
/// bar's cursor position and zoom, the refresh of the commands, and the command table's answer
/// for the pane's own commands. The main window implements it and is handed to each pane when the
/// pane is created.
class CPaneWindow {
public:
    virtual ~CPaneWindow() = default;

    /// The mouse tool a left-button press in a pane uses.
    virtual ToolId CurrentTool() const = 0;
    /// The image pixel under the mouse last reported; x is -1 while the mouse is over no image.
    virtual CursorPoint CursorPosition() const = 0;
    /// Reports the image pixel under the mouse for the status bar.
    virtual void SetCursorPoint(CursorPoint point) = 0;
    /// Reports the frequency of the spectrum element under the mouse for the status bar;
    /// nothing while the mouse is over no spectrum.
    virtual void SetSpectrumFrequency(const std::optional<SpectrumFrequency>& frequency) {
        static_cast<void>(frequency);
    }
    /// Reports the samples of the image pixel under the mouse, at the image's own depth
    /// (SampleText); empty while the mouse is over no image whose samples can be read.
    virtual void SetCursorValue(const std::string& text) { static_cast<void>(text); }
    /// Refreshes the enabled and checked state of every command, after a change that may have
    /// changed what they can do (a selection drawn, for instance).
    virtual void UpdateCommandUI() = 0;
    /// The zoom of a pane changed: the status bar's zoom readout follows.
    virtual void ZoomChanged() {}

    /// The command table's answer for command id in pane: true when pane carries it; status
    /// then says whether it is enabled and checked.
    virtual bool QueryPaneCommand(const CCommandTarget& pane, int id,
                                  CommandStatus& status) const = 0;
    /// Runs command id on pane as the command table says; true when pane carries it.
    virtual bool RunPaneCommand(CCommandTarget& pane, int id) const = 0;
};

}  // namespace quarvel
