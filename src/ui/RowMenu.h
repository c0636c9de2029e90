// The grid's row menu as the window shows it: its actions in order, their
// texts and status-line hints, and which of them apply to a row (RowMenuOf in
// ui/RowActions.h says).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell::ui {

// In the menu's order; a separator follows Delete.
enum class RowAction {
    Switch,        // switch off or on: the Enabled box's double-click
    Confirm,       // the Confirm startup box's double-click
    Delay,         // the Startup delay cell's double-click
    Delete,        // "Delete selected entry"
    OpenLocation,  // Explorer at the file, selected
    OpenRegistry,  // the Registry Editor at the entry's key; a Startup folder's entry: the folder
    Properties,    // the file's property sheet
    Copy,          // the row as text on the clipboard
};
inline constexpr int kRowActionCount = 8;

// The menu's texts; after a tab, the key that does the same.
inline constexpr std::string_view kMenuSwitchOff = "Switch off\tSpace";
inline constexpr std::string_view kMenuSwitchOn = "Switch on\tSpace";
inline constexpr std::string_view kMenuConfirm = "Confirm at logon";
inline constexpr std::string_view kMenuDelay = "Delay\u2026";
inline constexpr std::string_view kMenuDelete = "Delete\u2026\tDel";
inline constexpr std::string_view kMenuOpenLocation = "Open file location";
inline constexpr std::string_view kMenuOpenRegistry = "Open in Registry Editor";
inline constexpr std::string_view kMenuProperties = "Properties\tEnter";
inline constexpr std::string_view kMenuCopy = "Copy\tCtrl+C";

// What the status line says of an item while it is highlighted and available.
inline constexpr std::array<std::string_view, kRowActionCount> kRowActionHints{
    "Takes the entry out of its place, or puts it back",
    "Vantorell asks before it starts the program at logon",
    "Vantorell starts the program this many seconds after logon",
    "Removes the entry for good",
    "Opens the file's folder in Explorer, with the file selected",
    "Opens the Registry Editor at the entry's key",
    "Shows the file's Windows properties",
    "Puts the row on the clipboard: name, command, file, publisher and place",
};
inline constexpr std::string_view kHintOpenFolder = "Opens the Startup folder that holds the entry";

// The menu of one row.
struct RowMenu {
    // Why each action does not apply to the entry; nullopt where it does.
    std::array<std::optional<std::string>, kRowActionCount> refused{};
    bool switchesOn = false;   // "Switch on" rather than "Switch off"
    bool confirmed = false;    // "Confirm at logon" is checked
    bool folderEntry = false;  // "Open in Registry Editor" opens the Startup folder

    bool Enabled(RowAction action) const { return !refused[static_cast<std::size_t>(action)]; }
    // The status line's text for a highlighted item.
    std::string Hint(RowAction action) const;
};

}  // namespace vantorell::ui
