#include "ui/win32/TrayIconWin32.h"

#include <shellapi.h>

#include <string>

#include "platform/Errors.h"
#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"
#include "ui/win32/ErrorReport.h"
#include "ui/win32/WindowOwner.h"

namespace vantorell::ui::win32 {
namespace {

using vantorell::win32::Widen;

constexpr wchar_t kTaskbarCreatedMessage[] = L"TaskbarCreated";

// A menu owner for one showing of the tray menu.
class PopupMenu {
public:
    PopupMenu() : menu_(CreatePopupMenu()) {}
    ~PopupMenu() {
        if (menu_) DestroyMenu(menu_);
    }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    HMENU Get() const { return menu_; }
    bool Append(UINT id, std::string_view text) {
        const std::wstring wide = Widen(text);
        return menu_ && AppendMenuW(menu_, MF_STRING, id, wide.c_str());
    }

private:
    HMENU menu_;
};

}  // namespace

TrayIconWin32::~TrayIconWin32() {
    Deactivate();
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TrayIconWin32::Create(HINSTANCE instance, int iconId) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kTrayWindowClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kTrayWindowClass;
        if (!RegisterClassExW(&wc)) throw AppError("Cannot register the tray icon's window class");
    }
    if (iconId) {
        ownedIcon_ =
            UniqueIcon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
        icon_ = ownedIcon_.Get();
    }
    if (!icon_) icon_ = LoadIconW(nullptr, IDI_APPLICATION);
    taskbarCreated_ = RegisterWindowMessageW(kTaskbarCreatedMessage);
    // A top-level window, not a message-only one: it must be able to come to the
    // foreground for the menu, and it must hear the "TaskbarCreated" broadcast.
    // No title, so that a search for the main window's title never finds it.
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                         this))
        throw AppError("Cannot create the tray icon's window");
    // An elevated program still hears a restarted taskbar.
    if (taskbarCreated_) ChangeWindowMessageFilterEx(window_, taskbarCreated_, MSGFLT_ALLOW, nullptr);
}

LRESULT CALLBACK TrayIconWin32::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowOwner(window, message, lParam, &TrayIconWin32::window_);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (!RunGuarded(nullptr, [&] { result = self->HandleMessage(message, wParam, lParam); })) result = 0;
    return result;
}

LRESULT TrayIconWin32::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTrayCallbackMessage) {
        // Version 4: the event in the low word of lParam, the icon's id in the
        // high word. Older shells: the event is lParam, the id wParam.
        OnIconEvent(version4_ ? LOWORD(lParam) : static_cast<UINT>(lParam));
        return 0;
    }
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        inShell_ = false;
        if (active_) AddToShell();
        return 0;
    }
    if (message == WM_TIMER && wParam == kNoticeIconTimerId) {
        NoticeOver();
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void TrayIconWin32::OnIconEvent(UINT event) {
    switch (event) {
        case WM_LBUTTONDBLCLK:
            // The menu has no default item, so a double-click is TrayIconDblClick.
            events_.TrayIconDblClick();
            break;
        case WM_CONTEXTMENU: ShowMenu(); break;
        case WM_RBUTTONUP:
            if (!version4_) ShowMenu();  // version 4 follows it with WM_CONTEXTMENU
            break;
        case NIN_BALLOONTIMEOUT:
        case NIN_BALLOONHIDE: NoticeOver(); break;
        case NIN_BALLOONUSERCLICK:
            // The user read it and wants to see the list.
            NoticeOver();
            events_.TrayIconDblClick();
            break;
        default: break;  // single clicks do nothing
    }
}

void TrayIconWin32::ShowMenu() {
    if (menuOpen_ || !window_) return;
    PopupMenu menu;
    if (!menu.Append(kTrayMenuShowId, kTrayMenuShow) || !menu.Append(kTrayMenuCloseId, kTrayMenuClose)) return;
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_);
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN;
    flags |= GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    menuOpen_ = true;
    UINT chosen = 0;
    {
        vantorell::win32::ModalLoop modal;
        chosen = static_cast<UINT>(TrackPopupMenuEx(menu.Get(), flags, at.x, at.y, window_, nullptr));
    }
    menuOpen_ = false;
    PostMessageW(window_, WM_NULL, 0, 0);  // lets the menu close properly on every shell
    // The choice runs after the menu's loop has ended.
    if (chosen == kTrayMenuShowId) events_.Show1Click();
    if (chosen == kTrayMenuCloseId) events_.Close1Click();
}

NOTIFYICONDATAW TrayIconWin32::IconData() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    return data;
}

void TrayIconWin32::AddToShell() {
    NOTIFYICONDATAW data = IconData();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon_;
    const std::wstring tip = Tip();
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    if (!Shell_NotifyIconW(NIM_ADD, &data)) {
        // Left over from a shell that went away, or no taskbar yet.
        Shell_NotifyIconW(NIM_DELETE, &data);
        if (!Shell_NotifyIconW(NIM_ADD, &data)) return;
    }
    inShell_ = true;
    data.uVersion = NOTIFYICON_VERSION_4;
    version4_ = Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
}

std::wstring TrayIconWin32::Tip() const {
    std::wstring tip = Widen(kTrayTooltip).substr(0, kTrayTooltipLength);
    if (!tipLine_.empty()) tip += L"\n" + tipLine_;
    return tip.substr(0, kTrayTipLength);
}

void TrayIconWin32::SetTipLine(std::string_view line) {
    tipLine_ = Widen(line);
    if (!inShell_) return;
    NOTIFYICONDATAW data = IconData();
    data.uFlags = NIF_TIP | NIF_SHOWTIP;
    Tip().copy(data.szTip, std::size(data.szTip) - 1);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIconWin32::RemoveFromShell() {
    KillTimer(window_, kNoticeIconTimerId);
    if (!inShell_) return;
    inShell_ = false;
    NOTIFYICONDATAW data = IconData();
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void TrayIconWin32::Activate() {
    if (active_ || !window_) return;
    active_ = true;
    KillTimer(window_, kNoticeIconTimerId);  // the icon a notice brought stays
    if (!inShell_) AddToShell();
}

void TrayIconWin32::Deactivate() {
    if (!active_) return;
    active_ = false;
    RemoveFromShell();
}

void TrayIconWin32::NoticeOver() {
    KillTimer(window_, kNoticeIconTimerId);
    if (!active_) RemoveFromShell();
}

void TrayIconWin32::Notify(std::string_view title, std::string_view text) {
    if (!window_) return;
    if (!inShell_) {
        AddToShell();
        if (!inShell_) return;  // no taskbar: nowhere to tell it
    }
    if (!active_) SetTimer(window_, kNoticeIconTimerId, kNoticeIconMs, nullptr);
    NOTIFYICONDATAW data = IconData();
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    Widen(title).substr(0, std::size(data.szInfoTitle) - 1).copy(data.szInfoTitle, std::size(data.szInfoTitle) - 1);
    Widen(text).substr(0, std::size(data.szInfo) - 1).copy(data.szInfo, std::size(data.szInfo) - 1);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

}  // namespace vantorell::ui::win32
