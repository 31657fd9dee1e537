#pragma once

namespace quarvel {

/// The look the program starts with when none is stored.
inline constexpr int kDefaultApplicationLook = 215;

/// True when id names one of the application looks (205 to 210 and 215 to 219).
bool IsApplicationLook(int id);

/// Gives the whole application look id: a widget style and a palette of its own, so that each
/// look is told apart at a glance (the window colour differs between every two looks). False,
/// with nothing changed, for an id that names no look.
bool ApplyApplicationLook(int id);

}  // namespace quarvel
