// What the entry operations refuse whatever a record or a name says: the
// program's own logon entry, and names that Windows would read as another's.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "FaultWorld.h"
#include "app/common/ConsoleCommands.h"
#include "control/SelfProtection.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Hive;

constexpr const char* kWindowExe = "C:\\Program Files\\Vantorell\\vantorell.exe";
constexpr const char* kConsoleExe = "C:\\Program Files\\Vantorell\\vantorellc.exe";
constexpr const char* kOwnCommand = "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b";

class ControlGuards : public ControlScene {};

TEST_F(ControlGuards, TheConsoleCompanionProtectsTheWindowProgramBesideIt) {
    p.SetExecutablePath(kConsoleExe);
    PutRun("lrun", "Autostart", kOwnCommand);          // own by its command, under any name
    PutRun("crun", "vantorell", "C:\\elsewhere.exe");  // own by its name in a Run key
    for (const char* verb : {"disable", "delete", "confirm", "delay"}) {
        for (const char* name : {"Autostart", "vantorell"}) {
            SCOPED_TRACE(std::string(verb) + " " + name);
            std::vector<std::string> args{verb};
            if (std::string(verb) == "delay") args.push_back("30");
            args.push_back(name);
            const auto r = app::RunConsole(p, store, args);
            EXPECT_EQ(r.exitCode, app::kExitFailure);
            EXPECT_NE(r.err.find("You are trying to disable Vantorell using Vantorell!"), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(Value("lrun", "Autostart")->data, kOwnCommand);
    EXPECT_EQ(Value("crun", "vantorell")->data, "C:\\elsewhere.exe");
    EXPECT_EQ(ListBytes(), "(missing)");
}

TEST_F(ControlGuards, OperationsThemselvesRefuseTheOwnEntry) {
    PutRun("lrun", "Vantorell", kOwnCommand);
    PutList("Vantorell;lrun;C:\\evil.exe;;0;0\r\n");
    control.Refresh();
    EXPECT_THROW(control.DisableEntry(IndexOf("Vantorell", "lrun", "1"), true), AppError);
    EXPECT_THROW(control.DeleteEntry(IndexOf("Vantorell", "lrun", "1")), AppError);
    EXPECT_THROW(control.EnableEntry(0), AppError) << "a crafted record must not replace the own value";
    EXPECT_EQ(Value("lrun", "Vantorell")->data, kOwnCommand);
    EXPECT_EQ(ListBytes(), "Vantorell;lrun;C:\\evil.exe;;0;0\r\n");
}

// A crafted record named like the own entry: each time the program registers
// itself, the monitor's AutoKill saw "Vantorell" come back and removed it.
TEST(ControlGuardsMonitor, AutoKillNeverRemovesTheOwnRunValue) {
    MonitorScene s;
    s.p.SetExecutablePath(kWindowExe);
    s.p.PutFile(kFaultList, "Vantorell;lrun;C:\\evil.exe;;0;0\r\n");
    s.store.ScanEntries();
    s.monitor.TakeBaseline("C:\\none.txt");
    const auto* run = store::FindLocation("lrun");
    s.p.PutString(run->hive, run->keyOrFolderValue, "Vantorell", kOwnCommand);  // the program registers
    s.monitor.CheckNewEntries();
    s.monitor.CheckNewEntries();
    const auto v = s.p.GetValue(run->hive, run->keyOrFolderValue, "Vantorell");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data, kOwnCommand);
    EXPECT_TRUE(s.host.errors.empty());
}

// Every registry call addresses a value by the name up to its first NUL: an
// entry "Good\0x" would change "Good", and its record would cut the list.
TEST_F(ControlGuards, ANameHoldingNulIsListedButNeverChanged) {
    PutRun("crun", "Good", "good.exe");
    PutRun("crun", std::string("Good\0x", 6), "other.exe");
    control.Refresh();
    const std::size_t nul = IndexOf(std::string("Good\0x", 6), "crun", "1");
    for (int op = 0; op < 4; ++op) {
        SCOPED_TRACE(op);
        try {
            if (op == 0) control.DisableEntry(nul, false);
            if (op == 1) control.DeleteEntry(nul);
            if (op == 2) control.SetConfirmStartup(nul);
            if (op == 3) control.SetStartupDelay(nul, 30);
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_NE(std::string(e.what()).find("holds a NUL character"), std::string::npos) << e.what();
        }
        EXPECT_EQ(Value("crun", "Good")->data, "good.exe");
        EXPECT_EQ(ListBytes(), "(missing)");
    }
    control.DisableEntry(IndexOf("Good", "crun", "1"), false);  // the other one still can be
    EXPECT_EQ(ListBytes(), "Good;crun;good.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
