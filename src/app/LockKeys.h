#pragma once

#include <optional>

namespace quarvel {

/// Whether the keyboard's lock keys are on.
struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const LockKeys&) const = default;
};

/// The lock keys as the windowing system tells them; nothing where the program cannot read
/// them. On X11 the X keyboard extension's named indicators ("Caps Lock", "Num Lock", "Scroll
/// Lock") are read from the display Qt uses, through the X library that Qt's X11 support has
/// already loaded, so the program links no X library itself. A Wayland compositor tells a client
/// nothing of the lock keys outside its key events, and Qt does not pass them on: there, and on
/// the offscreen platform, the answer is nothing.
std::optional<LockKeys> ReadLockKeys();

}  // namespace quarvel
