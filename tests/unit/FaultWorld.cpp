#include "FaultWorld.h"

#include <gtest/gtest.h>

namespace vantorell::testing {

using platform::Hive;

const std::vector<WorldEntry>& ActiveWorldEntries() {
    static const std::vector<WorldEntry> kEntries = {
        {"Aye", "crun", "C:\\a\\aye.exe /s", ""},    {"Once", "crunonce", "C:\\o\\once.exe", ""},
        {"Bee", "lrun", "C:\\b\\bee.exe", ""},       {"Cee.lnk", "SUF", "C:\\c\\cee.exe", "-c"},
        {"Dee.lnk", "DSUF", "C:\\d\\dee.exe", "-d"},
    };
    return kEntries;
}

const std::vector<std::string>& WorldRecords() {
    static const std::vector<std::string> kRecords = {
        "Ee;crun;C:\\e\\ee.exe;;0;0",
        "Ef.lnk;SUF;C:\\f\\ef.exe;-f;0;0",
        "Gee;lrun;C:\\g\\gee.exe;;1;30",
    };
    return kRecords;
}

const std::vector<std::string>& OldListNames() {
    static const std::vector<std::string> kNames = {"OldOne", "OldTwo.lnk"};
    return kNames;
}

void PutOldList(platform::MemoryPlatform& p) {
    p.PutFile(kFaultOldList, "OldOne;lrun;C:\\old\\one.exe;x;Y;15;\r\nOldTwo.lnk;SUF;C:\\old\\two.exe;x;N;0;-two\r\n");
}

FaultWorld::FaultWorld() {
    p.SetExecutablePath(kFaultExe);
    p.PutString(Hive::CurrentUser, store::kShellFoldersKey, "Startup", kFaultUserStartup);
    p.PutString(Hive::LocalMachine, store::kShellFoldersKey, "Common Startup", kFaultCommonStartup);
    p.AddFolder(kFaultUserStartup);
    p.AddFolder(kFaultCommonStartup);
    for (const auto& e : ActiveWorldEntries()) {
        const auto* loc = store::FindLocation(e.code);
        if (loc->isFolder) {
            platform::ShortcutData d;
            d.target = e.command;
            d.arguments = e.arguments;
            p.PutShortcut(
                text::JoinPath(loc->hive == Hive::CurrentUser ? kFaultUserStartup : kFaultCommonStartup, e.name), d);
        } else {
            p.PutString(loc->hive, loc->keyOrFolderValue, e.name, e.command);
        }
    }
    p.PutFile(kFaultList, text::JoinLines(WorldRecords()));
    control.Refresh();
    monitor.TakeBaseline(monitor::NewEntryMonitor::StartupTotalPath(p));
}

std::size_t FaultWorld::Index(std::string_view name, std::string_view code, bool recorded) const {
    const auto& t = store.Table();
    for (std::size_t i = 0; i < t.entries.size(); ++i)
        if (t.entries[i].name == name && t.entries[i].location == code && (i < t.RecordCount()) == recorded) return i;
    ADD_FAILURE() << "no entry " << name << " in " << code;
    return t.entries.size();
}

DiskState FaultWorld::Read() {
    DiskState s;
    for (const auto& loc : store::Locations()) {
        if (loc.isFolder) {
            const auto folderValue = p.GetValue(loc.hive, store::kShellFoldersKey, loc.keyOrFolderValue);
            const std::string folder = folderValue ? folderValue->data : "C:\\";
            for (const auto& name : p.ListShortcutFiles(folder)) {
                platform::ShortcutData d;
                const bool ok = p.ReadShortcut(text::JoinPath(folder, name), d);
                s.active[{std::string(loc.code), name}] = ok ? d.target + "|" + d.arguments : "(unreadable)";
            }
            continue;
        }
        auto key = p.OpenKey(loc.hive, loc.keyOrFolderValue, false, platform::KeyAccess::Read, loc.view);
        if (!key) continue;
        for (const auto& name : key->ValueNames().value_or(std::vector<std::string>{})) {
            const auto v = key->Query(name);
            s.active[{std::string(loc.code), name}] =
                v && platform::IsStringType(v->type) ? v->data + "|" : "(not a string)";
        }
    }
    if (const auto bytes = p.GetFile(kFaultList)) {
        s.listExists = true;
        s.listBytes = *bytes;
        s.records = text::SplitLines(*bytes);
    }
    if (const auto bytes = p.GetFile(kFaultOldList)) s.oldListLines = text::SplitLines(*bytes);
    if (auto key = p.OpenKey(Hive::LocalMachine, app::kOptionsKey, false, platform::KeyAccess::Read)) {
        for (const auto& name : key->ValueNames().value_or(std::vector<std::string>{}))
            s.optionValues[name] = key->Query(name).value_or(platform::RegValue{}).data;
    }
    return s;
}

}  // namespace vantorell::testing
