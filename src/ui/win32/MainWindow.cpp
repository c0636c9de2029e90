#include "ui/win32/MainWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "platform/Errors.h"
#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"
#include "ui/MainFormTexts.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/ErrorReport.h"
#include "ui/win32/WindowOwner.h"

namespace vantorell::ui::win32 {
namespace {

using vantorell::win32::Widen;

constexpr wchar_t kWindowClass[] = L"VantorellMainWindow";
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
constexpr DWORD kWindowExStyle = 0;
// Asks the window to destroy itself once the message that asked has returned.
constexpr UINT kTerminateMessage = WM_APP + 1;
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

enum ControlId : int {
    kIdIntro = 100,   // Label1
    kIdOptionsGroup,  // GroupBox1
    kIdWarnNew,       // WAdd
    kIdAutoKill,      // AutoKill
    kIdMinimize,      // Minim
    kIdHelp,          // BitBtn1
    kIdGrid,          // SL
    kIdDelete,        // Button1
    kIdLegendRed,     // Label2
    kIdLegendBlue,    // Label3
    kIdLegendGreen,   // Label4
    kIdLegendBlack,   // Label5
    kIdLegendFile,    // the files' own colours
    kIdHideWindowsOwn,
    kIdStatus = kStatusLineId,  // the status line beside the delete button
    kIdFilter,                  // the filter box above the grid
};
// Commands of the window's keys.
enum CommandId : int {
    kCmdFindFilter = 200,  // Ctrl+F
};
constexpr UINT_PTR kFilterSubclassId = 1;

// Sizes the layout leaves to the view: the check boxes' and legend lines'.
constexpr int kOptionRightMargin = 8;
constexpr int kOptionHeight = 17;
constexpr int kLegendHeight = 13;
constexpr int kGlyphSize = 16;

struct ControlSpec {
    int id;
    const wchar_t* windowClass;
    std::string_view text;
    DWORD style;
    Rect place;  // at 96 DPI, in the window's client area
};

constexpr Rect OptionRect(int top) {
    return Rect{kOptionsGroupRect.left + kOptionLeft, kOptionsGroupRect.top + top,
                kOptionsGroupRect.width - kOptionLeft - kOptionRightMargin, kOptionHeight};
}
constexpr Rect LegendRect(int top) {
    return Rect{kLegendLeft, top, kClientWidth - 2 * kLegendLeft, kLegendHeight};
}

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// In tab order; the grid is created between the help and delete buttons.
const ControlSpec kControlsBeforeGrid[] = {
    {kIdIntro, L"STATIC", kIntroText, kLabel, kIntroRect},
    {kIdOptionsGroup, L"BUTTON", kOptionsGroupCaption, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, kOptionsGroupRect},
    {kIdWarnNew, L"BUTTON", kWarnNewCaption, kCheck | WS_GROUP, OptionRect(kWarnNewTop)},
    {kIdAutoKill, L"BUTTON", kAutoKillCaption, kCheck, OptionRect(kAutoKillTop)},
    {kIdMinimize, L"BUTTON", kMinimizeCaption, kCheck, OptionRect(kMinimizeTop)},
    {kIdHelp, L"BUTTON", kHelpCaption, kButton | WS_GROUP, kHelpRect},
    {kIdHideWindowsOwn, L"BUTTON", kHideWindowsOwnCaption, kCheck | WS_GROUP | BS_MULTILINE, kHideWindowsOwnRect},
};
const ControlSpec kControlsAfterGrid[] = {
    {kIdDelete, L"BUTTON", kDeleteCaption, kButton | WS_GROUP, kDeleteRect},
    {kIdLegendRed, L"STATIC", kLegendRed, kLabel, LegendRect(kLegendRedTop)},
    {kIdLegendBlue, L"STATIC", kLegendBlue, kLabel, LegendRect(kLegendBlueTop)},
    {kIdLegendGreen, L"STATIC", kLegendGreen, kLabel, LegendRect(kLegendGreenTop)},
    {kIdLegendBlack, L"STATIC", kLegendBlack, kLabel, LegendRect(kLegendBlackTop)},
    {kIdLegendFile, L"STATIC", kLegendFile, kLabel, LegendRect(kLegendFileTop)},
    {kIdStatus, L"STATIC", "", kLabel, kStatusRect},
};

RECT ScaledRect(const Rect& r, UINT dpi) {
    const int left = Scale(r.left, dpi), top = Scale(r.top, dpi);
    return RECT{left, top, left + Scale(r.width, dpi), top + Scale(r.height, dpi)};
}

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const std::wstring& face) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    face.copy(query.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    EnumFontFamiliesExW(screen, &query, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// "MS Sans Serif" of height -11 at 96 DPI; the default GUI font where it is missing.
UniqueFont CreateWindowFont(UINT dpi) {
    static const std::wstring face = Widen(kFontName);
    LOGFONTW font{};
    if (FontInstalled(face)) {
        font.lfHeight = Scale(kFontHeight, dpi);
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        face.copy(font.lfFaceName, LF_FACESIZE - 1);
    } else if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font)) {
        return {};
    } else {
        font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    }
    return UniqueFont(CreateFontIndirectW(&font));
}

}  // namespace

MainWindow::MainWindow(const GridModel& model, MainViewEvents& events) : events_(events), grid_(model, events) {}

MainWindow::~MainWindow() {
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void MainWindow::Create(HINSTANCE instance, int iconId) {
    instance_ = instance;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kWindowClass;
        const auto icon = [&](int metricX, int metricY) {
            HANDLE image = iconId ? LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                               GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_SHARED)
                                  : nullptr;
            return image ? static_cast<HICON>(image) : LoadIconW(nullptr, IDI_APPLICATION);
        };
        wc.hIcon = icon(SM_CXICON, SM_CYICON);
        wc.hIconSm = icon(SM_CXSMICON, SM_CYSMICON);
        if (!RegisterClassExW(&wc)) throw AppError("Cannot register the main window class");
    }
    const std::wstring caption = Widen(kMainCaption);
    const UINT dpi = SystemDpi();
    const SIZE size = OuterSize(Scale(kClientWidth, dpi), Scale(kClientHeight, dpi), kWindowStyle, kWindowExStyle, dpi);
    if (!CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle, 0, 0, size.cx, size.cy, nullptr,
                         nullptr, instance, this))
        throw AppError("Cannot create the main window");
    FitToDpi();  // the monitor that shows the window may have another DPI than the system
}

void MainWindow::FitToDpi() {
    const SIZE size =
        OuterSize(Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_), kWindowStyle, kWindowExStyle, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowOwner(window, message, lParam, &MainWindow::window_);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    RunGuarded(window, [&] { result = self->HandleMessage(message, wParam, lParam); });
    return result;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (!CreateControls()) return -1;
            Layout(DpiOfWindow(window_));
            return 0;
        case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (grid_.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return result;
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                events_.OnMinimize();
                return 0;
            }
            break;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            const SIZE least = MinimumSize();
            limits->ptMinTrackSize = POINT{least.cx, least.cy};
            return 0;
        }
        case WM_MENUSELECT:
            // The row menu's items; a closing menu (0xFFFF, no menu) leaves the hint to the grid.
            if (HIWORD(wParam) != 0xFFFF || lParam) grid_.OnMenuSelect(LOWORD(wParam));
            break;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) Layout(dpi_);
            if (wParam == SIZE_MINIMIZED && !minimized_) {
                minimized_ = true;  // minimised by other means than our button
                events_.OnMinimize();
            } else if (wParam == SIZE_RESTORED && minimized_) {
                minimized_ = false;
                events_.OnRestore();
            }
            return 0;
        case WM_SHOWWINDOW:
            if (wParam) events_.OnShown();
            break;
        case WM_ENTERSIZEMOVE:
        case WM_ENTERMENULOOP:
            if (!systemLoop_) systemLoop_.emplace();
            break;
        case WM_EXITSIZEMOVE:
        case WM_EXITMENULOOP: systemLoop_.reset(); break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) lastFocus_ = GetFocus();
            break;
        case WM_SETFOCUS:
            if (lastFocus_ && IsChild(window_, lastFocus_))
                SetFocus(lastFocus_);
            else
                SetFocus(GetDlgItem(window_, kIdWarnNew));
            return 0;
        case WM_CLOSE: return OnCloseRequest();
        case WM_QUERYENDSESSION: {
            // A logoff or shutdown is never held up, not even by a failing handler.
            bool mayEnd = true;
            RunGuarded(window_, [&] {
                events_.OnQueryEndSession();
                mayEnd = events_.OnCloseQuery();
            });
            return mayEnd ? TRUE : FALSE;
        }
        case WM_ENDSESSION:
            if (wParam) events_.OnEndSession();
            return 0;
        case kTerminateMessage: DestroyWindow(window_); return 0;
        case WM_DPICHANGED: {
            // The window keeps its size in layout pixels: the system's
            // suggestion scales it as the DPI does.
            dpi_ = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Layout(dpi_);
            return 0;
        }
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// FormCloseQuery decides; when the close goes ahead the form's close handler
// runs, and the window is destroyed only when that handler has finished.
LRESULT MainWindow::OnCloseRequest() {
    if (!events_.OnCloseQuery()) return 0;
    events_.OnClose();
    DestroyWindow(window_);
    return 0;
}

bool MainWindow::CreateControls() {
    const auto create = [this](const ControlSpec& item) {
        const std::wstring text = Widen(item.text);
        return CreateWindowExW(0, item.windowClass, text.c_str(), item.style | WS_CLIPSIBLINGS, 0, 0, 0, 0, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)), instance_, nullptr) != nullptr;
    };
    for (const auto& item : kControlsBeforeGrid)
        if (!create(item)) return false;
    if (!CreateFilterBox() || !grid_.Create(window_, kIdGrid)) return false;
    grid_.SetSelectionHandler([this] { UpdateDeleteShield(); });
    grid_.SetMenuHintHandler([this](const std::string* hint) { ShowMenuHint(hint); });
    for (const auto& item : kControlsAfterGrid)
        if (!create(item)) return false;
    // The group box goes under its check boxes, so that they are not clipped away.
    SetWindowPos(GetDlgItem(window_, kIdOptionsGroup), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (MainOption option : {MainOption::WAdd, MainOption::AutoKill, MainOption::Minim, MainOption::HideWindowsOwn})
        SetOptionChecked(option, true);
    return true;
}

void MainWindow::Layout(UINT dpi) {
    const bool dpiChanged = dpi != dpi_ || !font_;
    dpi_ = dpi;
    if (dpiChanged) ApplyFont(dpi);
    // The room beyond the designed client area: the grid takes it, and what
    // is under the grid moves down by its height.
    RECT client{};
    GetClientRect(window_, &client);
    const int wider = std::max(0, static_cast<int>(client.right) - Scale(kClientWidth, dpi));
    const int taller = std::max(0, static_cast<int>(client.bottom) - Scale(kClientHeight, dpi));
    const auto place = [&](int id, const Rect& r, int grow, int down) {
        const RECT s = ScaledRect(r, dpi);
        SetWindowPos(GetDlgItem(window_, id), nullptr, s.left, s.top + down, s.right - s.left + grow, s.bottom - s.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (const auto& item : kControlsBeforeGrid) place(item.id, item.place, 0, 0);
    for (const auto& item : kControlsAfterGrid) place(item.id, item.place, item.id == kIdDelete ? 0 : wider, taller);
    place(kIdFilter, kFilterRect, wider, 0);
    RECT grid = ScaledRect(kGridRect, dpi);
    grid.right += wider;
    grid.bottom += taller;
    grid_.Layout(grid, dpi);
    if (dpiChanged) ApplyHelpGlyph(dpi);
    InvalidateRect(window_, nullptr, TRUE);
}

SIZE MainWindow::MinimumSize() const {
    return OuterSize(Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_), kWindowStyle, kWindowExStyle, dpi_);
}

std::optional<WindowPlace> MainWindow::Placement() const {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!window_ || !GetWindowPlacement(window_, &placement)) return std::nullopt;
    RECT r = placement.rcNormalPosition;  // in the work area's coordinates
    if (!IsIconic(window_) && !IsZoomed(window_)) {
        GetWindowRect(window_, &r);  // the screen's, as PlaceAt takes them
    } else if (HMONITOR monitor = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST)) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(monitor, &info))
            OffsetRect(&r, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
    }
    return WindowPlace{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool MainWindow::PlaceAt(const WindowPlace& place) {
    const SIZE least = MinimumSize();
    const RECT wanted{place.left, place.top, place.left + std::max<int>(place.width, least.cx),
                      place.top + std::max<int>(place.height, least.cy)};
    // Off every screen (a monitor since unplugged, a value written by hand):
    // the size is taken, the place is not.
    const bool onScreen = MonitorFromRect(&wanted, MONITOR_DEFAULTTONULL) != nullptr;
    SetWindowPos(window_, nullptr, wanted.left, wanted.top, wanted.right - wanted.left, wanted.bottom - wanted.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (onScreen ? 0 : SWP_NOMOVE));
    return onScreen;
}

void MainWindow::ApplyFont(UINT dpi) {
    UniqueFont font = CreateWindowFont(dpi);
    if (!font) return;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    font_ = std::move(font);  // the old font is deleted only after no control uses it
}

// The help button's glyph: the system's question-mark icon.
void MainWindow::ApplyHelpGlyph(UINT dpi) {
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    const auto load = comctl ? reinterpret_cast<LoadIconWithScaleDownFn>(
                                   reinterpret_cast<void*>(GetProcAddress(comctl, "LoadIconWithScaleDown")))
                             : nullptr;
    HICON icon = nullptr;
    const int size = Scale(kGlyphSize, dpi);
    if (!load || FAILED(load(nullptr, IDI_QUESTION, size, size, &icon))) return;
    UniqueIcon glyph(icon);
    SendMessageW(GetDlgItem(window_, kIdHelp), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph.Get()));
    helpGlyph_ = std::move(glyph);
}

void MainWindow::SetStatusText(std::string_view text) {
    const std::wstring line = Widen(text);
    if (statusBeforeHint_) {
        *statusBeforeHint_ = line;  // shown again when the menu closes
        return;
    }
    SetWindowTextW(GetDlgItem(window_, kIdStatus), line.c_str());
}

void MainWindow::ShowMenuHint(const std::string* hint) {
    HWND status = GetDlgItem(window_, kIdStatus);
    if (!hint) {
        if (statusBeforeHint_) SetWindowTextW(status, statusBeforeHint_->c_str());
        statusBeforeHint_.reset();
        return;
    }
    if (!statusBeforeHint_) {
        wchar_t text[512] = {};
        GetWindowTextW(status, text, static_cast<int>(std::size(text)));
        statusBeforeHint_ = text;
    }
    SetWindowTextW(status, Widen(*hint).c_str());
}

bool MainWindow::WindowKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F5) return false;
    if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
    RunGuarded(window_, [this] { events_.OnRescan(); });
    return true;
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kIdFilter && code == EN_CHANGE) {
        OnFilterEdited();
        return;
    }
    if (id == kCmdFindFilter) {
        HWND box = GetDlgItem(window_, kIdFilter);
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return;
    }
    if (code != BN_CLICKED) return;
    if (id == kIdHelp) events_.OnHelpClicked();
    if (id == kIdDelete) events_.OnDeleteClicked();
    if (id == kIdHideWindowsOwn) events_.OnHideWindowsOwnChanged();
}

// Labels, check boxes and the group box on the window's face; the legend
// lines in the colour they describe.
LRESULT MainWindow::OnControlColour(HDC dc, HWND control) {
    COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    switch (GetDlgCtrlID(control)) {
        case kIdLegendRed: text = RGB(kRedName.r, kRedName.g, kRedName.b); break;
        case kIdLegendBlue: text = RGB(kBlueName.r, kBlueName.g, kBlueName.b); break;
        case kIdLegendGreen: text = RGB(kGreenName.r, kGreenName.g, kGreenName.b); break;
        default: break;
    }
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

HWND MainWindow::OptionBox(MainOption option) const {
    switch (option) {
        case MainOption::WAdd: return GetDlgItem(window_, kIdWarnNew);
        case MainOption::AutoKill: return GetDlgItem(window_, kIdAutoKill);
        case MainOption::Minim: return GetDlgItem(window_, kIdMinimize);
        case MainOption::HideWindowsOwn: return GetDlgItem(window_, kIdHideWindowsOwn);
    }
    return nullptr;
}

int MainWindow::RunMessageLoop() {
    MSG msg{};
    // The monitor's change watches are served while the loop waits.
    while (vantorell::win32::GetMessageOrChange(msg)) {
        if (window_ && accelerators_ && TranslateAcceleratorW(window_, accelerators_.Get(), &msg)) continue;
        if (window_ && WindowKey(msg)) continue;
        if (window_ && IsDialogMessageW(window_, &msg)) continue;  // Tab, mnemonics
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool MainWindow::CreateFilterBox() {
    HWND box =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS | ES_AUTOHSCROLL, 0, 0, 0, 0,
                        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdFilter)), instance_, nullptr);
    if (!box) return false;
    const std::wstring cue = Widen(kFilterCue);
    SendMessageW(box, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue.c_str()));  // shown while focused too
    SetWindowSubclass(box, FilterBoxProc, kFilterSubclassId, 0);
    CreateAccelerators();
    return true;
}

// Esc in the filter box empties it, rather than going to the window as a
// dialog's Cancel.
LRESULT CALLBACK MainWindow::FilterBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_GETDLGCODE: {
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            LRESULT code = DefSubclassProc(box, message, wParam, lParam);
            if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_KEYDOWN:
            if (wParam != VK_ESCAPE) break;
            if (GetWindowTextLengthW(box) > 0) SetWindowTextW(box, L"");  // EN_CHANGE follows
            return 0;
        case WM_CHAR:
            if (wParam == VK_ESCAPE) return 0;  // no beep
            break;
        case WM_NCDESTROY: RemoveWindowSubclass(box, FilterBoxProc, kFilterSubclassId); break;
        default: break;
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

void MainWindow::OnFilterEdited() {
    HWND box = GetDlgItem(window_, kIdFilter);
    std::wstring text(static_cast<std::size_t>(std::max(GetWindowTextLengthW(box), 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
    events_.OnFilterChanged(vantorell::win32::Narrow(text));
}

void MainWindow::CreateAccelerators() {
    ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'F', kCmdFindFilter}};
    accelerators_ = UniqueAccelerators(CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys))));
}

void MainWindow::UpdateDeleteShield() {
    bool shield = false;
    RunGuarded(window_, [&] { shield = events_.NeedsAdministratorRights(grid_.Selected().row); });
    if (shield == deleteShield_) return;
    deleteShield_ = shield;
    SendMessageW(GetDlgItem(window_, kIdDelete), BCM_SETSHIELD, 0, shield ? TRUE : FALSE);
}

void MainWindow::RefreshGrid() {
    grid_.Refresh();
}
void MainWindow::RepaintGrid() {
    grid_.Repaint();
}
GridCell MainWindow::SelectedCell() const {
    return grid_.Selected();
}
void MainWindow::SelectCell(GridCell cell) {
    grid_.Select(cell);
}
void MainWindow::SetInTray(bool inTray) {
    grid_.SetInTray(inTray);
}

bool MainWindow::OptionChecked(MainOption option) const {
    return SendMessageW(OptionBox(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetOptionChecked(MainOption option, bool checked) {
    SendMessageW(OptionBox(option), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::Show() {
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
    BringWindowToTop(window_);
}

void MainWindow::Hide() {
    ShowWindow(window_, SW_HIDE);
}
bool MainWindow::IsVisible() const {
    return window_ && IsWindowVisible(window_);
}
void MainWindow::Minimize() {
    SendMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void MainWindow::MoveTo(int left, int top) {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Centre() {
    RECT outer{};
    if (!GetWindowRect(window_, &outer)) return;
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    MoveTo(GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2, GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2);
}

void MainWindow::Close() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}
void MainWindow::Terminate() {
    PostMessageW(window_, kTerminateMessage, 0, 0);
}

}  // namespace vantorell::ui::win32
