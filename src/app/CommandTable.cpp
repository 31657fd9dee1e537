#include "app/CommandTable.h"

#include <array>

#include "ui/CommandIds.h"

namespace quarvel {

namespace {

using H = CommandHandler;

constexpr CommandInfo Separator(const char* menuPath) {
    return CommandInfo{0, menuPath, "", "", "", "", H::None, false};
}

constexpr const char* kFile = "&File";
constexpr const char* kEdit = "&Edit";
constexpr const char* kFft = "&FFT";
constexpr const char* kTools = "&Tools";
constexpr const char* kBrushSize = "&Options/Brus&h Size";
constexpr const char* kView = "&View";
constexpr const char* kToolbars = "&View/&Toolbars and Docking Windows";
constexpr const char* kZoom = "&View/&Zoom";
constexpr const char* kLooks = "&View/&Application Look";
constexpr const char* kOffice2007 = "&View/&Application Look/Office 200&7";
constexpr const char* kHelp = "&Help";
constexpr const char* kNoMenu = "";

// clang-format off
constexpr std::array kCommands = {
    CommandInfo{ID_FILE_OPEN, kFile, "&Open...", "Ctrl+O", "Open an existing document", "Open", H::Application, false},
    CommandInfo{ID_FILE_REVERT, kFile, "&Revert", "Ctrl+R", "Revert the document to the last opened version", "Revert", H::Document, false},
    CommandInfo{ID_FILE_SAVE, kFile, "&Save", "Ctrl+S", "Save the active document", "Save", H::Document, false},
    CommandInfo{ID_FILE_SAVE_AS, kFile, "Save &As...", "", "Save the active document with a new name", "Save As", H::Document, false},
    Separator(kFile),
    CommandInfo{ID_FILE_BATCH, kFile, "&Batch Processing...", "", "Filter all the files within a folder", "Batch Processing", H::Application, false},
    Separator(kFile),
    // One row for the six entries of the recent-file list (ids ID_FILE_MRU_FIRST to + 5).
    CommandInfo{ID_FILE_MRU_FIRST, kFile, "Recent File", "", "Open this document", "", H::MainFrame, false},
    Separator(kFile),
    CommandInfo{ID_APP_EXIT, kFile, "E&xit", "", "Quit the application", "Exit", H::MainFrame, false},

    CommandInfo{ID_EDIT_UNDO, kEdit, "&Undo", "Ctrl+Z;Alt+Backspace", "Undo the last action", "Undo", H::Document, false},
    CommandInfo{ID_EDIT_REDO, kEdit, "&Redo", "Ctrl+Y", "Redo the previously undone action", "Redo", H::Document, false},
    CommandInfo{ID_EDIT_RESTORE, kEdit, "Restore &Power Spectrum", "", "Restore the power spectrum in its initial values", "Restore Power Spectrum", H::Document, false},
    Separator(kEdit),
    CommandInfo{ID_EDIT_COPY, kEdit, "&Copy", "Ctrl+C;Ctrl+Insert", "Copy the document and put it on the Clipboard", "Copy", H::Document, false},
    CommandInfo{ID_EDIT_CUT, kNoMenu, "Cu&t", "Ctrl+X", "Cut the selection and put it on the Clipboard", "Cut", H::None, false},
    CommandInfo{ID_EDIT_PASTE, kNoMenu, "&Paste", "Ctrl+V", "Insert Clipboard contents", "Paste", H::None, false},

    CommandInfo{ID_FFT_LOWPASS, kFft, "Design &Low-Pass Filter..", "", "Design a convolution low-pass filter", "Design Low-Pass Filter", H::Document, false},
    CommandInfo{ID_FFT_BANDREJECT, kFft, "Design Band-&Reject Filter...", "", "Design a convolution band-reject filter", "Design Band-Reject Filter", H::Document, false},
    Separator(kFft),
    CommandInfo{ID_FFT_CLEAR_SELECTION, kFft, "Clear &Selected Area", "Delete", "Fill with zeros the selected area of the power spectrum", "Clear Selected Area", H::SpectrumPane, false},
    CommandInfo{ID_FFT_DESELECT, kFft, "&Deselect", "Ctrl+D", "Deselect the selected area", "Deselect", H::BothPanes, false},
    CommandInfo{ID_FFT_INVERT_SELECTION, kFft, "In&vert Selection", "", "Invert the current selection area", "Invert", H::BothPanes, false},
    Separator(kFft),
    CommandInfo{ID_FFT_CREATE_FINAL, kFft, "&Create Final Image", "", "Apply the power spectrum modifications and create the final image", "Create Final Image", H::Document, false},

    CommandInfo{ID_TOOL_PAN_HAND, kTools, "&Pan Hand", "", "Select the pan-hand tool", "Pan Hand", H::Application, true},
    CommandInfo{ID_TOOL_BRUSH, kTools, "&Brush", "", "Select the brush tool", "Brush", H::Application, true},
    Separator(kTools),
    CommandInfo{ID_TOOL_ZOOM_IN_OUT, kTools, "&Zoom In/Out", "", "Select the zoom in and out tool", "Zoom In/Out", H::Application, true},
    CommandInfo{ID_TOOL_ZOOM_WINDOW, kTools, "Zoom &Window", "", "Select the zoom window tool", "Zoom Window", H::Application, true},
    CommandInfo{ID_TOOL_DYNAMIC_ZOOM, kTools, "&Dynamic Zoom", "", "Select the dynamic zoom tool", "Zoom Dynamic", H::Application, true},
    Separator(kTools),
    CommandInfo{ID_TOOL_SELECTION_RECTANGLE, kTools, "Selection &Rectangle", "", "Select the selection rectangle tool", "Selection Rectangle", H::Application, true},
    CommandInfo{ID_TOOL_SELECTION_ELLIPSE, kTools, "Selection &Ellipse", "", "Select the selection ellipse tool", "Selection Ellipse", H::Application, true},
    CommandInfo{ID_TOOL_FREE_HAND, kTools, "&Free Hand Selection", "", "Select the free-hand selection tool", "Free Hand Selection", H::Application, true},

    CommandInfo{ID_BRUSH_HALF, kBrushSize, "&1:  1/2x", "", "Select the 1/2x brush size", "Brush Size 1/2x", H::SpectrumPane, true},
    CommandInfo{ID_BRUSH_1X, kBrushSize, "&2:  1x", "", "Select the 1x brush size", "Brush Size 1x", H::SpectrumPane, true},
    CommandInfo{ID_BRUSH_3_HALVES, kBrushSize, "&3:  3/2x", "", "Select the 3/2x brush size", "Brush Size 3/2x", H::SpectrumPane, true},
    CommandInfo{ID_BRUSH_2X, kBrushSize, "&4:  2x", "", "Select the 2x brush size", "Brush Size 2x", H::SpectrumPane, true},
    CommandInfo{ID_BRUSH_3X, kBrushSize, "&5:  3x", "", "Select the 3x brush size", "Brush Size 3x", H::SpectrumPane, true},
    CommandInfo{ID_BRUSH_4X, kBrushSize, "&6:  4x", "", "Select the 4x brush size", "Brush Size 4x", H::SpectrumPane, true},

    CommandInfo{ID_VIEW_TOOLBAR, kToolbars, "Standard", "", "Show or hide the toolbar", "Toggle ToolBar", H::MainFrame, true},
    CommandInfo{ID_VIEW_STATUS_BAR, kView, "&Status Bar", "", "Show or hide the status bar", "Toggle Status Bar", H::MainFrame, true},
    Separator(kView),
    CommandInfo{ID_ZOOM_ACTUAL_SIZE, kZoom, "A&ctual Size", "F9", "View the image in its actual size", "Actual Size", H::BothPanes, false},
    Separator(kZoom),
    CommandInfo{ID_ZOOM_IN, kZoom, "Zoom &In", "", "Increase the apparent size of the image ", "Zoom In", H::BothPanes, false},
    CommandInfo{ID_ZOOM_OUT, kZoom, "Zoom &Out", "", "Decrease the apparent size of the image ", "Zoom Out", H::BothPanes, false},
    Separator(kZoom),
    CommandInfo{ID_ZOOM_FIT, kZoom, "&Fit On Screen", "F8", "Zoom the current image to fit the window size", "Fit On Screen", H::BothPanes, false},
    CommandInfo{ID_ZOOM_FIT_WIDTH, kZoom, "Fit &Width", "", "Zoom the current image to fit the window width", "Fit Width", H::BothPanes, false},
    CommandInfo{ID_ZOOM_FIT_HEIGHT, kZoom, "Fit &Height", "", "Zoom the current image to fit the window height", "Fit Height", H::BothPanes, false},
    Separator(kView),
    CommandInfo{ID_VIEW_IMAGE_WINDOW, kView, "Image &Window", "", "View the image window", "Image Window", H::Document, true},
    CommandInfo{ID_VIEW_SPECTRUM_WINDOW, kView, "Power &Spectrum Window", "", "View the power spectrum window", "Power Spectrum Window", H::Document, true},
    Separator(kView),
    CommandInfo{ID_VIEW_ORIGINAL, kView, "&Original Image", "", "Display in the main window the original image only", "Original Image", H::ImagePane, true},
    CommandInfo{ID_VIEW_PROCESSED, kView, "&Processed Image", "", "Display in the main window the processed image only", "Processed Image", H::ImagePane, true},
    CommandInfo{ID_VIEW_ORIGINAL_AND_PROCESSED, kView, "Original A&nd Processed Image", "", "Display in the main window both the original and processed images", "Original And Processed Image", H::ImagePane, true},
    Separator(kView),
    CommandInfo{205, kLooks, "Windows &2000", "", "Use the Windows 2000 look", "Windows 2000", H::MainFrame, true},
    CommandInfo{206, kLooks, "Office &XP", "", "Use the Office XP look", "Office XP", H::MainFrame, true},
    CommandInfo{207, kLooks, "&Windows XP", "", "Use the Windows XP look", "Windows XP", H::MainFrame, true},
    CommandInfo{208, kLooks, "Office 200&3", "", "Use the Office 2003 look", "Office 2003", H::MainFrame, true},
    CommandInfo{209, kLooks, "Visual Studio 200&5", "", "Use the Visual Studio 2005 look", "Visual Studio 2005", H::MainFrame, true},
    CommandInfo{210, kLooks, "Visual Studio 200&8", "", "Use the Visual Studio 2008 look", "Visual Studio 2008", H::MainFrame, true},
    CommandInfo{215, kOffice2007, "&Blue Style", "", "Use the blue Office 2007 look", "Blue Style", H::MainFrame, true},
    CommandInfo{216, kOffice2007, "B&lack Style", "", "Use the black Office 2007 look", "Black Style", H::MainFrame, true},
    CommandInfo{217, kOffice2007, "&Silver Style", "", "Use the silver Office 2007 look", "Silver Style", H::MainFrame, true},
    CommandInfo{218, kOffice2007, "&Aqua Style", "", "Use the aqua Office 2007 look", "Aqua Style", H::MainFrame, true},
    CommandInfo{219, kNoMenu, "Windows &7", "", "Use the Windows 7 look", "Windows 7", H::MainFrame, true},

    CommandInfo{ID_APP_ABOUT, kHelp, "&About FFT Quarvel...", "", "Display program information, version number and copyright", "About", H::Application, false},
    CommandInfo{ID_HELP_MANUAL, kHelp, "&Manual", "", "Open the manual of the program", "Manual", H::Application, false},
};

constexpr std::array kStandardToolBar = {
    int{ID_FILE_OPEN}, int{ID_FILE_SAVE}, 0,
    int{ID_EDIT_UNDO}, int{ID_EDIT_REDO}, 0,
    int{ID_ZOOM_ACTUAL_SIZE}, int{ID_ZOOM_FIT}, 0,
    int{ID_TOOL_PAN_HAND}, int{ID_TOOL_ZOOM_IN_OUT}, int{ID_TOOL_ZOOM_WINDOW}, int{ID_TOOL_DYNAMIC_ZOOM}, 0,
    int{ID_TOOL_BRUSH}, int{ID_TOOL_SELECTION_RECTANGLE}, int{ID_TOOL_SELECTION_ELLIPSE}, int{ID_TOOL_FREE_HAND}, 0,
    int{ID_APP_ABOUT},
};

constexpr std::array kEditContextMenu = {int{ID_EDIT_CUT}, int{ID_EDIT_COPY}, int{ID_EDIT_PASTE}};
// clang-format on

}  // namespace

std::span<const CommandInfo> CommandTable() {
    return kCommands;
}

const CommandInfo* FindCommand(int id) {
    for (const CommandInfo& command : kCommands) {
        if (command.id == id && id != 0) {
            return &command;
        }
    }
    return nullptr;
}

std::span<const int> StandardToolBarCommands() {
    return kStandardToolBar;
}

std::span<const int> EditContextMenuCommands() {
    return kEditContextMenu;
}

}  // namespace quarvel
