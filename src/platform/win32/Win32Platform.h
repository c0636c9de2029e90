// The real Windows behind the platform interface: wide-character registry,
// file and shell APIs, IShellLinkW with IPersistFile for shortcuts, thread
// timers, MessageBoxW, CreateProcessW, named mutexes.
//
// Create it on the GUI thread: it initialises COM there for its lifetime, and
// its timers fire in that thread's message loop.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <map>
#include <optional>

#include "platform/Platform.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

class Win32Platform final : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Message boxes without an explicit owner are owned by this window.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }

    // For the platform's own tests: file writes fail with ERROR_DISK_FULL after
    // this many bytes have been written.
    void SetWriteLimitForTesting(std::optional<std::size_t> bytes) { writeLimit_ = bytes; }

    std::unique_ptr<RegKey> OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                    RegView view = RegView::Bits64) override;
    bool HasTwoRegistryViews() override;
    bool ReadShortcut(std::string_view linkFile, ShortcutData& out) override;
    bool WriteShortcut(std::string_view linkFile, const ShortcutData& data) override;
    std::vector<std::string> ListShortcutFiles(std::string_view folder) override;
    bool FolderListable(std::string_view folder) override;
    bool FileExists(std::string_view path) override;
    bool RemoveFile(std::string_view path) override;
    FileRead ReadFile(std::string_view path) override;
    Status WriteFileAtomic(std::string_view path, std::string_view bytes) override;
    std::string ExecutablePath() override;
    bool CopyFileBytes(std::string_view from, std::string_view to) override;
    std::string AnsiToUtf8(std::string_view bytes) override;
    int CompareNoCase(std::string_view a, std::string_view b) override;
    std::string FoldCase(std::string_view text) override;
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    bool StartCommand(std::string_view commandLine) override;
    bool ShellOpen(std::string_view path, std::string_view verb) override;
    bool ShellStart(std::string_view path) override;
    TimerId StartTimer(unsigned intervalMs, TimerCallback callback) override;
    void StopTimer(TimerId id) override;
    bool LockExists(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLock(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLockOnce(std::string_view name, bool& existed) override;
    std::unique_ptr<NamedLock> LockForWriting(std::string_view path, unsigned timeoutMs) override;
    bool RaiseWindowByTitle(std::string_view title) override;
    std::unique_ptr<ChangeWatch> WatchPlaces(const std::vector<WatchPlace>& places, ChangeCallback onChange) override;
    std::optional<std::string> KnownFolderPath(KnownFolder folder) override;
    bool CreateFolder(std::string_view path) override;
    bool IsElevated() override;
    std::uint64_t AccessDeniedCount() override { return denied_; }
    ElevatedRun RunElevated(std::string_view program, std::string_view parameters) override;
    bool CanRunHelper() override;
    std::unique_ptr<HelperRun> StartHelper(std::string_view argument, std::string_view input) override;
    std::optional<std::string> EnvironmentVariable(std::string_view name) override;
    FileFacts StatFile(std::string_view path) override;
    std::optional<VersionFacts> ReadVersionFacts(std::string_view path) override;
    SignatureFacts VerifyEmbeddedSignature(std::string_view path) override;
    std::optional<std::string> HashForCatalog(std::string_view path, CatalogHash kind) override;
    std::unique_ptr<FileHold> HoldFile(std::string_view path) override;
    bool AdministratorsOnlyFolder(std::string_view path) override;
    std::optional<SignatureFacts> VerifyCatalogSignature(std::string_view path, std::string_view hash,
                                                         CatalogHash kind) override;

private:
    // The signer's name and this program's own look at its chain.
    void ExamineSigner(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT chain, SignatureFacts& facts);
    // Whether the certificate is in the user's or the machine's "Disallowed" store.
    bool Disallowed(PCCERT_CONTEXT cert);
    void CloseTrustStores();
    // Counts an ERROR_ACCESS_DENIED; returns `error`.
    DWORD CountDenied(DWORD error);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);

    win32::ComScope com_;
    HWND owner_ = nullptr;
    std::optional<std::size_t> writeLimit_;
    std::map<UINT_PTR, std::shared_ptr<TimerCallback>> timers_;
    std::uint64_t denied_ = 0;
    // The "Disallowed" stores, opened at their first use.
    bool disallowedOpened_ = false;
    HCERTSTORE disallowedUser_ = nullptr;
    HCERTSTORE disallowedMachine_ = nullptr;
};

}  // namespace vantorell::platform
