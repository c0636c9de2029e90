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

TEST(Elevation, TheConsoleArgumentsComeBackWholeWhateverTheName) {
    for (const std::string name : {"Plain", "With blank", "Quote\"d", "Ends in\\", "\\\\server\\x \"y\"\\", "--location",
                                   "", "Tab\there"}) {
        const control::EntryChange change{control::EntryVerb::Delay, name, "lrun", 30, false};
        const auto args = SplitCommandLine(app::ConsoleArguments(change, "C:\\Users\\me\\x y\\ElevatedError.txt"));
        ASSERT_FALSE(args.empty());
        EXPECT_EQ(args.back(), name);
        EXPECT_EQ(args, (std::vector<std::string>{"delay", "30", "--location", "lrun", "--error-file",
                                                  "C:\\Users\\me\\x y\\ElevatedError.txt", "--", name}));
    }
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
    bool options[3] = {true, true, true};
    bool visible = false;
};

class NoTray final : public ui::TrayIcon {
public:
    void Activate() override {}
    void Deactivate() override {}
    bool Active() const override { return false; }
};

class NoDelay final : public control::DelayPrompt {
public:
    std::optional<int> AskDelay(int) override { return std::nullopt; }
};

class StandardUser : public ControlScene {
protected:
    StandardUser() {
        p.SetExecutablePath(kExe);
        p.ProtectFolder(kCommonStartup);
        p.SetStandardUser(true);
        p.SetElevatedScript([this](std::string_view program, std::string_view parameters) {
            EXPECT_EQ(program, std::string(kExeFolder) + "\\vantorellc.exe");
            if (cancelAtPrompt) return ElevatedRun{ElevatedRun::Outcome::Cancelled, 0, "cancelled"};
            // vantorellc.exe, started with the rights: a process of its own.
            p.SetStandardUser(false);
            const auto out = app::RunConsole(p, SplitCommandLine(parameters));
            p.SetStandardUser(true);
            return ElevatedRun{ElevatedRun::Outcome::Finished, out.exitCode, {}};
        });
    }
    // The window of a copy started with `args`, by the user whose local
    // application data is `localAppData`.
    MainForm& Start(std::vector<std::string> args = {}, std::string localAppData = kLocalAppData) {
        p.SetKnownFolder(platform::KnownFolder::LocalAppData, localAppData);
        forms.push_back(std::make_unique<MainForm>(p, builtin, noDelay));
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
    NoDelay noDelay;
    ui::NameLists builtin{ui::NameLists::Builtin(p)};
    RecordingView view;
    NoTray tray;
    std::vector<std::unique_ptr<MainForm>> forms;
};

TEST_F(StandardUser, AMachineEntryIsSwitchedOffAsAdministratorAfterOneQuestion) {
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
    EXPECT_NE(ListBytes().find("Shared;lrun;C:\\shared.exe;;0;0\r\n"), std::string::npos) << ListBytes();
    const auto& entries = Form().Store().Table().entries;
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const store::StartupEntry& e) {
        return e.name == "Shared" && e.state == store::EntryState::Disabled;
    })) << "the window rescanned";
}

TEST_F(StandardUser, NoOrCancelAtThePromptChangesNothingAndSaysSoOnce) {
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
    EXPECT_EQ(p.GetFile(kListFile).value_or(""), "") << "no record";
}

TEST_F(StandardUser, AutoKillOffersTheMachineComebackOnceAndTakesItOutWithoutARecord) {
    PutList("Back;lrun;C:\\back.exe;;0;0\r\n");
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
    EXPECT_EQ(ListBytes(), "Back;lrun;C:\\back.exe;;0;0\r\n") << "the record stays as it was";
}

TEST_F(StandardUser, TheConsoleSaysToRunItAsAdministratorAndWritesItsErrorFile) {
    PutRun("lrun", "Shared", "C:\\shared.exe");
    const auto out = app::RunConsole(store, {"delete", "Shared", "--error-file", "C:\\Temp\\err.txt"});
    EXPECT_EQ(out.exitCode, app::kExitNeedsRights);
    EXPECT_NE(out.err.find("run vantorellc as administrator"), std::string::npos) << out.err;
    EXPECT_EQ(p.GetFile("C:\\Temp\\err.txt"), out.err);
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");

    const auto usage = app::RunConsole(store, {"delete", "--error-file"});
    EXPECT_EQ(usage.exitCode, app::kExitUsage);
}

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
    EXPECT_TRUE(p.FileExists(std::string(kMachineFolder) + "\\Shortcuts\\DSUF\\Shared.lnk"));
    EXPECT_EQ(MachineList(), "Shared.lnk;DSUF;C:\\shared.exe;--from-link;0;0\r\n");

    SwitchEnabled("Mine.lnk", "SUF");
    EXPECT_EQ(BoxesWith("needs administrator rights"), 1u);
    EXPECT_TRUE(p.FileExists(std::string(kLocalAppData) + "\\Vantorell\\Shortcuts\\SUF\\Mine.lnk"));
    EXPECT_EQ(UserList(), "Mine.lnk;SUF;C:\\mine.exe;--from-link;0;0\r\n");
}

TEST_F(InstalledStandardUser, AtTheLogonOfUserBOnlyBsDeferredEntriesAndTheMachinesStart) {
    p.PutFile("C:\\Users\\a\\AppData\\Local\\Vantorell\\StartupList.txt", "A's;crun;C:\\a.exe;;0;2\r\n");
    p.PutFile("C:\\Users\\b\\AppData\\Local\\Vantorell\\StartupList.txt", "B's;crun;C:\\b.exe;;0;2\r\n");
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Everyone's;lrun;C:\\all.exe;;0;3\r\n");
    Start({"-b"}, "C:\\Users\\b\\AppData\\Local");
    p.Advance(5000);
    EXPECT_EQ(p.StartedCommands(), (std::vector<std::string>{"C:\\b.exe", "C:\\all.exe"}));
}

TEST_F(InstalledStandardUser, UninstallGivesBackTheMachinesTheUsersAndAListBesideTheExecutable) {
    p.SetStandardUser(false);  // the uninstaller runs it with the rights
    p.PutFile(kListFile, "Old;crun;C:\\old.exe;;0;0\r\n");
    p.PutFile("C:\\Users\\a\\AppData\\Local\\Vantorell\\StartupList.txt", "Mine;crun;C:\\mine.exe;;1;0\r\n");
    p.PutFile(std::string(kMachineFolder) + "\\StartupList.txt", "Shared;lrun;C:\\shared.exe;;0;0\r\n");
    view.options[static_cast<int>(MainOption::Minim)] = false;
    MainForm& form = Start({"-u"});
    EXPECT_TRUE(form.TerminateRequested());
    EXPECT_EQ(Value("crun", "Old")->data, "C:\\old.exe");
    EXPECT_EQ(Value("crun", "Mine")->data, "C:\\mine.exe");
    EXPECT_EQ(Value("lrun", "Shared")->data, "C:\\shared.exe");
    EXPECT_EQ(UserList(), "");
    EXPECT_EQ(MachineList(), "");
    EXPECT_FALSE(p.FileExists(kListFile));
}

}  // namespace
}  // namespace vantorell::testing
