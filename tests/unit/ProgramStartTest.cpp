// Start-up and uninstall steps outside the window: switches, the own Run value,
// options, the old list import, the pending notice, the uninstall run.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "app/common/ProgramStart.h"
#include "control/SelfProtection.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using app::Options;
using platform::Hive;
using platform::Op;
namespace RegType = platform::RegType;
using platform::RegValue;

constexpr const char* kExe = "C:\\Program Files\\Vantorell\\vantorell.exe";
constexpr const char* kOldList = "C:\\Program Files\\Vantorell\\data.txt";

std::string Dword(std::uint32_t n) {
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

TEST(Switches, AreWholeCaseSensitiveArgumentsAtAnyPosition) {
    struct Case {
        std::vector<std::string> args;
        bool logon, uninstall;
    } cases[] = {
        {{kExe}, false, false},
        {{kExe, "-b"}, true, false},
        {{kExe, "/b"}, true, false},
        {{kExe, "b"}, true, false},
        {{kExe, "-B"}, false, false},
        {{kExe, "/U"}, false, false},
        {{kExe, "-bx"}, false, false},
        {{kExe, "x", "-u"}, false, true},
        {{kExe, "u", "-b"}, true, true},
        // An unquoted path with blanks splits into several arguments; "-b" is still the last.
        {{"C:\\Program", "Files\\Vantorell\\vantorell.exe", "-b"}, true, false},
        {{"b"}, true, false},  // position 0 counts too
    };
    for (const auto& c : cases) {
        const auto s = app::ParseSwitches(c.args);
        EXPECT_EQ(s.logon, c.logon) << c.args.back();
        EXPECT_EQ(s.uninstall, c.uninstall) << c.args.back();
    }
}

TEST(OwnRunCommand, IsQuotedWhenThePathHoldsABlankAndRecognisedEitherWay) {
    EXPECT_EQ(app::OwnRunCommand("C:\\Tools\\vantorell.exe"), "C:\\Tools\\vantorell.exe -b");
    EXPECT_EQ(app::OwnRunCommand(kExe), "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b");
    EXPECT_TRUE(control::IsOwnCommand(app::OwnRunCommand(kExe), kExe));
    EXPECT_TRUE(control::IsOwnCommand(std::string(kExe) + " -b", kExe)) << "the old unquoted form";
}

class ProgramStart : public ControlScene {
protected:
    std::string RunValue(Hive hive) {
        auto v = p.GetValue(hive, app::kRunKey, app::kOwnRunValue);
        return v ? v->data : "(none)";
    }
    std::optional<RegValue> Option(std::string_view name) {
        return p.GetValue(Hive::CurrentUser, app::kOptionsKey, name);
    }
    std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const AppError& e) {
            return e.what();
        }
        return "(no error)";
    }
    // Machine-hive writes refused, as for a user without administrator rights.
    void NoMachineRights() {
        p.SetFaultHook([](Op op, Hive hive, std::string_view) {
            return hive == Hive::LocalMachine && (op == Op::OpenKeyFull || op == Op::SetValue);
        });
    }
};

// One logon registration: where the own Run value stands before and after,
// with and without the rights to the machine hive.
TEST_F(ProgramStart, RegisterAutostartKeepsOneRunValueWhereTheCopyHasTheRights) {
    const std::string own = app::OwnRunCommand(kExe);
    const std::string other = app::OwnRunCommand("C:\\Other\\vantorell.exe");
    struct Case {
        const char* what;
        bool installed, rights;
        const char *machineBefore, *userBefore;
        app::RegisteredIn result;
        const char *machineAfter, *userAfter;
    } cases[] = {
        {"installed, the setup's value", true, false, own.c_str(), nullptr, app::RegisteredIn::Machine, own.c_str(),
         nullptr},
        {"installed, a user value of an earlier version goes", true, false, own.c_str(), own.c_str(),
         app::RegisteredIn::Machine, own.c_str(), nullptr},
        {"installed, a moved copy rewrites it with rights", true, true, other.c_str(), nullptr,
         app::RegisteredIn::Machine, own.c_str(), nullptr},
        {"installed, no value, rights", true, true, nullptr, own.c_str(), app::RegisteredIn::Machine, own.c_str(),
         nullptr},
        {"installed, no value, no rights", true, false, nullptr, nullptr, app::RegisteredIn::User, nullptr,
         own.c_str()},
        {"portable", false, true, nullptr, nullptr, app::RegisteredIn::User, nullptr, own.c_str()},
        {"portable, its old machine value moves", false, true, own.c_str(), nullptr, app::RegisteredIn::User, nullptr,
         own.c_str()},
        {"portable, its old machine value stays without rights", false, false, own.c_str(), nullptr,
         app::RegisteredIn::Neither, own.c_str(), nullptr},
        {"portable, another copy's machine value", false, true, other.c_str(), nullptr, app::RegisteredIn::Neither,
         other.c_str(), nullptr},
    };
    for (const auto& c : cases) {
        SetUp();
        p.RemoveKey(Hive::LocalMachine, app::kRunKey);
        p.RemoveKey(Hive::CurrentUser, app::kRunKey);
        if (c.machineBefore) p.PutString(Hive::LocalMachine, app::kRunKey, app::kOwnRunValue, c.machineBefore);
        if (c.userBefore) p.PutString(Hive::CurrentUser, app::kRunKey, app::kOwnRunValue, c.userBefore);
        p.SetStandardUser(!c.rights);
        EXPECT_EQ(app::RegisterAutostart(p, kExe, c.installed), c.result) << c.what;
        EXPECT_EQ(RunValue(Hive::LocalMachine), c.machineAfter ? c.machineAfter : "(none)") << c.what;
        EXPECT_EQ(RunValue(Hive::CurrentUser), c.userAfter ? c.userAfter : "(none)") << c.what;
        EXPECT_EQ(p.KeysOpenNow(), 0u);
        p.SetStandardUser(false);
    }
}

TEST_F(ProgramStart, AUserRunKeyThatCannotBeWrittenIsTheOnlyRegistrationError) {
    p.SetFaultHook([](Op op, Hive hive, std::string_view) { return op == Op::SetValue; });
    EXPECT_EQ(ErrorOf([&] { app::RegisterAutostart(p, kExe, false); }), "Failed to set data for 'Vantorell'");
}

TEST_F(ProgramStart, LoadOptionsReadsOnlyExactlyOneAsOn) {
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Warn", RegValue{RegType::Dword, Dword(2)});
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Kill", RegValue{RegType::Dword, Dword(0)});
    Options o;
    app::LoadOptions(p, o);
    EXPECT_FALSE(o.warnNew);
    EXPECT_FALSE(o.autoKill);
    EXPECT_TRUE(o.minimize) << "a missing value leaves the option as it was";
}

TEST_F(ProgramStart, LoadOptionsStopsAtAValueOfAnotherType) {
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Warn", RegValue{RegType::Dword, Dword(0)});
    p.PutString(Hive::LocalMachine, app::kOptionsKey, "Kill", "1");
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Min", RegValue{RegType::Dword, Dword(0)});
    Options o;
    EXPECT_EQ(ErrorOf([&] { app::LoadOptions(p, o); }), "Invalid data type for 'Kill'");
    EXPECT_FALSE(o.warnNew);
    EXPECT_TRUE(o.minimize);
}

TEST_F(ProgramStart, SaveOptionsWritesThreeDwordsAndLoadReadsThemBack) {
    app::SaveOptions(p, Options{true, false, true});
    EXPECT_EQ(Option("Warn")->data, Dword(1));
    EXPECT_EQ(Option("Kill")->data, Dword(0));
    EXPECT_EQ(Option("Min")->type, RegType::Dword);
    Options o{false, true, false};
    app::LoadOptions(p, o);
    EXPECT_TRUE(o.warnNew);
    EXPECT_FALSE(o.autoKill);
    EXPECT_TRUE(o.minimize);
}

TEST_F(ProgramStart, OptionsAreTheUsersOwnOverTheMachineDefaultsAndSavedWithoutMachineRights) {
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Warn", RegValue{RegType::Dword, Dword(0)});
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Kill", RegValue{RegType::Dword, Dword(0)});
    p.PutValue(Hive::CurrentUser, app::kOptionsKey, "Kill", RegValue{RegType::Dword, Dword(1)});
    Options o;
    app::LoadOptions(p, o);
    EXPECT_FALSE(o.warnNew) << "the machine's default";
    EXPECT_TRUE(o.autoKill) << "the user's own value wins";
    p.SetStandardUser(true);
    app::SaveOptions(p, Options{true, false, false});
    EXPECT_EQ(Option("Warn")->data, Dword(1));
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, app::kOptionsKey, "Warn")->data, Dword(0)) << "defaults stay";
    EXPECT_FALSE(p.GetValue(Hive::LocalMachine, app::kOptionsKey, "Min"));
}

TEST_F(ProgramStart, TheLayoutIsTheUsersOwnAndAnUnreadableValueIsAsIfNoneWereStored) {
    p.PutString(Hive::LocalMachine, app::kOptionsKey, "ColumnWidths", "45,180,80,0,70,420,0,200,90");
    Options machine;
    app::LoadOptions(p, machine);
    EXPECT_TRUE(machine.columnWidths.empty()) << "the machine's key holds no user's layout";

    Options saved;
    saved.columnWidths = {45, 180, 80, 0, 70, 420, 0, 200, 90};
    saved.window = ui::WindowPlace{-1200, 40, 900, 700};  // a screen left of the primary one
    app::SaveOptions(p, saved);
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "ColumnWidths")->data.c_str(),
              std::string("45,180,80,0,70,420,0,200,90"));
    Options o;
    app::LoadOptions(p, o);
    EXPECT_EQ(o.columnWidths, saved.columnWidths);
    EXPECT_EQ(o.window, saved.window);

    // Written by hand, by another version, or into the machine's key: not taken.
    const struct {
        const char* widths;
        const char* place;
    } unreadable[] = {
        {"45,180,80,0,70,420,0,200", "1,2,3"},           // too few
        {"45,180,80,0,70,420,0,200,90,5", "1,2,3,4,5"},  // too many
        {"45,,80,0,70,420,0,200,90", "1,2,0,4"},         // a gap; a window of no width
        {"45, 180,80,0,70,420,0,200,90", "a,b,c,d"},     // a blank; no numbers
    };
    for (const auto& values : unreadable) {
        p.PutString(Hive::CurrentUser, app::kOptionsKey, "ColumnWidths", values.widths);
        p.PutString(Hive::CurrentUser, app::kOptionsKey, "WindowPlace", values.place);
        Options fresh;
        app::LoadOptions(p, fresh);
        EXPECT_TRUE(fresh.columnWidths.empty()) << values.widths;
        EXPECT_FALSE(fresh.window) << values.place;
    }
    p.PutValue(Hive::CurrentUser, app::kOptionsKey, "WindowPlace", RegValue{RegType::Dword, Dword(1)});
    Options other;
    EXPECT_NO_THROW(app::LoadOptions(p, other));
    EXPECT_FALSE(other.window) << "a value of another type";
}

TEST_F(ProgramStart, ImportOldListConvertsEveryLineAndAppendsToTheList) {
    PutList("Kept;crun;C:\\k.exe;;0;0\r\n");
    p.PutFile(kOldList,
              "Tool;crun;C:\\T\\tool.exe;x;Y;30;-quiet\r\nLow;SUF;C:\\l.exe;x;y;0;\r\n\r\nNo;lrun;C:\\n.exe;x;N;5\r\n");
    EXPECT_EQ(app::ImportOldList(p, store), 4u);
    EXPECT_EQ(ListBytes(),
              "Kept;crun;C:\\k.exe;;0;0\r\n"
              "Tool;crun;C:\\T\\tool.exe;-quiet;1;30\r\n"
              "Low;SUF;C:\\l.exe;;0;0\r\n"
              ";;;;0;\r\n"
              "No;lrun;C:\\n.exe;5;0;5\r\n");  // six fields short: field 6 repeats the last one
    EXPECT_FALSE(p.FileExists(kOldList));
}

TEST_F(ProgramStart, ImportOldListCreatesTheListWhenThereIsNone) {
    p.PutFile(kOldList, "Tool;crun;C:\\T\\tool.exe;x;Y;30;-quiet");
    app::ImportOldList(p, store);
    EXPECT_EQ(ListBytes(), "Tool;crun;C:\\T\\tool.exe;-quiet;1;30\r\n");
    EXPECT_EQ(app::ImportOldList(p, store), 0u) << "imported once";
}

TEST_F(ProgramStart, ImportOldListKeepsTheOldFileWhenTheSaveFails) {
    p.PutFile(kOldList, "Tool;crun;C:\\T\\tool.exe;x;Y;30;-quiet\r\n");
    FailOn(Op::WriteFile, "StartupList.txt");
    EXPECT_THROW(app::ImportOldList(p, store), AppError);
    EXPECT_TRUE(p.FileExists(kOldList));
    EXPECT_FALSE(p.FileExists(kListFile));
}

TEST_F(ProgramStart, AnOldListThatCannotBeDeletedIsEmptiedSoItIsNotImportedTwice) {
    p.PutFile(kOldList, "Tool;crun;C:\\T\\tool.exe;x;Y;30;-quiet\r\n");
    FailOn(Op::DeleteFile, "data.txt");
    app::ImportOldList(p, store);
    EXPECT_EQ(app::ImportOldList(p, store), 0u);
    EXPECT_EQ(ListBytes(), "Tool;crun;C:\\T\\tool.exe;-quiet;1;30\r\n");
}

TEST_F(ProgramStart, PendingNoticeIsOpenedOnlyWhenItExists) {
    app::OpenPendingNotice(p);
    EXPECT_TRUE(p.OpenedDocuments().empty());
    p.PutFile("C:\\Program Files\\Vantorell\\AwardMessage.txt", "hello");
    app::OpenPendingNotice(p);
    EXPECT_EQ(p.OpenedDocuments(), std::vector<std::string>{"C:\\Program Files\\Vantorell\\AwardMessage.txt"});
}

TEST_F(ProgramStart, UninstallGivesEveryEntryBackAndRemovesTheOwnValueFromBothHives) {
    p.PutString(Hive::LocalMachine, app::kRunKey, app::kOwnRunValue, app::OwnRunCommand(kExe));
    p.PutString(Hive::CurrentUser, app::kRunKey, app::kOwnRunValue, app::OwnRunCommand(kExe));
    PutList("Reg;crun;C:\\r.exe /x;;1;0\r\nLink.lnk;SUF;C:\\l.exe;-min;0;30\r\nOff;lrun;C:\\o.exe;;0;0\r\n");
    app::Uninstall(control);
    EXPECT_EQ(Value("crun", "Reg")->data, "C:\\r.exe /x");
    EXPECT_EQ(Value("lrun", "Off")->data, "C:\\o.exe");
    auto link = Link(kUserStartup, "Link.lnk");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, "C:\\l.exe");
    EXPECT_EQ(link->arguments, "-min");
    EXPECT_FALSE(p.FileExists(kListFile));
    EXPECT_EQ(RunValue(Hive::LocalMachine), "(none)");
    EXPECT_EQ(RunValue(Hive::CurrentUser), "(none)");
}

TEST_F(ProgramStart, UninstallStopsAtAnEntryThatCannotBeGivenBackAndKeepsTheRest) {
    PutList("First;crun;C:\\f.exe;;0;0\r\nMachine;lrun;C:\\m.exe;;0;0\r\nLast;crun;C:\\l.exe;;0;0\r\n");
    p.SetFaultHook([](Op op, Hive hive, std::string_view) { return op == Op::SetValue && hive == Hive::LocalMachine; });
    EXPECT_EQ(ErrorOf([&] { app::Uninstall(control); }), "Failed to set data for 'Machine'");
    EXPECT_EQ(Value("crun", "First")->data, "C:\\f.exe");
    EXPECT_EQ(ListBytes(), "Machine;lrun;C:\\m.exe;;0;0\r\nLast;crun;C:\\l.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
