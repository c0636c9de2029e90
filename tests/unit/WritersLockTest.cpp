// One writer at a time, always on fresh data. The memory platform's lock hook
// plays another process that saved just before this one got the lock: what
// was read before the lock must never be what is written back.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "FaultWorld.h"
#include "app/common/ConsoleCommands.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Hive;

class WritersLock : public ControlScene {
protected:
    // The next time a writer is about to get the list's lock, `other` runs first.
    void Meanwhile(std::function<void()> other) {
        p.SetLockHook([this, other = std::move(other)](std::string_view) mutable {
            auto once = std::move(other);
            p.SetLockHook(nullptr);  // destroys this lambda: only locals from here on
            once();
        });
    }
    void RemoveRun(std::string_view name) {
        const auto* loc = store::FindLocation("crun");
        p.PutString(loc->hive, loc->keyOrFolderValue, name, "");
        ASSERT_TRUE(store.Facets()
                        .registry.OpenKey(loc->hive, loc->keyOrFolderValue, false, platform::KeyAccess::Full)
                        ->Delete(name));
    }
};

TEST_F(WritersLock, AChangeThatMeetsANewerFileAppliesToTheNewerFile) {
    PutRun("crun", "A", "a.exe");
    PutRun("crun", "B", "b.exe");
    PutRun("crun", "C", "c.exe");
    control.Refresh();
    const std::size_t c = IndexOf("C", "crun", "1");
    // Another writer switched B off after this table was read.
    Meanwhile([&] {
        PutList("B;crun;b.exe;;0;0\r\n");
        RemoveRun("B");
    });
    control.DisableEntry(c, false);
    EXPECT_EQ(ListBytes(), "B;crun;b.exe;;0;0\r\nC;crun;c.exe;;0;0\r\n") << "B's record must not be lost";
    EXPECT_FALSE(Value("crun", "B"));
    EXPECT_FALSE(Value("crun", "C"));
    EXPECT_EQ(p.WritesWithoutLock(kListFile), 0u);
}

TEST_F(WritersLock, OptionsOfOneRecordRewriteThatRecordOnly) {
    PutList("A;crun;a.exe;;0;0\r\nB;crun;b.exe;;0;0\r\n");
    control.Refresh();
    Meanwhile([&] { PutList("A;crun;a.exe;;0;0\r\nB;crun;b.exe;;0;0\r\nN;lrun;n.exe;;1;0\r\n"); });
    control.SetStartupDelay(IndexOf("A", "crun", "0"), 30);
    EXPECT_EQ(ListBytes(), "A;crun;a.exe;;0;30\r\nB;crun;b.exe;;0;0\r\nN;lrun;n.exe;;1;0\r\n");
}

TEST_F(WritersLock, AnEntryNoLongerAsSeenIsChangedMeanwhileAndNothingIsWritten) {
    struct Case {
        const char* what;
        std::string other;  // the list another writer saved
        std::function<void(control::EntryControl&, std::size_t)> op;
    };
    const Case cases[] = {
        {"its delay changed", "A;crun;a.exe;;0;45\r\n", [](auto& c, auto i) { c.SetConfirmStartup(i); }},
        {"its confirm flag changed", "A;crun;a.exe;;1;0\r\n", [](auto& c, auto i) { c.SetStartupDelay(i, 10); }},
        {"its command changed", "A;crun;other.exe;;0;0\r\n", [](auto& c, auto i) { c.EnableEntry(i); }},
        {"its arguments changed", "A;crun;a.exe;-x;0;0\r\n", [](auto& c, auto i) { c.DeleteEntry(i); }},
        {"it is gone", "", [](auto& c, auto i) { c.EnableEntry(i); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PutList("A;crun;a.exe;;0;0\r\n");
        control.Refresh();
        Meanwhile([&] { PutList(c.other); });
        try {
            c.op(control, IndexOf("A", "crun", "0"));
            ADD_FAILURE() << "no error";
        } catch (const ChangedMeanwhile& e) {
            EXPECT_EQ(std::string(e.what()), "'A' (crun) changed meanwhile, try again");
        }
        EXPECT_EQ(ListBytes(), c.other) << "left as the other writer saved it";
        EXPECT_FALSE(Value("crun", "A"));
    }
}

// vantorellc chooses the entry and changes it in one hold of the writers'
// lock, so no other writer gets between the choice and the change; a list that
// another writer keeps locked is what is left of "meanwhile": exit code 4 and
// nothing changed.
TEST_F(WritersLock, TheConsoleSaysChangedMeanwhileWithExitCodeFour) {
    PutRun("crun", "A", "a.exe");
    int locks = 0;
    p.SetLockHook([&](std::string_view) {
        if (++locks == 2) PutRun("crun", "A", "changed.exe");  // where a second hold would begin
    });
    auto r = app::RunConsole(p, store, {"disable", "A"});
    p.SetLockHook(nullptr);
    EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
    EXPECT_EQ(locks, 1);
    EXPECT_FALSE(Value("crun", "A"));
    EXPECT_EQ(ListBytes(), "A;crun;a.exe;;0;0\r\n");

    p.HoldLockElsewhere(kListFile);
    r = app::RunConsole(p, store, {"enable", "A"});
    p.HoldLockElsewhere(kListFile, false);
    EXPECT_EQ(r.exitCode, app::kExitChanged);
    EXPECT_EQ(r.err, "vantorellc: " + std::string(control::kListsBusyMessage) + ".\n");
    EXPECT_FALSE(Value("crun", "A"));
    EXPECT_EQ(ListBytes(), "A;crun;a.exe;;0;0\r\n");
}

TEST_F(WritersLock, EveryWriteOfTheListIsMadeUnderItsLock) {
    PutRun("crun", "A", "a.exe");
    PutRun("crun", "B", "b.exe");
    PutLink(kUserStartup, "L.lnk", "C:\\l.exe");
    control.Refresh();
    control.DisableEntry(IndexOf("A", "crun", "1"), false);
    control.SetConfirmStartup(IndexOf("B", "crun", "1"));
    control.SetStartupDelay(IndexOf("L.lnk", "SUF", "1"), 20);
    control.ClearConfirmStartup(IndexOf("B", "crun", "2"));
    control.EnableEntry(IndexOf("A", "crun", "0"));
    control.DeleteEntry(IndexOf("B", "crun", "0"));
    control.EnableEntry(IndexOf("L.lnk", "SUF", "2"));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_GE(p.WriterLocksTaken(kListFile), 7u);
    EXPECT_EQ(p.WritesWithoutLock(kListFile), 0u);
}

// AutoKill takes out a copy that came back beside its record. When another
// writer enabled the entry meanwhile (the record gone, the value its own), the
// copy is the entry itself and must stay.
TEST(WritersLockMonitor, AutoKillLeavesAnEntryAnotherWriterEnabledMeanwhile) {
    MonitorScene s;
    const auto* run = store::FindLocation("crun");
    s.p.PutFile(kFaultList, "X;crun;x.exe;;0;0\r\n");
    s.store.ScanEntries();
    s.monitor.TakeBaseline("C:\\none.txt");
    s.p.PutString(run->hive, run->keyOrFolderValue, "X", "x.exe");  // X seen in its place and recorded
    s.p.SetLockHook([p = &s.p](std::string_view) {
        p->PutFile(kFaultList, "");  // vantorellc enable X: value written, record removed
        p->SetLockHook(nullptr);
    });
    s.monitor.CheckNewEntries();
    const auto v = s.p.GetValue(run->hive, run->keyOrFolderValue, "X");
    ASSERT_TRUE(v) << "the enabled entry was taken out: lost";
    EXPECT_EQ(v->data, "x.exe");
    EXPECT_TRUE(s.host.errors.empty());

    // Without another writer, a copy that came back is taken out as before.
    s.p.PutFile(kFaultList, "X;crun;x.exe;;0;0\r\n");
    s.p.RemoveKey(run->hive, run->keyOrFolderValue);
    s.store.ScanEntries();
    s.monitor.TakeBaseline("C:\\none.txt");
    s.p.PutString(run->hive, run->keyOrFolderValue, "X", "x.exe");
    s.monitor.CheckNewEntries();
    EXPECT_FALSE(s.p.GetValue(run->hive, run->keyOrFolderValue, "X"));
    EXPECT_EQ(s.p.GetFile(kFaultList), "X;crun;x.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
