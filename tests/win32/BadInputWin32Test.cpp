// The real registry and Startup folder holding odd things, scanned by the real
// store: the longest value name with large data, every value type in the user's
// Run key, "Shell Folders" naming a file, a .lnk that is not a shortcut. The
// scan lists what it can, and a disable/enable round trip gives the value back.
// Everything is put back as it was at the end.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "control/EntryControl.h"
#include "platform/Text.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::testing {
namespace {

using win32::Widen;

constexpr const wchar_t* kRunKeyW = L"Software\\Microsoft\\Windows\\CurrentVersion\\run";
constexpr const wchar_t* kShellFoldersW = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kLargeData = 64 * 1024;

class BadInputWin32 : public ::testing::Test {
protected:
    BadInputWin32() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vt-badinput-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, kRunKeyW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run_, nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &shell_, nullptr);
        DWORD size = sizeof(oldStartup_);
        hadStartup_ = RegQueryValueExW(shell_, L"Startup", nullptr, nullptr, reinterpret_cast<BYTE*>(oldStartup_),
                                       &size) == ERROR_SUCCESS;
        list_ = win32::Narrow(folder_) + "\\StartupList.txt";
    }
    ~BadInputWin32() override {
        for (const auto& name : added_) RegDeleteValueW(run_, name.c_str());
        if (hadStartup_)
            RegSetValueExW(shell_, L"Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(oldStartup_),
                           static_cast<DWORD>((wcslen(oldStartup_) + 1) * sizeof(wchar_t)));
        RegCloseKey(run_);
        RegCloseKey(shell_);
        for (const wchar_t* f : {L"\\StartupList.txt", L"\\Fake.lnk", L"\\a-file.txt"})
            DeleteFileW((folder_ + f).c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void Put(const std::wstring& name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(run_, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        added_.push_back(name);
    }
    const store::StartupEntry* Find(store::AutostartStore& s, const std::string& name, const char* state) {
        for (const auto& e : s.Table().entries)
            if (e.name == name && e.location == "crun" && store::StateText(e.state) == state) return &e;
        return nullptr;
    }
    std::size_t IndexOf(store::AutostartStore& s, const std::string& name, const char* state) {
        return static_cast<std::size_t>(Find(s, name, state) - s.Table().entries.data());
    }

    platform::Win32Platform p;
    std::wstring folder_;
    std::string list_;
    HKEY run_ = nullptr, shell_ = nullptr;
    wchar_t oldStartup_[MAX_PATH * 2] = {};
    bool hadStartup_ = false;
    std::vector<std::wstring> added_;
};

TEST_F(BadInputWin32, LongestNameAndLargeDataRoundTrip) {
    const std::wstring name = L"VtLong" + std::wstring(kMaxValueName - 6, L'n');
    std::wstring data = L"C:\\" + std::wstring(kLargeData, L'd');
    Put(name, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    store::AutostartStore s(p, list_);
    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p.locale, none), ui::NameList(p.locale, none), ui::NameList(p.locale, none)};
    ui::GridModel grid(lists);
    control::EntryControl control(s, p.processes, grid);
    control.Refresh();
    const std::string nameU8 = win32::Narrow(name);
    ASSERT_TRUE(Find(s, nameU8, "1"));
    EXPECT_EQ(Find(s, nameU8, "1")->command.size(), data.size());
    control.DisableEntry(IndexOf(s, nameU8, "1"), false);
    ASSERT_TRUE(Find(s, nameU8, "0"));
    control.EnableEntry(IndexOf(s, nameU8, "0"));
    ASSERT_TRUE(Find(s, nameU8, "1"));
    EXPECT_EQ(Find(s, nameU8, "1")->command, win32::Narrow(data));
}

TEST_F(BadInputWin32, EveryTypeAFileForAFolderAndAFakeShortcut) {
    const DWORD dword = 42;
    const unsigned long long qword = 7;
    const BYTE binary[] = {0, 1, 0xFF};
    const wchar_t multi[] = L"a\0b\0";
    const wchar_t expand[] = L"%SystemRoot%\\vt.exe";
    Put(L"VtNone", REG_NONE, nullptr, 0);
    Put(L"VtExpand", REG_EXPAND_SZ, expand, sizeof(expand));
    Put(L"VtBinary", REG_BINARY, binary, sizeof(binary));
    Put(L"VtDword", REG_DWORD, &dword, sizeof(dword));
    Put(L"VtMulti", REG_MULTI_SZ, multi, sizeof(multi));
    Put(L"VtQword", REG_QWORD, &qword, sizeof(qword));
    // "Shell Folders" naming a file, and a .lnk that is not a shortcut.
    const std::wstring file = folder_ + L"\\a-file.txt";
    p.files.WriteFileAtomic(win32::Narrow(file), "text");
    p.files.WriteFileAtomic(win32::Narrow(folder_) + "\\Fake.lnk", "MZ not a shortcut");
    RegSetValueExW(shell_, L"Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));

    store::AutostartStore s(p, list_);
    ASSERT_NO_THROW(s.ScanEntries());
    for (const char* name : {"VtNone", "VtBinary", "VtDword", "VtMulti", "VtQword"}) {
        ASSERT_TRUE(Find(s, name, "1")) << name;
        EXPECT_EQ(Find(s, name, "1")->command, "") << name;
    }
    EXPECT_EQ(Find(s, "VtExpand", "1")->command, "%SystemRoot%\\vt.exe");

    // The folder itself, holding the fake shortcut: listed, no target.
    RegSetValueExW(shell_, L"Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder_.c_str()),
                   static_cast<DWORD>((folder_.size() + 1) * sizeof(wchar_t)));
    ASSERT_NO_THROW(s.ScanEntries());
    bool fake = false;
    for (const auto& e : s.Table().entries)
        if (e.name == "Fake.lnk" && e.location == "SUF") fake = e.command.empty();
    EXPECT_TRUE(fake);
}

}  // namespace
}  // namespace vantorell::testing
