#pragma once

#include <QIcon>

namespace quarvel {

/// The pictures of the commands on the toolbar and in the menus, drawn at 32 x 32 pixels; the
/// command table names each command's one.
QIcon OpenIcon();
QIcon SaveIcon();
QIcon RevertIcon();
QIcon UndoIcon();
QIcon RedoIcon();
QIcon CopyIcon();
QIcon ActualSizeIcon();
QIcon FitOnScreenIcon();
QIcon PanHandIcon();
QIcon ZoomInOutIcon();
QIcon ZoomWindowIcon();
QIcon DynamicZoomIcon();
QIcon BrushIcon();
QIcon SelectionRectangleIcon();
QIcon SelectionEllipseIcon();
QIcon FreeHandIcon();
QIcon MirrorEditsIcon();
QIcon ImageWindowIcon();
QIcon SpectrumWindowIcon();
QIcon AboutIcon();
QIcon ManualIcon();

/// The program's icon, the one installed for the desktop: a square power spectrum with a bright
/// centre, symmetric spikes and four peaks.
QIcon ProgramIcon();

}  // namespace quarvel
