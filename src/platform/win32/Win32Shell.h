// The shell on Windows: MessageBoxW, CreateProcessW, ShellExecuteW and
// ShellExecuteExW, FindWindowW, SHOpenFolderAndSelectItems, the clipboard.
#pragma once

#include <windows.h>

#include "platform/Shell.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

class Win32Shell final : public Shell {
public:
    explicit Win32Shell(win32::ComScope& com) : com_(com) {}

    // Message boxes without an explicit owner are owned by this window.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }

    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    bool StartCommand(std::string_view commandLine) override;
    bool ShellOpen(std::string_view path, std::string_view verb) override;
    bool ShellStart(std::string_view path) override;
    bool RaiseWindowByTitle(std::string_view title) override;
    bool ShowInFolder(std::string_view path) override;
    bool ShowProperties(std::string_view path) override;
    bool OpenRegistryEditor(std::string_view lastKey) override;
    bool CopyText(std::string_view text) override;

private:
    win32::ComScope& com_;  // the shell's verbs may be COM handlers
    HWND owner_ = nullptr;
};

}  // namespace vantorell::platform
