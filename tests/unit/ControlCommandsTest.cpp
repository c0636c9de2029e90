// The console's entry commands: choosing the entry by name and place, the same
// operations as the grid, and the self-protection rule.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "control/EntryCommands.h"
#include "control/SelfProtection.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using control::EntrySelector;
using control::EntryVerb;

class EntryCommands : public ControlScene {
protected:
    std::string Run(EntryVerb verb, std::string name, std::optional<std::string> location = std::nullopt,
                    int seconds = 0) {
        EntrySelector selector;
        selector.name = std::move(name);
        selector.location = std::move(location);
        return control::RunEntryCommand(control, verb, selector, seconds);
    }
    std::string Error(EntryVerb verb, std::string name, std::optional<std::string> location = std::nullopt) {
        try {
            Run(verb, std::move(name), std::move(location));
        } catch (const AppError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

TEST_F(EntryCommands, EachVerbDoesWhatTheGridDoes) {
    PutRun("crun", "Tool", "tool.exe");
    PutList("Later;lrun;later.exe;;1;30\r\n");
    EXPECT_EQ(Run(EntryVerb::Disable, "tool"), "Disabled 'Tool' (crun).\n");  // any letter case
    EXPECT_FALSE(Value("crun", "Tool"));
    EXPECT_EQ(Run(EntryVerb::Disable, "Tool"), "'Tool' (crun) is already disabled.\n");
    EXPECT_EQ(Run(EntryVerb::Confirm, "Tool"), "'Tool' (crun) will be confirmed at logon.\n");
    EXPECT_EQ(Run(EntryVerb::Delay, "Tool", std::nullopt, 45), "Startup delay of 'Tool' (crun): 45 seconds.\n");
    EXPECT_EQ(Run(EntryVerb::Unconfirm, "Tool"), "'Tool' (crun) will no longer be confirmed at logon.\n");
    EXPECT_EQ(ListBytes(), "Later;lrun;later.exe;;1;30\r\nTool;crun;tool.exe;;0;45\r\n");
    EXPECT_EQ(Run(EntryVerb::Enable, "Tool"), "Enabled 'Tool' (crun).\n");
    EXPECT_EQ(Value("crun", "Tool")->data, "tool.exe");
    EXPECT_EQ(Run(EntryVerb::Enable, "Tool"), "'Tool' (crun) is already enabled.\n");
    // A deferred entry is handed back and stays disabled.
    Run(EntryVerb::Disable, "Later");
    EXPECT_EQ(ListBytes(), "Later;lrun;later.exe;;0;0\r\n");
    EXPECT_EQ(Run(EntryVerb::Delete, "Later"), "Deleted 'Later' (lrun).\n");
    EXPECT_EQ(ListBytes(), "");
    EXPECT_FALSE(Value("lrun", "Later"));
    // An active entry: a delay of 0 changes nothing, a delay above 0 takes it over.
    Run(EntryVerb::Delay, "Tool", std::nullopt, 0);
    EXPECT_TRUE(Value("crun", "Tool"));
    Run(EntryVerb::Delay, "Tool", std::nullopt, 500);
    EXPECT_EQ(ListBytes(), "Tool;crun;tool.exe;;0;240\r\n");
}

TEST_F(EntryCommands, UnknownAndAmbiguousNamesListTheCandidates) {
    PutRun("crun", "Updater", "u1.exe");
    PutRun("lrun", "Updater", "u2.exe");
    PutRun("crun", "Other", "o.exe");
    EXPECT_EQ(Error(EntryVerb::Disable, "updat"),
              "No entry is named 'updat'; entries with similar names:\n"
              "  Updater (--location crun, enabled)\n  Updater (--location lrun, enabled)");
    EXPECT_EQ(Error(EntryVerb::Disable, "nothing"), "No entry is named 'nothing'");
    EXPECT_EQ(Error(EntryVerb::Delete, "Updater"),
              "The name 'Updater' is ambiguous; give --location with one of these:\n"
              "  Updater (--location crun, enabled)\n  Updater (--location lrun, enabled)");
    EXPECT_EQ(Error(EntryVerb::Delete, "Updater", "SUF"),
              "No entry named 'Updater' is in 'SUF'; the entries of that name:\n"
              "  Updater (--location crun, enabled)\n  Updater (--location lrun, enabled)");
    EXPECT_TRUE(Value("crun", "Updater"));
    EXPECT_TRUE(Value("lrun", "Updater"));
    EXPECT_FALSE(p.FileExists(kListFile));

    Run(EntryVerb::Delete, "Updater", "lrun");
    EXPECT_FALSE(Value("lrun", "Updater"));
    EXPECT_TRUE(Value("crun", "Updater"));
}

TEST_F(EntryCommands, RecordAndItsActiveCopyInOnePlace) {
    PutList("Back;crun;back.exe;;0;0\r\n");
    PutRun("crun", "Back", "back.exe --again");
    Run(EntryVerb::Confirm, "Back");  // the option goes to the record
    EXPECT_EQ(ListBytes(), "Back;crun;back.exe;;1;0\r\n");
    EXPECT_EQ(Value("crun", "Back")->data, "back.exe --again");
    Run(EntryVerb::Delete, "Back");  // the active copy first
    EXPECT_FALSE(Value("crun", "Back"));
    EXPECT_EQ(ListBytes(), "Back;crun;back.exe;;1;0\r\n");
    Run(EntryVerb::Enable, "Back");
    EXPECT_EQ(Value("crun", "Back")->data, "back.exe");
}

TEST_F(EntryCommands, OwnEntryIsRefused) {
    const std::string exe = "C:\\Program Files\\Vantorell\\vantorell.exe";
    p.SetExecutablePath(exe);
    p.PutString(platform::Hive::LocalMachine, kRunKey, "Vantorell", "\"" + exe + "\" -b");
    for (EntryVerb verb : {EntryVerb::Disable, EntryVerb::Delete, EntryVerb::Confirm, EntryVerb::Delay}) {
        EXPECT_EQ(Error(verb, "Vantorell"), control::SelfProtectionMessage(exe));
    }
    EXPECT_TRUE(Value("lrun", "Vantorell"));
    EXPECT_FALSE(p.FileExists(kListFile));
}

}  // namespace
}  // namespace vantorell::testing
