// Odd things in the places themselves: the longest names and large data, values
// of every type in every Run key, Startup folders that are missing or are
// files, .lnk files that are not shortcuts. The program lists what it can and
// changes nothing it cannot give back.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegValue;
namespace RegType = platform::RegType;

constexpr std::size_t kMaxValueName = 16383;  // the registry's limit, in characters
constexpr std::size_t kLargeData = 1024 * 1024;

class BadInputPlatform : public ControlScene {};

TEST_F(BadInputPlatform, LongestNameAndLargeDataGoOutAndComeBackExactly) {
    const std::string name(kMaxValueName, 'N');
    std::string data(kLargeData, 'd');
    data.replace(0, 3, "C:\\");
    PutRun("crun", name, data);
    control.Refresh();
    control.DisableEntry(IndexOf(name, "crun", "1"), false);
    EXPECT_FALSE(Value("crun", name));
    control.EnableEntry(IndexOf(name, "crun", "0"));
    ASSERT_TRUE(Value("crun", name));
    EXPECT_EQ(Value("crun", name)->data, data);
    EXPECT_EQ(ListBytes(), "");
    ExpectInvariants();
}

TEST_F(BadInputPlatform, EveryTypeInEveryRunKeyIsListed) {
    const RegValue values[] = {
        {RegType::None, ""},
        {RegType::Sz, "C:\\sz.exe"},
        {RegType::ExpandSz, "%ProgramFiles%\\x.exe"},
        {RegType::Binary, std::string("\x00\x01\xFF", 3)},
        {RegType::Dword, std::string("\x2A\x00\x00\x00", 4)},
        {RegType::MultiSz, std::string("a\0b\0\0", 5)},
        {RegType::Qword, std::string(8, '\x07')},
        {0x1234, "odd"},
    };
    std::size_t expected = 0;
    for (const auto& loc : store::Locations()) {
        if (loc.Kind() != store::PlaceKind::Values) continue;  // a place of one value per entry
        for (std::size_t t = 0; t < std::size(values); ++t, ++expected)
            p.PutValue(loc.hive, loc.keyOrFolderValue, "T" + std::to_string(t), values[t], loc.view);
    }
    ASSERT_NO_THROW(control.Refresh());
    ExpectInvariants();
    ASSERT_EQ(Entries().size(), expected);
    for (const auto& e : Entries()) {
        const bool text = e.name == "T1" || e.name == "T2";
        EXPECT_EQ(e.command.empty(), !text) << e.name << " in " << e.location;
    }
    // A number cannot be recorded (its command would be lost); deleting it needs no command.
    EXPECT_THROW(control.DisableEntry(IndexOf("T4", "lrunonceex", "1"), false), AppError);
    EXPECT_TRUE(Value("lrunonceex", "T4"));
    control.DeleteEntry(IndexOf("T4", "lrunonceex", "1"));
    EXPECT_FALSE(Value("lrunonceex", "T4"));
    // An empty value of no type reads as the empty text: it goes and comes back.
    control.DisableEntry(IndexOf("T0", "crun", "1"), false);
    control.EnableEntry(IndexOf("T0", "crun", "0"));
    EXPECT_EQ(Value("crun", "T0")->type, RegType::Sz);
}

TEST_F(BadInputPlatform, StartupFoldersMissingOrFiles) {
    PutRun("crun", "Tool", "tool.exe");
    p.PutString(Hive::CurrentUser, store::kShellFoldersKey, "Startup", "C:\\No\\Such\\Folder");
    p.PutFile("C:\\just-a-file.txt", "text");
    p.PutString(Hive::LocalMachine, store::kShellFoldersKey, "Common Startup", "C:\\just-a-file.txt");
    ASSERT_NO_THROW(control.Refresh());
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].name, "Tool");
    ExpectInvariants();
}

TEST_F(BadInputPlatform, ALnkThatIsNotAShortcutIsListedAndKept) {
    const std::string path = text::JoinPath(kUserStartup, "Fake.lnk");
    p.PutFile(path, "MZ this is a program, not a shortcut");
    ASSERT_NO_THROW(control.Refresh());
    const auto fake = IndexOf("Fake.lnk", "SUF", "1");
    EXPECT_EQ(Entries()[fake].command, "");
    EXPECT_THROW(control.DisableEntry(fake, false), AppError);  // its target cannot be read: not taken out
    EXPECT_TRUE(p.FileExists(path));
    EXPECT_EQ(ListBytes(), "(missing)");
}

TEST_F(BadInputPlatform, ACopyBesideItsRecordIsTakenOutWithoutASecondRecord) {
    PutList("Tool;crun;tool.exe;;0;0\r\n");
    PutRun("crun", "Tool", "tool.exe");
    control.Refresh();
    control.DisableEntry(IndexOf("Tool", "crun", "1"), false);
    EXPECT_FALSE(Value("crun", "Tool"));
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;0\r\n");
    // Another command is another program: both kept.
    PutRun("crun", "Tool", "other.exe");
    control.Refresh();
    control.DisableEntry(IndexOf("Tool", "crun", "1"), false);
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;0\r\nTool;crun;other.exe;;0;0\r\n");
}

TEST_F(BadInputPlatform, ARecordNameStartingWithAByteOrderMarkSurvivesASave) {
    PutList("Kept;crun;k.exe;;0;0\r\n");
    control.Refresh();
    store.Table().storedRecords.insert(store.Table().storedRecords.begin(),
                                       NewRecord("\xEF\xBB\xBFZw", "crun", "z.exe", ""));
    store.SaveStoredRecords();
    store.ScanEntries();
    ASSERT_EQ(store.Table().storedRecords.size(), 2u);
    EXPECT_EQ(Entries()[0].name, "\xEF\xBB\xBFZw");
}

}  // namespace
}  // namespace vantorell::testing
