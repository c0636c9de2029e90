// A complete little Windows for the fault-injection tests: entries in five
// places, three records, the options key, an old list, and every part of the
// program that changes them. A fresh world is made for every run, so the k-th
// platform call of an operation can be made to fail in a world of its own.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/common/ProgramStart.h"
#include "control/EntryControl.h"
#include "monitor/NewEntryMonitor.h"
#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::testing {

inline constexpr const char* kFaultExe = "C:\\Vantorell\\vantorell.exe";
inline constexpr const char* kFaultList = "C:\\Vantorell\\StartupList.txt";
inline constexpr const char* kFaultOldList = "C:\\Vantorell\\data.txt";
inline constexpr const char* kFaultUserStartup = "C:\\Users\\me\\Startup";
inline constexpr const char* kFaultCommonStartup = "C:\\ProgramData\\Startup";

// The entries of the world, each once: name, location code, command, arguments.
struct WorldEntry {
    std::string name, code, command, arguments;
};

// What the places and the files hold, read without faults.
struct DiskState {
    // (code, name) -> command "|" arguments, for every value and shortcut in the ten places.
    std::map<std::pair<std::string, std::string>, std::string> active;
    std::vector<std::string> records;  // lines of the list file; none when it is missing
    std::string listBytes;
    bool listExists = false;
    std::vector<std::string> oldListLines;            // "data.txt"; none when missing
    std::map<std::string, std::string> optionValues;  // "Software\Vantorell" under the machine

    // The same for the user: an empty list file means no records as a missing one does.
    bool SameAs(const DiskState& o) const {
        return active == o.active && records == o.records && oldListLines == o.oldListLines &&
               optionValues == o.optionValues;
    }
};

class MonitorHostStub final : public monitor::MonitorHost {
public:
    bool WarnNew() const override { return true; }
    bool AutoKill() const override { return true; }
    bool InTray() const override { return false; }
    void ShowFromTray() override {}
    void Notify(std::string_view, std::string_view) override {}
    void ReportError(std::string_view message) override { errors.emplace_back(message); }
    std::vector<std::string> errors;
};

// The memory platform with the store, a grid nobody sees, the entry control
// and a monitor over them.
struct MonitorScene {
    platform::MemoryPlatform p;
    store::AutostartStore store{p, kFaultList};
    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p, none), ui::NameList(p, none), ui::NameList(p, none)};
    ui::GridModel grid{lists};
    control::EntryControl control{store, p, grid};
    MonitorHostStub host;
    monitor::NewEntryMonitor monitor{p, store, control, grid, host};
};

struct FaultWorld : MonitorScene {
    FaultWorld();

    // The index of the entry with that name, place and recorded-ness.
    std::size_t Index(std::string_view name, std::string_view code, bool recorded) const;
    DiskState Read();
};

// The entries every world starts with: five active, three recorded.
const std::vector<WorldEntry>& ActiveWorldEntries();
const std::vector<std::string>& WorldRecords();
// The entries of the old list "data.txt", by name.
const std::vector<std::string>& OldListNames();
// Writes "data.txt" into the world.
void PutOldList(platform::MemoryPlatform& p);

}  // namespace vantorell::testing
