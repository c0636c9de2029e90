// The one interface between Vantorell's logic and the operating system.
//
// Everything above this header is portable C++20 and never includes <windows.h>.
// Two implementations exist: platform/win32 (the real Windows, wide-character APIs)
// and platform/memory (an in-memory Windows used by the unit tests).
//
// Error contract: platform calls report failure through their results (bool,
// std::optional, Status); they never throw. The portable layers above turn the
// failures the user must see into AppError (see Errors.h).
//
// Text: every std::string here is UTF-8, except where a member says "bytes".
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::platform {

// ---------------------------------------------------------------- registry

enum class Hive { CurrentUser, LocalMachine };
// Full: to change the key; a refusal counts as access denied (AccessDeniedCount).
// FullToList: full access where this process has it, for a key opened to list
// its values; a refusal is no refused change and is not counted. Read: reading only.
enum class KeyAccess { Full, FullToList, Read };
// Which registry view of HKEY_LOCAL_MACHINE\Software a key is opened in. On
// 64-bit Windows, Bits64 is the native view and Bits32 the one 32-bit programs
// see by default; on 32-bit Windows there is one view and both name it. A
// 32-bit build asks for Bits64 too, so that every program of the machine is
// seen the same way whichever build runs.
enum class RegView { Bits64, Bits32 };

// Registry value types, numbered as Windows numbers them.
namespace RegType {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Sz = 1;
inline constexpr std::uint32_t ExpandSz = 2;
inline constexpr std::uint32_t Binary = 3;
inline constexpr std::uint32_t Dword = 4;
inline constexpr std::uint32_t MultiSz = 7;
inline constexpr std::uint32_t Qword = 11;
}  // namespace RegType

inline bool IsStringType(std::uint32_t type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

// A value as stored. For Sz/ExpandSz, `data` is the text in UTF-8, converted in
// full: embedded NULs and terminating NULs are kept as they are stored. For
// every other type, `data` holds the raw bytes.
struct RegValue {
    std::uint32_t type = RegType::Sz;
    std::string data;
};

// One open registry key. Closing (destruction) releases it; Flush writes it to disk.
class RegKey {
public:
    virtual ~RegKey() = default;
    // Names in the registry's enumeration order; the default value has the empty
    // name. nullopt when the key's values cannot be enumerated.
    virtual std::optional<std::vector<std::string>> ValueNames() = 0;
    virtual std::optional<RegValue> Query(std::string_view name) = 0;
    // Every value with its data, in the enumeration order; nullopt when the
    // key's values cannot be enumerated. A value that goes away meanwhile is
    // left out. The system may do this in one call per value instead of two.
    virtual std::optional<std::vector<std::pair<std::string, RegValue>>> Values() {
        auto names = ValueNames();
        if (!names) return std::nullopt;
        std::vector<std::pair<std::string, RegValue>> values;
        values.reserve(names->size());
        for (auto& name : *names) {
            // A value listed but not readable is still listed, without data.
            RegValue value = Query(name).value_or(RegValue{RegType::None, {}});
            values.emplace_back(std::move(name), std::move(value));
        }
        return values;
    }
    virtual bool Set(std::string_view name, const RegValue& value) = 0;
    virtual bool Delete(std::string_view name) = 0;
    virtual void Flush() = 0;
    // The names of the key's sub-keys, in the registry's enumeration order;
    // nullopt when they cannot be enumerated.
    virtual std::optional<std::vector<std::string>> SubKeyNames() { return std::nullopt; }
};

// ---------------------------------------------------------------- shortcuts

// Show commands of a shortcut, numbered as Windows numbers them.
namespace ShowCmd {
inline constexpr int Normal = 1;
inline constexpr int Maximized = 3;
inline constexpr int Minimized = 6;
}  // namespace ShowCmd

// Everything a .lnk file carries that Vantorell reads or writes.
struct ShortcutData {
    std::string target;  // target path (network form where the shell offers one)
    std::string arguments;
    std::string description;
    std::string workingDirectory;
    std::string iconFile;
    int iconIndex = 0;
    std::uint16_t hotKey = 0;
    int showCmd = ShowCmd::Normal;
    // Read only: the parsing path of a target that is a shell item without a
    // file path (a packaged app, a control panel item); empty otherwise.
    std::string itemPath;
};

// ---------------------------------------------------------------- files

struct Status {
    bool ok = true;
    std::string message;  // why it failed, for the user
    explicit operator bool() const { return ok; }
    static Status Ok() { return {}; }
    static Status Fail(std::string why) { return {false, std::move(why)}; }
};

enum class ReadOutcome { Ok, NotFound, Failed };

struct FileRead {
    ReadOutcome outcome = ReadOutcome::NotFound;
    std::string bytes;    // the whole file when Ok
    std::string message;  // why it failed when Failed
};

// ---------------------------------------------------------------- dialogs and processes

namespace MsgBox {
// Buttons and icons; values as Windows numbers them.
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconError = 0x10;
inline constexpr unsigned IconWarning = 0x30;
inline constexpr unsigned IconInformation = 0x40;
inline constexpr unsigned DefButton1 = 0x0;
inline constexpr unsigned OwnedByDesktop = 0x10000000;  // not a Windows flag: owner is the desktop
// Answers.
inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;
}  // namespace MsgBox

using TimerCallback = std::function<void()>;
using TimerId = std::uint32_t;

// Folders Windows names for every program, found through the shell.
enum class KnownFolder {
    LocalAppData,  // the user's local application data (%LOCALAPPDATA%)
    ProgramData,   // application data shared by every user (%ProgramData%)
};

// How a program run with administrator rights ended.
struct ElevatedRun {
    enum class Outcome {
        Finished,   // it ran; exitCode is its exit code
        Cancelled,  // the user said no at the prompt for the rights (ERROR_CANCELLED)
        Failed,     // it could not be started; message says why
    };
    Outcome outcome = Outcome::Failed;
    int exitCode = 0;
    std::string message;
    std::string report;  // what the program wrote to the report handle it was given (Finished only)
};

// The option that gives an elevated program the handle to write its report to:
// "--report-to PID:HANDLE", the caller's process id and a handle value in that
// process, both decimal. RunElevated puts it first on the program's command line.
inline constexpr std::string_view kReportToOption = "--report-to";

// The writers' lock of a file "X" is the file "X" + this suffix, beside it.
inline constexpr std::string_view kWriterLockSuffix = ".lock";

// A system-wide named lock held while this object lives.
class NamedLock {
public:
    virtual ~NamedLock() = default;
};

// ---------------------------------------------------------------- change watches

// A place whose changes are watched: a registry key (its values added, changed
// or deleted; a key that does not exist yet is watched through the nearest
// parent that does, so its creation is seen too) or a folder (files added,
// removed, renamed or written).
struct WatchPlace {
    enum class Kind { Key, Folder };
    Kind kind = Kind::Key;
    Hive hive = Hive::CurrentUser;
    RegView view = RegView::Bits64;
    std::string path;      // key path relative to the hive, or the folder's full path
    bool subtree = false;  // a key: the values of its sub-keys too

    bool operator==(const WatchPlace&) const = default;
};

// The watches of a set of places; destroying it ends them.
class ChangeWatch {
public:
    virtual ~ChangeWatch() = default;
    // True while every place is watched, each key directly or through a parent.
    virtual bool Armed() const = 0;
};

using ChangeCallback = std::function<void()>;

// ---------------------------------------------------------------- what a file is

// What the file system says of a path, without opening the file.
struct FileFacts {
    bool exists = false;
    // On a network share (UNC, or a drive letter mapped to one): nothing else
    // is looked up, since a share may keep the caller waiting for minutes.
    bool network = false;
    bool directory = false;
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;  // the system's file time (100 ns units)
};

// The texts of a file's version resource; empty where it has none.
struct VersionFacts {
    std::string company;      // CompanyName
    std::string description;  // FileDescription
    std::string fileVersion;  // FileVersion
};

// What the system's trust check said of one signature of a file, and what the
// caller found in the signer's chain itself.
struct SignatureFacts {
    bool opened = true;        // false: the file could not be opened (held exclusively, refused)
    bool unavailable = false;  // the system's trust check could not be loaded
    std::uint32_t code = 0;    // the trust check's result (0 trusted, else an HRESULT)
    std::string signer;        // the signing certificate's common name, where it can be read
    std::string issuer;        // the common name of the signing certificate's issuer
    // The SHA-1 and SHA-256 of the signing certificate, in lower-case hex, where it can be read.
    std::string thumbprintSha1, thumbprintSha256;
    bool partialChain = false;       // the chain does not reach a root
    bool untrustedRoot = false;      // it reaches a root that is not trusted
    bool notForCodeSigning = false;  // the signer's certificate is not for code signing
    bool disallowed = false;         // a certificate of the chain is in the "Disallowed" store
};

// The hash a catalog holds a file under.
enum class CatalogHash { Sha256, Sha1 };

// A helper that StartHelper started. Destroying it ends the helper if it
// still runs.
class HelperRun {
public:
    virtual ~HelperRun() = default;
    // Appends what the helper wrote since the last call to `output`, without
    // waiting. True once it has ended and everything it wrote was read.
    virtual bool Poll(std::string& output) = 0;
};

// A file held open so that nobody can write, rename or delete it while this
// lives, and what names its present bytes (see Stamp).
class FileHold {
public:
    virtual ~FileHold() = default;
    // What tells the file's present bytes from any others that a writer of the
    // file could put in its place, times and size included: "usn:" with the
    // volume, the file's ID and the NTFS change journal's number for it where
    // the volume keeps a journal, otherwise "sha256:" and the content's hash.
    // Empty when neither can be had (the file is then never answered from memory).
    virtual std::string Stamp() = 0;
    // The stamp when it can be had without reading the content (the change
    // journal's); empty otherwise.
    virtual std::string QuickStamp() = 0;
};

// While a modal box or dialog of the program is open, its own message loop
// runs instead of the program's: the platform still serves the watches then,
// at least this often.
inline constexpr unsigned kModalPollMs = 200;

// ---------------------------------------------------------------- the platform

class Platform {
public:
    virtual ~Platform() = default;

    // Registry. `path` is relative to the hive; a leading backslash is dropped by
    // the caller. nullptr when the key cannot be opened (or created).
    virtual std::unique_ptr<RegKey> OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                            RegView view = RegView::Bits64) = 0;
    // True on 64-bit Windows, where the machine hive has a 32-bit view of its own.
    virtual bool HasTwoRegistryViews() = 0;

    // Shortcut files.
    virtual bool ReadShortcut(std::string_view linkFile, ShortcutData& out) = 0;
    virtual bool WriteShortcut(std::string_view linkFile, const ShortcutData& data) = 0;
    // Plain files matching "*.lnk" in `folder` (no hidden or system files, no
    // folders), names only, in any order (callers sort).
    virtual std::vector<std::string> ListShortcutFiles(std::string_view folder) = 0;
    // False when `folder` is there but its files cannot be listed (refused, or
    // the listing failed), which ListShortcutFiles does not tell from an empty
    // folder; true for a folder that can be listed or is not there.
    virtual bool FolderListable(std::string_view /*folder*/) { return true; }

    // Files.
    virtual bool FileExists(std::string_view path) = 0;
    virtual bool RemoveFile(std::string_view path) = 0;
    virtual FileRead ReadFile(std::string_view path) = 0;
    // Replaces `path` atomically: the old content stays intact unless the whole
    // new content is on disk.
    virtual Status WriteFileAtomic(std::string_view path, std::string_view bytes) = 0;
    // Full path of the running executable.
    virtual std::string ExecutablePath() = 0;
    // Copies a file byte for byte to `to`, replacing it, and creates the folders
    // `to` needs. False when it could not be copied whole (`to` is then not left
    // half written).
    virtual bool CopyFileBytes(std::string_view from, std::string_view to) {
        const FileRead read = ReadFile(from);
        return read.outcome == ReadOutcome::Ok && WriteFileAtomic(to, read.bytes).ok;
    }

    // Text. Converts bytes in the system's ANSI code page to UTF-8.
    virtual std::string AnsiToUtf8(std::string_view bytes) = 0;
    // Locale-aware comparison without regard to case: <0, 0, >0.
    virtual int CompareNoCase(std::string_view a, std::string_view b) = 0;
    // A case-folded form such that FoldCase(a) == FoldCase(b) exactly when two
    // names are equal without regard to case (used for hashed lookups).
    virtual std::string FoldCase(std::string_view text) = 0;
    // Optional, for sorting many names: a key whose bytes, compared as unsigned
    // characters, order texts exactly as CompareNoCase does, and that is equal
    // for two texts exactly when CompareNoCase gives 0. nullopt when the
    // platform offers none; callers then compare with CompareNoCase.
    virtual std::optional<std::string> SortKeyNoCase(std::string_view /*text*/) { return std::nullopt; }

    // ---- used by the user interface, the launcher, the monitor and the guard
    virtual int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
    // Starts a command line, show-normal, without waiting. False when it cannot start.
    virtual bool StartCommand(std::string_view commandLine) = 0;
    // Opens a document with its associated program ("open" or the default verb when empty).
    virtual bool ShellOpen(std::string_view path, std::string_view verb) = 0;
    // Starts a file through the shell with its default verb, as a double-click
    // would (a .lnk brings its own working folder and show state), without ever
    // showing an error dialog. False when it cannot start.
    virtual bool ShellStart(std::string_view /*path*/) { return false; }
    // Repeating timers on the GUI thread; a callback may open modal boxes, during
    // which other timers keep firing.
    virtual TimerId StartTimer(unsigned intervalMs, TimerCallback callback) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // True when a lock of that name is held by some process.
    virtual bool LockExists(std::string_view name) = 0;
    // Takes the lock; nullptr when it cannot be created.
    virtual std::unique_ptr<NamedLock> CreateLock(std::string_view name) = 0;
    // Creates the lock in one step, telling in `existed` whether some process
    // held it already. The lock, or nullptr when it existed already or cannot
    // be created; two processes calling at once never both get it.
    virtual std::unique_ptr<NamedLock> CreateLockOnce(std::string_view name, bool& existed) {
        existed = LockExists(name);
        return existed ? nullptr : CreateLock(name);
    }
    // The writers' lock of a file: held by one writer at a time, across
    // processes, sessions and users, and only by those who may write the file's
    // folder. Waits until it is this caller's, at most `timeoutMs`; nullptr when
    // it could not be had. A caller that may not write that folder gets a lock
    // that holds nothing (it cannot save there). The holder may take it again
    // while it holds it. Readers need none: writers replace atomically.
    virtual std::unique_ptr<NamedLock> LockForWriting(std::string_view /*path*/, unsigned /*timeoutMs*/) {
        return std::make_unique<NamedLock>();
    }
    // Finds a top-level window by its title and brings it (or its last active
    // pop-up) to the front. False when there is none.
    virtual bool RaiseWindowByTitle(std::string_view title) = 0;

    // ---- used by the monitor
    // Calls `onChange` on the GUI thread (as a timer callback runs) soon after
    // one of the places changed; several changes close together may come as
    // one call, and the program's own writes count as changes too. Every watch
    // is set again before `onChange` runs, so no change is missed while it
    // runs. Also while a modal box or dialog is open, within kModalPollMs.
    // nullptr when the platform cannot watch: callers then poll.
    virtual std::unique_ptr<ChangeWatch> WatchPlaces(const std::vector<WatchPlace>& /*places*/,
                                                     ChangeCallback /*onChange*/) {
        return nullptr;
    }
    // Milliseconds of a clock that only goes forward.
    virtual std::uint64_t TickMs() {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
    // ---- where a program's files live, and the rights of this process
    // The folder's path, without a trailing backslash; nullopt when there is none.
    virtual std::optional<std::string> KnownFolderPath(KnownFolder folder) = 0;
    // Creates a folder (its parents too); true when it exists afterwards.
    virtual bool CreateFolder(std::string_view path) = 0;
    // Whether this process runs with administrator rights (an elevated token,
    // or rights that need no elevation). Decided by the system, never by a switch.
    virtual bool IsElevated() = 0;
    // How many writes (registry values and keys created, files, shortcuts,
    // folders) have been refused for lack of rights, since the platform was
    // made. A caller compares it before and after an operation to tell a
    // refusal from other failures.
    virtual std::uint64_t AccessDeniedCount() = 0;
    // Runs `program` with `parameters` (one command-line text) with
    // administrator rights: the system asks the user, the program starts
    // hidden, and the call waits until it ends while the window's messages
    // (painting, timers) keep being handled. The program's report travels
    // through an anonymous pipe of this process, whose handle it is given by
    // kReportToOption: nothing is read from or written to a file.
    virtual ElevatedRun RunElevated(std::string_view program, std::string_view parameters) = 0;

    // ---- what a file is. None of these goes online.
    // The environment variable's value; nullopt when it is not set.
    virtual std::optional<std::string> EnvironmentVariable(std::string_view /*name*/) { return std::nullopt; }
    virtual FileFacts StatFile(std::string_view path) {
        FileFacts facts;
        facts.exists = FileExists(path);
        return facts;
    }
    // nullopt when the file has no version resource (or cannot be read).
    virtual std::optional<VersionFacts> ReadVersionFacts(std::string_view /*path*/) { return std::nullopt; }
    // The signature embedded in the file, checked with the signer's chain.
    virtual SignatureFacts VerifyEmbeddedSignature(std::string_view /*path*/) {
        SignatureFacts facts;
        facts.code = 0x800B0100;  // TRUST_E_NOSIGNATURE
        return facts;
    }
    // The file's hash as the system's catalogs list it; nullopt when it cannot
    // be computed.
    virtual std::optional<std::string> HashForCatalog(std::string_view /*path*/, CatalogHash /*kind*/) {
        return std::nullopt;
    }
    // The file's signature through a catalog that lists `hash`; nullopt when
    // no catalog does.
    virtual std::optional<SignatureFacts> VerifyCatalogSignature(std::string_view /*path*/, std::string_view /*hash*/,
                                                                 CatalogHash /*kind*/) {
        return std::nullopt;
    }
    // Holds the file (see FileHold); nullptr when it cannot be held (it is
    // open for writing elsewhere, or gone).
    virtual std::unique_ptr<FileHold> HoldFile(std::string_view /*path*/) { return nullptr; }
    // Whether only Administrators and SYSTEM can write in the folder and own
    // it (nothing else can change what is in it); a folder that does not
    // exist is made so first. False when that cannot be made sure of.
    virtual bool AdministratorsOnlyFolder(std::string_view /*path*/) { return false; }
    // ---- a helper: this program run again for one piece of work, so that
    // what that work loads (the system's cryptography) never stays in the
    // program that sits in the tray, and a file that breaks it cannot end that one.
    // Whether StartHelper can be used here.
    virtual bool CanRunHelper() { return false; }
    // Starts this program with `argument`, hidden, at a low priority and
    // without administrator rights where it can, with `input` to read. Never
    // waits for it. nullptr when it cannot be started.
    virtual std::unique_ptr<HelperRun> StartHelper(std::string_view /*argument*/, std::string_view /*input*/) {
        return nullptr;
    }
};

}  // namespace vantorell::platform
