// The in-memory table of every autostart entry, rebuilt whole by each scan.
#pragma once

#include <string>
#include <vector>

#include "store/StartupRecord.h"

namespace vantorell::store {

struct AutostartLocation;

// Entry states, as held in the table, the grid and the list file.
inline constexpr const char* kStateActive = "1";    // in its autostart place; Windows starts it
inline constexpr const char* kStateDisabled = "0";  // taken out and recorded; nobody starts it
inline constexpr const char* kStateDeferred = "2";  // taken out and recorded; Vantorell starts it at logon

// One autostart item. All fields are text, as the list file and the grid hold them.
struct StartupEntry {
    std::string name;      // registry value name, or shortcut file name with ".lnk"
    std::string location;  // location code of its place ("SUF", "crun", ...)
    std::string state;     // kStateActive, kStateDisabled or kStateDeferred
    std::string confirm;   // "1": ask before starting at logon; "0": don't
    std::string delay;     // seconds to wait at logon, decimal text
    std::string command;   // run command
    int position = 0;      // 0-based place in the display order (sorted by name)
    // The place of `location`; nullptr for a code that names none.
    const AutostartLocation* place = nullptr;
    // An active entry that Windows' own switch (Task Manager, Settings) has
    // turned off: still in its place, so its state stays kStateActive, but
    // Windows does not start it.
    bool windowsOff = false;

    bool IsActive() const { return state == kStateActive; }
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
