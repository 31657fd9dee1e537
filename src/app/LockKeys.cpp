#include "app/LockKeys.h"

#include <dlfcn.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

namespace quarvel {

namespace {

// The few X library entry points used, declared by hand so that no X header is needed: a
// display, an atom and a boolean are a pointer, an unsigned long and an int there.
using XInternAtomFunction = unsigned long (*)(void* display, const char* name, int onlyIfExists);
using XkbGetNamedIndicatorFunction = int (*)(void* display, unsigned long name, int* index,
                                             int* state, void* map, int* real);

/// The X library's functions, from the copy already loaded with Qt's X11 support; null when
/// there is none.
struct XLibrary {
    XInternAtomFunction internAtom = nullptr;
    XkbGetNamedIndicatorFunction getNamedIndicator = nullptr;

    XLibrary() {
        void* library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (library == nullptr) {
            return;
        }
        internAtom = reinterpret_cast<XInternAtomFunction>(dlsym(library, "XInternAtom"));
        getNamedIndicator =
            reinterpret_cast<XkbGetNamedIndicatorFunction>(dlsym(library, "XkbGetNamedIndicator"));
    }
};

}  // namespace

std::optional<LockKeys> ReadLockKeys() {
    const auto* x11 = qGuiApp != nullptr
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) {
        return std::nullopt;
    }
    static const XLibrary xlib;
    if (xlib.internAtom == nullptr || xlib.getNamedIndicator == nullptr) {
        return std::nullopt;
    }
    void* display = x11->display();
    const auto indicator = [&](const char* name) -> std::optional<bool> {
        const unsigned long atom = xlib.internAtom(display, name, 0);
        int state = 0;
        if (atom == 0 ||
            !xlib.getNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr)) {
            return std::nullopt;
        }
        return state != 0;
    };
    const std::optional<bool> caps = indicator("Caps Lock");
    const std::optional<bool> num = indicator("Num Lock");
    const std::optional<bool> scroll = indicator("Scroll Lock");
    if (!caps && !num && !scroll) {
        return std::nullopt;
    }
    return LockKeys{caps.value_or(false), num.value_or(false), scroll.value_or(false)};
}

}  // namespace quarvel
