// The autostart store: the ten autostart places, the list file
// "StartupList.txt", and the scan that rebuilds the entry table from both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/RegistryAccessor.h"
#include "platform/ShellLink.h"
#include "store/EntryTable.h"

namespace vantorell::store {

// One of the ten autostart places.
struct AutostartLocation {
    std::string_view code;  // "SUF", "crun", ...
    platform::Hive hive;
    bool isFolder;
    // Registry places: the key path. Folder places: the value of the
    // "Shell Folders" key that names the folder ("Startup", "Common Startup").
    std::string_view keyOrFolderValue;
};

// The ten places in scan order.
const std::vector<AutostartLocation>& Locations();
// The place of a code, compared exactly; nullptr for an unknown code.
const AutostartLocation* FindLocation(std::string_view code);

inline constexpr std::string_view kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view kStartupListFile = "StartupList.txt";

// Field k (from 0) of a ";"-separated record; a record with fewer fields
// yields its last field.
std::string RecordField(std::string_view record, int k);
// "2" when the record's confirm or delay field is a number above 0, else "0".
std::string StateOfRecord(std::string_view record);

class AutostartStore {
public:
    AutostartStore(platform::Platform& platform, std::string listFilePath);
    AutostartStore(const AutostartStore&) = delete;
    AutostartStore& operator=(const AutostartStore&) = delete;

    EntryTable& Table() { return table_; }
    const EntryTable& Table() const { return table_; }
    platform::Platform& Platform() { return platform_; }
    platform::RegistryAccessor& Registry() { return registry_; }
    platform::ShellLink& Shlnk() { return shlnk_; }
    const std::string& ListFilePath() const { return listFile_; }

    void LoadStoredRecords();
    void SaveStoredRecords();
    void StoreEntryOptions();
    std::string StartupFolderPath(std::string_view code);
    void ScanEntries();

private:
    platform::Platform& platform_;
    platform::RegistryAccessor registry_;
    platform::ShellLink shlnk_;
    std::string listFile_;
    EntryTable table_;
};

}  // namespace vantorell::store
