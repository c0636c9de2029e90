// A standard user: writes to the machine hive (and to the protected folders)
// are refused as access denied, and the process is not elevated. A change to a
// machine-wide entry is offered to be made as administrator, and the scripted
// elevation runs the console companion's command on the same machine with the
// rights, as Windows would run vantorellc.exe.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "app/common/ConsoleCommands.h"
#include "app/common/Elevation.h"
#include "app/common/MainForm.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using app::MainForm;
using platform::ElevatedRun;
using platform::Hive;
namespace MsgBox = platform::MsgBox;
using ui::MainOption;

constexpr const char* kExe = "C:\\Program Files\\Vantorell\\vantorell.exe";
constexpr const char* kExeFolder = "C:\\Program Files\\Vantorell";
constexpr const char* kLocalAppData = "C:\\Users\\a\\AppData\\Local";

// The arguments CommandLineToArgvW makes of a command line (for the parameters
// the window hands to vantorellc.exe).
std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) return args;
        std::string arg;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')); ++i) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    arg += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else {
                arg.append(backslashes, '\\');
                if (i >= line.size()) break;
                if (!quoted && (line[i] == ' ' || line[i] == '\t')) break;
                arg += line[i];
            }
        }
        args.push_back(std::move(arg));
    }
}

TEST(Elevation, TheConsoleArgumentsComeBackWholeWhateverTheTexts) {
    for (const std::string text :
         {"Plain", "With blank", "Quote\"d", "Ends in\\", "\\\\server\\x \"y\"\\", "--location", "", "Tab\there"}) {
        const control::EntrySeen seen{{text, "lrun", true}, text + "x", text, store::ConfirmFlag::Read(text), 30};
        const auto args = SplitCommandLine(app::ConsoleArguments({control::EntryVerb::Delay, seen, 30, false}));
        EXPECT_EQ(args,
                  (std::vector<std::string>{"delay", "30", "--location", "lrun", "--kind", "recorded", "--held-command",
                                            text + "x", "--held-arguments", text, "--held-confirm", seen.confirm.Text(),
                                            "--held-delay", "30", "--", text}));
    }
    // An Active Setup component goes with its key: its twin of the same name is never the one changed.
    const control::EntrySeen twin{{"Media Player", "lactive", false, "{Evil}"}, "C:\\x\\evil.exe", {}, {}, 0};
    EXPECT_EQ(SplitCommandLine(app::ConsoleArguments({control::EntryVerb::Disable, twin, 0, false})),
              (std::vector<std::string>{"disable", "--location", "lactive", "--kind", "active", "--held-command",
                                        "C:\\x\\evil.exe", "--held-arguments", "", "--held-confirm", "0",
                                        "--held-delay", "0", "--sub-key", "{Evil}", "--", "Media Player"}));
}

class RecordingView final : public ui::MainView {
public:
    void RefreshGrid() override {}
    void RepaintGrid() override {}
    ui::GridCell SelectedCell() const override { return selected; }
    void SelectCell(ui::GridCell cell) override { selected = cell; }
    void SetInTray(bool) override {}
    bool OptionChecked(MainOption o) const override { return options[static_cast<int>(o)]; }
    void SetOptionChecked(MainOption o, bool c) override { options[static_cast<int>(o)] = c; }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    bool IsVisible() const override { return visible; }
    void Minimize() override {}
    void MoveTo(int, int) override {}
    void Centre() override {}
    void Close() override {}
    void Terminate() override {}

    ui::GridCell selected;
    bool options[ui::kMainOptionCount] = {true, true, true, true};
    bool visible = false;
};

class NoTray final : public ui::TrayIcon {
public:
    void Activate() override {}
    void Deactivate() override {}
    bool Active() const override { return false; }
    void Notify(std::string_view, std::string_view) override {}
};

class ScriptedDelay final : public ui::DelayPrompt {
public:
    std::optional<int> AskDelay(int) override { return answer; }
    std::optional<int> answer;
};

class StandardUser : public ControlScene {
protected:
    StandardUser() {
        p.SetExecutablePath(kExe);
        p.ProtectFolder(kCommonStartup);
        p.SetStandardUser(true);
        p.SetElevatedScript([this](std::string_view program, std::string_view parameters) {
            EXPECT_EQ(program, std::string(kExeFolder) + "\\vantorellc.exe");
            if (cancelAtPrompt) return ElevatedRun{ElevatedRun::Outcome::Cancelled, 0, "cancelled", {}};
            // vantorellc.exe, started with the rights: a process of its own.
            p.SetStandardUser(false);
            const auto out = app::RunHandedOverChange(p, SplitCommandLine(parameters));
            p.SetStandardUser(true);
            return ElevatedRun{ElevatedRun::Outcome::Finished, out.exitCode, {}, out.err};
        });
    }
    // The window of a copy started with `args`, by the user whose local
    // application data is `localAppData`.
    MainForm& Start(std::vector<std::string> args = {}, std::string localAppData = kLocalAppData) {
        p.SetKnownFolder(platform::KnownFolder::LocalAppData, localAppData);
        forms.push_back(std::make_unique<MainForm>(p, builtin, delay));
        MainForm& form = *forms.back();
        form.Attach(view, tray);
        form.Guard();
        args.insert(args.begin(), kExe);
        form.FormCreate(args);
        p.ClearBoxes();
        return form;
    }
    MainForm& Form() { return *forms.back(); }
    // Double-click on the "Enabled" cell of the row that shows `name` in `code`.
    void SwitchEnabled(std::string_view name, std::string_view code) {
        const auto& table = Form().Store().Table();
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            if (table.entries[i].name != name || table.entries[i].location != code) continue;
            const auto row = Form().Grid().RowOfIndex(i);
            ASSERT_TRUE(row);
            Form().OnGridDoubleClick(ui::kColEnabled, *row);
            return;
        }
        FAIL() << "no row for " << name << " in " << code;
    }
    // The grid row of the recorded (or the active) entry `name` in `code`.
    int RowOfEntry(std::string_view name, std::string_view code, bool recorded) {
        const auto& table = Form().Store().Table();
        const control::EntryKey key{std::string(name), std::string(code), recorded};
        for (std::size_t i = 0; i < table.entries.size(); ++i)
            if (control::KeyOfEntry(table, i) == key) return Form().Grid().RowOfIndex(i).value_or(-1);
        ADD_FAILURE() << "no row for " << name << " in " << code;
        return -1;
    }
    void AnswerQuestions(int answer) {
        p.SetBoxScript([answer](const platform::MemoryPlatform::ShownBox& b) {
            return (b.style & 0xF) == MsgBox::YesNo ? answer : MsgBox::IdOk;
        });
    }
    std::size_t BoxesWith(std::string_view text) const {
        std::size_t n = 0;
        for (const auto& b : p.Boxes()) n += b.text.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    bool cancelAtPrompt = false;
    ScriptedDelay delay;
    ui::NameLists builtin{ui::NameLists::Builtin(p)};
    RecordingView view;
    NoTray tray;
    std::vector<std::unique_ptr<MainForm>> forms;
};

// An installed copy: the user's records in the user's local application
// data, the machine's in ProgramData, which a standard user may only read.
class InstalledStandardUser : public StandardUser {
protected:
    InstalledStandardUser() {
        p.PutFile(std::string(kExeFolder) + "\\Vantorell.installed", "");
        p.AddFolder(kMachineFolder);
        p.ProtectFolder(kExeFolder);
        p.ProtectFolder(kMachineFolder);
    }
    std::string UserList(std::string_view localAppData = kLocalAppData) {
        return p.GetFile(std::string(localAppData) + "\\Vantorell\\StartupList.txt").value_or("");
    }
    std::string MachineList() { return p.GetFile(std::string(kMachineFolder) + "\\StartupList.txt").value_or(""); }

    static constexpr const char* kMachineFolder = "C:\\ProgramData\\Vantorell";
};

TEST_F(InstalledStandardUser, AMachineEntryIsSwitchedOffAsAdministratorAfterOneQuestion) {
    PutRun("crun", "Mine", "C:\\mine.exe");
    PutRun("lrun", "Shared", "C:\\shared.exe");
    Start();
    AnswerQuestions(MsgBox::IdYes);

    SwitchEnabled("Mine", "crun");
    EXPECT_TRUE(p.Boxes().empty()) << "the user's own entry needs no rights";
    EXPECT_FALSE(Value("crun", "Mine"));

    SwitchEnabled("Shared", "lrun");
    ASSERT_EQ(p.Boxes().size(), 1u);
    EXPECT_EQ(p.Boxes()[0].text, app::kElevationQuestion);
    ASSERT_EQ(p.ElevatedRuns().size(), 1u);
    EXPECT_FALSE(Value("lrun", "Shared")) << "taken out by the elevated helper";
    EXPECT_EQ(MachineList(), "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    const auto& entries = Form().Store().Table().entries;
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const store::StartupEntry& e) {
        return e.name == "Shared" && e.state == store::EntryState::Disabled;
    })) << "the window rescanned";
}

TEST_F(InstalledStandardUser, NoOrCancelAtThePromptChangesNothingAndSaysSoOnce) {
    PutRun("lrun", "Shared", "C:\\shared.exe");
    Start();

    AnswerQuestions(MsgBox::IdNo);
    SwitchEnabled("Shared", "lrun");
    EXPECT_EQ(p.Boxes().size(), 1u) << "No: only the question";
    EXPECT_TRUE(p.ElevatedRuns().empty());

    p.ClearBoxes();
    AnswerQuestions(MsgBox::IdYes);
    cancelAtPrompt = true;
    SwitchEnabled("Shared", "lrun");
    ASSERT_EQ(p.Boxes().size(), 2u);
    EXPECT_EQ(p.Boxes()[1].text, app::kElevationCancelled);
    EXPECT_EQ(p.Boxes()[1].style & MsgBox::IconError, 0u) << "no error box";
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");
    EXPECT_EQ(MachineList(), "") << "no record";
}

TEST_F(InstalledStandardUser, AutoKillOffersTheMachineComebackOnceAndTakesItOutWithoutARecord) {
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Back;lrun;C:\\back.exe;;0;0\r\n");
    Start();
    AnswerQuestions(MsgBox::IdNo);
    PutRun("lrun", "Back", "C:\\back.exe");
    p.Advance(12000);
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 1u);
    EXPECT_NE(p.Boxes()[0].text.find("\"Back\""), std::string::npos);
    p.Advance(36000);
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 1u) << "not asked again every 12 seconds";

    // An administrator takes it out; it comes back once more: asked again, and this time taken out.
    p.SetStandardUser(false);
    p.OpenKey(Hive::LocalMachine, kRunKey, false, platform::KeyAccess::Full)->Delete("Back");
    p.SetStandardUser(true);
    p.Advance(12000);
    AnswerQuestions(MsgBox::IdYes);
    PutRun("lrun", "Back", "C:\\back.exe");
    p.Advance(12000);
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 2u);
    EXPECT_FALSE(Value("lrun", "Back"));
    EXPECT_EQ(MachineList(), "Back;lrun;C:\\back.exe;;0;0\r\n") << "the record stays as it was";
}

TEST_F(StandardUser, TheConsoleExitsWith3OnlyWhenTheChangeItselfWasRefused) {
    PutRun("lrun", "Shared", "C:\\shared.exe");
    const auto refused = app::RunConsole(p, store, {"delete", "Shared"});
    EXPECT_EQ(refused.exitCode, app::kExitNeedsRights);
    EXPECT_NE(refused.err.find("run vantorellc as administrator"), std::string::npos) << refused.err;
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");

    // Reading the machine's places is no refusal: a mistyped name fails as such.
    const auto mistyped = app::RunConsole(p, store, {"delete", "Shraed"});
    EXPECT_EQ(mistyped.exitCode, app::kExitFailure) << mistyped.err;
    EXPECT_EQ(mistyped.err.find("administrator"), std::string::npos) << mistyped.err;
    const auto changed = app::RunConsole(
        p, store, {"delete", "--location", "lrun", "--kind", "active", "--held-command", "C:\\other.exe", "Shared"});
    EXPECT_EQ(changed.exitCode, app::kExitChanged) << changed.err;
    // No file receives the error text any more.
    EXPECT_EQ(app::RunConsole(p, store, {"delete", "Shared", "--error-file", "C:\\Temp\\err.txt"}).exitCode,
              app::kExitUsage);
    EXPECT_FALSE(p.FileExists("C:\\Temp\\err.txt"));
}

TEST_F(StandardUser, APortableCopyStartsNoHelperAsAdministratorAndSaysWhy) {
    PutRun("lrun", "Shared", "C:\\shared.exe");
    Start();
    AnswerQuestions(MsgBox::IdYes);
    try {
        SwitchEnabled("Shared", "lrun");
        ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(std::string(e.what()), app::kPortableNoElevation);
    }
    EXPECT_TRUE(p.ElevatedRuns().empty());
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 0u);
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");
}

// Userinit is the machine's: the console alone is refused for lack of rights;
// the window hands the change to the helper, item and all, and back again.
TEST_F(InstalledStandardUser, AWinlogonItemIsSwitchedOffAndOnAsAdministrator) {
    const std::string winlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::string userinit = "C:\\Windows\\system32\\userinit.exe,C:\\x\\evil.exe,";
    const auto current = [&] { return p.GetValue(Hive::LocalMachine, winlogon, "Userinit")->data; };
    p.PutString(Hive::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", "C:\\Windows");
    p.PutString(Hive::LocalMachine, winlogon, "Userinit", userinit);
    const auto out = app::RunConsole(p, store, {"disable", "C:\\x\\evil.exe", "--location", "luserinit"});
    EXPECT_EQ(out.exitCode, app::kExitNeedsRights) << out.err;
    EXPECT_EQ(current(), userinit);

    Start();
    AnswerQuestions(MsgBox::IdYes);
    SwitchEnabled("C:\\x\\evil.exe", "luserinit");
    EXPECT_EQ(current(), "C:\\Windows\\system32\\userinit.exe,");
    EXPECT_EQ(MachineList(), "C:\\x\\evil.exe;luserinit;C:\\x\\evil.exe;REG_SZ 1 a,;0;0\r\n");
    SwitchEnabled("C:\\x\\evil.exe", "luserinit");
    EXPECT_EQ(current(), userinit);
    EXPECT_EQ(MachineList(), "");
    EXPECT_EQ(p.ElevatedRuns().size(), 2u);
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 2u);
}

TEST_F(InstalledStandardUser, EveryChangeWritesTheListOfItsPlaceAndTheUsersRecordsComeFirst) {
    PutRun("crun", "Mine", "C:\\mine.exe");
    PutRun("lrun", "Shared", "C:\\shared.exe");
    Start();
    AnswerQuestions(MsgBox::IdYes);
    SwitchEnabled("Shared", "lrun");
    EXPECT_EQ(p.Boxes().size(), 1u) << "one question, for the machine's entry";
    SwitchEnabled("Mine", "crun");
    EXPECT_EQ(p.Boxes().size(), 1u) << "none for the user's own";
    EXPECT_EQ(UserList(), "Mine;crun;C:\\mine.exe;;0;0\r\n");
    EXPECT_EQ(MachineList(), "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    EXPECT_FALSE(p.FileExists(kListFile)) << "nothing beside the executable";
    const auto& entries = Form().Store().Table().entries;
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Mine") << "the user's records first";
    EXPECT_EQ(entries[1].name, "Shared") << "then the machine's";

    SwitchEnabled("Mine", "crun");
    EXPECT_EQ(Value("crun", "Mine")->data, "C:\\mine.exe");
    EXPECT_EQ(UserList(), "");
    EXPECT_EQ(MachineList(), "Shared;lrun;C:\\shared.exe;;0;0\r\n");
}

TEST_F(InstalledStandardUser, ACommonShortcutIsKeptBesideTheMachinesListAfterOneQuestion) {
    PutLink(kCommonStartup, "Shared.lnk", "C:\\shared.exe");
    PutLink(kUserStartup, "Mine.lnk", "C:\\mine.exe");
    Start();
    AnswerQuestions(MsgBox::IdYes);
    SwitchEnabled("Shared.lnk", "DSUF");
    EXPECT_EQ(BoxesWith("needs administrator rights"), 1u) << "refused copy of the .lnk: the question, not an error";
    EXPECT_FALSE(p.FileExists(std::string(kCommonStartup) + "\\Shared.lnk"));
    EXPECT_EQ(p.ListShortcutFiles(std::string(kMachineFolder) + "\\Shortcuts\\DSUF").size(), 1u);
    EXPECT_EQ(MachineList(), "Shared.lnk;DSUF;C:\\shared.exe;--from-link;0;0\r\n");

    SwitchEnabled("Mine.lnk", "SUF");
    EXPECT_EQ(BoxesWith("needs administrator rights"), 1u);
    EXPECT_EQ(p.ListShortcutFiles(std::string(kLocalAppData) + "\\Vantorell\\Shortcuts\\SUF").size(), 1u);
    EXPECT_EQ(UserList(), "Mine.lnk;SUF;C:\\mine.exe;--from-link;0;0\r\n");
}

// A record and a program that put itself back, one name in one place: the
// change made as administrator acts on the row's own entry, never the other.
class SharedName : public InstalledStandardUser {
protected:
    SharedName() {
        p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", kRecord);
        PutRun("lrun", "App", "C:\\new.exe");
    }
    static constexpr const char* kRecord = "App;lrun;C:\\old.exe;;0;0\r\n";
};

TEST_F(SharedName, DeleteOnTheRecordsRowDeletesTheRecord) {
    Start();
    AnswerQuestions(MsgBox::IdYes);
    view.selected = {ui::kColEnabled, RowOfEntry("App", "lrun", true)};
    Form().OnDeleteClicked();
    ASSERT_EQ(p.ElevatedRuns().size(), 1u);
    EXPECT_EQ(MachineList(), "");
    ASSERT_TRUE(Value("lrun", "App"));
    EXPECT_EQ(Value("lrun", "App")->data, "C:\\new.exe") << "the program's own value stays";
}

TEST_F(SharedName, EnableOnARowWindowsSwitchedOffTurnsWindowsSwitchOnAndLeavesTheRecord) {
    std::string off(1, '\x03');
    off += std::string(11, '\0');
    p.PutValue(Hive::LocalMachine, std::string(store::kStartupApprovedKey) + "\\Run", "App",
               {platform::RegType::Binary, off});
    Start();
    AnswerQuestions(MsgBox::IdYes);
    Form().OnGridDoubleClick(ui::kColEnabled, RowOfEntry("App", "lrun", false));
    ASSERT_EQ(p.ElevatedRuns().size(), 1u);
    EXPECT_EQ(Value("lrun", "App")->data, "C:\\new.exe") << "not overwritten with the record";
    EXPECT_EQ(MachineList(), kRecord);
    const auto& table = Form().Store().Table();
    EXPECT_FALSE(table.entries[*control::FindEntry(table, {"App", "lrun", false}, 0)].windowsOff);
}

TEST_F(SharedName, DelayOnTheActiveRowDefersTheActiveProgramNotTheRecord) {
    Start();
    AnswerQuestions(MsgBox::IdYes);
    delay.answer = 30;
    Form().OnGridDoubleClick(ui::kColDelay, RowOfEntry("App", "lrun", false));
    ASSERT_EQ(p.ElevatedRuns().size(), 1u);
    EXPECT_FALSE(Value("lrun", "App")) << "taken out, so it does not start twice";
    EXPECT_EQ(MachineList(), std::string(kRecord) + "App;lrun;C:\\new.exe;;0;30\r\n");
}

// A record of a machine's place in the user's own list, which any program of
// the user's can write: the helper made administrator reads only the
// machine's list, so the record never reaches the machine's Run key.
TEST_F(InstalledStandardUser, ARecordInTheUsersListNeverReachesTheMachineThroughTheHelper) {
    p.PutFile(std::string(kLocalAppData) + "\\Vantorell\\StartupList.txt", "Planted;lrun;C:\\evil.exe;;0;0\r\n");
    Start();
    AnswerQuestions(MsgBox::IdYes);
    EXPECT_THROW(SwitchEnabled("Planted", "lrun"), ChangedMeanwhile);
    EXPECT_EQ(p.ElevatedRuns().size(), 1u);
    EXPECT_FALSE(Value("lrun", "Planted"));
}

TEST_F(InstalledStandardUser, NoElevationIsOfferedForANameWithNulNorForAnEntryThatChangedMeanwhile) {
    const std::string nul("Nul\0Tail", 8);
    PutRun("lrun", nul, "C:\\nul.exe");
    PutRun("lrun", "Nul", "C:\\other.exe");
    PutRun("lrun", "Moving", "C:\\moving.exe");
    Start();
    AnswerQuestions(MsgBox::IdYes);
    EXPECT_THROW(SwitchEnabled(nul, "lrun"), AppError);
    EXPECT_EQ(Value("lrun", "Nul")->data, "C:\\other.exe");

    bool moved = false;
    p.SetLockHook([&](std::string_view) {
        if (!std::exchange(moved, true)) PutRun("lrun", "Moving", "C:\\moved.exe");
    });
    EXPECT_THROW(SwitchEnabled("Moving", "lrun"), ChangedMeanwhile);
    EXPECT_TRUE(p.ElevatedRuns().empty());
    EXPECT_EQ(BoxesWith(app::kElevationQuestion), 0u);
}

TEST_F(InstalledStandardUser, AtTheLogonOfUserBOnlyBsDeferredEntriesAndTheMachinesStart) {
    p.PutFile("C:\\Users\\a\\AppData\\Local\\Vantorell\\StartupList.txt", "A's;crun;C:\\a.exe;;0;2\r\n");
    p.PutFile("C:\\Users\\b\\AppData\\Local\\Vantorell\\StartupList.txt", "B's;crun;C:\\b.exe;;0;2\r\n");
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Everyone's;lrun;C:\\all.exe;;0;3\r\n");
    Start({"-b"}, "C:\\Users\\b\\AppData\\Local");
    p.Advance(5000);
    EXPECT_EQ(p.StartedCommands(), (std::vector<std::string>{"C:\\b.exe", "C:\\all.exe"}));
}

// The uninstaller's part runs with administrator rights: the machine's list
// and the one beside the executable (folders only administrators can write)
// are given back; nothing in the user's folder is read, though a program of
// the user's could have put a record of a machine's place there.
TEST_F(InstalledStandardUser, TheUninstallersPartGivesBackTheMachinesListsAndReadsNothingOfTheUsers) {
    p.SetStandardUser(false);
    p.SetKnownFolder(platform::KnownFolder::LocalAppData, kLocalAppData);
    const std::string userFolder = std::string(kLocalAppData) + "\\Vantorell\\";
    const std::string planted = "Planted;lrun;C:\\evil.exe;;0;0\r\nMine;crun;C:\\mine.exe;;1;0\r\n";
    p.PutFile(userFolder + "StartupList.txt", planted);
    p.PutFile(userFolder + "data.txt", "Old;crun;C:\\o.exe;0;N;0;\r\n");
    p.PutFile(userFolder + "AwardMessage.txt", "notice");
    p.PutFile(kListFile, "Old;crun;C:\\old.exe;;0;0\r\n");
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    p.PutString(Hive::LocalMachine, kRunKey, "Vantorell", "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b");
    p.PutString(Hive::CurrentUser, kRunKey, "Vantorell", "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b");

    EXPECT_EQ(app::RunMachineUninstall(p), 0);
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");
    EXPECT_EQ(Value("crun", "Old")->data, "C:\\old.exe");
    EXPECT_EQ(MachineList(), "");
    EXPECT_FALSE(p.FileExists(kListFile));
    EXPECT_FALSE(p.GetValue(Hive::LocalMachine, kRunKey, "Vantorell"));

    EXPECT_FALSE(Value("lrun", "Planted")) << "a user's record never reaches the machine";
    EXPECT_FALSE(Value("crun", "Mine"));
    EXPECT_EQ(UserList(), planted);
    EXPECT_TRUE(p.FileExists(userFolder + "data.txt"));
    EXPECT_TRUE(p.OpenedDocuments().empty());
    EXPECT_TRUE(p.GetValue(Hive::CurrentUser, kRunKey, "Vantorell")) << "the user's part removes it";
}

// A machine's record with no place to go back to stops the uninstaller's
// part, as before; run with "-k" (the uninstaller's "keep them" answer) it
// is kept beside the machine's list and the rest is given back.
TEST_F(InstalledStandardUser, TheUninstallersPartKeepsWhatCannotGoBackOnlyWhenTold) {
    p.SetStandardUser(false);
    const std::string list = std::string(kMachineFolder) + "\\StartupList.txt";
    const std::string lines = "Setup;lactive;C:\\s.exe;REG_SZ {Gone};0;0\r\nShared;lrun;C:\\shared.exe;;0;0\r\n";
    p.PutFile(list, lines);
    EXPECT_EQ(app::RunMachineUninstall(p), 1);
    EXPECT_EQ(p.GetFile(list), lines);
    EXPECT_TRUE(app::ParseSwitches({"-m", "-k"}).keepUnreturned);
    EXPECT_EQ(app::RunMachineUninstall(p, true), 0);
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");
    EXPECT_FALSE(p.FileExists(list));
    EXPECT_EQ(p.GetFile(std::string(kMachineFolder) + "\\StartupList.kept.txt"),
              "Setup;lactive;C:\\s.exe;REG_SZ {Gone};0;0\r\n");
}

// The user's part, run by the user: the user's list and Run value only.
TEST_F(InstalledStandardUser, TheUsersPartGivesBackTheUsersListOnly) {
    p.PutFile("C:\\Users\\a\\AppData\\Local\\Vantorell\\StartupList.txt", "Mine;crun;C:\\mine.exe;;1;0\r\n");
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    p.PutString(Hive::LocalMachine, kRunKey, "Vantorell", "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b");
    view.options[static_cast<int>(MainOption::Minim)] = false;
    MainForm& form = Start({"-u"});
    EXPECT_TRUE(form.TerminateRequested());
    EXPECT_EQ(Value("crun", "Mine")->data, "C:\\mine.exe");
    EXPECT_EQ(UserList(), "");
    EXPECT_FALSE(p.GetValue(Hive::CurrentUser, kRunKey, "Vantorell"));
    EXPECT_EQ(MachineList(), "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    EXPECT_TRUE(p.GetValue(Hive::LocalMachine, kRunKey, "Vantorell"));
}

}  // namespace
}  // namespace vantorell::testing
