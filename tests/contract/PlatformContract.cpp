// The platform contract: one suite, run natively against the in-memory platform
// and under Wine against the real Win32 platform.
#include <gtest/gtest.h>

#include <cstdint>

#include <algorithm>
#include <cstring>
#include <functional>

#include "contract/ContractEnv.h"
#include "platform/Errors.h"
#include "platform/RegistryKey.h"
#include "platform/ShellLink.h"
#include "platform/Text.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegistryKey;
namespace RegType = platform::RegType;
using platform::RegValue;
using platform::ShellLink;
using platform::WindowState;

const std::string kAccented = "Caf\xC3\xA9 \xC3\x85ngstr\xC3\xB6m";  // Café Ångström
const std::string kCjk = "\xE5\x90\xAF\xE5\x8A\xA8\xE9\xA1\xB9";     // 启动项

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override { env_ = MakeContractEnv(); }
    void TearDown() override {
        reg_.reset();
        env_.reset();
    }
    platform::Platform& P() { return env_->P(); }

    // The scratch key of the current-user hive, opened once.
    RegistryKey& Reg() {
        if (!reg_) reg_ = RegistryKey::Open(P().registry, Hive::CurrentUser, env_->KeyRoot(), true);
        EXPECT_TRUE(reg_.has_value());
        return *reg_;
    }
    void CloseReg() { reg_.reset(); }
    void PutRaw(const std::string& name, std::uint32_t type, const std::string& data) {
        auto key = P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), true, platform::KeyAccess::Full);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->Set(name, RegValue{type, data}));
    }
    std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const AppError& e) {
            return e.what();
        }
        return "(no error)";
    }

    std::unique_ptr<ContractEnv> env_;
    std::optional<RegistryKey> reg_;
};

// ------------------------------------------------------------------ registry

TEST_F(PlatformContract, OpenKeyCreatesMissingKeysAndDropsLeadingBackslash) {
    const std::string path = env_->KeyRoot() + "\\Deeper\\Still";
    EXPECT_FALSE(RegistryKey::Open(P().registry, Hive::CurrentUser, path, false));
    {
        auto key = RegistryKey::Open(P().registry, Hive::CurrentUser, "\\" + path, true);
        ASSERT_TRUE(key);
        key->WriteString("v", "x");
    }
    auto key = RegistryKey::Open(P().registry, Hive::CurrentUser, path, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("v"), "x");
}

TEST_F(PlatformContract, AKeyMovedAwayHoldsNothing) {
    Reg().WriteString("v", "x");
    RegistryKey moved = std::move(Reg());
    EXPECT_FALSE(Reg().ValueExists("v"));
    EXPECT_TRUE(Reg().ValueNames().empty());
    EXPECT_EQ(Reg().ReadString("v"), "");
    EXPECT_FALSE(Reg().DeleteValue("v"));
    EXPECT_TRUE(moved.ValueExists("v"));
    moved = std::move(Reg());  // closes the key it had
    EXPECT_FALSE(moved.ValueExists("v"));
}

TEST_F(PlatformContract, ValueNamesListEveryValueWithTheDefaultAsEmptyName) {
    auto& reg = Reg();
    EXPECT_TRUE(reg.ValueNames().empty());
    reg.WriteString("Zeta", "1");
    reg.WriteString("alpha", "2");
    reg.WriteString(kCjk, "3");
    reg.WriteString("", "default data");
    auto names = reg.ValueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "Zeta", "alpha", kCjk}));
    EXPECT_EQ(reg.ReadString(""), "default data");
}

TEST_F(PlatformContract, ValuesGiveWhatValueNamesAndQueryGive) {
    auto& reg = Reg();
    EXPECT_TRUE(reg.Values().empty());
    const std::string longText(3000, 'x');  // more than the first guess of a buffer
    reg.WriteString("Zeta", "1");
    reg.WriteString(kCjk, longText);
    reg.WriteInteger("Number", 7);
    reg.WriteString("", "default data");
    auto values = reg.Values();
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(values.size(), 4u);
    for (const auto& [name, value] : values) {
        SCOPED_TRACE(name);
        const auto queried =
            P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read)->Query(name);
        ASSERT_TRUE(queried);
        EXPECT_EQ(value.type, queried->type);
        EXPECT_EQ(value.data, queried->data);
    }
    EXPECT_EQ(values[0].first, "");
    EXPECT_EQ(values[3].second.data.substr(0, longText.size()), longText);
}

// A key of thousands of values is read in shares, on several threads where the
// platform has them: every value once, in the order of ValueNames, with its data.
TEST_F(PlatformContract, ValuesOfALargeKeyComeWholeAndInOrder) {
    auto& reg = Reg();
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i)
        reg.WriteString("Value " + std::to_string(i),
                        std::string(static_cast<std::size_t>(i % 700), 'd') + std::to_string(i));
    const auto names = reg.ValueNames();
    const auto values = reg.Values();
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kCount));
    ASSERT_EQ(names.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(values[i].first, names[i]);
        const std::string number = values[i].first.substr(6);
        const int n = std::stoi(number);
        ASSERT_EQ(values[i].second.data, std::string(static_cast<std::size_t>(n % 700), 'd') + number);
    }
}

TEST_F(PlatformContract, ValueExistsAndDeleteValue) {
    auto& reg = Reg();
    EXPECT_FALSE(reg.ValueExists("v"));
    EXPECT_FALSE(reg.DeleteValue("v"));
    reg.WriteString("v", "");
    EXPECT_TRUE(reg.ValueExists("v"));
    EXPECT_TRUE(reg.ValueExists("V")) << "value names compare without regard to case";
    EXPECT_TRUE(reg.DeleteValue("v"));
    EXPECT_FALSE(reg.ValueExists("v"));
}

TEST_F(PlatformContract, ReadStringGivesStringsAsStored) {
    PutRaw("plain", RegType::Sz, "C:\\Tools\\t.exe /min");
    PutRaw("expand", RegType::ExpandSz, "%SystemRoot%\\system32\\x.exe");
    PutRaw("nul", RegType::Sz, std::string("before\0after", 12));
    PutRaw("empty", RegType::Sz, "");
    PutRaw("emptybin", RegType::Binary, "");
    PutRaw(kAccented, RegType::Sz, kCjk + " " + kAccented);
    auto& reg = Reg();
    EXPECT_EQ(reg.ReadString("plain"), "C:\\Tools\\t.exe /min");
    EXPECT_EQ(reg.ReadString("expand"), "%SystemRoot%\\system32\\x.exe") << "never expanded";
    EXPECT_EQ(reg.ReadString("nul"), "before") << "cut at the first NUL";
    EXPECT_EQ(reg.ReadString("empty"), "");
    EXPECT_EQ(reg.ReadString("emptybin"), "") << "empty data of another type reads as empty";
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_EQ(reg.ReadString(kAccented), kCjk + " " + kAccented);
}

TEST_F(PlatformContract, ReadStringOfAnotherTypeRaisesInvalidDataType) {
    PutRaw("num", RegType::Dword, std::string("\x05\0\0\0", 4));
    PutRaw("bin", RegType::Binary, "\x01\x02");
    auto& reg = Reg();
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("num"); }), "Invalid data type for 'num'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("bin"); }), "Invalid data type for 'bin'");
}

TEST_F(PlatformContract, ReadInteger) {
    PutRaw("q", RegType::Qword, std::string(8, '\x01'));
    PutRaw("s", RegType::Sz, "a");
    PutRaw("long", RegType::Sz, "longer text");
    auto& reg = Reg();
    reg.WriteInteger("n", 0xDEADBEEF);
    EXPECT_EQ(reg.ReadInteger("n"), 0xDEADBEEFu);
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("missing"); }), "Failed to get data for 'missing'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("q"); }), "Failed to get data for 'q'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("long"); }), "Failed to get data for 'long'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("s"); }), "Invalid data type for 's'");
}

TEST_F(PlatformContract, WriteStringAlwaysWritesAPlainString) {
    PutRaw("e", RegType::ExpandSz, "%TEMP%");
    auto& reg = Reg();
    reg.WriteString("e", "%TEMP%\\x");
    reg.WriteString(kCjk, kAccented);
    CloseReg();
    auto key = P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read);
    ASSERT_TRUE(key);
    auto e = key->Query("e");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->type, RegType::Sz);
    EXPECT_EQ(e->data, "%TEMP%\\x");
    auto cjk = key->Query(kCjk);
    ASSERT_TRUE(cjk);
    EXPECT_EQ(cjk->data, kAccented);
}

TEST_F(PlatformContract, WritesWithoutAnOpenKeyRaiseFailedToSetData) {
    const RegistryKey holder = std::move(Reg());
    auto& reg = Reg();  // moved from: no key
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("a", "x"); }), "Failed to set data for 'a'");
    EXPECT_EQ(ErrorOf([&] { reg.WriteInteger("b", 1); }), "Failed to set data for 'b'");
}

TEST_F(PlatformContract, KeyObjectsEachOwnAnOpenKey) {
    using platform::RegistryKey;
    const std::string a = env_->KeyRoot() + "\\A";
    const std::string b = env_->KeyRoot() + "\\B";
    EXPECT_FALSE(RegistryKey::Open(P().registry, Hive::CurrentUser, a, false));
    {
        auto first = RegistryKey::Open(P().registry, Hive::CurrentUser, "\\" + a, true);
        auto second = RegistryKey::OpenForListing(P().registry, Hive::CurrentUser, b);
        ASSERT_TRUE(first && second);
        first->WriteString("v", "in a");  // two keys open at once, each writes its own
        second->WriteInteger("n", 7);
        RegistryKey moved = std::move(*first);
        moved.WriteExpandString("e", "%TEMP%");
    }
    auto again = RegistryKey::Open(P().registry, Hive::CurrentUser, a, false);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ReadString("v"), "in a");
    EXPECT_EQ(again->ReadString("e"), "%TEMP%");
    EXPECT_EQ(RegistryKey::Open(P().registry, Hive::CurrentUser, b, false)->ReadInteger("n"), 7u);
}

TEST_F(PlatformContract, AKeyOpenedForReadingRefusesWrites) {
    Reg().WriteString("v", "x");
    CloseReg();
    auto key = P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->Set("v", RegValue{RegType::Sz, "y"}));
    EXPECT_FALSE(key->Delete("v"));
    EXPECT_EQ(key->Query("v")->data, "x");
}

// ------------------------------------------------------------------ shortcuts

TEST_F(PlatformContract, ShortcutRoundTripKeepsEveryProperty) {
    const std::string folder = env_->Scratch();
    const std::string target = folder + "\\" + kAccented + ".exe";
    env_->PutFile(target, "MZ");
    ShellLink out(P().files);
    out.LinkFile = folder + "\\" + kCjk + ".lnk";
    out.ProgramFile = target;
    out.Arguments = "/min --name=" + kCjk;
    out.Description = kAccented;
    out.WorkingDirectory = folder;
    out.IconFile = target;
    out.IconIndex = 2;
    out.HotKey = 0x0646;  // Ctrl+Shift+F
    out.State = WindowState::Maximized;
    ASSERT_TRUE(out.Write());

    ShellLink in(P().files);
    in.LinkFile = out.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.ProgramFile, target);
    EXPECT_EQ(in.Arguments, out.Arguments);
    EXPECT_EQ(in.Description, kAccented);
    EXPECT_EQ(in.WorkingDirectory, folder);
    EXPECT_EQ(in.IconFile, target);
    EXPECT_EQ(in.IconIndex, 2);
    EXPECT_EQ(in.HotKey, 0x0646);
    EXPECT_EQ(in.State, WindowState::Maximized);

    out.State = WindowState::Minimized;
    ASSERT_TRUE(out.Write());
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.State, WindowState::Minimized);
}

TEST_F(PlatformContract, EmptyWorkingDirectoryTakesTheTargetsFolderAndIsStoredBack) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\t.lnk";
    link.ProgramFile = folder + "\\t.exe";
    ASSERT_TRUE(link.Write());
    EXPECT_EQ(link.WorkingDirectory, folder);
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.WorkingDirectory, folder);
}

TEST_F(PlatformContract, IconLocationIsWrittenOnlyWhenIconFileIsSet) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\t.lnk";
    link.ProgramFile = folder + "\\t.exe";
    link.IconIndex = 7;
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    in.IconIndex = 99;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.IconFile, "");
    EXPECT_EQ(in.IconIndex, 0);
}

TEST_F(PlatformContract, PropertiesKeepTheirValuesBetweenUses) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\first.lnk";
    link.ProgramFile = folder + "\\t.exe";
    link.Arguments = "-a";
    link.HotKey = 0x0641;
    ASSERT_TRUE(link.Write());
    link.LinkFile = folder + "\\second.lnk";  // only the file changes
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = folder + "\\second.lnk";
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.Arguments, "-a");
    EXPECT_EQ(in.HotKey, 0x0641);

    // A failed read leaves the properties as they were.
    env_->PutFile(folder + "\\garbage.lnk", "this is not a shortcut");
    in.LinkFile = folder + "\\garbage.lnk";
    EXPECT_FALSE(in.Read());
    EXPECT_EQ(in.Arguments, "-a");
}

TEST_F(PlatformContract, ShortcutTextsAreReadWhole) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\long.lnk";
    link.ProgramFile = folder + "\\t.exe";
    std::string args;
    for (int i = 0; i < 200; ++i) args += "\xC3\xA9-";  // 400 characters, 600 bytes
    link.Arguments = args;
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.Arguments, args) << "a cut text would be written back cut";
}

// ------------------------------------------------------------------ listing

TEST_F(PlatformContract, ListingGivesPlainLnkFilesSortedWithoutRegardToCase) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\b.lnk", "x");
    env_->PutFile(folder + "\\A.LNK", "x");
    env_->PutFile(folder + "\\" + kAccented + ".lnk", "x");
    env_->PutFile(folder + "\\c.txt", "x");
    env_->PutFile(folder + "\\d.lnkx", "x");
    env_->PutFile(folder + "\\hidden.lnk", "x", true);
    env_->PutFile(folder + "\\system.lnk", "x", false, true);
    env_->MakeFolder(folder + "\\x.lnk");
    EXPECT_EQ(platform::ListShortcuts(P().files, P().locale, folder),
              (std::vector<std::string>{"A.LNK", "b.lnk", kAccented + ".lnk"}));
    EXPECT_TRUE(platform::ListShortcuts(P().files, P().locale, folder + "\\missing").empty());
}

// ------------------------------------------------------------------ files

TEST_F(PlatformContract, ExistsAndDelete) {
    const std::string f = env_->Scratch() + "\\" + kCjk + ".txt";
    EXPECT_FALSE(P().files.FileExists(f));
    EXPECT_FALSE(P().files.RemoveFile(f));
    env_->PutFile(f, "x");
    EXPECT_TRUE(P().files.FileExists(f));
    EXPECT_TRUE(P().files.RemoveFile(f));
    EXPECT_FALSE(P().files.FileExists(f));
}

TEST_F(PlatformContract, LoadLinesSplitsAtCrLfAndCrLfAndKeepsWhatFollowsANul) {
    const std::string f = env_->Scratch() + "\\lines.txt";
    env_->PutFile(f, std::string("a\r\nb\rc\nd\r\n\r\ne\0kept\r\nf\r\n", 23));
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f),
              (std::vector<std::string>{"a", "b", "c", "d", "", std::string("e\0kept", 6), "f"}));
    env_->PutFile(f, "last line without end");
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f), (std::vector<std::string>{"last line without end"}));
    EXPECT_TRUE(text::LoadLines(P().files, P().locale, env_->Scratch() + "\\missing.txt").empty());
}

TEST_F(PlatformContract, SaveLinesWritesUtf8WithCrLfAfterEveryLine) {
    const std::string f = env_->Scratch() + "\\" + kAccented + ".txt";
    text::SaveLines(P().files, f, {"one", kCjk, ""});
    auto read = P().files.ReadFile(f);
    ASSERT_EQ(read.outcome, platform::ReadOutcome::Ok);
    EXPECT_EQ(read.bytes, "one\r\n" + kCjk + "\r\n\r\n");
    text::SaveLines(P().files, f, {});
    EXPECT_EQ(P().files.ReadFile(f).bytes, "");
    EXPECT_TRUE(P().files.FileExists(f));
}

TEST_F(PlatformContract, FilesThatAreNotUtf8AreReadInTheAnsiCodePage) {
    const std::string f = env_->Scratch() + "\\ansi.txt";
    env_->PutFile(f, "\xE9t\xE9;crun\r\n");  // "été" in Windows-1252
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f), (std::vector<std::string>{"\xC3\xA9t\xC3\xA9;crun"}));
}

TEST_F(PlatformContract, AWriteThatFailsHalfWayLeavesTheOldFileIntact) {
    const std::string f = env_->Scratch() + "\\StartupList.txt";
    text::SaveLines(P().files, f, {"keep;crun;c;;0;0"});
    env_->FailWritesAfter(10);
    std::vector<std::string> big(1000, "new;crun;some command line;;0;0");
    EXPECT_THROW(text::SaveLines(P().files, f, big), AppError);
    EXPECT_EQ(P().files.ReadFile(f).bytes, "keep;crun;c;;0;0\r\n");
}

TEST_F(PlatformContract, AFileThatCannotBeReadRaisesAnErrorNamingIt) {
    const std::string f = env_->Scratch() + "\\locked.txt";
    env_->PutFile(f, "a\r\n");
    env_->LockAgainstReading(f);
    try {
        text::LoadLines(P().files, P().locale, f);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_NE(std::string(e.what()).find("locked.txt"), std::string::npos) << e.what();
    }
}

// ------------------------------------------------------------------ copies and locks

TEST_F(PlatformContract, AFileIsCopiedByteForByteIntoFoldersMadeForIt) {
    const std::string from = env_->Scratch() + "\\a.lnk";
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 % 256);
    env_->PutFile(from, bytes);
    const std::string to = env_->Scratch() + "\\Shortcuts\\SUF\\a.lnk";
    ASSERT_TRUE(P().files.CopyFileBytes(from, to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, bytes);
    env_->PutFile(from, "shorter");
    ASSERT_TRUE(P().files.CopyFileBytes(from, to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, "shorter") << "replaced whole";
    EXPECT_FALSE(P().files.CopyFileBytes(env_->Scratch() + "\\missing.lnk", to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, "shorter");
}

TEST_F(PlatformContract, ALockIsTakenInOneStepByOneHolder) {
    const std::string name = "vantorell-contract-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    bool existed = true;
    auto first = P().locks.CreateLockOnce(name, existed);
    ASSERT_TRUE(first);
    EXPECT_FALSE(existed);
    auto second = P().locks.CreateLockOnce(name, existed);
    EXPECT_FALSE(second);
    EXPECT_TRUE(existed);
    first.reset();
    auto third = P().locks.CreateLockOnce(name, existed);
    EXPECT_TRUE(third);
    EXPECT_FALSE(existed);
}

// ------------------------------------------------------------------ comparison

TEST_F(PlatformContract, ComparisonWithoutRegardToCase) {
    EXPECT_EQ(P().locale.CompareNoCase("QuickTime Task", "quicktime task"), 0);
    EXPECT_LT(P().locale.CompareNoCase("apple", "Banana"), 0);
    EXPECT_GT(P().locale.CompareNoCase("Zeta", "alpha"), 0);
    EXPECT_EQ(P().locale.CompareNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"), 0);  // Été, éTÉ
    EXPECT_NE(P().locale.CompareNoCase(" ctfmon", "ctfmon"), 0);
    EXPECT_EQ(P().locale.FoldCase("MSMSGS"), P().locale.FoldCase("msmsgs"));
    EXPECT_EQ(P().locale.FoldCase("\xC3\x85NGSTR\xC3\x96M"), P().locale.FoldCase("\xC3\xA5ngstr\xC3\xB6m"));
    EXPECT_NE(P().locale.FoldCase("a b"), P().locale.FoldCase("ab"));
    EXPECT_EQ(P().locale.FoldCase(kCjk), kCjk);
}

}  // namespace
}  // namespace vantorell::testing

namespace vantorell::testing {
namespace {

// On 64-bit Windows the machine's software key has a 32-bit view of its own;
// a key opened in one view does not see the values of the other. On 32-bit
// Windows the two are one.
TEST_F(PlatformContract, MachineHiveHasItsTwoViews) {
    const std::string path = env_->KeyRoot();
    using platform::RegView;
    auto open = [&](RegView view) {
        return P().registry.OpenKey(Hive::LocalMachine, path, true, platform::KeyAccess::Full, view);
    };
    auto k64 = open(RegView::Bits64);
    auto k32 = open(RegView::Bits32);
    ASSERT_TRUE(k64 && k32);
    ASSERT_TRUE(k64->Set("Which", RegValue{RegType::Sz, "64"}));
    ASSERT_TRUE(k32->Set("Which", RegValue{RegType::Sz, "32"}));
    const bool two = P().registry.HasTwoRegistryViews();
    EXPECT_EQ(open(RegView::Bits64)->Query("Which")->data, two ? "64" : "32");
    EXPECT_EQ(open(RegView::Bits32)->Query("Which")->data, "32");
    // The user's hive is one for both views.
    auto user32 = P().registry.OpenKey(Hive::CurrentUser, path, true, platform::KeyAccess::Full, RegView::Bits32);
    ASSERT_TRUE(user32 && user32->Set("Shared", RegValue{RegType::Sz, "yes"}));
    EXPECT_EQ(P().registry.OpenKey(Hive::CurrentUser, path, false, platform::KeyAccess::Read)->Query("Shared")->data,
              "yes");
    k64->Delete("Which");
    k32->Delete("Which");
}

}  // namespace
}  // namespace vantorell::testing
