#include "ui/win32/RowMenuPopup.h"

#include "platform/win32/Utf.h"
#include "ui/win32/GdiHandles.h"

namespace vantorell::ui::win32 {
namespace {

constexpr UINT kFirstItemId = 0x5100;  // item ids: this plus the action's number

std::string_view ItemText(const RowMenu& menu, RowAction action) {
    switch (action) {
        case RowAction::Switch: return menu.switchesOn ? kMenuSwitchOn : kMenuSwitchOff;
        case RowAction::Confirm: return kMenuConfirm;
        case RowAction::Delay: return kMenuDelay;
        case RowAction::Delete: return kMenuDelete;
        case RowAction::OpenLocation: return kMenuOpenLocation;
        case RowAction::OpenRegistry: return kMenuOpenRegistry;
        case RowAction::Properties: return kMenuProperties;
        case RowAction::Copy: return kMenuCopy;
    }
    return {};
}

}  // namespace

std::optional<RowAction> RowActionOfItem(UINT id) {
    if (id < kFirstItemId || id >= kFirstItemId + kRowActionCount) return std::nullopt;
    return static_cast<RowAction>(id - kFirstItemId);
}

std::optional<RowAction> TrackRowMenu(HWND owner, const RowMenu& menu, POINT at) {
    UniqueMenu popup(CreatePopupMenu());
    if (!popup) return std::nullopt;
    for (int i = 0; i < kRowActionCount; ++i) {
        const auto action = static_cast<RowAction>(i);
        UINT flags = MF_STRING | (menu.Enabled(action) ? MF_ENABLED : MF_GRAYED);
        if (action == RowAction::Confirm && menu.confirmed) flags |= MF_CHECKED;
        const std::wstring text = vantorell::win32::Widen(ItemText(menu, action));
        AppendMenuW(popup.Get(), flags, kFirstItemId + static_cast<UINT>(i), text.c_str());
        if (action == RowAction::Delete || action == RowAction::Properties)
            AppendMenuW(popup.Get(), MF_SEPARATOR, 0, nullptr);
    }
    // Properties is what Enter does, and what a double-click on a file does elsewhere.
    SetMenuDefaultItem(popup.Get(), kFirstItemId + static_cast<UINT>(RowAction::Properties), FALSE);
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(
        popup.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, owner, nullptr));
    return RowActionOfItem(chosen);
}

}  // namespace vantorell::ui::win32
