// The state transitions of the entry operations, for registry values and
// shortcuts, and what each leaves in the places and in "StartupList.txt".
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegValue;
namespace RegType = platform::RegType;

class ControlTransitions : public ControlScene {};

// An active entry of every kind of place, disabled and enabled again.
struct PlaceCase {
    const char* code;
    const char* name;
};
constexpr PlaceCase kPlaces[] = {{"crun", "Tool"}, {"crunonce", "Once"}, {"lrun", "Machine"}, {"lrunonceex", "Ex"}};

TEST_F(ControlTransitions, RegistryValueDisabledThenEnabled) {
    for (const auto& c : kPlaces) {
        SCOPED_TRACE(c.code);
        PutList("Kept;crun;kept.exe;;0;0\r\n");
        PutRun(c.code, c.name, "C:\\bin\\tool.exe /x");
        control.Refresh();
        control.DisableEntry(IndexOf(c.name, c.code, "1"), false);
        EXPECT_FALSE(Value(c.code, c.name));
        EXPECT_EQ(ListBytes(), "Kept;crun;kept.exe;;0;0\r\n" + std::string(c.name) + ";" + c.code +
                                   ";C:\\bin\\tool.exe /x;;0;0\r\n");
        const std::size_t recorded = IndexOf(c.name, c.code, "0");
        EXPECT_EQ(recorded, 1u);  // the last record
        EXPECT_EQ(grid.Cell(ui::kColEnabled, RowOf(recorded)), "0");
        ExpectInvariants();

        control.EnableEntry(recorded);
        EXPECT_EQ(Value(c.code, c.name)->data, "C:\\bin\\tool.exe /x");
        EXPECT_EQ(ListBytes(), "Kept;crun;kept.exe;;0;0\r\n");
        EXPECT_EQ(Entries()[IndexOf(c.name, c.code, "1")].command, "C:\\bin\\tool.exe /x");
        ExpectInvariants();
    }
}

// Windows expands a Run value's %NAME% references only in an expandable value:
// one that came back plain would no longer start. Records of older versions
// (which wrote no type) read the same.
TEST_F(ControlTransitions, ExpandableStringComesBackExpandable) {
    p.PutValue(Hive::CurrentUser, kRunKey, "Exp", RegValue{RegType::ExpandSz, "%ProgramFiles%\\x.exe"});
    p.PutString(Hive::CurrentUser, kRunKey, "Percent", "C:\\p.exe 50% 20%");
    control.Refresh();
    control.DisableEntry(IndexOf("Exp", "crun", "1"), false);
    control.DisableEntry(IndexOf("Percent", "crun", "1"), false);
    EXPECT_EQ(ListBytes(), "Exp;crun;%ProgramFiles%\\x.exe;;0;0\r\nPercent;crun;C:\\p.exe 50% 20%;;0;0\r\n");
    control.EnableEntry(0);
    control.EnableEntry(0);
    const auto v = Value("crun", "Exp");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, RegType::ExpandSz);
    EXPECT_EQ(v->data, "%ProgramFiles%\\x.exe");
    EXPECT_EQ(Value("crun", "Percent")->type, RegType::Sz) << "no variable named: stays plain";

    PutList("Old;lrun;%SystemRoot%\\old.exe -x;;0;0\r\n");
    control.Refresh();
    control.EnableEntry(0);
    EXPECT_EQ(Value("lrun", "Old")->type, RegType::ExpandSz);
}

TEST_F(ControlTransitions, ShortcutDisabledThenEnabledComesBackByteForByte) {
    for (const char* folder : {kUserStartup, kCommonStartup}) {
        const char* code = folder == kUserStartup ? "SUF" : "DSUF";
        SCOPED_TRACE(code);
        platform::ShortcutData fancy;
        fancy.target = "C:\\bin\\app.exe";
        fancy.arguments = "--tray";
        fancy.description = "Something else";
        fancy.workingDirectory = "C:\\bin";
        fancy.iconFile = "C:\\bin\\app.ico";
        fancy.iconIndex = 3;
        fancy.hotKey = 0x0741;
        fancy.showCmd = platform::ShowCmd::Minimized;
        p.PutShortcut(text::JoinPath(folder, "App.lnk"), fancy);
        // Another shortcut read later leaves its looks in the shared accessor.
        fancy.target = "C:\\bin\\other.exe";
        fancy.iconFile = "C:\\bin\\other.ico";
        fancy.showCmd = platform::ShowCmd::Maximized;
        p.PutShortcut(text::JoinPath(folder, "Other.lnk"), fancy);
        control.Refresh();

        const auto original = p.GetFile(text::JoinPath(folder, "App.lnk"));
        control.DisableEntry(IndexOf("App.lnk", code, "1"), false);
        const std::string kept = store.KeptShortcutPath(store.Table().storedRecords.at(0));
        EXPECT_EQ(text::FolderOf(kept), std::string("C:\\Program Files\\Vantorell\\Shortcuts\\") + code);
        EXPECT_FALSE(p.FileExists(text::JoinPath(folder, "App.lnk")));
        EXPECT_EQ(ListBytes(), std::string("App.lnk;") + code + ";C:\\bin\\app.exe;--tray;0;0\r\n");
        EXPECT_EQ(p.GetFile(kept), original) << "kept beside the list";

        control.EnableEntry(IndexOf("App.lnk", code, "0"));
        EXPECT_EQ(p.GetFile(text::JoinPath(folder, "App.lnk")), original);
        EXPECT_FALSE(p.FileExists(kept));
        EXPECT_EQ(ListBytes(), "");
        ExpectInvariants();

        // A record without a kept copy (an older version's) is built from the
        // record, with neutral looks rather than the last shortcut's.
        PutList(std::string("App.lnk;") + code + ";C:\\bin\\app.exe;--tray;0;0\r\n");
        p.RemoveFile(text::JoinPath(folder, "App.lnk"));
        control.Refresh();
        control.EnableEntry(0);
        const auto link = Link(folder, "App.lnk");
        ASSERT_TRUE(link);
        EXPECT_EQ(link->target, "C:\\bin\\app.exe");
        EXPECT_EQ(link->arguments, "--tray");
        EXPECT_EQ(link->description, "App");
        EXPECT_EQ(link->workingDirectory, folder);
        EXPECT_EQ(link->iconFile, "");
        EXPECT_EQ(link->iconIndex, 0);
        EXPECT_EQ(link->hotKey, 0);
        EXPECT_EQ(link->showCmd, platform::ShowCmd::Normal);
        EXPECT_EQ(ListBytes(), "");
        ExpectInvariants();
        p.RemoveFile(text::JoinPath(folder, "App.lnk"));
        p.RemoveFile(text::JoinPath(folder, "Other.lnk"));
    }
}

TEST_F(ControlTransitions, DisableWithDiscardRemovesWithoutRecordAndStillSaves) {
    PutRun("crun", "Gone", "gone.exe");
    PutLink(kUserStartup, "Gone.lnk", "C:\\gone.exe");
    control.Refresh();
    const auto writes = p.WritesAttempted();
    control.DisableEntry(IndexOf("Gone", "crun", "1"), true);
    control.DisableEntry(IndexOf("Gone.lnk", "SUF", "1"), true);
    EXPECT_FALSE(Value("crun", "Gone"));
    EXPECT_FALSE(p.FileExists(text::JoinPath(kUserStartup, "Gone.lnk")));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_EQ(p.WritesAttempted(), writes + 2);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ControlTransitions, MonitorRedisablesAReappearedEntryByItsRecord) {
    PutList("Back;crun;back.exe;;0;30\r\n");
    PutRun("crun", "Back", "back.exe --again");
    control.Refresh();
    control.DisableEntry(0, true);  // the record's index
    EXPECT_FALSE(Value("crun", "Back"));
    EXPECT_EQ(ListBytes(), "Back;crun;back.exe;;0;30\r\n");
    EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(ControlTransitions, ActiveEntryHandedOverForConfirmOrDelay) {
    struct Case {
        const char* what;
        std::function<void(std::size_t)> op;
        const char* state;
        const char* confirm;
        const char* delay;
        bool takenOut;
    };
    const Case cases[] = {
        {"confirm", [&](std::size_t i) { control.SetConfirmStartup(i); }, "2", "1", "0", true},
        {"delay 30", [&](std::size_t i) { control.SetStartupDelay(i, 30); }, "2", "0", "30", true},
        {"delay 999", [&](std::size_t i) { control.SetStartupDelay(i, 999); }, "2", "0", "240", true},
        {"delay 0", [&](std::size_t i) { control.SetStartupDelay(i, 0); }, "1", "0", "0", false},
        {"clear confirm", [&](std::size_t i) { control.ClearConfirmStartup(i); }, "1", "0", "0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        p.PutFile(kListFile, "");
        PutRun("crun", "Zed", "zed.exe");
        // An entry sorted before it, so that its row and index both move.
        PutRun("lrun", "Alpha", "alpha.exe");
        control.Refresh();
        const std::string before = ListBytes();
        c.op(IndexOf("Zed", "crun", "1"));
        EXPECT_EQ(!Value("crun", "Zed"), c.takenOut);
        const auto& e = Entries()[IndexOf("Zed", "crun", c.state)];
        EXPECT_EQ(e.confirm.Text(), c.confirm);
        EXPECT_EQ(e.delay.Text(), c.delay);
        if (c.takenOut)
            EXPECT_EQ(ListBytes(), std::string("Zed;crun;zed.exe;;") + c.confirm + ";" + c.delay + "\r\n");
        else
            EXPECT_EQ(ListBytes(), before);
        EXPECT_TRUE(Value("lrun", "Alpha"));
        ExpectInvariants();
    }
}

TEST_F(ControlTransitions, RecordedEntryOptions) {
    struct Case {
        const char* record;  // confirm;delay
        const char* what;
        std::function<void()> op;  // on entry 0
        const char* line;          // confirm;delay afterwards
        const char* state;
    };
    const Case cases[] = {
        {"0;0", "confirm", [&] { control.SetConfirmStartup(0); }, "1;0", "2"},
        {"0;0", "delay 5", [&] { control.SetStartupDelay(0, 5); }, "0;5", "2"},
        {"0;0", "delay -3", [&] { control.SetStartupDelay(0, -3); }, "0;0", "0"},
        {"0;20", "confirm", [&] { control.SetConfirmStartup(0); }, "1;20", "2"},
        {"1;20", "delay 0", [&] { control.SetStartupDelay(0, 0); }, "1;0", "2"},
        {"0;20", "delay 0", [&] { control.SetStartupDelay(0, 0); }, "0;0", "0"},
        {"1;0", "delay 7", [&] { control.SetStartupDelay(0, 7); }, "1;7", "2"},
        {"1;20", "clear confirm", [&] { control.ClearConfirmStartup(0); }, "0;20", "2"},
        {"1;0", "clear confirm", [&] { control.ClearConfirmStartup(0); }, "0;0", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.record) + " " + c.what);
        PutList(std::string("Rec;crun;rec.exe;;") + c.record + "\r\nOther;SUF;o.exe;-a;1;9\r\n");
        control.Refresh();
        c.op();
        EXPECT_EQ(ListBytes(), std::string("Rec;crun;rec.exe;;") + c.line + "\r\nOther;SUF;o.exe;-a;1;9\r\n");
        EXPECT_EQ(store::StateText(Entries()[0].state), c.state);
        EXPECT_FALSE(Value("crun", "Rec"));
        ExpectInvariants();
    }
}

TEST_F(ControlTransitions, EnableRemovesExactlyOneLineAndForgetsItsOptions) {
    PutList("A;crun;a.exe;;0;0\r\nB;lrun;b.exe;;1;30\r\nC;crun;c.exe;;0;0\r\n");
    control.Refresh();
    control.EnableEntry(1);
    EXPECT_EQ(ListBytes(), "A;crun;a.exe;;0;0\r\nC;crun;c.exe;;0;0\r\n");
    const auto& b = Entries()[IndexOf("B", "lrun", "1")];
    EXPECT_EQ(b.confirm.Text(), "0");
    EXPECT_EQ(b.delay.Text(), "0");
    EXPECT_EQ(Value("lrun", "B")->data, "b.exe");
}

TEST_F(ControlTransitions, UnknownPlaceIsForgottenWhenEnabled) {
    PutList("Odd;nowhere;odd.exe;;0;0\r\n");
    control.Refresh();
    control.EnableEntry(0);
    EXPECT_EQ(ListBytes(), "");
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ControlTransitions, UninstallPutsEveryRecordBack) {
    PutList("A;crun;a.exe;;0;0\r\nB.lnk;SUF;C:\\b.exe;-q;1;0\r\nC;lrunonce;c.exe;;0;60\r\n");
    control.Refresh();
    while (store.Table().RecordCount() > 0) control.EnableEntry(0);
    EXPECT_EQ(Value("crun", "A")->data, "a.exe");
    EXPECT_EQ(Link(kUserStartup, "B.lnk")->arguments, "-q");
    EXPECT_EQ(Value("lrunonce", "C")->data, "c.exe");
    EXPECT_EQ(ListBytes(), "");
}

TEST_F(ControlTransitions, SemicolonsSurviveTheRoundTrip) {
    PutRun("crun", "a;b", "C:\\x.exe;/y");
    control.Refresh();
    control.DisableEntry(IndexOf("a;b", "crun", "1"), false);
    control.SetStartupDelay(IndexOf("a;b", "crun", "0"), 12);
    EXPECT_EQ(Entries()[0].delay.Text(), "12");
    control.EnableEntry(0);
    EXPECT_EQ(Value("crun", "a;b")->data, "C:\\x.exe;/y");
}

TEST_F(ControlTransitions, RecordNameNeverLeadsOutOfTheStartupFolder) {
    PutList("..\\..\\Evil.lnk;SUF;C:\\evil.exe;;0;0\r\n");
    control.Refresh();
    control.EnableEntry(0);
    EXPECT_TRUE(Link(kUserStartup, "Evil.lnk"));
    EXPECT_FALSE(p.FileExists(text::JoinPath(kUserStartup, "..\\..\\Evil.lnk")));
}

TEST_F(ControlTransitions, EntryGoneFromItsPlaceGetsNoRecordAndIsSaidToHaveChanged) {
    PutRun("crun", "Brief", "brief.exe");
    PutLink(kUserStartup, "Brief.lnk", "C:\\brief.exe");
    control.Refresh();
    p.PutFile(kListFile, "");
    // Gone since the last scan, which still lists it.
    p.RemoveFile(text::JoinPath(kUserStartup, "Brief.lnk"));
    EXPECT_THROW(control.DisableEntry(IndexOf("Brief.lnk", "SUF", "1"), false), ChangedMeanwhile);
    control.Refresh();
    const auto* run = store::FindLocation("crun");
    p.RemoveKey(run->hive, run->keyOrFolderValue);
    EXPECT_THROW(control.SetConfirmStartup(IndexOf("Brief", "crun", "1")), ChangedMeanwhile);
    EXPECT_EQ(ListBytes(), "");
    EXPECT_TRUE(Entries().empty()) << "the table shows what is there now";
}

TEST_F(ControlTransitions, DeleteEntry) {
    PutList("Rec;crun;rec.exe;;1;0\r\n");
    PutRun("crun", "Rec", "rec.exe --back");  // put back by someone else
    PutRun("crun", "Act", "act.exe");
    control.Refresh();
    control.DeleteEntry(IndexOf("Rec", "crun", "2"));  // only the record goes
    EXPECT_EQ(ListBytes(), "");
    EXPECT_EQ(Value("crun", "Rec")->data, "rec.exe --back");
    control.DeleteEntry(IndexOf("Act", "crun", "1"));  // the value goes, no record
    EXPECT_FALSE(Value("crun", "Act"));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_FALSE(Listed("Act"));
    ExpectInvariants();
}

TEST_F(ControlTransitions, IndexOutsideTheTableDoesNothing) {
    PutList("A;crun;a.exe;;0;0\r\n");
    control.Refresh();
    const auto writes = p.WritesAttempted();
    control.DisableEntry(5, false);
    control.EnableEntry(1);
    control.SetConfirmStartup(9);
    control.SetStartupDelay(9, 10);
    control.ClearConfirmStartup(9);
    control.DeleteEntry(9);
    EXPECT_EQ(p.WritesAttempted(), writes);
    EXPECT_EQ(ListBytes(), "A;crun;a.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
