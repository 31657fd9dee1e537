#pragma once

namespace quarvel {

/// The program's commands. The numbers are the commands' identifiers; the command table (menu,
/// text, shortcut, prompt, icon, and how each is enabled, checked and run) lives with the main
/// window.
enum CommandId : int {
    ID_FILE_OPEN = 57601,
    ID_FILE_REVERT = 32843,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_BATCH = 32855,
    ID_FILE_SAVE_RECIPE = 32880,
    ID_FILE_APPLY_RECIPE = 32881,
    ID_FILE_MRU_FIRST = 57616,
    ID_APP_EXIT = 57665,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
    ID_EDIT_RESTORE = 32832,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_FFT_LOWPASS = 32772,
    ID_FFT_BANDREJECT = 32779,
    ID_FFT_CLEAR_SELECTION = 32834,
    ID_FFT_DESELECT = 32837,
    ID_FFT_INVERT_SELECTION = 32852,
    ID_FFT_FIND_PERIODIC_NOISE = 32890,
    ID_FFT_CREATE_FINAL = 32811,
    ID_FFT_MIRROR_EDITS = 32871,
    ID_TOOL_PAN_HAND = 32789,
    ID_TOOL_BRUSH = 32812,
    ID_TOOL_ZOOM_IN_OUT = 32790,
    ID_TOOL_ZOOM_WINDOW = 32793,
    ID_TOOL_DYNAMIC_ZOOM = 32794,
    ID_TOOL_SELECTION_RECTANGLE = 32798,
    ID_TOOL_SELECTION_ELLIPSE = 32799,
    ID_TOOL_FREE_HAND = 32800,
    ID_BRUSH_HALF = 32824,
    ID_BRUSH_1X = 32821,
    ID_BRUSH_3_HALVES = 32842,
    ID_BRUSH_2X = 32822,
    ID_BRUSH_3X = 32840,
    ID_BRUSH_4X = 32823,
    ID_OPTIONS_POWER_OF_TWO_SIZE = 32860,
    ID_OPTIONS_EXACT_SIZE = 32861,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_CUSTOMIZE = 126,
    ID_ZOOM_ACTUAL_SIZE = 32801,
    ID_ZOOM_IN = 32802,
    ID_ZOOM_OUT = 32803,
    ID_ZOOM_FIT = 32804,
    ID_ZOOM_FIT_WIDTH = 32805,
    ID_ZOOM_FIT_HEIGHT = 32806,
    ID_VIEW_IMAGE_WINDOW = 32828,
    ID_VIEW_SPECTRUM_WINDOW = 32829,
    ID_VIEW_ORIGINAL = 32781,
    ID_VIEW_PROCESSED = 32783,
    ID_VIEW_ORIGINAL_AND_PROCESSED = 32787,
    ID_VIEW_APPLOOK_FIRST = 205,
    ID_VIEW_APPLOOK_LAST = 219,
    ID_APP_ABOUT = 57664,
    ID_HELP_MANUAL = 32853,
};

/// Whether a command can run now, and whether its menu item and button show a check mark.
struct CommandStatus {
    bool enabled = false;
    bool checked = false;
};

/// Something that carries commands: a pane, the document, the main window, the application. Each
/// row of the command table names the one class of target that carries its command. The main
/// window asks the targets in routing order (active pane, document, main window, application);
/// the first that handles a command answers for it.
class CCommandTarget {
public:
    virtual ~CCommandTarget() = default;

    /// True when this target handles id; status then says whether it is enabled and checked.
    virtual bool QueryCommand(int id, CommandStatus& status) const = 0;
    /// Runs id when this target handles it; true when it did.
    virtual bool RunCommand(int id) = 0;
};

}  // namespace quarvel
