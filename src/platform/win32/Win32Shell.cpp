#include "platform/win32/Win32Shell.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/RunCommand.h"
#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

using win32::FsRedirectionOff;
using win32::Narrow;
using win32::Widen;

int Win32Shell::ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) {
    const bool desktop = (style & MsgBox::OwnedByDesktop) != 0;
    style &= ~MsgBox::OwnedByDesktop;
    HWND owner = desktop ? GetDesktopWindow() : owner_;
    if (desktop) style |= MB_SETFOREGROUND;
    win32::ModalLoop modal;
    return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), style);
}

bool Win32Shell::StartCommand(std::string_view commandLine) {
    // Windows starts every Run value from a 64-bit shell; a 32-bit build must
    // not be sent from System32 to SysWOW64 for a 64-bit program's command,
    // neither when it looks for the program nor when it starts it.
    const FsRedirectionOff native;
    std::wstring text = Widen(commandLine);
    // Environment references are expanded, as for an expandable Run value.
    if (text.find(L'%') != std::wstring::npos) {
        const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(size, L'\0');
        if (size > 0 && ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size) == size) {
            expanded.resize(size - 1);
            text = std::move(expanded);
        }
    }
    const auto resolved = ResolveRunCommand(Narrow(text), [](std::string_view path) {
        const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    });
    if (!resolved) return false;
    std::wstring cmd = Widen(resolved->commandLine);
    const std::wstring program = Widen(resolved->program);
    if (cmd.empty()) return false;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    // With the program named, the system never searches the command line's
    // leading parts for one.
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool Win32Shell::ShellOpen(std::string_view path, std::string_view verb) {
    com_.Ensure();
    const std::wstring wverb = Widen(verb);
    const auto result =
        ShellExecuteW(nullptr, wverb.empty() ? nullptr : wverb.c_str(), Widen(path).c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool Win32Shell::ShellStart(std::string_view path) {
    com_.Ensure();
    const std::wstring file = Widen(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No dialog ever: a broken link at logon must not stop the user with one.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

bool Win32Shell::RaiseWindowByTitle(std::string_view title) {
    HWND window = FindWindowW(nullptr, Widen(title).c_str());
    if (!window) return false;
    HWND popup = GetLastActivePopup(window);
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    BringWindowToTop(window);
    if (popup) {
        if (IsIconic(popup)) ShowWindow(popup, SW_RESTORE);
        BringWindowToTop(popup);
        SetForegroundWindow(popup);
    }
    return true;
}

bool Win32Shell::ShowInFolder(std::string_view path) {
    PIDLIST_ABSOLUTE item = nullptr;
    {
        // A 32-bit build names System32's own files, not SysWOW64's.
        const FsRedirectionOff native;
        item = ILCreateFromPathW(Widen(path).c_str());
    }
    if (!item) return false;
    const HRESULT result = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
    if (SUCCEEDED(result)) return true;
    // The shell could not reach a folder window of its own (Wine's, once its
    // first Explorer has gone): Explorer is asked on its command line.
    const std::wstring arguments = L"/select,\"" + Widen(path) + L"\"";
    const auto started = ShellExecuteW(owner_, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

bool Win32Shell::ShowProperties(std::string_view path) {
    const std::wstring file = Widen(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner_;
    info.lpVerb = L"properties";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOW;
    const FsRedirectionOff native;
    if (ShellExecuteExW(&info)) return true;
    // Where the shell knows no "properties" verb for the file, its own call.
    return SHObjectProperties(owner_, SHOP_FILEPATH, file.c_str(), nullptr) != FALSE;
}

namespace {

// What the editor puts before a hive's name in its last key: its tree's root,
// named in the system's language ("Computer\", "Ordinateur\"), as it wrote
// it last. Before it ever ran: "Computer\", and nothing for Wine's editor,
// which names the key from its hive.
std::wstring EditorRoot(HKEY key) {
    std::wstring last(1024, L'\0');
    DWORD bytes = static_cast<DWORD>(last.size() * sizeof(wchar_t));
    DWORD type = 0;
    if (RegQueryValueExW(key, Widen(kRegistryEditorLastKey).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(last.data()), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        last.resize(wcsnlen(last.c_str(), bytes / sizeof(wchar_t)));
        if (last.rfind(L"HKEY_", 0) == 0) return {};
        const std::size_t hive = last.find(L"\\HKEY_");
        if (hive != std::wstring::npos) return last.substr(0, hive + 1);
    }
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? std::wstring() : std::wstring(L"Computer\\");
}

}  // namespace

bool Win32Shell::OpenRegistryEditor(std::string_view keyPath) {
    win32::UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Widen(kRegistryEditorKey).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring text = EditorRoot(key.Get()) + Widen(keyPath);
    if (RegSetValueExW(key.Get(), Widen(kRegistryEditorLastKey).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        return false;
    // The editor in the Windows folder, the machine's own build; through the
    // shell, which asks for the rights it wants.
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring editor = std::wstring(windows, length) + L"\\regedit.exe";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = owner_;
    info.lpFile = editor.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

bool Win32Shell::CopyText(std::string_view text) {
    constexpr int kAttempts = 10;  // another program may hold the clipboard a moment
    constexpr DWORD kRetryMs = 20;
    const std::wstring wide = Widen(text);
    bool open = false;
    for (int attempt = 0; attempt < kAttempts && !open; ++attempt) {
        open = OpenClipboard(owner_) != FALSE;
        if (!open) Sleep(kRetryMs);
    }
    if (!open) return false;
    bool done = false;
    if (EmptyClipboard()) {
        const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            if (void* data = GlobalLock(block)) {
                std::wmemcpy(static_cast<wchar_t*>(data), wide.c_str(), wide.size() + 1);
                GlobalUnlock(block);
                done = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
            }
            if (!done) GlobalFree(block);  // the clipboard owns it only once set
        }
    }
    CloseClipboard();
    return done;
}

}  // namespace vantorell::platform
