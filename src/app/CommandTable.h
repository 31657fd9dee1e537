#pragma once

#include <functional>
#include <optional>
#include <span>

#include <QIcon>

#include "ui/CommandIds.h"

namespace quarvel {

/// How a command is enabled, checked and run by the one class of target that carries it (the
/// document, the main window, the application or a class of pane).
struct CommandHandler {
    /// The command's status in target; nothing when target is not of the carrying class.
    std::function<std::optional<CommandStatus>(const CCommandTarget& target, int id)> query;
    /// Runs the command on target; false when target is not of the carrying class.
    std::function<bool(CCommandTarget& target, int id)> run;
    /// Whether the item shows a check mark (or, for the looks, a radio bullet).
    bool checkable = false;
};

/// One row of the command table: a command with its menu place, texts, keys, picture and
/// handler, or a menu separator (id 0). The row is all there is to a command.
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
    /// The picture on the toolbar and in the menus; null for a command without one.
    QIcon (*icon)();
    /// Empty for a command shown without a handler: always disabled.
    CommandHandler handler;
    /// The row stands for the ids id to id + idCount - 1 (the entries of the recent-file list).
    int idCount = 1;
};

/// Every command of the program in menu order, separators included.
std::span<const CommandInfo> CommandTable();
/// The row of command id, or null.
const CommandInfo* FindCommand(int id);
/// The command table's answer for id in target: true when target carries id; status then says
/// whether it is enabled and checked.
bool QueryTargetCommand(const CCommandTarget& target, int id, CommandStatus& status);
/// Runs id on target as the command table says; true when target carries id.
bool RunTargetCommand(CCommandTarget& target, int id);
/// The "Standard" toolbar from left to right; 0 is a separator.
std::span<const int> StandardToolBarCommands();
/// The "Edit" context menu of the tabbed view.
std::span<const int> EditContextMenuCommands();

}  // namespace quarvel
