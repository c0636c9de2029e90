// Files on Windows: wide-character file APIs, IShellLinkW with IPersistFile
// for shortcuts (COM is started on the platform's thread at the first shortcut,
// and must be initialised on any other calling thread), the shell's known folders.
#pragma once

#include <optional>

#include "platform/Files.h"
#include "platform/win32/DeniedWrites.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

class Win32Files final : public Files {
public:
    Win32Files(win32::DeniedWrites& denied, win32::ComScope& com) : denied_(denied), com_(com) {}

    // For the platform's own tests: file writes fail with ERROR_DISK_FULL after
    // this many bytes have been written.
    void SetWriteLimitForTesting(std::optional<std::size_t> bytes) { writeLimit_ = bytes; }

    bool ReadShortcut(std::string_view linkFile, ShortcutData& out) override;
    bool WriteShortcut(std::string_view linkFile, const ShortcutData& data) override;
    std::vector<std::string> ListShortcutFiles(std::string_view folder) override;
    bool FolderListable(std::string_view folder) override;
    bool FileExists(std::string_view path) override;
    bool RemoveFile(std::string_view path) override;
    FileRead ReadFile(std::string_view path) override;
    Status WriteFileAtomic(std::string_view path, std::string_view bytes) override;
    bool CopyFileBytes(std::string_view from, std::string_view to) override;
    std::optional<std::string> KnownFolderPath(KnownFolder folder) override;
    bool CreateFolder(std::string_view path) override;

private:
    win32::DeniedWrites& denied_;
    win32::ComScope& com_;
    std::optional<std::size_t> writeLimit_;
};

}  // namespace vantorell::platform
