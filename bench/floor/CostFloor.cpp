// The floor of the cost benchmark: the least an autostart manager that sits in
// the tray must do. Common Controls 6 (by manifest), one window with a report
// ListView of N rows, COM with one shell link read, one notification-area icon.
// Nothing else: no timers, no registry, no monitoring. bench/costs.sh measures
// it beside vantorell.exe.
//
// Usage: cost_floor [ROWS [LNK_FILE]]   (100 rows when not given)
#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kClass[] = L"VantorellCostFloor";
constexpr wchar_t kTitle[] = L"Cost floor";
constexpr UINT kTrayMessage = WM_APP + 1;

HWND g_list = nullptr;

void FillList(int rows) {
    const wchar_t* titles[] = {L"Enabled", L"Program Name", L"Run command"};
    const int widths[] = {60, 160, 360};
    for (int c = 0; c < 3; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(titles[c]);
        column.cx = widths[c];
        SendMessageW(g_list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(g_list, WM_SETREDRAW, FALSE, 0);
    for (int r = 0; r < rows; ++r) {
        std::wstring name = L"Program " + std::to_wstring(r);
        std::wstring command = L"C:\\Program Files\\Program " + std::to_wstring(r) + L"\\program.exe";
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = r;
        item.pszText = const_cast<wchar_t*>(L"1");
        SendMessageW(g_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 1;
        item.pszText = name.data();
        SendMessageW(g_list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 2;
        item.pszText = command.data();
        SendMessageW(g_list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(g_list, WM_SETREDRAW, TRUE, 0);
}

// Reads one shortcut's target through the shell's link object, as a scan would.
void ReadShortcut(const wchar_t* file) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        if (SUCCEEDED(persist->Load(file, STGM_READ))) {
            wchar_t target[MAX_PATH] = {};
            link->GetPath(target, MAX_PATH, nullptr, 0);
        }
        persist->Release();
    }
    link->Release();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (g_list) MoveWindow(g_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int rows = 100;
    const wchar_t* linkFile = nullptr;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc > 1) rows = _wtoi(argv[1]);
    if (argv && argc > 2) linkFile = argv[2];

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (linkFile) ReadShortcut(linkFile);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClass;
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 660, 500,
                                  nullptr, nullptr, instance, nullptr);
    g_list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 0, 0, window, nullptr,
                             instance, nullptr);
    SendMessageW(g_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES,
                 LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES);
    FillList(rows);

    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = kTrayMessage;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpynW(icon.szTip, kTitle, ARRAYSIZE(icon.szTip));
    Shell_NotifyIconW(NIM_ADD, &icon);

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    Shell_NotifyIconW(NIM_DELETE, &icon);
    if (SUCCEEDED(com)) CoUninitialize();
    if (argv) LocalFree(argv);
    return 0;
}
