// The new-entry monitor against the in-memory platform: Run values and the list
// file set the scene, the virtual clock fires Timer1, scripted boxes stay
// "open" while later passes run inside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "control/EntryControl.h"
#include "monitor/NewEntryMonitor.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::monitor {
namespace {

using platform::Hive;
using platform::MemoryPlatform;
using platform::Op;

constexpr const char* kListFile = "C:\\Program Files\\Vantorell\\StartupList.txt";
constexpr const char* kTotalFile = "C:\\Program Files\\Vantorell\\StartupTotal.txt";
constexpr const char* kUserRun = "Software\\Microsoft\\Windows\\CurrentVersion\\run";
constexpr const char* kMachineRun = "Software\\Microsoft\\Windows\\CurrentVersion\\run";
constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::uint64_t kTick = kTimer1IntervalMs;
using Names = std::vector<std::string>;

class FakeHost : public MonitorHost {
public:
    bool WarnNew() const override { return warn; }
    bool AutoKill() const override { return autoKill; }
    bool InTray() const override { return inTray; }
    void ShowFromTray() override {
        inTray = false;
        ++shown;
        if (onShow) onShow();
    }
    void ReportError(std::string_view message) override {
        errors.emplace_back(message);
        if (onError) onError();
    }
    void Notify(std::string_view title, std::string_view text) override {
        EXPECT_EQ(title, kComebackCaption);
        notices.emplace_back(text);
    }
    std::string PublisherOf(std::string_view name) override { return name == "Spy" ? publisher : std::string(); }
    bool warn = true, autoKill = false, inTray = false;
    int shown = 0;
    std::vector<std::string> errors, notices;
    std::string publisher;
    std::function<void()> onShow, onError;
};

struct Scene {
    // The start-up sequence: scan, fill, baseline, Timer1.
    void StartMonitor() {
        store.ScanEntries();
        grid.FillGrid(store.Table());
        monitor.TakeBaseline(NewEntryMonitor::StartupTotalPath(p));
        monitor.Start();
    }
    void UserRun(std::string_view name) {
        p.PutString(Hive::CurrentUser, kUserRun, name, "C:\\x\\" + std::string(name));
    }
    void MachineRun(std::string_view name) { p.PutString(Hive::LocalMachine, kMachineRun, name, "m.exe"); }
    // The names each report box listed, in order.
    std::vector<std::string> Reports() const {
        std::vector<std::string> lists;
        for (const auto& b : p.Boxes()) {
            EXPECT_EQ(b.caption, kReportCaption);
            EXPECT_EQ(b.style, platform::MsgBox::Ok);  // owned by the main window, no icon
            const auto from = kReportTextBefore.size();
            const auto to = b.text.size() - kReportTextAfter.size();
            EXPECT_EQ(b.text.substr(0, from), kReportTextBefore);
            EXPECT_EQ(b.text.substr(to), kReportTextAfter);
            lists.push_back(b.text.substr(from, to - from));
        }
        return lists;
    }
    MemoryPlatform p;
    store::AutostartStore store{p, kListFile};
    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p, none), ui::NameList(p, none), ui::NameList(p, none)};
    ui::GridModel grid{lists};
    control::EntryControl control{store, p, grid};
    FakeHost host;
    NewEntryMonitor monitor{p, store, control, grid, host};
};

class MonitorTest : public ::testing::Test, public Scene {};

TEST(MonitorReport, TextListsNamesWithoutTrailingSeparator) {
    EXPECT_EQ(ReportText({"A", "b"}),
              "The following program(s) have added themselves to the autostartup list: A, b. If you want these "
              "programs to automatically start, you need take no further action. Otherwise, you can disable the "
              "programs with Vantorell.");
}

TEST(MonitorCases, WhatCountsAsNew) {
    struct Case {
        const char* what;
        std::function<void(Scene&)> change;
        Names reports;
    };
    const Case cases[] = {
        {"nothing changed", [](Scene&) {}, {}},
        {"a value added", [](Scene& t) { t.UserRun("Spy"); }, {"Spy"}},
        {"only the case changed",
         [](Scene& t) {
             t.p.RemoveKey(Hive::CurrentUser, kUserRun);
             t.MachineRun("APP");
         },
         {}},
        {"the same name in a second key", [](Scene& t) { t.MachineRun("App"); }, {"App"}},
        {"entries gone", [](Scene& t) { t.p.RemoveKey(Hive::CurrentUser, kUserRun); }, {}},
        {"several, sorted without regard to case",
         [](Scene& t) {
             t.UserRun("zeta");
             t.MachineRun("Mid");
             t.UserRun("alpha");
         },
         {"alpha, Mid, zeta"}},
    };
    for (const Case& c : cases) {
        Scene t;
        t.UserRun("App");
        t.StartMonitor();
        t.p.Advance(kTick / 2);
        c.change(t);
        t.p.Advance(kTick * 4);  // reported at the next tick, never again
        EXPECT_EQ(t.Reports(), c.reports) << c.what;
        EXPECT_EQ(t.host.shown, static_cast<int>(c.reports.size())) << c.what;
        for (const auto& b : t.p.Boxes()) EXPECT_EQ(b.at, kTick) << c.what;
        EXPECT_TRUE(t.host.errors.empty()) << c.what;
    }
}

TEST_F(MonitorTest, BothOptionsOffDoNothingAndKeepTheOldBaseline) {
    UserRun("App");
    host.warn = false;
    StartMonitor();
    UserRun("Spy");
    p.Advance(kTick * 3);
    EXPECT_TRUE(p.Boxes().empty());
    EXPECT_EQ(store.Table().entries.size(), 1u);  // no scan
    EXPECT_EQ(grid.RowCount(), 2);                // no refill
    EXPECT_EQ(monitor.KnownNames(), Names{"App"});
    host.warn = true;  // switched on again: compared with the old baseline
    p.Advance(kTick);
    EXPECT_EQ(Reports(), Names{"Spy"});
}

TEST_F(MonitorTest, BaselineFromStartupTotal) {
    UserRun("a");
    UserRun("B");
    UserRun("C");
    p.PutFile(kTotalFile, "A\r\nc\r\n");
    StartMonitor();
    EXPECT_EQ(monitor.KnownNames(), (Names{"A", "c"}));
    p.Advance(kTick * 2);
    EXPECT_EQ(Reports(), Names{"B"});
}

TEST_F(MonitorTest, UnreadableStartupTotalIsReportedAndTheScanIsTheBaseline) {
    UserRun("App");
    p.PutFile(kTotalFile, "Other\r\n");
    p.SetFaultHook([](Op op, Hive, std::string_view where) { return op == Op::ReadFile && where == kTotalFile; });
    StartMonitor();
    EXPECT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(monitor.KnownNames(), Names{"App"});
    p.Advance(kTick * 2);
    EXPECT_TRUE(p.Boxes().empty());
}

TEST_F(MonitorTest, InTheTrayTheWindowComesUpBeforeTheReportAndTheGridIsNotRefilled) {
    UserRun("App");
    StartMonitor();
    host.inTray = true;
    std::size_t boxesWhenShown = 99;
    host.onShow = [&] { boxesWhenShown = p.Boxes().size(); };
    UserRun("Spy");
    p.Advance(kTick);
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(boxesWhenShown, 0u);
    EXPECT_EQ(Reports(), Names{"Spy"});
    EXPECT_EQ(grid.RowCount(), 2);  // the last fill, from before the tray
    p.Advance(kTick);               // out of the tray now: refilled
    EXPECT_EQ(grid.RowCount(), 3);
}

// A recorded (switched-off) program that puts its Run value back.
class AutoKillTest : public MonitorTest {
protected:
    void SetUp() override {
        p.PutFile(kListFile, "Spy;crun;C:\\x\\Spy;;0;0\r\n");
        host.autoKill = true;
        StartMonitor();
    }
    bool SpyInUserRun() const { return p.GetValue(Hive::CurrentUser, kUserRun, "Spy").has_value(); }
};

// Also when it comes back again: the baseline does not count the removed copy.
TEST_F(AutoKillTest, SilentWhenTheReDisabledNameWasTheOnlyNewOne) {
    int comeback = 0;
    for (bool warn : {false, true, true}) {
        host.warn = warn;
        UserRun("Spy");
        p.Advance(kTick);
        ++comeback;
        EXPECT_FALSE(SpyInUserRun()) << warn;
        // The third comeback within a minute is told, once, in a notice; no box.
        EXPECT_TRUE(p.Boxes().empty()) << warn;
        EXPECT_EQ(host.notices, comeback < 3 ? Names{} : Names{"Spy keeps putting itself back."}) << warn;
        EXPECT_EQ(p.GetFile(kListFile), "Spy;crun;C:\\x\\Spy;;0;0\r\n") << warn;  // no second record
    }
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(AutoKillTest, OtherNewNamesAreStillReported) {
    UserRun("Spy");
    UserRun("Other");
    p.Advance(kTick * 3);
    EXPECT_FALSE(SpyInUserRun());
    EXPECT_EQ(Reports(), Names{"Other"});
}

TEST_F(AutoKillTest, CopyInAnotherPlaceStaysAndIsReported) {
    MachineRun("Spy");
    p.Advance(kTick * 3);
    EXPECT_TRUE(p.GetValue(Hive::LocalMachine, kMachineRun, "Spy").has_value());
    EXPECT_EQ(Reports(), Names{"Spy"});
}

TEST_F(AutoKillTest, FailedReDisableIsShownOnceAndTheBaselineStaysWhole) {
    p.SetFaultHook(
        [](Op op, Hive hive, std::string_view) { return op == Op::DeleteValue && hive == Hive::CurrentUser; });
    UserRun("Spy");
    UserRun("Other");
    p.Advance(kTick * 4);
    EXPECT_EQ(host.errors.size(), 1u);
    EXPECT_TRUE(SpyInUserRun());
    EXPECT_EQ(Reports(), Names{"Other"});
    EXPECT_EQ(monitor.KnownNames(), (Names{"Other", "Spy", "Spy"}));
}

// Passes that run while the report is open compare against the baseline the
// waiting pass set before opening it; what they find waits for the box and is
// shown in one more box; when the waiting pass ends it keeps the latest scan,
// so nothing is reported twice.
TEST_F(MonitorTest, NestedPassesWhileTheReportIsOpen) {
    UserRun("App");
    StartMonitor();
    p.SetBoxScript([this](const MemoryPlatform::ShownBox& box) {
        if (box.text.find(": A1.") != std::string::npos) {
            UserRun("B2");
            p.Advance(kTick);  // B2 waits for this box
            EXPECT_EQ(p.Boxes().size(), 1u) << "no box on top of the open one";
            p.Advance(kTick);  // nothing new
            UserRun("C4");     // the waiting pass's own snapshot lacks it
            p.Advance(kTick);
        }
        return platform::MsgBox::IdOk;
    });
    UserRun("A1");
    p.Advance(kTick);
    EXPECT_EQ(Reports(), (Names{"A1", "B2, C4"}));
    p.Advance(kTick * 5);
    EXPECT_EQ(Reports(), (Names{"A1", "B2, C4"}));
    EXPECT_EQ(monitor.KnownNames(), (Names{"A1", "App", "B2", "C4"}));
}

TEST_F(MonitorTest, FailedScanIsShownOncePerPassWithoutStackingAndKeepsTheBaseline) {
    UserRun("App");
    StartMonitor();
    bool unreadable = true;
    p.SetFaultHook(
        [&](Op op, Hive, std::string_view where) { return unreadable && op == Op::ReadFile && where == kListFile; });
    p.PutFile(kListFile, "");
    // The first error box is left open for three more ticks.
    host.onError = [&] {
        if (host.errors.size() == 1) p.Advance(kTick * 3);
    };
    UserRun("Spy");
    p.Advance(kTick);
    EXPECT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(monitor.KnownNames(), Names{"App"});
    EXPECT_TRUE(p.Boxes().empty());
    host.onError = nullptr;
    unreadable = false;
    p.Advance(kTick * 3);
    EXPECT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(Reports(), Names{"Spy"});
}

TEST_F(MonitorTest, LastPassWithoutTheTimer) {
    UserRun("App");
    StartMonitor();
    monitor.Stop();
    EXPECT_FALSE(monitor.Running());
    UserRun("Spy");
    p.Advance(kTick * 2);
    EXPECT_TRUE(p.Boxes().empty());
    monitor.CheckNewEntries();
    EXPECT_EQ(Reports(), Names{"Spy"});
}

// ---- woken by changes: the platform's watches instead of the 12-second pass

class WatchedMonitorTest : public MonitorTest {
protected:
    void SetUp() override {
        p.EnableWatches();
        p.PutFile(kListFile, "Spy;crun;C:\\x\\Spy;;0;0\r\n");
        UserRun("Known");
        StartMonitor();
    }
    // A program writes, and the system signals the change.
    void Changed(const std::function<void()>& write) {
        write();
        p.SignalChange();
    }
    bool SpyInUserRun() const { return p.GetValue(Hive::CurrentUser, kUserRun, "Spy").has_value(); }
};

TEST_F(WatchedMonitorTest, WatchesEveryPlaceOfTheLocationTableAndTheSwitches) {
    const auto places = p.WatchedPlaces();
    const auto has = [&](platform::WatchPlace::Kind kind, Hive hive, platform::RegView view, std::string path) {
        return std::any_of(places.begin(), places.end(), [&](const platform::WatchPlace& w) {
            return w.kind == kind && w.hive == hive && w.view == view && w.path == path;  // directly or with its tree
        });
    };
    using K = platform::WatchPlace::Kind;
    using V = platform::RegView;
    for (const auto& location : store::Locations()) {
        if (location.isFolder) continue;
        EXPECT_TRUE(has(K::Key, location.hive, location.view, std::string(location.keyOrFolderValue))) << location.code;
    }
    for (const char* key : {"Run", "Run32", "StartupFolder"})
        EXPECT_TRUE(has(K::Key, Hive::LocalMachine, V::Bits64, std::string(store::kStartupApprovedKey) + "\\" + key))
            << key;
    EXPECT_TRUE(has(K::Key, Hive::CurrentUser, V::Bits64, std::string(store::kStartupApprovedKey) + "\\Run"));
    EXPECT_TRUE(has(K::Folder, Hive::CurrentUser, V::Bits64, store.StartupFolderPath("SUF")));
    EXPECT_TRUE(has(K::Folder, Hive::LocalMachine, V::Bits64, store.StartupFolderPath("DSUF")));
    EXPECT_FALSE(has(K::Folder, Hive::CurrentUser, V::Bits64, "C:\\Program Files\\Vantorell"))
        << "the list's folder is the window's to watch";
}

TEST_F(WatchedMonitorTest, ABurstIsOnePassAfterTheSettleTimeAndTheTimerOnlyChecksTheWatches) {
    // A write nobody signals is not seen by the safety net while the watches are armed.
    UserRun("Unsignalled");
    p.Advance(kTick * 2);
    EXPECT_TRUE(p.Boxes().empty());
    // A burst: writes 100 ms apart are one pass, 250 ms after the last, within the bound.
    for (const char* name : {"A1", "A2", "A3"}) {
        Changed([&] { UserRun(name); });
        p.Advance(100);
    }
    EXPECT_TRUE(p.Boxes().empty());
    p.Advance(kSettleMs);
    EXPECT_EQ(Reports(), Names{"A1, A2, A3, Unsignalled"});
    EXPECT_LE(p.Boxes()[0].at, 3 * 100 + kSettleMaxMs + kSettleMs + kTick * 2);
    // At rest, with every place watched, no timer is left to wake the program.
    EXPECT_EQ(p.ActiveTimers(), 0u);
    // A watch that cannot be armed again: the 12-second pass runs in full
    // again, until the place is watched once more.
    p.ClearBoxes();
    p.SetWatchesArmed(false);
    p.Advance(kSettleMs + 1);
    UserRun("Polled");
    p.Advance(kTick);
    EXPECT_EQ(Reports(), Names{"Polled"});
    p.SetWatchesArmed(true);
    p.Advance(kSettleMs + 1);
    EXPECT_EQ(p.ActiveTimers(), 0u);
}

TEST_F(WatchedMonitorTest, AChangedCommandIsReportedOnceAndAutoKillLeavesIt) {
    host.autoKill = true;
    Changed([&] { p.PutString(Hive::CurrentUser, kUserRun, "Known", "C:\\evil\\known.exe"); });
    p.Advance(kSettleMs + 1);
    ASSERT_EQ(p.Boxes().size(), 1u);
    EXPECT_EQ(p.Boxes()[0].caption, kChangedCaption);
    EXPECT_EQ(p.Boxes()[0].text,
              "The following program(s) have changed their start command:\nKnown: C:\\x\\Known \xE2\x86\x92 "
              "C:\\evil\\known.exe");
    EXPECT_EQ(host.shown, 1);  // out of the tray, as for new programs
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, kUserRun, "Known")->data, "C:\\evil\\known.exe");
    // Not again; and Windows' own switch flipped is no change of command.
    Changed([&] {
        p.PutValue(Hive::CurrentUser, std::string(store::kStartupApprovedKey) + "\\Run", "Known",
                   platform::RegValue{platform::RegType::Binary, std::string("\x03\0\0\0\0\0\0\0\0\0\0\0", 12)});
    });
    p.Advance(kSettleMs + 1);
    EXPECT_EQ(p.Boxes().size(), 1u);
    // Without "Warn me" nothing is reported.
    host.warn = false;
    Changed([&] { p.PutString(Hive::CurrentUser, kUserRun, "Known", "C:\\other.exe"); });
    p.Advance(kSettleMs + 1);
    EXPECT_EQ(p.Boxes().size(), 1u);
}

TEST_F(WatchedMonitorTest, AutoKillTakesAComebackOutAtMostOnceIn12Seconds) {
    host.autoKill = true;
    host.warn = false;
    // It puts itself back the moment it is taken out: the first comeback goes
    // at once, the next only 12 seconds after it, and none is reported as new.
    std::vector<std::uint64_t> takenOut;
    for (int round = 0; round < 4; ++round) {
        Changed([&] { UserRun("Spy"); });
        const std::uint64_t deadline = p.Now() + kTick + kSettleMs + 1;
        while (SpyInUserRun() && p.Now() < deadline) p.Advance(50);
        ASSERT_FALSE(SpyInUserRun()) << round;
        takenOut.push_back(p.Now());
    }
    EXPECT_LE(takenOut[0], kSettleMs + 50);
    for (std::size_t i = 1; i < takenOut.size(); ++i) {
        EXPECT_GE(takenOut[i] - takenOut[i - 1], kComebackIntervalMs) << i;
        EXPECT_LE(takenOut[i] - takenOut[i - 1], kComebackIntervalMs + 100) << i;
    }
    // The third comeback within a minute is told once, the fourth is not.
    EXPECT_EQ(host.notices, Names{"Spy keeps putting itself back."});
    EXPECT_TRUE(p.Boxes().empty());
    EXPECT_EQ(p.GetFile(kListFile), "Spy;crun;C:\\x\\Spy;;0;0\r\n");
}

// Nobody is at the screen. In the tray, a switched-off program keeps putting
// itself back: it is taken out each time and told in a notice, the window
// stays in the tray. Then a new program's report opens and nobody answers it:
// inside it the comebacks are still taken out within 13 seconds, the grid is
// refilled, and what else comes up waits and is shown once, after it closes.
TEST_F(WatchedMonitorTest, EverythingGoesOnWhileAReportStaysOpen) {
    host.autoKill = true;
    host.inTray = true;
    host.publisher = "Spy Soft";
    const auto comeBack = [&](int times) {
        for (int i = 0; i < times; ++i) {
            Changed([&] { UserRun("Spy"); });
            const std::uint64_t deadline = p.Now() + 13000;
            while (SpyInUserRun() && p.Now() < deadline) p.Advance(100);
            ASSERT_FALSE(SpyInUserRun()) << "comeback " << i << " at " << p.Now();
        }
    };
    const auto gridShows = [&](std::string_view name) {
        for (int row = 1; row < grid.RowCount(); ++row)
            if (grid.Cell(ui::kColName, row) == name) return true;
        return false;
    };
    comeBack(3);
    EXPECT_EQ(host.notices, Names{"Spy (Spy Soft) keeps putting itself back."});
    EXPECT_TRUE(host.inTray);
    EXPECT_TRUE(p.Boxes().empty());

    p.SetBoxScript([&](const MemoryPlatform::ShownBox& box) {
        if (box.text.find(": First.") == std::string::npos) return platform::MsgBox::IdOk;
        EXPECT_FALSE(host.inTray) << "a report still brings the window up";
        comeBack(2);
        Changed([&] { UserRun("Second"); });
        p.Advance(kTick);
        EXPECT_TRUE(gridShows("Second")) << "the pass inside the box refilled the grid";
        comeBack(1);
        EXPECT_EQ(p.Boxes().size(), 1u) << "nothing opens on top of the report";
        return platform::MsgBox::IdOk;
    });
    Changed([&] { UserRun("First"); });
    p.Advance(kSettleMaxMs);
    EXPECT_EQ(Reports(), (Names{"First", "Second"}));
    EXPECT_EQ(host.notices.size(), 1u) << "once an hour at most";
    EXPECT_EQ(p.GetFile(kListFile), "Spy;crun;C:\\x\\Spy;;0;0\r\n");

    p.Advance(kComebackNoticeIntervalMs);
    comeBack(3);
    EXPECT_EQ(host.notices.size(), 2u) << "told again after an hour";
    EXPECT_EQ(host.shown, 2) << "the two reports brought the window up, the notices did not";
}

// Winlogon and Active Setup run their programs before the shell: a comeback
// there is reported, never taken out; one in Load is taken out as in Run.
TEST_F(MonitorTest, ComebacksIntoWinlogonAreReportedAndLeftAlone) {
    constexpr const char* kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    const std::string own = "C:\\Windows\\system32\\userinit.exe,";
    p.EnableWatches();
    p.PutString(Hive::LocalMachine, kWinlogon, "Userinit", own);
    p.PutFile(kListFile,
              "C:\\x\\evil.exe;luserinit;C:\\x\\evil.exe;REG_SZ 1 a,;0;0\r\n"
              "C:\\x\\evil.exe;cload;C:\\x\\evil.exe;REG_SZ 0 a;0;0\r\n");
    host.autoKill = true;
    StartMonitor();
    p.PutString(Hive::LocalMachine, kWinlogon, "Userinit", own + "C:\\x\\evil.exe,");
    p.PutString(Hive::CurrentUser, kWindows, "Load", "C:\\x\\evil.exe");
    p.SignalChange();
    p.Advance(kSettleMs + 1);
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, kWinlogon, "Userinit")->data, own + "C:\\x\\evil.exe,");
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, kWindows, "Load")->data, "");
    EXPECT_EQ(Reports(), Names{"C:\\x\\evil.exe"});
    EXPECT_TRUE(host.errors.empty());
}

// A program appended to a Shell that is already not Windows' own: the entry
// stays, its command changed.
TEST_F(MonitorTest, AnAppendToShellIsAChangedCommand) {
    p.EnableWatches();
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", "C:\\x\\shell.exe");
    StartMonitor();
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", "C:\\x\\shell.exe C:\\x\\more.exe");
    p.SignalChange();
    p.Advance(kSettleMs + 1);
    ASSERT_EQ(p.Boxes().size(), 1u);
    EXPECT_EQ(p.Boxes()[0].caption, kChangedCaption);
    EXPECT_EQ(p.Boxes()[0].text,
              "The following program(s) have changed their start command:\nShell: C:\\x\\shell.exe \xE2\x86\x92 "
              "C:\\x\\shell.exe C:\\x\\more.exe");
}

}  // namespace
}  // namespace vantorell::monitor
