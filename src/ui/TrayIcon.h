// The icon in the notification area while the program sits in the tray, with
// its menu "&Show" / "&Close". The Win32 view implements it.
#pragma once

#include <string_view>

namespace vantorell::ui {

inline constexpr std::string_view kTrayTooltip = "Vantorell (double click to display)";
inline constexpr std::string_view kTrayMenuShow = "&Show";
inline constexpr std::string_view kTrayMenuClose = "&Close";

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Puts the icon into the tray; nothing happens when it is already there.
    virtual void Activate() = 0;
    // Takes it out; nothing happens when it is not there.
    virtual void Deactivate() = 0;
    virtual bool Active() const = 0;
    // A notice in the notification area that waits for no answer. The window
    // stays where it is: when it is not in the tray, the icon comes for the
    // notice alone and goes again after it, and Active() stays false.
    virtual void Notify(std::string_view title, std::string_view text) = 0;
    // A second line of the icon's tooltip, under kTrayTooltip; empty for none.
    virtual void SetTipLine(std::string_view /*line*/) {}
};

// What the tray icon reports to the main form.
class TrayIconEvents {
public:
    virtual ~TrayIconEvents() = default;
    virtual void TrayIconDblClick() = 0;  // left double-click
    virtual void Show1Click() = 0;        // "&Show"
    virtual void Close1Click() = 0;       // "&Close"
};

}  // namespace vantorell::ui
