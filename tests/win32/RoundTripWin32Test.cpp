// Off and on again with the real shell and registry: shortcuts come back byte
// for byte (a 400-character argument string; an icon, a hot key and a
// minimised show state; a target that is a shell item with no file path), and
// an expandable Run value comes back expandable. The user's "Startup" folder
// is pointed at a scratch folder for the test and put back afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <fstream>
#include <iterator>
#include <string>

#include "control/EntryControl.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::testing {
namespace {

using win32::Narrow;
using win32::Widen;

constexpr const wchar_t* kRunKeyW = L"Software\\Microsoft\\Windows\\CurrentVersion\\run";
constexpr const wchar_t* kShellFoldersW = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string Bytes(const std::wstring& path) {
    std::ifstream in(Narrow(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring ScratchRoot() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"vt-roundtrip-" + std::to_wstring(GetCurrentProcessId());
}

class RoundTripWin32 : public ::testing::Test {
protected:
    RoundTripWin32() {
        startup_ = root_ + L"\\Startup";
        CreateDirectoryW(root_.c_str(), nullptr);
        CreateDirectoryW(startup_.c_str(), nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &shell_, nullptr);
        DWORD size = sizeof(oldStartup_);
        hadStartup_ = RegQueryValueExW(shell_, L"Startup", nullptr, nullptr, reinterpret_cast<BYTE*>(oldStartup_),
                                       &size) == ERROR_SUCCESS;
        RegSetValueExW(shell_, L"Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(startup_.c_str()),
                       static_cast<DWORD>((startup_.size() + 1) * sizeof(wchar_t)));
        target_ = root_ + L"\\tool.exe";
        std::ofstream(Narrow(target_), std::ios::binary) << "MZ";
    }
    ~RoundTripWin32() override {
        if (hadStartup_)
            RegSetValueExW(shell_, L"Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(oldStartup_),
                           static_cast<DWORD>((wcslen(oldStartup_) + 1) * sizeof(wchar_t)));
        RegCloseKey(shell_);
        HKEY run = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyW, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
            RegDeleteValueW(run, L"VtExpand");
            RegCloseKey(run);
        }
        // The scratch tree: shortcuts, the kept copies, the list, the target.
        std::wstring from = root_ + L'\0';
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }

    // Saves a shortcut through the shell; `pidl` names a target with no file path.
    void MakeLink(const std::wstring& name, const std::wstring& arguments, bool looks, PIDLIST_ABSOLUTE pidl) {
        IShellLinkW* link = nullptr;
        ASSERT_TRUE(SUCCEEDED(
            CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link)));
        if (pidl)
            link->SetIDList(pidl);
        else
            link->SetPath(target_.c_str());
        link->SetArguments(arguments.c_str());
        link->SetWorkingDirectory(root_.c_str());
        link->SetDescription(L"round trip");
        if (looks) {
            link->SetIconLocation(L"C:\\windows\\system32\\shell32.dll", 21);
            link->SetHotkey(MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT));
            link->SetShowCmd(SW_SHOWMINNOACTIVE);
        }
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)));
        ASSERT_TRUE(SUCCEEDED(file->Save((startup_ + L"\\" + name).c_str(), TRUE)));
        file->Release();
        link->Release();
    }

    std::size_t IndexOf(const std::string& name, const char* code, const char* state) {
        const auto& entries = store_.Table().entries;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].name == name && entries[i].location == code && store::StateText(entries[i].state) == state)
                return i;
        ADD_FAILURE() << "no " << name << " with state " << state;
        return entries.size();
    }

    // Off, then on; the .lnk must come back as it was, byte for byte.
    void RoundTrip(const std::wstring& name) {
        const std::wstring path = startup_ + L"\\" + name;
        const std::string before = Bytes(path);
        ASSERT_FALSE(before.empty());
        control_.Refresh();
        control_.DisableEntry(IndexOf(Narrow(name), "SUF", "1"), false);
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "taken out";
        const std::wstring kept = Widen(store_.KeptShortcutPath(store_.Table().storedRecords.at(0)));
        EXPECT_EQ(kept.rfind(root_ + L"\\Shortcuts\\SUF\\", 0), 0u) << Narrow(kept);
        EXPECT_EQ(Bytes(kept), before) << "kept beside the list";
        control_.EnableEntry(IndexOf(Narrow(name), "SUF", "0"));
        EXPECT_EQ(Bytes(path), before);
        EXPECT_EQ(GetFileAttributesW(kept.c_str()), INVALID_FILE_ATTRIBUTES);
    }

    platform::Win32Platform p_;
    std::wstring root_ = ScratchRoot(), startup_, target_;
    HKEY shell_ = nullptr;
    wchar_t oldStartup_[MAX_PATH * 2] = {};
    bool hadStartup_ = false;
    store::AutostartStore store_{p_, Narrow(root_) + "\\StartupList.txt"};
    const std::vector<std::string_view> none_;
    const ui::NameLists lists_{ui::NameList(p_.locale, none_), ui::NameList(p_.locale, none_),
                               ui::NameList(p_.locale, none_)};
    ui::GridModel grid_{lists_};
    control::EntryControl control_{store_, p_.processes, grid_};
};

TEST_F(RoundTripWin32, AShortcutWithA400CharacterArgumentString) {
    std::wstring arguments;
    while (arguments.size() < 400) arguments += L"--option=\x00e9t\x00e9 ";
    arguments.resize(400);
    MakeLink(L"Long.lnk", arguments, false, nullptr);
    control_.Refresh();
    control_.DisableEntry(IndexOf("Long.lnk", "SUF", "1"), false);
    // The record holds the whole text too, for the launcher and older versions.
    EXPECT_EQ(store_.Table().storedRecords.at(0).arguments, Narrow(arguments));
    control_.EnableEntry(0);
    RoundTrip(L"Long.lnk");
}

TEST_F(RoundTripWin32, AShortcutWithIconHotKeyAndMinimisedShowState) {
    MakeLink(L"Looks.lnk", L"-x", true, nullptr);
    RoundTrip(L"Looks.lnk");
    platform::ShortcutData d;
    ASSERT_TRUE(p_.files.ReadShortcut(Narrow(startup_) + "\\Looks.lnk", d));
    EXPECT_EQ(d.hotKey, MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT));
    EXPECT_EQ(d.iconIndex, 21);
    EXPECT_EQ(d.showCmd, SW_SHOWMINNOACTIVE);
}

TEST_F(RoundTripWin32, AShortcutWhoseTargetIsAShellItem) {
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer)));
    MakeLink(L"Computer.lnk", L"", false, computer);
    CoTaskMemFree(computer);
    platform::ShortcutData d;
    ASSERT_TRUE(p_.files.ReadShortcut(Narrow(startup_) + "\\Computer.lnk", d));
    EXPECT_EQ(d.target, "") << "the shell gives no file path for it";
    RoundTrip(L"Computer.lnk");
}

TEST_F(RoundTripWin32, TwoShortcutsOfOneNameEachComeBackFromTheirOwnCopy) {
    const std::wstring path = startup_ + L"\\Same.lnk";
    MakeLink(L"Same.lnk", L"--first", true, nullptr);
    const std::string first = Bytes(path);
    control_.Refresh();
    control_.DisableEntry(IndexOf("Same.lnk", "SUF", "1"), false);
    MakeLink(L"Same.lnk", L"--second", false, nullptr);
    const std::string second = Bytes(path);
    ASSERT_NE(first, second);
    control_.Refresh();
    control_.DisableEntry(IndexOf("Same.lnk", "SUF", "1"), false);
    ASSERT_EQ(store_.Table().storedRecords.size(), 2u);

    control_.EnableEntry(0);
    EXPECT_EQ(Bytes(path), first) << "the first, byte for byte";
    ASSERT_EQ(store_.Table().storedRecords.size(), 1u);
    const auto kept = store_.KeptShortcutFor(store_.Table().storedRecords[0]);
    ASSERT_TRUE(kept);
    EXPECT_EQ(Bytes(Widen(*kept)), second) << "the second record keeps its own copy";
    EXPECT_THROW(control_.EnableEntry(0), AppError) << "never written over the first";
    EXPECT_EQ(Bytes(path), first);
}

TEST_F(RoundTripWin32, AnExpandableValueComesBackExpandable) {
    HKEY run = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKeyW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run, nullptr),
              ERROR_SUCCESS);
    const std::wstring data = L"%ProgramFiles%\\Vt\\x.exe -tray";
    RegSetValueExW(run, L"VtExpand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    control_.Refresh();
    control_.DisableEntry(IndexOf("VtExpand", "crun", "1"), false);
    control_.EnableEntry(IndexOf("VtExpand", "crun", "0"));
    DWORD type = 0;
    wchar_t back[256] = {};
    DWORD size = sizeof back;
    ASSERT_EQ(RegQueryValueExW(run, L"VtExpand", nullptr, &type, reinterpret_cast<BYTE*>(back), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::wstring(back), data);
    RegCloseKey(run);
}

}  // namespace
}  // namespace vantorell::testing
