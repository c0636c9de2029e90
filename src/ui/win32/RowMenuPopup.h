// The grid's row menu as a Win32 pop-up menu: its items in the order of
// RowAction, each enabled as the RowMenu says, after a tab the key that does
// the same.
#pragma once

#include <windows.h>

#include <optional>

#include "ui/RowMenu.h"

namespace vantorell::ui::win32 {

// Shows the menu at a screen point, owned by `owner` (which gets its
// WM_MENUSELECT), and waits for a choice: the action chosen, or nullopt.
std::optional<RowAction> TrackRowMenu(HWND owner, const RowMenu& menu, POINT at);
// The action of a menu item's id; nullopt for any other id.
std::optional<RowAction> RowActionOfItem(UINT id);

}  // namespace vantorell::ui::win32
