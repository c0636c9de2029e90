#include "ui/win32/DelayDialog.h"

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"

namespace vantorell::ui::win32 {
namespace {

constexpr const wchar_t* kCaption = L" ";
constexpr const wchar_t* kFontName = L"MS Sans Serif";
constexpr WORD kFontPoints = 8;
constexpr const wchar_t* kLabelText =
    L"Please select the number of seconds you want the program to wait before it starts automatically";
constexpr const wchar_t* kOkCaption = L"OK";

constexpr DWORD kDialogStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;
constexpr UINT kUpDownStyle = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
constexpr int kEditTextLimit = 12;

// Layout at 96 DPI, in client pixels: left, top, width, height.
struct PixelRect {
    int left, top, width, height;
};
constexpr PixelRect kLabelRect{0, 0, kDelayClientWidth, 39};
constexpr PixelRect kSecRect{8, 48, 81, 22};  // edit and spin buttons together
constexpr PixelRect kOkRect{96, 48, 75, 25};

// Predefined window classes of a dialog template, by atom.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr int kBaseDpi = 96;

UINT DpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : kBaseDpi;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

int Scale(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi);
}

// An in-memory DLGTEMPLATE: header, font, then items, each DWORD-aligned.
class TemplateWriter {
public:
    void Header(DWORD style, DWORD exStyle, WORD items, const wchar_t* caption, WORD points, const wchar_t* font) {
        DLGTEMPLATE t{};
        t.style = style;
        t.dwExtendedStyle = exStyle;
        t.cdit = items;
        Append(&t, sizeof t);
        Word(0);  // no menu
        Word(0);  // the predefined dialog class
        Text(caption);
        Word(points);
        Text(font);
    }
    void Item(DWORD style, int id, WORD classAtom, const wchar_t* text) {
        Align();
        DLGITEMTEMPLATE item{};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.id = static_cast<WORD>(id);
        // Placed in pixels when the dialog initialises.
        Append(&item, sizeof item);
        Word(0xFFFF);
        Word(classAtom);
        Text(text);
        Word(0);  // no creation data
    }
    const DLGTEMPLATE* Get() { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Append(const void* data, std::size_t bytes) {
        const std::size_t at = words_.size();
        words_.resize(at + (bytes + 1) / 2);
        std::memcpy(words_.data() + at, data, bytes);
    }
    void Word(WORD w) { words_.push_back(w); }
    void Text(const wchar_t* text) {
        for (; *text; ++text) words_.push_back(static_cast<WORD>(*text));
        words_.push_back(0);
    }
    void Align() {
        if (words_.size() % 2) words_.push_back(0);
    }
    // WORD storage is 2-byte aligned; the vector's buffer is suitably aligned for DWORD.
    std::vector<WORD> words_;
};

void Place(HWND control, const PixelRect& r, UINT dpi) {
    MoveWindow(control, Scale(r.left, dpi), Scale(r.top, dpi), Scale(r.width, dpi), Scale(r.height, dpi), FALSE);
}

}  // namespace

void DelayDialog::SetValue(int seconds) {
    value_ = store::ClampDelay(seconds);
    if (window_) ShowValue(value_);
}

std::optional<int> DelayDialog::AskDelay(int preset) {
    SetValue(preset);
    if (ShowModal() != IDOK) return std::nullopt;
    return value_;
}

INT_PTR DelayDialog::ShowModal() {
    if (window_) return -1;
    static const bool controlsReady = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)controlsReady;

    TemplateWriter t;
    t.Header(kDialogStyle, kDialogExStyle, 3, kCaption, kFontPoints, kFontName);
    t.Item(SS_LEFT, kDelayLabelId, kStaticAtom, kLabelText);
    t.Item(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kDelayEditId, kEditAtom, L"0");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, kButtonAtom, kOkCaption);
    vantorell::win32::ModalLoop modal;
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner_, &DelayDialog::DialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DelayDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<DelayDialog*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<DelayDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) self->window_ = nullptr;
    return handled;
}

INT_PTR DelayDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SendDlgItemMessageW(window_, kDelayEditId, EM_LIMITTEXT, kEditTextLimit, 0);
            CreateSpinButtons();
            Layout();
            ShowValue(value_);
            return TRUE;  // the focus goes to Sec, the first in the tab order
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    value_ = NormaliseField();
                    EndDialog(window_, IDOK);
                    return TRUE;
                case IDCANCEL:  // the close box (and Esc)
                    EndDialog(window_, IDCANCEL);
                    return TRUE;
                case kDelayEditId:
                    if (HIWORD(wParam) == EN_KILLFOCUS) NormaliseField();
                    return TRUE;
                default: return FALSE;
            }
        case WM_CLOSE: EndDialog(window_, IDCANCEL); return TRUE;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return TRUE;
        }
        default: return FALSE;
    }
}

void DelayDialog::Layout() {
    const UINT dpi = DpiOf(window_);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    RECT outer{0, 0, Scale(kDelayClientWidth, dpi), Scale(kDelayClientHeight, dpi)};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;

    // The fixed place, kept inside the work area of the monitor it falls on.
    POINT at{Scale(kDelayScreenLeft, dpi), Scale(kDelayScreenTop, dpi)};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        if (at.x + width > work.right) at.x = work.right - width;
        if (at.y + height > work.bottom) at.y = work.bottom - height;
        if (at.x < work.left) at.x = work.left;
        if (at.y < work.top) at.y = work.top;
    }
    SetWindowPos(window_, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    Place(GetDlgItem(window_, kDelayLabelId), kLabelRect, dpi);
    Place(GetDlgItem(window_, IDOK), kOkRect, dpi);
    PlaceSec(dpi);
}

void DelayDialog::PlaceSec(UINT dpi) {
    HWND edit = GetDlgItem(window_, kDelayEditId);
    Place(edit, kSecRect, dpi);
    HWND spin = GetDlgItem(window_, kDelayUpDownId);
    if (!spin) return;
    // Attaching puts the buttons at the edit's right end and narrows the edit;
    // how far they overlap its border differs between systems, so the pair is
    // then moved to end exactly at Sec's right edge.
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    RECT editRect{}, spinRect{};
    GetWindowRect(edit, &editRect);
    GetWindowRect(spin, &spinRect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&editRect), 2);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&spinRect), 2);
    const int shift = Scale(kSecRect.left + kSecRect.width, dpi) - spinRect.right;
    if (shift == 0) return;
    SetWindowPos(spin, nullptr, spinRect.left + shift, spinRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(edit, nullptr, 0, 0, editRect.right - editRect.left + shift, editRect.bottom - editRect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DelayDialog::CreateSpinButtons() {
    HWND edit = GetDlgItem(window_, kDelayEditId);
    HWND spin = CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | kUpDownStyle, 0, 0, 0, 0, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDelayUpDownId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!spin) return;  // the field still takes typed numbers
    // After the edit in the z-order, so that the tab order stays Sec, OK.
    SetWindowPos(spin, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(spin, UDM_SETRANGE32, store::kMinDelay, store::kMaxDelay);
}

int DelayDialog::NormaliseField() {
    HWND edit = GetDlgItem(window_, kDelayEditId);
    const int length = GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), length + 1)));
    const int seconds = store::DelayFromText(vantorell::win32::Narrow(text));
    ShowValue(seconds);
    return seconds;
}

void DelayDialog::ShowValue(int seconds) {
    HWND edit = GetDlgItem(window_, kDelayEditId);
    const std::wstring text = vantorell::win32::Widen(std::to_string(seconds));
    wchar_t shown[kEditTextLimit + 2] = {};
    GetWindowTextW(edit, shown, kEditTextLimit + 1);
    if (text != shown) SetWindowTextW(edit, text.c_str());
    if (HWND spin = GetDlgItem(window_, kDelayUpDownId)) SendMessageW(spin, UDM_SETPOS32, 0, seconds);
}

}  // namespace vantorell::ui::win32
