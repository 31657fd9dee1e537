#include "app/CommandTable.h"

#include <array>
#include <cstdint>
#include <type_traits>
#include <vector>

#include <QStatusBar>
#include <QToolBar>

#include "app/CFFTQuarvelApp.h"
#include "app/CFFTQuarvelDoc.h"
#include "app/CFFTQuarvelView.h"
#include "app/CMainFrame.h"
#include "app/CommandIcons.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel {

namespace {

using App = CFFTQuarvelApp;
using Doc = CFFTQuarvelDoc;
using Frame = CMainFrame;

/// The check mark of a command that shows none.
struct Unchecked {};
constexpr Unchecked kNoCheck;

/// Calls function on target, with the command id too when it takes one.
template <class Function, class Target>
auto Call(const Function& function, Target& target, int id) {
    if constexpr (std::is_invocable_v<const Function&, Target&, int>) {
        return std::invoke(function, target, id);
    } else {
        return std::invoke(function, target);
    }
}

/// The handler of a command carried by Target: enabled and checked tell its status (checked is
/// kNoCheck for a command without a check mark), run runs it. Each takes the target, and the
/// command id when it needs it.
template <class Target, class Enabled, class Checked, class Run>
CommandHandler On(Enabled enabled, Checked checked, Run run) {
    constexpr bool checkable = !std::is_same_v<Checked, Unchecked>;
    CommandHandler handler;
    handler.checkable = checkable;
    handler.query = [enabled, checked](const CCommandTarget& target,
                                       int id) -> std::optional<CommandStatus> {
        const auto* carrier = dynamic_cast<const Target*>(&target);
        if (carrier == nullptr) {
            return std::nullopt;
        }
        CommandStatus status;
        status.enabled = Call(enabled, *carrier, id);
        if constexpr (checkable) {
            status.checked = Call(checked, *carrier, id);
        }
        return status;
    };
    handler.run = [run](CCommandTarget& target, int id) {
        auto* carrier = dynamic_cast<Target*>(&target);
        if (carrier == nullptr) {
            return false;
        }
        Call(run, *carrier, id);
        return true;
    };
    return handler;
}

bool Always(const CCommandTarget&) {
    return true;
}

bool HasImage(const Doc& doc) {
    return doc.originalImage != nullptr;
}

bool CanUndo(const Doc& doc) {
    return doc.currentIndex > 0;
}

bool CanRedo(const Doc& doc) {
    return !doc.states.empty() && doc.currentIndex < doc.states.size() - 1;
}

bool HasCurrentImage(const Doc& doc) {
    const ProcState* current = doc.CurrentState();
    return current != nullptr && current->image != nullptr;
}

/// A filter needs spectra to act on: the pending edits, or else the current state.
bool HasSpectraToFilter(const Doc& doc) {
    const ProcState* target =
        doc.workingState != nullptr ? doc.workingState.get() : doc.CurrentState();
    return target != nullptr && target->workImage != nullptr;
}

bool HasRecordedSteps(const Doc& doc) {
    const ProcState* active = doc.ActiveState();
    return active != nullptr && !active->steps.empty();
}

bool HasEdits(const Doc& doc) {
    return doc.workingState != nullptr;
}

bool ImageTabShown(const Doc& doc) {
    const CFFTQuarvelView* view = doc.GetTabView();
    return view != nullptr && view->activeTab == 0;
}

bool SpectrumTabShown(const Doc& doc) {
    const CFFTQuarvelView* view = doc.GetTabView();
    return view != nullptr && view->activeTab == 1;
}

/// Restore Power Spectrum drops the pending edits from the power spectrum tab.
bool CanRestore(const Doc& doc) {
    return SpectrumTabShown(doc) && doc.workingState != nullptr;
}

bool HasRecentFile(const Frame& frame, int id) {
    return id - ID_FILE_MRU_FIRST < frame.RecentFiles().size();
}

void OpenRecentFile(Frame& frame, int id) {
    frame.OpenRecentFile(id - ID_FILE_MRU_FIRST);
}

bool ToolBarShown(const Frame& frame) {
    return !frame.StandardToolBar()->isHidden();
}

void ToggleToolBar(Frame& frame) {
    frame.StandardToolBar()->setVisible(frame.StandardToolBar()->isHidden());
}

bool StatusBarShown(const Frame& frame) {
    return !frame.statusBar()->isHidden();
}

void ToggleStatusBar(Frame& frame) {
    frame.statusBar()->setVisible(frame.statusBar()->isHidden());
}

/// A mouse tool: checked while it is the application's current tool.
CommandHandler UseTool(ToolId tool) {
    return On<App>(
        Always, [tool](const App& app) { return app.currentTool == tool; },
        [tool](App& app) { app.currentTool = tool; });
}

/// An application look, checked while it is the current one.
CommandHandler Look() {
    return On<Frame>(
        Always, [](const Frame& frame, int id) { return frame.AppLook() == id; },
        [](Frame& frame, int id) { frame.ChooseLook(id); });
}

/// Entry (1 to 6) of the Brush Size menu of the power spectrum pane.
CommandHandler BrushSize(std::uint8_t entry) {
    return On<CPowerSpectrumView>(
        Always, [entry](const CPowerSpectrumView& pane) { return pane.brushSizeIndex == entry; },
        [entry](CPowerSpectrumView& pane) { pane.SetBrushSizeEntry(entry); });
}

/// A transform size of the images opened from now on, checked while it is the document's.
CommandHandler SizeOfTransform(TransformSize size) {
    return On<Doc>(
        Always, [size](const Doc& doc) { return doc.transformSize == size; },
        [size](Doc& doc) { doc.SetTransformSize(size); });
}

/// A zoom command of either pane, enabled while the pane has an image to show.
CommandHandler Zoom(void (CPaneBase::*zoom)()) {
    return On<CPaneBase>(&CPaneBase::HasImageToShow, kNoCheck, zoom);
}

/// A display mode of the image pane, enabled while the pane has the images it shows.
CommandHandler Show(CImageView::DisplayMode mode) {
    return On<CImageView>(
        [mode](const CImageView& pane) { return pane.CanShow(mode); },
        [mode](const CImageView& pane) { return pane.CanShow(mode) && pane.Mode() == mode; },
        [mode](CImageView& pane) { pane.SetDisplayMode(mode); });
}

CommandInfo Separator(const char* menuPath) {
    return CommandInfo{0, menuPath, "", "", "", "", nullptr, {}};
}

constexpr const char* kFile = "&File";
constexpr const char* kEdit = "&Edit";
constexpr const char* kFft = "&FFT";
constexpr const char* kTools = "&Tools";
constexpr const char* kBrushSize = "&Options/Brus&h Size";
constexpr const char* kTransformSize = "&Options/&Transform Size";
constexpr const char* kView = "&View";
constexpr const char* kToolbars = "&View/&Toolbars and Docking Windows";
constexpr const char* kZoom = "&View/&Zoom";
constexpr const char* kLooks = "&View/&Application Look";
constexpr const char* kOffice2007 = "&View/&Application Look/Office 200&7";
constexpr const char* kHelp = "&Help";
constexpr const char* kNoMenu = "";

// clang-format off
const std::vector<CommandInfo>& Commands() {
    static const std::vector<CommandInfo> commands = {
        {ID_FILE_OPEN, kFile, "&Open...", "Ctrl+O", "Open an existing document", "Open", OpenIcon,
         On<App>(Always, kNoCheck, &App::OnFileOpen)},
        {ID_FILE_REVERT, kFile, "&Revert", "Ctrl+R", "Revert the document to the last opened version", "Revert", RevertIcon,
         On<Doc>(HasImage, kNoCheck, &Doc::OnFileRevert)},
        {ID_FILE_SAVE, kFile, "&Save", "Ctrl+S", "Save the active document", "Save", SaveIcon,
         On<Doc>(HasImage, kNoCheck, &Doc::OnFileSave)},
        {ID_FILE_SAVE_AS, kFile, "Save &As...", "", "Save the active document with a new name", "Save As", nullptr,
         On<Doc>(HasImage, kNoCheck, &Doc::OnFileSaveAs)},
        Separator(kFile),
        {ID_FILE_SAVE_RECIPE, kFile, "Save Edits as Re&cipe...", "", "Save the edits and filters that made the shown spectra as a recipe file", "Save Edits as Recipe", nullptr,
         On<Doc>(HasRecordedSteps, kNoCheck, &Doc::OnSaveRecipe)},
        {ID_FILE_APPLY_RECIPE, kFile, "A&pply Recipe...", "", "Replay the steps of a recipe file on the image and create the final image", "Apply Recipe", nullptr,
         On<Doc>(HasImage, kNoCheck, &Doc::OnApplyRecipe)},
        Separator(kFile),
        {ID_FILE_BATCH, kFile, "&Batch Processing...", "", "Filter all the files within a folder", "Batch Processing", nullptr,
         On<App>(Always, kNoCheck, &App::OnFileBatch)},
        Separator(kFile),
        // One row for the six entries of the recent-file list (ids ID_FILE_MRU_FIRST to + 5).
        {ID_FILE_MRU_FIRST, kFile, "Recent File", "", "Open this document", "", nullptr,
         On<Frame>(HasRecentFile, kNoCheck, OpenRecentFile), CMainFrame::kRecentFileCount},
        Separator(kFile),
        {ID_APP_EXIT, kFile, "E&xit", "", "Quit the application", "Exit", nullptr,
         On<Frame>(Always, kNoCheck, [](Frame& f) { f.close(); })},

        {ID_EDIT_UNDO, kEdit, "&Undo", "Ctrl+Z;Alt+Backspace", "Undo the last action", "Undo", UndoIcon,
         On<Doc>(CanUndo, kNoCheck, &Doc::OnEditUndo)},
        {ID_EDIT_REDO, kEdit, "&Redo", "Ctrl+Y", "Redo the previously undone action", "Redo", RedoIcon,
         On<Doc>(CanRedo, kNoCheck, &Doc::OnEditRedo)},
        {ID_EDIT_RESTORE, kEdit, "Restore &Power Spectrum", "", "Restore the power spectrum in its initial values", "Restore Power Spectrum", nullptr,
         On<Doc>(CanRestore, kNoCheck, &Doc::OnEditRestore)},
        Separator(kEdit),
        {ID_EDIT_COPY, kEdit, "&Copy", "Ctrl+C;Ctrl+Insert", "Copy the document and put it on the Clipboard", "Copy", CopyIcon,
         On<Doc>(HasCurrentImage, kNoCheck, &Doc::OnEditCopy)},
        {ID_EDIT_CUT, kNoMenu, "Cu&t", "Ctrl+X", "Cut the selection and put it on the Clipboard", "Cut", nullptr, {}},
        {ID_EDIT_PASTE, kNoMenu, "&Paste", "Ctrl+V", "Insert Clipboard contents", "Paste", nullptr, {}},

        {ID_FFT_LOWPASS, kFft, "Design &Low-Pass Filter..", "", "Design a convolution low-pass filter", "Design Low-Pass Filter", nullptr,
         On<Doc>(HasSpectraToFilter, kNoCheck, [](Doc& d) { d.OnDesignFilter(FilterKind::LowPass); })},
        {ID_FFT_BANDREJECT, kFft, "Design Band-&Reject Filter...", "", "Design a convolution band-reject filter", "Design Band-Reject Filter", nullptr,
         On<Doc>(HasSpectraToFilter, kNoCheck, [](Doc& d) { d.OnDesignFilter(FilterKind::BandReject); })},
        Separator(kFft),
        {ID_FFT_FIND_PERIODIC_NOISE, kFft, "Find &Periodic Noise", "", "Select the spikes of periodic noise in the power spectrum of every ticked channel", "Find Periodic Noise", nullptr,
         On<CPowerSpectrumView>(&CPowerSpectrumView::HasImageToShow, kNoCheck, &CPowerSpectrumView::FindPeriodicNoise)},
        {ID_FFT_CLEAR_SELECTION, kFft, "Clear &Selected Area", "Delete", "Fill with zeros the selected area of the power spectrum", "Clear Selected Area", nullptr,
         On<CPowerSpectrumView>(&CPowerSpectrumView::HasSelection, kNoCheck, &CPowerSpectrumView::ClearSelectedArea)},
        {ID_FFT_DESELECT, kFft, "&Deselect", "Ctrl+D", "Deselect the selected area", "Deselect", nullptr,
         On<CSelectionPane>(&CSelectionPane::HasSelection, kNoCheck, &CSelectionPane::Deselect)},
        {ID_FFT_INVERT_SELECTION, kFft, "In&vert Selection", "", "Invert the current selection area", "Invert", nullptr,
         On<CSelectionPane>(&CSelectionPane::CanInvertSelection, kNoCheck, &CSelectionPane::InvertSelection)},
        {ID_FFT_MIRROR_EDITS, kFft, "&Mirror Edits", "", "Clear the point-mirrored twin of every brush stamp and cleared selection as well", "Mirror Edits", MirrorEditsIcon,
         On<Doc>(Always, [](const Doc& d) { return d.mirrorEdits; }, [](Doc& d) { d.SetMirrorEdits(!d.mirrorEdits); })},
        Separator(kFft),
        {ID_FFT_CREATE_FINAL, kFft, "&Create Final Image", "", "Apply the power spectrum modifications and create the final image", "Create Final Image", nullptr,
         On<Doc>(HasEdits, kNoCheck, &Doc::OnCreateFinalImage)},

        {ID_TOOL_PAN_HAND, kTools, "&Pan Hand", "", "Select the pan-hand tool", "Pan Hand", PanHandIcon,
         UseTool(ToolPanHand)},
        {ID_TOOL_BRUSH, kTools, "&Brush", "", "Select the brush tool", "Brush", BrushIcon,
         UseTool(ToolBrush)},
        Separator(kTools),
        {ID_TOOL_ZOOM_IN_OUT, kTools, "&Zoom In/Out", "", "Select the zoom in and out tool", "Zoom In/Out", ZoomInOutIcon,
         UseTool(ToolZoomInOut)},
        {ID_TOOL_ZOOM_WINDOW, kTools, "Zoom &Window", "", "Select the zoom window tool", "Zoom Window", ZoomWindowIcon,
         UseTool(ToolZoomWindow)},
        {ID_TOOL_DYNAMIC_ZOOM, kTools, "&Dynamic Zoom", "", "Select the dynamic zoom tool", "Zoom Dynamic", DynamicZoomIcon,
         UseTool(ToolDynamicZoom)},
        Separator(kTools),
        {ID_TOOL_SELECTION_RECTANGLE, kTools, "Selection &Rectangle", "", "Select the selection rectangle tool", "Selection Rectangle", SelectionRectangleIcon,
         UseTool(ToolSelectionRectangle)},
        {ID_TOOL_SELECTION_ELLIPSE, kTools, "Selection &Ellipse", "", "Select the selection ellipse tool", "Selection Ellipse", SelectionEllipseIcon,
         UseTool(ToolSelectionEllipse)},
        {ID_TOOL_FREE_HAND, kTools, "&Free Hand Selection", "", "Select the free-hand selection tool", "Free Hand Selection", FreeHandIcon,
         UseTool(ToolFreeHandSelection)},

        {ID_BRUSH_HALF, kBrushSize, "&1:  1/2x", "", "Select the 1/2x brush size", "Brush Size 1/2x", nullptr,
         BrushSize(1)},
        {ID_BRUSH_1X, kBrushSize, "&2:  1x", "", "Select the 1x brush size", "Brush Size 1x", nullptr,
         BrushSize(2)},
        {ID_BRUSH_3_HALVES, kBrushSize, "&3:  3/2x", "", "Select the 3/2x brush size", "Brush Size 3/2x", nullptr,
         BrushSize(3)},
        {ID_BRUSH_2X, kBrushSize, "&4:  2x", "", "Select the 2x brush size", "Brush Size 2x", nullptr,
         BrushSize(4)},
        {ID_BRUSH_3X, kBrushSize, "&5:  3x", "", "Select the 3x brush size", "Brush Size 3x", nullptr,
         BrushSize(5)},
        {ID_BRUSH_4X, kBrushSize, "&6:  4x", "", "Select the 4x brush size", "Brush Size 4x", nullptr,
         BrushSize(6)},
        {ID_OPTIONS_POWER_OF_TWO_SIZE, kTransformSize, "&Power of Two", "", "Transform the images opened from now on at the next power of two in each direction", "Power-of-Two Transform", nullptr,
         SizeOfTransform(TransformSize::PowerOfTwo)},
        {ID_OPTIONS_EXACT_SIZE, kTransformSize, "&Exact (Image Size)", "", "Transform the images opened from now on at their own size, so that what is not edited comes back unchanged", "Exact-Size Transform", nullptr,
         SizeOfTransform(TransformSize::Exact)},

        {ID_VIEW_TOOLBAR, kToolbars, "Standard", "", "Show or hide the toolbar", "Toggle ToolBar", nullptr,
         On<Frame>(Always, ToolBarShown, ToggleToolBar)},
        Separator(kToolbars),
        {ID_VIEW_CUSTOMIZE, kToolbars, "&Customize...", "", "Choose and order the commands of the toolbars, and make toolbars of your own", "Customize", nullptr,
         On<Frame>(Always, kNoCheck, &Frame::OnCustomize)},
        {ID_VIEW_STATUS_BAR, kView, "&Status Bar", "", "Show or hide the status bar", "Toggle Status Bar", nullptr,
         On<Frame>(Always, StatusBarShown, ToggleStatusBar)},
        Separator(kView),
        {ID_ZOOM_ACTUAL_SIZE, kZoom, "A&ctual Size", "F9", "View the image in its actual size", "Actual Size", ActualSizeIcon,
         Zoom(&CPaneBase::ZoomActualSize)},
        Separator(kZoom),
        {ID_ZOOM_IN, kZoom, "Zoom &In", "", "Increase the apparent size of the image ", "Zoom In", nullptr,
         Zoom(&CPaneBase::ZoomIn)},
        {ID_ZOOM_OUT, kZoom, "Zoom &Out", "", "Decrease the apparent size of the image ", "Zoom Out", nullptr,
         Zoom(&CPaneBase::ZoomOut)},
        Separator(kZoom),
        {ID_ZOOM_FIT, kZoom, "&Fit On Screen", "F8", "Zoom the current image to fit the window size", "Fit On Screen", FitOnScreenIcon,
         Zoom(&CPaneBase::ZoomFit)},
        {ID_ZOOM_FIT_WIDTH, kZoom, "Fit &Width", "", "Zoom the current image to fit the window width", "Fit Width", nullptr,
         Zoom(&CPaneBase::ZoomFitWidth)},
        {ID_ZOOM_FIT_HEIGHT, kZoom, "Fit &Height", "", "Zoom the current image to fit the window height", "Fit Height", nullptr,
         Zoom(&CPaneBase::ZoomFitHeight)},
        Separator(kView),
        {ID_VIEW_IMAGE_WINDOW, kView, "Image &Window", "", "View the image window", "Image Window", ImageWindowIcon,
         On<Doc>(Always, ImageTabShown, &Doc::OnViewImageWindow)},
        {ID_VIEW_SPECTRUM_WINDOW, kView, "Power &Spectrum Window", "", "View the power spectrum window", "Power Spectrum Window", SpectrumWindowIcon,
         On<Doc>(Always, SpectrumTabShown, &Doc::OnViewSpectrumWindow)},
        Separator(kView),
        {ID_VIEW_ORIGINAL, kView, "&Original Image", "", "Display in the main window the original image only", "Original Image", nullptr,
         Show(CImageView::DisplayMode::Original)},
        {ID_VIEW_PROCESSED, kView, "&Processed Image", "", "Display in the main window the processed image only", "Processed Image", nullptr,
         Show(CImageView::DisplayMode::Processed)},
        {ID_VIEW_ORIGINAL_AND_PROCESSED, kView, "Original A&nd Processed Image", "", "Display in the main window both the original and processed images", "Original And Processed Image", nullptr,
         Show(CImageView::DisplayMode::OriginalAndProcessed)},
        Separator(kView),
        {205, kLooks, "Windows &2000", "", "Use the Windows 2000 look", "Windows 2000", nullptr,
         Look()},
        {206, kLooks, "Office &XP", "", "Use the Office XP look", "Office XP", nullptr,
         Look()},
        {207, kLooks, "&Windows XP", "", "Use the Windows XP look", "Windows XP", nullptr,
         Look()},
        {208, kLooks, "Office 200&3", "", "Use the Office 2003 look", "Office 2003", nullptr,
         Look()},
        {209, kLooks, "Visual Studio 200&5", "", "Use the Visual Studio 2005 look", "Visual Studio 2005", nullptr,
         Look()},
        {210, kLooks, "Visual Studio 200&8", "", "Use the Visual Studio 2008 look", "Visual Studio 2008", nullptr,
         Look()},
        {215, kOffice2007, "&Blue Style", "", "Use the blue Office 2007 look", "Blue Style", nullptr,
         Look()},
        {216, kOffice2007, "B&lack Style", "", "Use the black Office 2007 look", "Black Style", nullptr,
         Look()},
        {217, kOffice2007, "&Silver Style", "", "Use the silver Office 2007 look", "Silver Style", nullptr,
         Look()},
        {218, kOffice2007, "&Aqua Style", "", "Use the aqua Office 2007 look", "Aqua Style", nullptr,
         Look()},
        {219, kNoMenu, "Windows &7", "", "Use the Windows 7 look", "Windows 7", nullptr,
         Look()},

        {ID_APP_ABOUT, kHelp, "&About FFT Quarvel...", "", "Display program information, version number and copyright", "About", AboutIcon,
         On<App>(Always, kNoCheck, &App::OnAppAbout)},
        {ID_HELP_MANUAL, kHelp, "&Manual", "", "Open the manual of the program", "Manual", ManualIcon,
         On<App>(Always, kNoCheck, &App::OnHelpManual)},
    };
    return commands;
}

constexpr std::array kStandardToolBar = {
    int{ID_FILE_OPEN}, int{ID_FILE_SAVE}, 0,
    int{ID_EDIT_UNDO}, int{ID_EDIT_REDO}, 0,
    int{ID_ZOOM_ACTUAL_SIZE}, int{ID_ZOOM_FIT}, 0,
    int{ID_TOOL_PAN_HAND}, int{ID_TOOL_ZOOM_IN_OUT}, int{ID_TOOL_ZOOM_WINDOW}, int{ID_TOOL_DYNAMIC_ZOOM}, 0,
    int{ID_TOOL_BRUSH}, int{ID_TOOL_SELECTION_RECTANGLE}, int{ID_TOOL_SELECTION_ELLIPSE}, int{ID_TOOL_FREE_HAND}, int{ID_FFT_MIRROR_EDITS}, 0,
    int{ID_APP_ABOUT},
};

constexpr std::array kEditContextMenu = {int{ID_EDIT_CUT}, int{ID_EDIT_COPY}, int{ID_EDIT_PASTE}};
// clang-format on

}  // namespace

std::span<const CommandInfo> CommandTable() {
    return Commands();
}

const CommandInfo* FindCommand(int id) {
    if (id == 0) {
        return nullptr;
    }
    for (const CommandInfo& command : Commands()) {
        if (id >= command.id && id < command.id + command.idCount) {
            return &command;
        }
    }
    return nullptr;
}

bool QueryTargetCommand(const CCommandTarget& target, int id, CommandStatus& status) {
    const CommandInfo* command = FindCommand(id);
    if (command == nullptr || !command->handler.query) {
        return false;
    }
    const std::optional<CommandStatus> answer = command->handler.query(target, id);
    if (!answer) {
        return false;
    }
    status = *answer;
    return true;
}

bool RunTargetCommand(CCommandTarget& target, int id) {
    const CommandInfo* command = FindCommand(id);
    return command != nullptr && command->handler.run && command->handler.run(target, id);
}

std::span<const int> StandardToolBarCommands() {
    return kStandardToolBar;
}

std::span<const int> EditContextMenuCommands() {
    return kEditContextMenu;
}

}  // namespace quarvel
