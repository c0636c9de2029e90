// The autostart store: the autostart places, the list files
// "StartupList.txt", and the scan that rebuilds the entry table from both.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/RegistryKey.h"
#include "platform/ShellLink.h"
#include "store/EntryTable.h"
#include "store/StartupRecord.h"

namespace vantorell::store {

// The facets of the system that the store and its places read and write.
struct StoreFacets {
    platform::Registry& registry;
    platform::Files& files;
    platform::Locale& locale;
    platform::Locks& locks;
    platform::Services& services;  // the services' start types

    StoreFacets(platform::Registry& r, platform::Files& f, platform::Locale& l, platform::Locks& k,
                platform::Services& s)
        : registry(r), files(f), locale(l), locks(k), services(s) {}
    // The store's facets of a whole system.
    StoreFacets(platform::Platform& p) : StoreFacets(p.registry, p.files, p.locale, p.locks, p.services) {}
};

// How a place holds its items; each kind is a class of store/PlaceKinds.h.
enum class PlaceKind {
    Values,        // each value of a key
    Shortcuts,     // each .lnk file of a Startup folder
    ListItems,     // each program named in one value, a list separated by commas (or blanks)
    DefaultValue,  // one value, which Windows reads with a default of its own when it is missing
    StubPaths,     // the "StubPath" value of each sub-key (an Active Setup component)
    Services,      // each Win32 service that starts automatically (a sub-key of the services' key)
};

// One of the autostart places.
struct AutostartLocation {
    std::string_view code;  // "SUF", "crun", ...
    platform::Hive hive;
    bool isFolder;
    // Registry places: the key path. Folder places: the value of the
    // "Shell Folders" key that names the folder ("Startup", "Common Startup").
    std::string_view keyOrFolderValue;
    // The registry view of the key. The user's hive is one for both views.
    platform::RegView view = platform::RegView::Bits64;
    // The key under kStartupApprovedKey in which Windows keeps its own on/off
    // switch of this place's entries ("Run", "Run32", "StartupFolder"); empty
    // for places Windows has no switch for.
    std::string_view switchKey = {};
    // Registry places: how the key holds its items.
    PlaceKind valueKind = PlaceKind::Values;
    // ListItems, DefaultValue: the value that holds the items; StubPaths: the
    // value of each sub-key.
    std::string_view valueName = {};
    // The item Windows itself needs there, as a path under the Windows folder
    // ("system32\userinit.exe", "explorer.exe"): it is not listed, and never
    // taken out.
    std::string_view windowsItem = {};
    // DefaultValue: the text the value is set back to when its item is taken
    // out; empty: the value is deleted.
    std::string_view windowsDefault = {};
    // ListItems: blanks separate the items, as commas do.
    bool blankSeparated = false;
    // A machine key that is one key for both registry views.
    bool oneView = false;
    // A policy key, which the scan does not create where it is missing.
    bool policy = false;
    // Windows starts the item before or outside the shell: AutoKill only
    // reports a comeback here, and taking it out again is left to the user.
    bool reportComebacks = false;

    PlaceKind Kind() const { return isFolder ? PlaceKind::Shortcuts : valueKind; }
    // Machine-wide Run-type keys exist once per registry view.
    bool HasViews() const { return hive == platform::Hive::LocalMachine && !isFolder && !oneView; }
    bool IsMachineWide() const { return hive == platform::Hive::LocalMachine; }
};

// The places in scan order: the ten of every Windows, then the six machine
// Run-type keys of the 32-bit registry view, which exist only on 64-bit
// Windows (the scan skips them where the machine has one view).
const std::vector<AutostartLocation>& Locations();
// Whether the place is to be read on this machine.
bool PlaceExists(platform::Registry& registry, const AutostartLocation& location);
// "64" or "32" for a machine Run-type place on a machine with two views, else "".
std::string_view ViewName(platform::Registry& registry, const AutostartLocation& location);
// The same, for an entry of a scanned table.
std::string_view ViewName(const EntryTable& table, const StartupEntry& entry);
// Where the place is, for the user, as the tip, vantorellc and every message
// name it: the hive and key path, the value that holds the items, "(32-bit)"
// for the 32-bit view where the machine has two; or the folder. `item` is the
// Startup folder's path, or an Active Setup component's sub-key, where known;
// without it, the folder is named by what it is and the sub-key is "{ID}".
std::string PlaceWhere(const AutostartLocation& location, std::string_view item, bool twoViews);
// The place of a code, compared exactly; nullptr for an unknown code.
const AutostartLocation* FindLocation(std::string_view code);
// The places of this machine that are there but whose items could not all be
// read ("lrun (HKEY_LOCAL_MACHINE\...)"), in scan order: a key that its parent
// lists but that does not open, values that cannot be listed, a value listed
// but not readable, an Active Setup component that does not open, a "Shell
// Folders" value that names a Startup folder and cannot be read, a Startup
// folder whose files cannot be listed. The scan takes
// each of them as empty; a check must not take that for "nothing there".
std::vector<std::string> UnreadablePlaces(const StoreFacets& system);
// Whether place `code` is one every user shares (the machine's), so that its
// records belong to the machine's list and changing it needs administrator
// rights. An unknown code is the user's.
bool IsMachinePlace(std::string_view code);

inline constexpr std::string_view kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view kStartupListFile = "StartupList.txt";
// Beside a list: the records an uninstall could not give back (their place
// gone, or holding another program now), kept when the user chose to finish
// it all the same. Lines as in the list; no version reads it as a list.
inline constexpr std::string_view kKeptListFile = "StartupList.kept.txt";
// The folder beside the list file that keeps the .lnk files of the recorded
// shortcuts, one sub-folder per place code.
inline constexpr std::string_view kKeptShortcutsFolder = "Shortcuts";
// Windows' own startup switches (Task Manager, Settings > Apps > Startup), in
// the 64-bit view of each hive: a binary value named like the entry, byte 0
// bit 0 set for "off", bytes 4 to 11 the time it was switched off.
inline constexpr std::string_view kStartupApprovedKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";
inline constexpr std::size_t kSwitchSize = 12;

// Whether `key` lists a value of that name (registry names compare without
// regard to case). Tells a value that cannot be read from one that is not there.
bool ValueListed(platform::Locale& locale, platform::RegistryKey& key, std::string_view name);

// Holds the locks of every list of a store, taken in the lists' order.
using ListLocks = std::vector<std::unique_ptr<platform::NamedLock>>;

class AutostartStore {
public:
    // One list for the records of every place.
    AutostartStore(StoreFacets facets, std::string listFilePath);
    // Two lists: the records of the user's own places ("SUF", "crun",
    // "crunonce", and codes that name no place) in `userList`, those of the
    // machine's places in `machineList`; one list when `machineList` is empty.
    AutostartStore(StoreFacets facets, std::string userList, std::string machineList);
    AutostartStore(const AutostartStore&) = delete;
    AutostartStore& operator=(const AutostartStore&) = delete;

    EntryTable& Table() { return table_; }
    const EntryTable& Table() const { return table_; }
    // The facets the store reads and writes, for its places and for the parts
    // that act on its entries.
    StoreFacets& Facets() { return facets_; }
    platform::ShellLink& Shlnk() { return shlnk_; }
    // The first list: the only one, or the user's.
    const std::string& ListFilePath() const { return lists_.front().path; }
    // Every list, in the order its records come in the table.
    std::vector<std::string> ListFilePaths() const;
    // The list that holds, or will hold, the records of place `code`.
    const std::string& ListFileOf(std::string_view code) const;
    // Takes the writers' lock of every list (platform::Locks::LockForWriting),
    // always in the same order. Empty when one could not be had in `timeoutMs`.
    ListLocks LockLists(unsigned timeoutMs);

    // Replaces the records by the lines of the list files (the user's first),
    // none for a file that is missing. A file that exists but cannot be read
    // throws AppError naming it; the records are then left as they were.
    void LoadStoredRecords();
    // Writes the records to their list files, each replaced atomically. A
    // record read from a list goes back to it; a new one goes to the list of
    // its place. With two lists, a list whose records did not change is not
    // written (the machine's may be read-only for this user). Throws AppError,
    // and writes nothing, when a list to be written could not be read at the
    // last load: saving then would overwrite records that were never read.
    // A save changes every list or none: the lists that gain a record are
    // written first, and when a later list cannot be written the ones written
    // already get their lines back, so that no record is left in no list.
    void SaveStoredRecords();
    // Rewrites the confirm and delay fields of every record from the entries of
    // the same index, then saves. Fields 0 to 3 are kept as they stand.
    void StoreEntryOptions();
    // The folder of "SUF" or "DSUF": the "Startup" or "Common Startup" value of
    // the hive's "Shell Folders" key, or "C:\" when the value is missing or the
    // key cannot be opened. The empty text for any other code.
    std::string StartupFolderPath(std::string_view code);
    // PlaceWhere for entry `index` of the table: its folder's path, or the
    // sub-key of its Active Setup component (the one a record came from).
    std::string EntryWhere(std::size_t index);
    // As StartupFolderPath, for an operation that writes or deletes a shortcut:
    // a "Shell Folders" value that is there but cannot be read throws AppError
    // ("Failed to get data for '%s'") instead of naming "C:\", which would put
    // the shortcut into the wrong folder or miss the one that is there.
    std::string StartupFolderForChange(std::string_view code);
    // Rebuilds the table from the list file and the ten places. When the list
    // file cannot be read it throws AppError and the table stays as it was.
    void ScanEntries();
    // The run command of entry `index`, read afresh: the stored command of a
    // recorded entry, the target of an active shortcut, the data of an active
    // registry value (empty when the value is missing or is not a string).
    std::string RunCommandOf(std::size_t index);
    // Where the .lnk of a shortcut record is kept: "Shortcuts\<code>\<hash>-<file
    // name>" beside its list, the hash of the record's name, place, target and
    // arguments, so that another record (another shortcut of the same name)
    // never takes the same file. Empty for a name without a file name part.
    std::string KeptShortcutPath(const StartupRecord& record) const;
    // The kept .lnk of a shortcut record, when it is there and still holds the
    // record's target and arguments (so it was kept for this record); also one
    // an earlier version kept as "Shortcuts\<code>\<file name>". nullopt for a
    // registry record and when none fits.
    std::optional<std::string> KeptShortcutFor(const StartupRecord& record);
    // False after a load found a list file unreadable, until a load succeeds.
    bool ListFileReadable() const;
    // Whether a list file now holds other lines than at this store's last load
    // or save: another writer changed it. False when one cannot be read (the
    // next scan reports that).
    bool ListsChangedOnDisk();

private:
    struct ListFile {
        std::string path;
        bool machine = false;             // holds the records of the machine's places
        bool readable = true;             // false after a load that could not read it
        std::vector<std::string> loaded;  // its lines at the last load or save
    };
    std::vector<StartupRecord> ReadListFile();
    // Which list a record goes to.
    std::size_t ListIndexFor(const StartupRecord& record) const;
    // Replaces the file of `list` by `lines`.
    void WriteList(const ListFile& list, const std::vector<std::string>& lines);
    std::string FolderOfPlace(std::string_view code, bool strict);

    StoreFacets facets_;
    platform::ShellLink shlnk_;
    std::vector<ListFile> lists_;
    EntryTable table_;
};

}  // namespace vantorell::store
