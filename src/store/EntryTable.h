// The in-memory table of every autostart entry, rebuilt whole by each scan.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/StartupRecord.h"

namespace vantorell::store {

struct AutostartLocation;

enum class EntryState {
    Active,    // in its autostart place; Windows starts it
    Disabled,  // taken out and recorded; nobody starts it
    Deferred,  // taken out and recorded; Vantorell starts it at logon
};

// The states' texts in the grid, the console's table and its JSON output.
inline constexpr const char* kStateActive = "1";
inline constexpr const char* kStateDisabled = "0";
inline constexpr const char* kStateDeferred = "2";

constexpr std::string_view StateText(EntryState state) {
    switch (state) {
        case EntryState::Active: return kStateActive;
        case EntryState::Disabled: return kStateDisabled;
        case EntryState::Deferred: return kStateDeferred;
    }
    return {};
}

// What a service's key says beyond its name and command.
struct ServiceFacts {
    std::string displayName;  // "DisplayName", as stored (may be an indirect "@file,-id")
    std::string description;  // "Description", as stored
    // The library a shared host (svchost.exe) runs for it ("ServiceDll"); empty for a program of its own.
    std::string serviceDll;
    bool delayed = false;  // "DelayedAutostart": started a while after the automatic ones
};

// One autostart item.
struct StartupEntry {
    std::string name;      // registry value name, or shortcut file name with ".lnk"
    std::string location;  // location code of its place ("SUF", "crun", ...)
    EntryState state = EntryState::Active;
    ConfirmFlag confirm;  // ask before starting at logon; always off for an active entry
    DelaySeconds delay;   // seconds to wait at logon; always 0 for an active entry
    std::string command;  // run command
    int position = 0;     // 0-based place in the display order (sorted by name)
    // The place of `location`; nullptr for a code that names none.
    const AutostartLocation* place = nullptr;
    // An active entry that Windows' own switch (Task Manager, Settings) has
    // turned off: still in its place, so its state stays Active, but
    // Windows does not start it.
    bool windowsOff = false;
    // An entry of an Active Setup place: the component's sub-key, which tells
    // it from another component that shows the same name. Empty elsewhere.
    std::string subKey{};
    // An entry of the services' place: what its key says; null elsewhere, and
    // for a record whose service is gone.
    std::shared_ptr<const ServiceFacts> service{};

    bool IsActive() const { return state == EntryState::Active; }
};

// Rows 0..M-1 are the records of the list file in file order (row i is
// storedRecords[i]); rows M..N-1 are the active entries in scan order. The
// positions are a permutation of 0..N-1. Only the scan builds the table; the
// confirm and delay fields are the only ones written in place, and only just
// before they are stored.
struct EntryTable {
    std::vector<StartupEntry> entries;
    std::vector<StartupRecord> storedRecords;  // the records of "StartupList.txt"
    bool twoViews = false;                     // the machine hive has a 32-bit view of its own

    std::size_t RecordCount() const { return storedRecords.size(); }
};

}  // namespace vantorell::store
