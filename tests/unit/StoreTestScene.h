// A small Windows for the store's tests: the memory platform with the two
// Startup folders named in "Shell Folders", and a store over it.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

namespace vantorell::testing {

inline constexpr const char* kUserStartup = "C:\\Users\\me\\Start Menu\\Programs\\Startup";
inline constexpr const char* kCommonStartup = "C:\\ProgramData\\Start Menu\\Programs\\Startup";
inline constexpr const char* kListFile = "C:\\Program Files\\Vantorell\\StartupList.txt";
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\run";

// A record as a change makes it, with its options.
inline store::StartupRecord NewRecord(std::string name, std::string code, std::string command, std::string arguments,
                                      bool confirm = false, int delay = 0) {
    store::StartupRecord r(std::move(name), std::move(code), std::move(command), std::move(arguments));
    r.confirm = confirm;
    r.delay = delay;
    return r;
}

// The lines the records give the list file.
inline std::vector<std::string> LinesOf(const std::vector<store::StartupRecord>& records) {
    std::vector<std::string> lines;
    for (const auto& r : records) lines.push_back(r.Line());
    return lines;
}

class StoreScene : public ::testing::Test {
protected:
    StoreScene() : store(p, kListFile) {}

    void NameStartupFolders() {
        p.PutString(platform::Hive::CurrentUser, store::kShellFoldersKey, "Startup", kUserStartup);
        p.PutString(platform::Hive::LocalMachine, store::kShellFoldersKey, "Common Startup", kCommonStartup);
        p.AddFolder(kUserStartup);
        p.AddFolder(kCommonStartup);
    }
    // A value in the key of a registry place.
    void PutRun(std::string_view code, std::string_view name, std::string_view data) {
        const auto* loc = store::FindLocation(code);
        ASSERT_TRUE(loc && !loc->isFolder) << code;
        p.PutString(loc->hive, loc->keyOrFolderValue, name, data, loc->view);
    }
    void PutLink(std::string_view folder, std::string_view name, std::string_view target, bool hidden = false) {
        platform::ShortcutData d;
        d.target = std::string(target);
        d.arguments = "--from-link";
        const auto path = text::JoinPath(folder, name);
        if (hidden) p.PutFile(path, "", true);
        p.PutShortcut(path, d);
    }
    void PutList(std::string_view bytes) { p.PutFile(kListFile, bytes); }
    std::string ListBytes() const { return p.GetFile(kListFile).value_or("(missing)"); }

    const std::vector<store::StartupEntry>& Entries() { return store.Table().entries; }

    // The three invariants every scan leaves.
    void ExpectInvariants() {
        const auto& t = store.Table();
        ASSERT_LE(t.storedRecords.size(), t.entries.size());
        for (std::size_t i = 0; i < t.storedRecords.size(); ++i) {
            const auto& r = t.storedRecords[i];
            const auto& e = t.entries[i];
            ASSERT_EQ(e.name, r.name) << i;
            ASSERT_EQ(e.location, r.location) << i;
            ASSERT_EQ(e.state, r.Deferred() ? store::EntryState::Deferred : store::EntryState::Disabled) << i;
            ASSERT_EQ(e.confirm, r.confirm) << i;
            ASSERT_EQ(e.delay, r.delay) << i;
        }
        for (std::size_t i = t.storedRecords.size(); i < t.entries.size(); ++i) {
            ASSERT_EQ(t.entries[i].state, store::EntryState::Active) << i;
            ASSERT_EQ(t.entries[i].confirm, store::ConfirmFlag(false)) << i;
            ASSERT_EQ(t.entries[i].delay, store::DelaySeconds(0)) << i;
            ASSERT_TRUE(store::FindLocation(t.entries[i].location)) << i;
        }
        std::set<int> positions;
        for (const auto& e : t.entries) positions.insert(e.position);
        ASSERT_EQ(positions.size(), t.entries.size());
        if (!positions.empty()) {
            ASSERT_EQ(*positions.begin(), 0);
            ASSERT_EQ(*positions.rbegin(), static_cast<int>(t.entries.size()) - 1);
        }
        ASSERT_EQ(p.KeysOpenNow(), 0u);
    }

    platform::MemoryPlatform p;
    store::AutostartStore store;
};

}  // namespace vantorell::testing
