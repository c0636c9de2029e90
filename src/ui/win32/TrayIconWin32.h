// The tray icon of the Win32 program: a hidden top-level window of its own
// that the shell sends the icon's mouse events to, through a private message.
// A left double-click reports TrayIconDblClick; a right-click opens the menu
// "&Show" / "&Close" (no default item). While active, the icon is added again
// when the taskbar is recreated ("TaskbarCreated").
#pragma once

#include <windows.h>

#include <string>

#include <shellapi.h>  // needs <windows.h> first

#include "ui/TrayIcon.h"
#include "ui/win32/GdiHandles.h"

namespace vantorell::ui::win32 {

// The icon's window class and the shell's callback message to it. Tools that
// drive the program from outside find the window by this class.
inline constexpr wchar_t kTrayWindowClass[] = L"VantorellTrayIcon";
inline constexpr UINT kTrayCallbackMessage = WM_APP + 0x54;
inline constexpr UINT kTrayIconId = 1;
// Menu item ids.
inline constexpr UINT kTrayMenuShowId = 1;   // Show1
inline constexpr UINT kTrayMenuCloseId = 2;  // Close1
// The shell shows at most this many characters of the tooltip's first line,
// and of the whole tip (NOTIFYICONDATAW's szTip) this many.
inline constexpr std::size_t kTrayTooltipLength = 63;
inline constexpr std::size_t kTrayTipLength = 127;
// An icon that came only for a notice (the window is not in the tray) goes
// again this long after it, at the latest.
inline constexpr UINT kNoticeIconTimerId = 1;
inline constexpr UINT kNoticeIconMs = 30000;

class TrayIconWin32 final : public TrayIcon {
public:
    // The events must outlive the icon.
    explicit TrayIconWin32(TrayIconEvents& events) : events_(events) {}
    // Takes the icon out of the tray and destroys its window.
    ~TrayIconWin32() override;
    TrayIconWin32(const TrayIconWin32&) = delete;
    TrayIconWin32& operator=(const TrayIconWin32&) = delete;

    // Creates the hidden window, with the icon resource `iconId` of `instance`
    // (0: the system's application icon). Throws AppError when it cannot.
    void Create(HINSTANCE instance, int iconId);
    HWND Handle() const { return window_; }

    // TrayIcon. Activation holds even when the shell refuses the icon (no
    // taskbar yet at logon): it is added again when the taskbar comes up.
    void Activate() override;
    void Deactivate() override;
    bool Active() const override { return active_; }
    void Notify(std::string_view title, std::string_view text) override;
    void SetTipLine(std::string_view line) override;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    NOTIFYICONDATAW IconData() const;
    void AddToShell();
    void RemoveFromShell();
    // The icon came for a notice alone: it goes when the notice is over.
    void NoticeOver();
    void OnIconEvent(UINT event);
    void ShowMenu();
    std::wstring Tip() const;

    TrayIconEvents& events_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;  // owned by ownedIcon_, or a shared system icon
    UniqueIcon ownedIcon_;
    UINT taskbarCreated_ = 0;
    bool active_ = false;
    bool inShell_ = false;   // the shell holds the icon (in the tray, or for a notice)
    bool version4_ = false;  // the shell took NOTIFYICON_VERSION_4
    bool menuOpen_ = false;
    std::wstring tipLine_;
};

}  // namespace vantorell::ui::win32
