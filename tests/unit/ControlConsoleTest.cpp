// vantorellc's entry commands: the command line, exit codes and output.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "app/common/ConsoleCommands.h"
#include "control/SelfProtection.h"

namespace vantorell::testing {
namespace {

using app::RunConsole;

class ConsoleEntryCommands : public ControlScene {};

TEST_F(ConsoleEntryCommands, CommandsAndExitCodes) {
    PutRun("crun", "Tool", "tool.exe");
    PutRun("lrun", "Tool", "tool2.exe");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* out;
        const char* errStart;
    };
    const Case cases[] = {
        {{"disable", "tool"}, app::kExitFailure, "", "vantorellc: The name 'tool' is ambiguous"},
        {{"disable", "tool", "--location", "crun"}, app::kExitOk, "Disabled 'Tool' (crun).\n", ""},
        {{"delay", "30", "Tool", "--location=crun"}, app::kExitOk, "Startup delay of 'Tool' (crun): 30 seconds.\n", ""},
        {{"confirm", "--location", "crun", "Tool"}, app::kExitOk, "'Tool' (crun) will be confirmed at logon.\n", ""},
        {{"unconfirm", "Tool", "--location", "crun"},
         app::kExitOk,
         "'Tool' (crun) will no longer be confirmed at logon.\n",
         ""},
        {{"delay", "300", "Tool"}, app::kExitUsage, "", "vantorellc: the delay must be a whole number"},
        {{"delay", "soon", "Tool"}, app::kExitUsage, "", "vantorellc: the delay must be a whole number"},
        {{"delay", "Tool"}, app::kExitUsage, "", "vantorellc: wrong number of arguments"},
        {{"enable"}, app::kExitUsage, "", "vantorellc: wrong number of arguments"},
        {{"enable", "Tool", "--location"}, app::kExitUsage, "", "vantorellc: option '--location' needs a value"},
        {{"enable", "Nobody"}, app::kExitFailure, "", "vantorellc: No entry is named 'Nobody'"},
        {{"enable", "Tool", "--location", "crun"}, app::kExitOk, "Enabled 'Tool' (crun).\n", ""},
        {{"delete", "Tool", "--location", "lrun"}, app::kExitOk, "Deleted 'Tool' (lrun).\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const auto r = RunConsole(p, store, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << r.err;
    }
    EXPECT_EQ(Value("crun", "Tool")->data, "tool.exe");
    EXPECT_FALSE(Value("lrun", "Tool"));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_NE(app::ConsoleUsage().find("delay SECONDS NAME [--location CODE]"), std::string::npos);
}

// Two records of one name and place (a program that came back with another
// command and was switched off again): by name alone neither is chosen; the
// held command picks one, and the other never writes over the value it put back.
TEST_F(ConsoleEntryCommands, RecordsOfOneNameAreToldApartAndNeitherWritesOverTheOther) {
    PutList("Tool;crun;a.exe;;0;0\r\nTool;crun;b.exe;;0;0\r\n");
    auto r = RunConsole(p, store, {"enable", "Tool", "--location", "crun"});
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_NE(r.err.find("shared by 2 entries of 'crun'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Tool (--location crun, disabled, --held-command b.exe)"), std::string::npos) << r.err;
    r = RunConsole(p, store, {"enable", "Tool", "--location", "crun", "--held-command", "b.exe"});
    EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
    EXPECT_EQ(Value("crun", "Tool")->data, "b.exe");
    r = RunConsole(p, store, {"enable", "Tool", "--location", "crun"});
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_NE(r.err.find("holds another command now"), std::string::npos) << r.err;
    EXPECT_EQ(Value("crun", "Tool")->data, "b.exe");
    EXPECT_EQ(ListBytes(), "Tool;crun;a.exe;;0;0\r\n");
}

TEST_F(ConsoleEntryCommands, OwnEntryIsRefusedWithExitOne) {
    const std::string exe = "C:\\Program Files\\Vantorell\\vantorell.exe";
    p.SetExecutablePath(exe);
    PutRun("lrun", "Vantorell", exe + " -b");
    const auto r = RunConsole(p, store, {"delete", "Vantorell"});
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_EQ(r.err, "vantorellc: " + control::SelfProtectionMessage(exe) + "\n");
    EXPECT_TRUE(Value("lrun", "Vantorell"));
}

// A change reads the list and the places once, under the writers' lock: the
// entry is chosen and changed in one hold, and nothing reads them again for a
// console, which shows nothing. A verb that makes two changes (a delay that
// takes an enabled entry over, a deferred entry handed back) reads them once
// more in between.
TEST_F(ConsoleEntryCommands, EachChangeScansOnce) {
    PutRun("crun", "Tool", "tool.exe");
    PutRun("lrun", "Other", "other.exe");
    PutList("Later;crun;later.exe;;1;30\r\n");
    const auto reads = [&] { return p.FileReadsOf(kListFile); };
    const std::size_t start = reads();
    store.ScanEntries();
    const std::size_t perScan = reads() - start;
    ASSERT_GT(perScan, 0u);
    const struct Case {
        std::vector<std::string> args;
        std::size_t scans;
    } cases[] = {
        {{"disable", "Tool"}, 1},       {{"enable", "Tool"}, 1},  {{"delay", "30", "Other"}, 2},
        {{"confirm", "Other"}, 1},      {{"disable", "Later"}, 2}, {{"delete", "Other"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const std::size_t before = reads();
        const auto r = RunConsole(p, store, c.args);
        ASSERT_EQ(r.exitCode, app::kExitOk) << r.err;
        EXPECT_EQ(reads() - before, c.scans * perScan);
    }
    EXPECT_EQ(ListBytes(), "Later;crun;later.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
