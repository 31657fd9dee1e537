#pragma once

#include <span>

namespace quarvel {

/// Who carries a command; routing finds it in this order: active pane, document, main window,
/// application.
enum class CommandHandler {
    Application,
    Document,
    MainFrame,
    ImagePane,
    SpectrumPane,
    BothPanes,
    /// Shown in a menu without any handler: always disabled.
    None,
};

/// One row of the command table: a command with its menu place, texts and keys, or a menu
/// separator (id 0).
struct CommandInfo {
    int id;
    /// Where the item sits: menu titles from the menu bar down, separated by '/'
    /// ("&View/&Zoom"); empty for a command the menu bar does not show.
    const char* menuPath;
    const char* text;
    /// The keys bound to the command, separated by ';'; the first is the one menus show.
    const char* keys;
    /// The status bar prompt shown while the item is highlighted.
    const char* prompt;
    const char* tooltip;
    CommandHandler handler;
    /// Whether the item shows a check mark (or, for the looks, a radio bullet).
    bool checkable;
};

/// Every command of the program in menu order, separators included.
std::span<const CommandInfo> CommandTable();
/// The row of command id, or null.
const CommandInfo* FindCommand(int id);
/// The "Standard" toolbar from left to right; 0 is a separator.
std::span<const int> StandardToolBarCommands();
/// The "Edit" context menu of the tabbed view.
std::span<const int> EditContextMenuCommands();

}  // namespace quarvel
