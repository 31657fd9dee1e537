#pragma once

#include <QIcon>

namespace quarvel {

/// The picture of command id on the toolbar and in the menus, drawn at 32 x 32 pixels; a null
/// icon for a command without one.
QIcon CommandIcon(int id);

/// The program's icon, the one installed for the desktop: a square power spectrum with a bright
/// centre, symmetric spikes and four peaks.
QIcon ProgramIcon();

}  // namespace quarvel
