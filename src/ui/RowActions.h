// What the row menu's actions apply to, portable: which of them apply to an
// entry (and why one does not), the text "Copy" puts on the clipboard, and
// the key the Registry Editor opens at. The window shows the menu and the
// main form carries the actions out: the changes through the grid's
// gestures, the rest through the shell.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "store/AutostartStore.h"
#include "ui/RowMenu.h"

namespace vantorell::ui {

// What is known of the file a row's entry starts.
struct RowFile {
    std::string path;  // empty when none can be named
    bool exists = false;
    std::string publisher;  // the Publisher column's text
};

// The menu of entry `index` of the store's table. `ownMessage`, for the
// program's own entry, is why no change applies to it. Asks the entry's place
// what it refuses, as the changes themselves do.
RowMenu RowMenuOf(store::AutostartStore& store, std::size_t index, const RowFile& file,
                  const std::optional<std::string>& ownMessage);

// The row as "Copy" puts it on the clipboard: name, command, file, publisher
// and place, separated by tabs, ended by a line break. Tabs and line breaks
// inside a field become blanks.
std::string RowCopyText(store::AutostartStore& store, std::size_t index, const RowFile& file);

// The path of the key that holds entry `index`, from its hive's name, as the
// Registry Editor shows it ("HKEY_LOCAL_MACHINE\Software\WOW6432Node\...",
// the 32-bit view's key where the machine has two); empty for an entry of a
// Startup folder or of no known place.
std::string RegistryEditorPath(store::AutostartStore& store, std::size_t index);

}  // namespace vantorell::ui
