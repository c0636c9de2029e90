// The entry operations when something fails: whatever fails, no entry is lost,
// the error names what failed, and the table stays as it was.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::Op;
using platform::RegValue;
namespace RegType = platform::RegType;

class ControlFailures : public ControlScene {
protected:
    // Runs `op`, expecting AppError with `message`; afterwards the table must be
    // the one before.
    template <typename F>
    void ExpectError(F op, const std::string& message) {
        const auto records = store.Table().storedRecords;
        const auto entries = Entries();
        try {
            op();
            ADD_FAILURE() << "no error, expected: " << message;
        } catch (const AppError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_EQ(LinesOf(store.Table().storedRecords), LinesOf(records));
        ASSERT_EQ(Entries().size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(Entries()[i].confirm, entries[i].confirm) << i;
            EXPECT_EQ(Entries()[i].delay, entries[i].delay) << i;
        }
        EXPECT_EQ(p.KeysOpenNow(), 0u);
        NoFaults();
    }
};

TEST_F(ControlFailures, ValueOfAnotherTypeIsNotTakenOut) {
    p.PutValue(Hive::CurrentUser, kRunKey, "Bin", RegValue{RegType::Binary, std::string("\x01\x02", 2)});
    PutList("Kept;crun;k.exe;;0;0\r\n");
    control.Refresh();
    const auto bin = IndexOf("Bin", "crun", "1");
    ExpectError([&] { control.DisableEntry(bin, false); }, "Invalid data type for 'Bin'");
    ExpectError([&] { control.SetConfirmStartup(bin); }, "Invalid data type for 'Bin'");
    ExpectError([&] { control.SetStartupDelay(bin, 10); }, "Invalid data type for 'Bin'");
    EXPECT_EQ(Value("crun", "Bin")->type, RegType::Binary);
    EXPECT_EQ(ListBytes(), "Kept;crun;k.exe;;0;0\r\n");
    // Deleting it needs no command: it goes.
    control.DeleteEntry(bin);
    EXPECT_FALSE(Value("crun", "Bin"));
}

TEST_F(ControlFailures, SaveThatFailsRemovesNothing) {
    PutRun("lrun", "Tool", "tool.exe");
    PutLink(kCommonStartup, "App.lnk", "C:\\app.exe");
    PutList("Kept;crun;k.exe;;0;0\r\n");
    control.Refresh();
    const std::string message = "There is not enough space on the disk.";
    struct Case {
        const char* what;
        std::function<void()> op;
    };
    const Case cases[] = {
        {"disable value", [&] { control.DisableEntry(IndexOf("Tool", "lrun", "1"), false); }},
        {"disable link", [&] { control.DisableEntry(IndexOf("App.lnk", "DSUF", "1"), false); }},
        {"delete value", [&] { control.DisableEntry(IndexOf("Tool", "lrun", "1"), true); }},
        {"confirm", [&] { control.SetConfirmStartup(IndexOf("Tool", "lrun", "1")); }},
        {"delay", [&] { control.SetStartupDelay(IndexOf("App.lnk", "DSUF", "1"), 60); }},
        {"recorded confirm", [&] { control.SetConfirmStartup(0); }},
        {"recorded delete", [&] { control.DeleteEntry(0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FailOn(Op::WriteFile);
        try {
            c.op();
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            // A shortcut is kept first: its copy fails before the list is written.
            const std::string what = e.what();
            EXPECT_TRUE(what.find(message) != std::string::npos ||
                        what.find("Failed to keep a copy of the shortcut") != std::string::npos)
                << what;
        }
        NoFaults();
        EXPECT_EQ(Value("lrun", "Tool")->data, "tool.exe");
        EXPECT_TRUE(Link(kCommonStartup, "App.lnk"));
        EXPECT_EQ(ListBytes(), "Kept;crun;k.exe;;0;0\r\n");
        EXPECT_EQ(LinesOf(store.Table().storedRecords), std::vector<std::string>{"Kept;crun;k.exe;;0;0"});
        EXPECT_EQ(Entries()[0].confirm.Text(), "0");
    }
}

TEST_F(ControlFailures, RemovalRefusedTakesTheRecordBack) {
    PutRun("lrun", "Tool", "tool.exe");
    PutLink(kUserStartup, "App.lnk", "C:\\app.exe");
    control.Refresh();
    // A user without rights to the machine's keys can list them but not change them.
    FailOn(Op::OpenKeyFull, "run");
    ExpectError([&] { control.DisableEntry(IndexOf("Tool", "lrun", "1"), false); }, "Failed to delete 'Tool'");
    FailOn(Op::DeleteValue);
    ExpectError([&] { control.SetStartupDelay(IndexOf("Tool", "lrun", "1"), 9); }, "Failed to delete 'Tool'");
    const std::string link = text::JoinPath(kUserStartup, "App.lnk");
    FailOn(Op::DeleteFile);
    ExpectError([&] { control.DisableEntry(IndexOf("App.lnk", "SUF", "1"), false); },
                "Failed to delete '" + link + "'");
    EXPECT_EQ(Value("lrun", "Tool")->data, "tool.exe");
    EXPECT_TRUE(Link(kUserStartup, "App.lnk"));
    EXPECT_EQ(ListBytes(), "");
}

TEST_F(ControlFailures, DeleteWhoseRemovalFailsSaysSo) {
    PutRun("crun", "Tool", "tool.exe");
    PutLink(kUserStartup, "App.lnk", "C:\\app.exe");
    control.Refresh();
    FailOn(Op::DeleteValue);
    ExpectError([&] { control.DeleteEntry(IndexOf("Tool", "crun", "1")); }, "Failed to delete 'Tool'");
    FailOn(Op::DeleteFile);
    ExpectError([&] { control.DisableEntry(IndexOf("App.lnk", "SUF", "1"), true); },
                "Failed to delete '" + text::JoinPath(kUserStartup, "App.lnk") + "'");
    EXPECT_TRUE(Value("crun", "Tool"));
    EXPECT_TRUE(Link(kUserStartup, "App.lnk"));
}

TEST_F(ControlFailures, RecordTakenBackEvenWhenItsSecondSaveFails) {
    PutRun("crun", "Tool", "tool.exe");
    control.Refresh();
    int saves = 0;
    p.SetFaultHook([&](Op op, Hive, std::string_view) {
        if (op == Op::WriteFile) return ++saves > 1;  // the record is saved, taking it back is not
        return op == Op::DeleteValue;
    });
    EXPECT_THROW(control.DisableEntry(0, false), AppError);
    NoFaults();
    // Both in its place and recorded: nothing lost.
    EXPECT_EQ(Value("crun", "Tool")->data, "tool.exe");
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;0\r\n");
}

TEST_F(ControlFailures, UnreadableShortcutIsNotDeleted) {
    PutLink(kUserStartup, "App.lnk", "C:\\app.exe");
    control.Refresh();
    const std::string link = text::JoinPath(kUserStartup, "App.lnk");
    FailOn(Op::ReadShortcut);
    ExpectError([&] { control.DisableEntry(0, false); }, "Failed to read the shortcut '" + link + "'");
    EXPECT_TRUE(p.FileExists(link));
    EXPECT_EQ(ListBytes(), "(missing)");
    // Deleting it needs no target.
    FailOn(Op::ReadShortcut);
    control.DeleteEntry(0);
    EXPECT_FALSE(p.FileExists(link));
}

TEST_F(ControlFailures, EnableThatCannotWriteKeepsTheRecord) {
    const std::string list = "Tool;lrun;tool.exe;;0;0\r\nApp.lnk;SUF;C:\\app.exe;-x;1;5\r\n";
    PutList(list);
    control.Refresh();
    FailOn(Op::SetValue);
    ExpectError([&] { control.EnableEntry(0); }, "Failed to set data for 'Tool'");
    FailOn(Op::OpenKeyFull, "run");
    ExpectError([&] { control.EnableEntry(0); }, "Failed to set data for 'Tool'");
    FailOn(Op::WriteShortcut);
    ExpectError([&] { control.EnableEntry(1); },
                "Failed to create the shortcut '" + text::JoinPath(kUserStartup, "App.lnk") + "'");
    EXPECT_EQ(ListBytes(), list);
    EXPECT_FALSE(Value("lrun", "Tool"));
    EXPECT_FALSE(p.FileExists(text::JoinPath(kUserStartup, "App.lnk")));
}

TEST_F(ControlFailures, EnableWhoseSaveFailsLeavesTheEntryInBothPlaces) {
    PutList("Tool;crun;tool.exe;;0;0\r\n");
    control.Refresh();
    FailOn(Op::WriteFile);
    EXPECT_THROW(control.EnableEntry(0), AppError);
    NoFaults();
    EXPECT_EQ(Value("crun", "Tool")->data, "tool.exe");
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;0\r\n");
    EXPECT_EQ(LinesOf(store.Table().storedRecords), std::vector<std::string>{"Tool;crun;tool.exe;;0;0"});
}

TEST_F(ControlFailures, EnableWithAnUnreadableListChangesNothing) {
    PutList("Tool;crun;tool.exe;;0;0\r\n");
    control.Refresh();
    FailOn(Op::ReadFile);
    EXPECT_THROW(store.ScanEntries(), AppError);
    EXPECT_THROW(control.EnableEntry(0), AppError);
    NoFaults();
    EXPECT_FALSE(Value("crun", "Tool"));
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
