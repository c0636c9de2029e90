#include "platform/win32/Win32Shell.h"

#include <shellapi.h>
#include <windows.h>

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

}  // namespace vantorell::platform
