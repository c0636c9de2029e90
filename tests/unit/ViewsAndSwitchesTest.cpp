// The two registry views of the machine hive and Windows' own startup
// switches: where each entry is read from, written back to, and how a switch
// is read, cleared and removed.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "app/common/ConsoleCommands.h"
#include "store/WindowsSwitch.h"
#include "ui/DelayPrompt.h"
#include "ui/GridGestures.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegValue;
using platform::RegView;
namespace RegType = platform::RegType;

constexpr const char* kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

// A switch value: byte 0, three zero bytes, then an 8-byte time, then `extra`.
RegValue Switch(unsigned char first, std::string extra = {}) {
    std::string data(1, static_cast<char>(first));
    data += std::string(3, '\0');
    data += "\x11\x22\x33\x44\x55\x66\x77\x08";
    return {RegType::Binary, data + extra};
}

class NoDelay : public ui::DelayPrompt {
public:
    std::optional<int> AskDelay(int) override { return std::nullopt; }
};

class ViewsAndSwitches : public ControlScene {
protected:
    void PutSwitch(Hive hive, std::string_view key, std::string_view name, RegValue v) {
        p.PutValue(hive, std::string(kApproved) + "\\" + std::string(key), name, std::move(v));
    }
    std::optional<RegValue> GetSwitch(Hive hive, std::string_view key, std::string_view name) {
        return p.GetValue(hive, std::string(kApproved) + "\\" + std::string(key), name);
    }
    bool WindowsOff(std::string_view name, std::string_view code) {
        return Entries()[IndexOf(name, code, "1")].windowsOff;
    }
};

TEST_F(ViewsAndSwitches, EachViewKeepsItsOwnEntriesThroughEveryTransition) {
    PutRun("lrun", "Same", "C:\\x64\\same.exe");
    PutRun("lrun32", "Same", "C:\\x86\\same.exe");
    PutRun("lrunonce32", "Once", "C:\\x86\\once.exe");
    control.Refresh();
    EXPECT_EQ(Entries()[IndexOf("Same", "lrun", "1")].command, "C:\\x64\\same.exe");
    EXPECT_EQ(Entries()[IndexOf("Same", "lrun32", "1")].command, "C:\\x86\\same.exe");

    control.DisableEntry(IndexOf("Same", "lrun32", "1"), false);
    EXPECT_EQ(ListBytes(), "Same;lrun32;C:\\x86\\same.exe;;0;0\r\n");
    EXPECT_FALSE(Value("lrun32", "Same"));
    EXPECT_EQ(Value("lrun", "Same")->data, "C:\\x64\\same.exe");  // the other view is not touched

    control.SetStartupDelay(IndexOf("Same", "lrun32", "0"), 30);
    control.SetConfirmStartup(IndexOf("Same", "lrun32", "2"));
    EXPECT_EQ(ListBytes(), "Same;lrun32;C:\\x86\\same.exe;;1;30\r\n");
    control.EnableEntry(IndexOf("Same", "lrun32", "2"));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_EQ(Value("lrun32", "Same")->data, "C:\\x86\\same.exe");
    EXPECT_EQ(Value("lrun", "Same")->data, "C:\\x64\\same.exe");

    control.DeleteEntry(IndexOf("Once", "lrunonce32", "1"));
    EXPECT_FALSE(Value("lrunonce32", "Once"));
    ExpectInvariants();
}

TEST_F(ViewsAndSwitches, OneViewMachineListsNothingTwice) {
    p.SetTwoRegistryViews(false);
    PutRun("lrun", "Only", "only.exe");
    control.Refresh();
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].location, "lrun");
    EXPECT_EQ(store::ViewName(store.Table(), Entries()[0]), "");
}

TEST_F(ViewsAndSwitches, SwitchesAreReadFromTheirOwnKeyOnly) {
    PutRun("crun", "UserOff", "u.exe");
    PutRun("lrun", "MachineOff", "m.exe");
    PutRun("lrun32", "Off32", "x.exe");
    PutRun("lrun", "Off32", "y.exe");           // switched by Run, not Run32: on
    PutRun("crunonce", "UserOff", "once.exe");  // RunOnce has no switch of its own
    PutRun("crun", "Short", "s.exe");           // 11 bytes: on
    PutRun("crun", "Text", "t.exe");            // not binary: on
    PutRun("crun", "Cleared", "c.exe");         // bit 0 clear: on
    PutLink(kUserStartup, "Tool.lnk", "C:\\tool.exe");
    PutSwitch(Hive::CurrentUser, "Run", "UserOff", Switch(0x03));
    PutSwitch(Hive::LocalMachine, "Run", "MachineOff", Switch(0x03));
    PutSwitch(Hive::LocalMachine, "Run32", "Off32", Switch(0x01));
    PutSwitch(Hive::CurrentUser, "Run", "Short", {RegType::Binary, std::string("\x03\0\0\0\0\0\0\0\0\0\0", 11)});
    PutSwitch(Hive::CurrentUser, "Run", "Text", {RegType::Sz, "\x03"});
    PutSwitch(Hive::CurrentUser, "Run", "Cleared", Switch(0x02));
    PutSwitch(Hive::CurrentUser, "StartupFolder", "Tool.lnk", Switch(0x03));
    PutSwitch(Hive::CurrentUser, "Run", "NoSuchEntry", Switch(0x03));
    control.Refresh();
    EXPECT_TRUE(WindowsOff("UserOff", "crun"));
    EXPECT_TRUE(WindowsOff("MachineOff", "lrun"));
    EXPECT_TRUE(WindowsOff("Off32", "lrun32"));
    EXPECT_TRUE(WindowsOff("Tool.lnk", "SUF"));
    for (auto [name, code] : {std::pair{"Off32", "lrun"},
                              {"UserOff", "crunonce"},
                              {"Short", "crun"},
                              {"Text", "crun"},
                              {"Cleared", "crun"}})
        EXPECT_FALSE(WindowsOff(name, code)) << name << " in " << code;
    // Still in its place: state "1" everywhere, the switch apart.
    const auto json = app::RunConsole(p, store, {"list", "--json"}).out;
    EXPECT_NE(json.find("\"name\": \"Off32\", \"location\": \"lrun32\", \"view\": \"32\", \"windowsOff\": true"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"state\": \"1\", \"name\": \"UserOff\", \"location\": \"crun\", \"view\": \"\", "
                        "\"windowsOff\": true"),
              std::string::npos);
}

TEST_F(ViewsAndSwitches, SwitchingOnClearsBitZeroAndTheTimeAndNothingElse) {
    PutRun("crun", "Tray", "tray.exe");
    PutSwitch(Hive::CurrentUser, "Run", "Tray", Switch(0x07, "\xAA\xBB"));
    control.Refresh();
    // The grid draws it apart from a recorded entry; its text stays "1".
    const int row = RowOf(IndexOf("Tray", "crun", "1"));
    EXPECT_EQ(grid.Cell(ui::kColEnabled, row), "1");
    EXPECT_EQ(grid.DrawCell(ui::kColEnabled, row, false).image, ui::CheckImage::CBW);

    NoDelay prompt;
    ui::GridGestures gestures{control, p, grid, prompt};
    gestures.SLDblClick(ui::kColEnabled, row);
    const std::string expected = std::string("\x06\0\0\0\0\0\0\0\0\0\0\0\xAA\xBB", 14);
    EXPECT_EQ(GetSwitch(Hive::CurrentUser, "Run", "Tray")->data, expected);
    EXPECT_EQ(GetSwitch(Hive::CurrentUser, "Run", "Tray")->type, RegType::Binary);
    EXPECT_EQ(Value("crun", "Tray")->data, "tray.exe");  // not moved
    EXPECT_EQ(ListBytes(), "(missing)");
    EXPECT_FALSE(WindowsOff("Tray", "crun"));
    EXPECT_EQ(grid.DrawCell(ui::kColEnabled, RowOf(IndexOf("Tray", "crun", "1")), false).image, ui::CheckImage::CB);
}

TEST_F(ViewsAndSwitches, DisableAndDeleteTakeTheSwitchAlong) {
    PutRun("lrun32", "Gone", "g.exe");
    PutRun("lrun32", "Kept", "k.exe");
    PutSwitch(Hive::LocalMachine, "Run32", "Gone", Switch(0x03));
    PutSwitch(Hive::LocalMachine, "Run32", "Kept", Switch(0x03));
    control.Refresh();
    control.DeleteEntry(IndexOf("Gone", "lrun32", "1"));
    EXPECT_FALSE(Value("lrun32", "Gone"));
    EXPECT_FALSE(GetSwitch(Hive::LocalMachine, "Run32", "Gone"));

    // Off in Vantorell, then on again: Windows must not skip it afterwards.
    control.DisableEntry(IndexOf("Kept", "lrun32", "1"), false);
    EXPECT_FALSE(GetSwitch(Hive::LocalMachine, "Run32", "Kept"));
    PutSwitch(Hive::LocalMachine, "Run32", "Kept", Switch(0x03));  // switched off meanwhile
    control.EnableEntry(IndexOf("Kept", "lrun32", "0"));
    EXPECT_EQ(Value("lrun32", "Kept")->data, "k.exe");
    EXPECT_FALSE(store::IsSwitchedOff(*GetSwitch(Hive::LocalMachine, "Run32", "Kept")));
}

TEST_F(ViewsAndSwitches, ConsoleEnableClearsTheSwitch) {
    PutRun("lrun", "Agent", "a.exe");
    PutRun("lrun", "Plain", "p.exe");
    PutSwitch(Hive::LocalMachine, "Run", "Agent", Switch(0x03));
    auto r = app::RunConsole(p, store, {"enable", "Agent"});
    EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
    EXPECT_FALSE(store::IsSwitchedOff(*GetSwitch(Hive::LocalMachine, "Run", "Agent")));
    r = app::RunConsole(p, store, {"enable", "Agent"});
    EXPECT_NE(r.out.find("already enabled"), std::string::npos) << r.out;
    EXPECT_NE(app::RunConsole(p, store, {"enable", "Plain"}).out.find("already enabled"), std::string::npos);
    // A 32-bit record goes back into the 32-bit view through its code.
    PutRun("lrun32", "Agent", "a32.exe");
    EXPECT_EQ(app::RunConsole(p, store, {"disable", "Agent", "--location", "lrun32"}).exitCode, app::kExitOk);
    EXPECT_EQ(ListBytes(), "Agent;lrun32;a32.exe;;0;0\r\n");
    EXPECT_EQ(app::RunConsole(p, store, {"enable", "Agent", "--location", "lrun32"}).exitCode, app::kExitOk);
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, kRunKey, "Agent", RegView::Bits32)->data, "a32.exe");
}

}  // namespace
}  // namespace vantorell::testing
