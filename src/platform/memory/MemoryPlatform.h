// An in-memory Windows: two registry hives, folders and files with hidden and
// system attributes, shortcut files, a virtual clock that fires timers, message
// boxes answered by a script, and injectable faults. Used by the unit tests and
// the native build.
//
// One world that every facet is a view of: the registry, the files, the clock
// and the watches all touch the same hives, folders and counts. It is the
// bundle of its facets too, so a test hands it to whatever takes a Platform or
// one facet. Each facet's code lives in a file of its own: MemoryRegistry.cpp,
// MemoryFiles.cpp, MemoryLocale.cpp, MemoryShell.cpp, MemoryClock.cpp,
// MemoryLocks.cpp, MemoryProcesses.cpp and MemoryFileIdentity.cpp; what the
// world itself keeps (faults, rights, paths) is in MemoryPlatform.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vantorell::platform {

// The operations a fault can be injected into.
enum class Op {
    OpenKeyFull,  // opening a key with full access (or creating it)
    OpenKeyRead,  // opening a key for reading
    EnumValues,
    QueryValue,
    SetValue,
    DeleteValue,
    ReadFile,
    WriteFile,
    DeleteFile,
    ReadShortcut,
    WriteShortcut,
    StartCommand,
    ListFolder,  // listing the files of a folder
};

class MemoryPlatform final : public Registry,
                             public Files,
                             public Locale,
                             public Shell,
                             public Clock,
                             public Locks,
                             public Processes,
                             public FileIdentity,
                             public Services,
                             public Platform {
public:
    MemoryPlatform();
    ~MemoryPlatform();
    // The bundle refers to this very object.
    MemoryPlatform(const MemoryPlatform&) = delete;
    MemoryPlatform& operator=(const MemoryPlatform&) = delete;

    // ---- setting the scene (none of these consult the fault hook)
    // The registry scene functions take the view as OpenKey does: Bits32 names
    // the 32-bit view of the machine hive, a tree of its own while the machine
    // has two views (the default, as on 64-bit Windows).
    void PutValue(Hive hive, std::string_view keyPath, std::string_view name, RegValue value,
                  RegView view = RegView::Bits64);
    void PutString(Hive hive, std::string_view keyPath, std::string_view name, std::string_view text,
                   RegView view = RegView::Bits64);
    std::optional<RegValue> GetValue(Hive hive, std::string_view keyPath, std::string_view name,
                                     RegView view = RegView::Bits64) const;
    bool KeyExists(Hive hive, std::string_view keyPath, RegView view = RegView::Bits64) const;
    void RemoveKey(Hive hive, std::string_view keyPath, RegView view = RegView::Bits64);
    // False: a 32-bit Windows, where both views are one.
    void SetTwoRegistryViews(bool two) { twoViews_ = two; }
    void AddFolder(std::string_view path);
    void PutFile(std::string_view path, std::string_view bytes, bool hidden = false, bool system = false);
    void PutShortcut(std::string_view path, const ShortcutData& data);
    std::optional<std::string> GetFile(std::string_view path) const;
    bool FolderExists(std::string_view path) const;
    void SetExecutablePath(std::string path) { exePath_ = std::move(path); }
    // What the system lists of the session's programs, and its processor times.
    void SetSessionProcesses(std::vector<ProcessFacts> processes) { processes_ = std::move(processes); }
    void SetCpuTimes(std::optional<CpuTimes> times) { cpuTimes_ = times; }
    void SetLogonTime(std::optional<std::uint64_t> at) { logonTime_ = at; }
    static constexpr std::uint64_t kStartTime = 134'000'000'000'000'000ULL;  // a file time in 2025
    // A service as an installer makes it: its key under kServicesKey with
    // "Type", "Start", "ImagePath" (expandable), and where given
    // "DelayedAutostart", "DisplayName", "Description" and
    // "Parameters\ServiceDll".
    struct ServiceScene {
        std::uint32_t type = 0x10;
        std::uint32_t start = 2;
        std::string imagePath;
        std::string serviceDll{};
        bool delayed = false;
        std::string displayName{};
        std::string description{};
    };
    void PutService(std::string_view name, const ServiceScene& service);

    // ---- faults: return true from the hook to make that operation fail.
    // `where` is the key path (registry), the file path (files, shortcuts) or the
    // command line.
    using FaultHook = std::function<bool(Op op, Hive hive, std::string_view where)>;
    void SetFaultHook(FaultHook hook) { fault_ = std::move(hook); }
    // A failed write may leave part of the new content in the temporary file, as a
    // full disk would, but never touches the target.
    std::size_t WritesAttempted() const { return writesAttempted_; }

    // ---- the writers' lock
    // Called when a writer is about to get the lock of `path` (not when it takes
    // it again): the place to play another process that wrote just before.
    using LockHook = std::function<void(std::string_view path)>;
    void SetLockHook(LockHook hook) { lockHook_ = std::move(hook); }
    // Whether the writers' lock of `path` is held now.
    bool WriterLockHeld(std::string_view path) const;
    // Atomic writes of `path` made while its writers' lock was not held.
    std::size_t WritesWithoutLock(std::string_view path) const;
    // How often the writers' lock of `path` was taken (not counting retakes).
    std::size_t WriterLocksTaken(std::string_view path) const;
    // Plays another process that holds the writers' lock of `path` for longer
    // than any writer waits: LockForWriting gives nullptr for it.
    void HoldLockElsewhere(std::string_view path, bool held = true);
    // ---- rights. A standard user: keys of the machine hive do not open with
    // full access, and writes under the protected folders are refused, each
    // refusal counted as access denied; IsElevated is false. Off by default
    // (an administrator's elevated process, as Wine runs every program).
    void SetStandardUser(bool on) { standardUser_ = on; }
    bool StandardUser() const { return standardUser_; }
    void ProtectFolder(std::string_view folder);
    // Known folders; LocalAppData and ProgramData have Windows' usual paths.
    void SetKnownFolder(KnownFolder folder, std::optional<std::string> path);
    // Answers RunElevated; without a script every run is cancelled at the prompt.
    using ElevatedScript = std::function<ElevatedRun(std::string_view program, std::string_view parameters)>;
    void SetElevatedScript(ElevatedScript script) { elevatedScript_ = std::move(script); }
    // Program and parameters of every RunElevated, joined by a blank.
    const std::vector<std::string>& ElevatedRuns() const { return elevatedRuns_; }

    // ---- what files are
    void SetEnvironment(std::string name, std::optional<std::string> value);
    // Paths that start with `prefix` ("Z:", "\\\\server") are on a network share.
    void AddNetworkPrefix(std::string prefix) { networkPrefixes_.push_back(std::move(prefix)); }
    void SetVersionFacts(std::string_view path, VersionFacts facts);
    // The embedded signature's check of a file (unsigned when none is set).
    void SetSignature(std::string_view path, SignatureFacts facts);
    // A catalog that lists the file as its bytes are now, by the given hash.
    void AddToCatalog(std::string_view path, CatalogHash kind, SignatureFacts facts);
    // How many embedded signatures were checked.
    std::size_t SignatureChecks() const { return signatureChecks_; }
    // Whether the volume keeps a change journal: a held file's stamp is then
    // its ID and journal number, otherwise a hash of its bytes. Off by
    // default, as under Wine. A rewrite in place keeps the file's size and
    // last-write time (WriteFileAtomic), as a writer who puts the times back.
    void SetChangeJournal(bool on) { changeJournal_ = on; }
    // Folders that only administrators can write (see AdministratorsOnlyFolder);
    // a protected folder's sub-folders are too.
    void SetAdministratorsOnly(std::string_view folder) { adminOnly_.push_back(PathKey(folder)); }
    // How many times a file's facts were looked up (StatFile).
    std::size_t FileLookups() const { return fileLookups_; }

    // ---- helpers: without a script none can be run (CanRunHelper is false)
    // The helper's run: what it writes for an argument and input, all of it at
    // its first Poll; nullopt: it does not start.
    using HelperScript = std::function<std::optional<std::string>(std::string_view argument, std::string_view input)>;
    void SetHelperScript(HelperScript script) { helperScript_ = std::move(script); }
    // Helpers started from now on write what the script gives and then never end.
    void SetHelperHangs(bool hangs) { helperHangs_ = hangs; }
    std::size_t HelperRuns() const { return helperRuns_; }

    // ---- the virtual clock and modal boxes
    std::uint64_t Now() const { return now_; }
    // Advances the clock by `ms`, firing every due timer in time order. A timer
    // callback may open message boxes whose script advances the clock further.
    void Advance(std::uint64_t ms);
    struct ShownBox {
        std::string text, caption;
        unsigned style = 0;
        std::uint64_t at = 0;
    };
    using BoxScript = std::function<int(const ShownBox&)>;
    // Without a script, a box is answered OK (or No for Yes/No boxes).
    void SetBoxScript(BoxScript script) { boxScript_ = std::move(script); }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    void ClearBoxes() { boxes_.clear(); }
    const std::vector<std::string>& StartedCommands() const { return started_; }
    const std::vector<std::string>& OpenedDocuments() const { return opened_; }
    // Files started through the shell (ShellStart), in order.
    const std::vector<std::string>& ShellStarted() const { return shellStarted_; }
    std::size_t ActiveTimers() const;
    // Top-level windows other programs show, for RaiseWindowByTitle.
    void AddWindowTitle(std::string title) { windows_.insert(std::move(title)); }
    const std::vector<std::string>& RaisedWindows() const { return raised_; }
    // A row's shell actions, in order: "folder PATH", "properties PATH",
    // "regedit LASTKEY" (LastKey is written as the editor would find it).
    const std::vector<std::string>& ShellViews() const { return shellViews_; }
    // What CopyText last put on the clipboard.
    const std::string& Clipboard() const { return clipboard_; }
    std::uint64_t OpenKeyCount() const { return openKeys_; }
    // Keys opened and not yet closed.
    std::size_t KeysOpenNow() const { return keysOpenNow_; }
    // Change watches. Off by default: WatchPlaces gives nullptr, as on a
    // system that cannot watch, and the monitor polls every 12 seconds. Once
    // enabled, a watch lists its places, SignalChange plays a change of them
    // as the system would signal it (every live watch's callback runs now),
    // and SetWatchesArmed plays a change after which the watches could not
    // be armed again (or were armed again): as on Windows, a watch gains or
    // loses its arming only when it fires, so the change is signalled too.
    // While a message box is open its own loop runs, as on Windows: a change
    // is then taken up at the next tick of a kModalPollMs timer that lives as
    // long as the outermost box, or when the box closes.
    void EnableWatches(bool enable = true) { watchesEnabled_ = enable; }
    std::vector<WatchPlace> WatchedPlaces() const;
    // How many times a file was read (found or not).
    std::size_t FileReads() const { return fileReads_; }
    // Reads of the one file `path` (a scan reads each list file once).
    std::size_t FileReadsOf(std::string_view path) const;
    void SignalChange();
    // A change of folder `path` only: the callbacks of the watches that list it.
    void SignalFolderChange(std::string_view path);
    void SetWatchesArmed(bool armed) {
        watchesArmed_ = armed;
        SignalChange();
    }

    // ---- Registry (MemoryRegistry.cpp)
    std::unique_ptr<RegKey> OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                    RegView view = RegView::Bits64) override;
    bool HasTwoRegistryViews() override { return twoViews_; }
    // ---- Files (MemoryFiles.cpp)
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
    // ---- Locale (MemoryLocale.cpp)
    std::string AnsiToUtf8(std::string_view bytes) override;
    int CompareNoCase(std::string_view a, std::string_view b) override;
    std::string FoldCase(std::string_view text) override;
    std::optional<std::string> SortKeyNoCase(std::string_view text) override;
    // ---- Shell (MemoryShell.cpp)
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    bool StartCommand(std::string_view commandLine) override;
    bool ShellOpen(std::string_view path, std::string_view verb) override;
    bool ShellStart(std::string_view path) override;
    bool RaiseWindowByTitle(std::string_view title) override;
    bool ShowInFolder(std::string_view path) override;
    bool ShowProperties(std::string_view path) override;
    bool OpenRegistryEditor(std::string_view lastKey) override;
    bool CopyText(std::string_view text) override;
    // ---- Clock (MemoryClock.cpp)
    TimerId StartTimer(unsigned intervalMs, TimerCallback callback) override;
    void StopTimer(TimerId id) override;
    std::uint64_t TickMs() override { return now_; }
    std::unique_ptr<ChangeWatch> WatchPlaces(const std::vector<WatchPlace>& places, ChangeCallback onChange) override;
    // ---- Locks (MemoryLocks.cpp)
    bool LockExists(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLock(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLockOnce(std::string_view name, bool& existed) override;
    std::unique_ptr<NamedLock> LockForWriting(std::string_view path, unsigned timeoutMs) override;
    // ---- Processes (MemoryProcesses.cpp)
    std::string ExecutablePath() override { return exePath_; }
    std::optional<std::string> EnvironmentVariable(std::string_view name) override;
    bool IsElevated() override { return !standardUser_; }
    std::uint64_t AccessDeniedCount() override { return deniedCount_; }
    ElevatedRun RunElevated(std::string_view program, std::string_view parameters) override;
    bool CanRunHelper() override { return static_cast<bool>(helperScript_); }
    std::unique_ptr<HelperRun> StartHelper(std::string_view argument, std::string_view input) override;
    std::vector<ProcessFacts> SessionProcesses(std::uint64_t createdSince) override;
    std::optional<CpuTimes> SystemCpuTimes() override { return cpuTimes_; }
    std::optional<std::uint64_t> LogonTime() override { return logonTime_; }
    std::uint64_t StartTime() override { return startTime_; }
    // The virtual clock as a file time: StartTime plus the milliseconds advanced.
    std::uint64_t FileTimeNow() override { return startTime_ + now_ * 10'000; }
    // ---- FileIdentity (MemoryFileIdentity.cpp)
    FileFacts StatFile(std::string_view path) override;
    std::optional<VersionFacts> ReadVersionFacts(std::string_view path) override;
    SignatureFacts VerifyEmbeddedSignature(std::string_view path) override;
    std::optional<std::string> HashForCatalog(std::string_view path, CatalogHash kind) override;
    std::optional<SignatureFacts> VerifyCatalogSignature(std::string_view path, std::string_view hash,
                                                         CatalogHash kind) override;
    std::unique_ptr<FileHold> HoldFile(std::string_view path) override;
    bool AdministratorsOnlyFolder(std::string_view path) override;
    // ---- Services (MemoryServices.cpp): the manager writes the services' keys
    Status SetStartType(std::string_view name, std::uint32_t start, bool delayed) override;
    Status DeleteService(std::string_view name) override;

    struct Key;  // a registry key: ordered values and sub-keys

private:
    struct File {
        std::string path;  // as first written
        std::string bytes;
        bool hidden = false, system = false;
        std::uint64_t written = 0;  // the write's number, for its last-write time
        std::uint64_t id = 0;       // the file's ID: new for each file made
        std::uint64_t usn = 0;      // the change journal's number of its last change
    };
    class MemHold;
    struct Timer {
        unsigned interval;
        std::uint64_t due;
        std::shared_ptr<TimerCallback> callback;
    };
    class MemKey;
    class MemLock;

    Key* FindKey(Hive hive, std::string_view path, bool create);
    const Key* FindKey(Hive hive, std::string_view path) const;
    bool Faulty(Op op, Hive hive, std::string_view where) const;
    static std::string PathKey(std::string_view path);
    // A write to `path` refused for a standard user (and counted).
    bool WriteDenied(std::string_view path);
    // Where a key of that view lives in this stand-in's trees.
    std::string ViewPath(Hive hive, std::string_view path, RegView view) const;

    std::unique_ptr<Key> hives_[2];
    std::map<std::string, File> files_;  // by folded path
    std::set<std::string> folders_;      // folded paths
    std::string exePath_ = "C:\\Program Files\\Vantorell\\vantorell.exe";
    FaultHook fault_;
    std::size_t writesAttempted_ = 0;
    std::uint64_t now_ = 0;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    BoxScript boxScript_;
    std::vector<ShownBox> boxes_;
    std::vector<std::string> started_, opened_, raised_, shellStarted_, shellViews_;
    std::string clipboard_;
    std::set<std::string> locks_, windows_;
    std::uint64_t openKeys_ = 0;
    std::size_t keysOpenNow_ = 0;
    bool standardUser_ = false;
    std::vector<std::string> protected_;  // folded folder paths
    std::map<KnownFolder, std::optional<std::string>> knownFolders_;
    ElevatedScript elevatedScript_;
    HelperScript helperScript_;
    std::size_t helperRuns_ = 0;
    bool helperHangs_ = false;
    std::vector<std::string> elevatedRuns_;
    std::uint64_t deniedCount_ = 0;
    std::vector<ProcessFacts> processes_;
    std::optional<CpuTimes> cpuTimes_;
    std::optional<std::uint64_t> logonTime_;
    std::uint64_t startTime_ = kStartTime;
    std::size_t fileReads_ = 0;
    std::map<std::string, std::size_t> fileReadsOf_;  // by PathKey
    bool twoViews_ = true;
    class MemWatch;
    struct WatchState {
        std::vector<WatchPlace> places;
        std::shared_ptr<ChangeCallback> onChange;
    };
    std::map<std::uint64_t, WatchState> watches_;
    std::uint64_t nextWatch_ = 1;
    bool watchesEnabled_ = false;
    bool watchesArmed_ = true;
    int modalDepth_ = 0;          // message boxes open, one inside the other
    bool changePending_ = false;  // signalled while a box was open, not yet taken up
    void TakeUpPendingChange();
    void DeliverChange();
    LockHook lockHook_;
    std::map<std::string, int> writerLocks_;             // by PathKey: how deep it is held
    std::map<std::string, std::size_t> unlockedWrites_;  // by PathKey
    std::map<std::string, std::size_t> locksTaken_;      // by PathKey
    std::set<std::string> heldElsewhere_;                // by PathKey
    class WriterLock;
    std::map<std::string, std::string> environment_;  // by upper-case name
    std::vector<std::string> networkPrefixes_;
    std::map<std::string, VersionFacts> versions_;      // by PathKey
    std::map<std::string, SignatureFacts> signatures_;  // by PathKey
    std::map<std::string, SignatureFacts> catalog_;     // by hash
    std::size_t signatureChecks_ = 0;
    std::size_t fileLookups_ = 0;
    std::uint64_t writes_ = 0;
    std::uint64_t fileIds_ = 0, usn_ = 0;
    bool changeJournal_ = false;
    std::vector<std::string> adminOnly_;  // folded folder paths
};

}  // namespace vantorell::platform
