// The files facet of the platform: plain files, shortcut files, folders and
// the folders Windows names for every program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::platform {

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

// Folders Windows names for every program, found through the shell.
enum class KnownFolder {
    LocalAppData,  // the user's local application data (%LOCALAPPDATA%)
    ProgramData,   // application data shared by every user (%ProgramData%)
    Windows,       // the Windows folder (%SystemRoot%)
};

// Writes refused for lack of rights are counted (Processes::AccessDeniedCount).
class Files {
public:
    // Shortcut files.
    virtual bool ReadShortcut(std::string_view linkFile, ShortcutData& out) = 0;
    virtual bool WriteShortcut(std::string_view linkFile, const ShortcutData& data) = 0;
    // Plain files matching "*.lnk" in `folder` (no hidden or system files, no
    // folders), names only, in any order (callers sort).
    virtual std::vector<std::string> ListShortcutFiles(std::string_view folder) = 0;
    // False when `folder` is there but its files cannot be listed (refused, or
    // the listing failed), which ListShortcutFiles does not tell from an empty
    // folder; true for a folder that can be listed or is not there.
    virtual bool FolderListable(std::string_view folder) = 0;

    // Plain files.
    virtual bool FileExists(std::string_view path) = 0;
    virtual bool RemoveFile(std::string_view path) = 0;
    virtual FileRead ReadFile(std::string_view path) = 0;
    // Replaces `path` atomically: the old content stays intact unless the whole
    // new content is on disk.
    virtual Status WriteFileAtomic(std::string_view path, std::string_view bytes) = 0;
    // Copies a file byte for byte to `to`, replacing it, and creates the folders
    // `to` needs. False when it could not be copied whole (`to` is then not left
    // half written).
    virtual bool CopyFileBytes(std::string_view from, std::string_view to) = 0;

    // Folders. The known folder's path, without a trailing backslash; nullopt
    // when there is none.
    virtual std::optional<std::string> KnownFolderPath(KnownFolder folder) = 0;
    // Creates a folder (its parents too); true when it exists afterwards.
    virtual bool CreateFolder(std::string_view path) = 0;

protected:
    ~Files() = default;
};

}  // namespace vantorell::platform
