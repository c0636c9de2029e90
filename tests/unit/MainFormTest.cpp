// The main form's start-up, close and tray life cycle, the single-instance
// hand-over, and the modes of the command line, against a view and a tray icon
// that only record what they are asked to do.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "app/common/MainForm.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using app::MainForm;
using platform::Hive;
namespace MsgBox = platform::MsgBox;
using platform::Op;
using ui::MainOption;

constexpr const char* kExe = "C:\\Program Files\\Vantorell\\vantorell.exe";
constexpr const char* kFolder = "C:\\Program Files\\Vantorell\\";

class FakeView final : public ui::MainView {
public:
    explicit FakeView(ui::MainViewEvents& events) : events_(events) {}
    void RefreshGrid() override { ++refreshes; }
    void RepaintGrid() override {}
    ui::GridCell SelectedCell() const override { return selected; }
    void SelectCell(ui::GridCell cell) override { selected = cell; }
    void SetInTray(bool t) override { inTray = t; }
    void SetStatusText(std::string_view text) override { status = text; }
    bool OptionChecked(MainOption o) const override { return options[static_cast<int>(o)]; }
    void SetOptionChecked(MainOption o, bool c) override { options[static_cast<int>(o)] = c; }
    void Show() override {
        visible = true;
        events_.OnShown();
    }
    void Hide() override { visible = false; }
    bool IsVisible() const override { return visible; }
    void Minimize() override { events_.OnMinimize(); }
    void MoveTo(int l, int t) override { left = l, top = t; }
    void Centre() override { left = 188, top = 144; }
    void Close() override {
        if (events_.OnCloseQuery()) {
            events_.OnClose();
            destroyed = true;
        }
    }
    void Terminate() override { destroyed = true; }
    std::optional<ui::WindowPlace> Placement() const override { return place; }
    bool PlaceAt(const ui::WindowPlace& at) override {
        if (!onScreen) return false;
        place = at;
        left = at.left, top = at.top;
        return true;
    }

    ui::MainViewEvents& events_;
    std::optional<ui::WindowPlace> place;
    bool onScreen = true;  // whether a place is on some screen
    ui::GridCell selected;
    bool options[ui::kMainOptionCount] = {true, true, true, true};
    std::string status;
    bool visible = false, inTray = false, destroyed = false;
    int left = 0, top = 0, refreshes = 0;
};

class FakeTray final : public ui::TrayIcon {
public:
    void Activate() override { active = true; }
    void Deactivate() override { active = false; }
    bool Active() const override { return active; }
    void Notify(std::string_view title, std::string_view text) override {
        notices.push_back(std::string(title) + ": " + std::string(text));
    }
    bool active = false;
    std::vector<std::string> notices;
};

class NoDelay final : public ui::DelayPrompt {
public:
    std::optional<int> AskDelay(int) override { return std::nullopt; }
};

class MainFormTest : public ControlScene {
protected:
    MainFormTest() { form.Attach(view, tray); }

    // Whether a row of the grid shows `name`.
    bool Shows(std::string_view name) {
        for (int row = 1; row < form.Grid().RowCount(); ++row)
            if (form.Grid().Cell(ui::kColName, row) == name) return true;
        return false;
    }

    void Start(std::vector<std::string> args = {}) {
        args.insert(args.begin(), kExe);
        form.Guard();
        form.FormCreate(args);
    }
    std::optional<platform::RegValue> RunValue(Hive hive) { return p.GetValue(hive, app::kRunKey, app::kOwnRunValue); }
    std::size_t ErrorBoxes() const {
        std::size_t n = 0;
        for (const auto& b : p.Boxes()) n += (b.style & MsgBox::IconError) ? 1 : 0;
        return n;
    }

    NoDelay noDelay;
    ui::NameLists builtin{ui::NameLists::Builtin(p)};
    MainForm form{p, builtin, noDelay};
    FakeView view{form};
    FakeTray tray;
};

TEST_F(MainFormTest, InteractiveStartRegistersScansAndCentresTheWindowAfter50Ms) {
    PutRun("crun", "Tool", "C:\\t.exe");
    Start();
    EXPECT_EQ(RunValue(Hive::CurrentUser)->data, app::OwnRunCommand(kExe)) << "a portable copy registers for its user";
    EXPECT_FALSE(RunValue(Hive::LocalMachine));
    EXPECT_EQ(form.Grid().RowCount(), 3) << "Tool and the program's own Run value";
    EXPECT_EQ(form.Grid().Cell(ui::kColName, 1), "Tool");
    EXPECT_EQ(view.left, app::kOffScreen);
    p.Advance(49);
    EXPECT_EQ(view.left, app::kOffScreen);
    EXPECT_FALSE(view.visible);
    p.Advance(1);
    EXPECT_EQ(view.left, 188);
    EXPECT_TRUE(view.visible) << "the interactive start shows the window, centred";
    EXPECT_FALSE(tray.active);
    EXPECT_FALSE(form.LogonMode());
    EXPECT_FALSE(form.Launcher().Started());
    EXPECT_TRUE(p.Boxes().empty());
}

TEST_F(MainFormTest, StoredOptionsReachTheCheckBoxesAndAreSavedAtARealClose) {
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Min", {platform::RegType::Dword, std::string("\0\0\0\0", 4)});
    Start();
    EXPECT_FALSE(view.options[static_cast<int>(MainOption::Minim)]);
    view.options[static_cast<int>(MainOption::WAdd)] = false;
    view.Close();  // Minim off: the program ends
    EXPECT_TRUE(view.destroyed);
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "Warn")->data, std::string("\0\0\0\0", 4));
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "Kill")->data, std::string("\1\0\0\0", 4));
}

// The sort comes from the options key and goes back there at the close; the
// filter holds through the monitor's refill, and the selection stays on its entry.
TEST_F(MainFormTest, TheSortIsRememberedAndTheFilterHoldsThroughARefill) {
    const auto dword = [](char n) { return platform::RegValue{platform::RegType::Dword, std::string{n, 0, 0, 0}}; };
    p.PutValue(Hive::CurrentUser, app::kOptionsKey, "SortColumn", dword(ui::kColName));
    p.PutValue(Hive::CurrentUser, app::kOptionsKey, "SortDirection", dword(2));
    PutRun("crun", "Alpha", "C:\\a.exe");
    PutRun("crun", "beta", "C:\\b.exe");
    Start();
    const auto names = [&] {
        std::vector<std::string> shown;
        for (int row = 1; row < form.Grid().RowCount(); ++row) shown.push_back(form.Grid().Cell(ui::kColName, row));
        return shown;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"Vantorell", "beta", "Alpha"}));
    EXPECT_EQ(view.status, "");

    view.selected = {ui::kColName, 3};  // Alpha
    const int refreshes = view.refreshes;
    form.OnFilterChanged("ALP");
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha"}));
    EXPECT_GT(view.refreshes, refreshes);
    EXPECT_EQ(view.selected, (ui::GridCell{ui::kColName, 1}));
    EXPECT_EQ(view.status, "2 rows hidden: filter");

    view.options[static_cast<int>(MainOption::WAdd)] = false;
    PutRun("crun", "Alps", "C:\\alps.exe");
    form.Monitor().CheckNewEntries();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alps", "Alpha"}));
    EXPECT_EQ(view.status, "2 rows hidden: filter");
    form.OnFilterChanged("");
    EXPECT_EQ(view.status, "");

    form.OnGridHeaderClick(ui::kColName);  // down, then as listed
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Alps", "beta", "Vantorell"}));
    form.OnGridHeaderClick(ui::kColDelay);
    EXPECT_EQ(form.Grid().Sort(), (ui::GridSort{ui::kColDelay, ui::SortDirection::Up}));
    view.options[static_cast<int>(MainOption::Minim)] = false;
    view.Close();
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "SortColumn")->data, std::string("\4\0\0\0", 4));
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "SortDirection")->data, std::string("\1\0\0\0", 4));
}

// A Run value whose file is Windows' own is hidden once its file is known, and
// the status line says so; the option's box shows it again.
TEST_F(MainFormTest, WindowsOwnEntriesOfAnyPlaceAreHiddenWhileTheOptionIsChecked) {
    platform::SignatureFacts windows;
    windows.signer = "Microsoft Windows";
    windows.issuer = "Microsoft Windows Production PCA 2011";
    p.PutFile("C:\\Windows\\System32\\sechealth.exe", "MZ");
    p.AddToCatalog("C:\\Windows\\System32\\sechealth.exe", platform::CatalogHash::Sha256, windows);
    PutRun("lrun", "SecurityHealth", "C:\\Windows\\System32\\sechealth.exe");
    PutRun("crun", "Tool", "C:\\t.exe");
    Start();
    EXPECT_TRUE(Shows("SecurityHealth")) << "not known yet";
    p.Advance(app::kCentreDelayMs);  // the window is up: identification starts
    for (int tick = 0; tick < 20 && Shows("SecurityHealth"); ++tick) p.Advance(app::kIdentityPollMs);
    EXPECT_FALSE(Shows("SecurityHealth"));
    EXPECT_TRUE(Shows("Tool"));
    EXPECT_EQ(view.status, "1 row hidden: Windows' own");

    view.options[static_cast<int>(MainOption::HideWindowsOwn)] = false;
    form.OnHideWindowsOwnChanged();
    EXPECT_TRUE(Shows("SecurityHealth"));
    EXPECT_EQ(view.status, "");
}

TEST_F(MainFormTest, CloseWithMinimGoesToTheTrayAndTheTrayMenuEndsIt) {
    Start();
    view.Show();
    view.Close();
    EXPECT_FALSE(view.destroyed);
    EXPECT_TRUE(tray.active);
    EXPECT_FALSE(view.visible);
    EXPECT_TRUE(view.inTray);
    form.TrayIconDblClick();
    EXPECT_TRUE(view.visible);
    EXPECT_FALSE(tray.active) << "showing the window takes the icon out of the tray";
    view.Minimize();
    EXPECT_TRUE(tray.active);
    form.Close1Click();
    EXPECT_TRUE(view.destroyed);
    EXPECT_TRUE(form.CloseRequested());
}

TEST_F(MainFormTest, AfterALogoffQueryTheNextCloseEndsTheProgramEvenWithMinim) {
    Start();
    view.Show();
    form.OnQueryEndSession();
    EXPECT_TRUE(form.OnCloseQuery()) << "never holds up a logoff";
    EXPECT_FALSE(tray.active);
}

TEST_F(MainFormTest, ALogoffQueryInTheTrayEndsTheProgramWithoutTheCloseHandlerButKeepsTheOptions) {
    Start();
    p.Advance(50);
    view.Minimize();
    view.options[static_cast<int>(MainOption::WAdd)] = false;
    form.OnQueryEndSession();
    EXPECT_TRUE(form.OnCloseQuery());
    EXPECT_TRUE(view.destroyed) << "the application is asked to terminate, even if the logoff is cancelled";
    EXPECT_TRUE(form.TerminateRequested());
    const auto warn = p.GetValue(Hive::CurrentUser, app::kOptionsKey, "Warn");
    ASSERT_TRUE(warn) << "the options are saved on this way out too";
    EXPECT_EQ(warn->data, std::string("\0\0\0\0", 4));
    EXPECT_TRUE(p.Boxes().empty()) << "no monitor pass, no box during a logoff";
}

TEST_F(MainFormTest, TheInstallersEndSessionSavesTheOptions) {
    Start();
    p.Advance(50);
    view.options[static_cast<int>(MainOption::Minim)] = false;
    form.OnEndSession();
    EXPECT_TRUE(view.destroyed);
    const auto min = p.GetValue(Hive::CurrentUser, app::kOptionsKey, "Min");
    ASSERT_TRUE(min);
    EXPECT_EQ(min->data, std::string("\0\0\0\0", 4));
}

TEST_F(MainFormTest, TheLastMonitorPassRunsAtAClose) {
    Start();
    view.SetOptionChecked(MainOption::Minim, false);
    PutRun("crun", "Newcomer", "C:\\n.exe");
    view.Close();
    ASSERT_EQ(p.Boxes().size(), 1u);
    EXPECT_NE(p.Boxes()[0].text.find("Newcomer"), std::string::npos);
}

TEST_F(MainFormTest, HelpOpensTheHelpFileBesideTheExecutable) {
    Start();
    form.OnHelpClicked();
    EXPECT_EQ(p.OpenedDocuments().back(), std::string(kFolder) + "VantorellHelp.html");
}

TEST_F(MainFormTest, NoticeIsOpenedAtStartAndDeletedAtARealClose) {
    p.PutFile(std::string(kFolder) + "AwardMessage.txt", "notice");
    Start();
    EXPECT_EQ(p.OpenedDocuments().size(), 1u);
    view.SetOptionChecked(MainOption::Minim, false);
    view.Close();
    EXPECT_FALSE(p.FileExists(std::string(kFolder) + "AwardMessage.txt"));
}

TEST_F(MainFormTest, LogonModeGoesToTheTrayAndStartsDeferredEntries) {
    PutList("Later;crun;C:\\later.exe;;0;3\r\n");
    Start({"-b"});
    EXPECT_TRUE(form.LogonMode());
    p.Advance(10);
    EXPECT_TRUE(tray.active);
    EXPECT_FALSE(view.visible);
    p.Advance(50);
    EXPECT_FALSE(view.visible) << "Timer3 centres the hidden window but does not show it";
    EXPECT_EQ(view.left, 188);
    EXPECT_TRUE(tray.active);
    p.Advance(3000);
    EXPECT_EQ(p.StartedCommands(), std::vector<std::string>{"C:\\later.exe"});
}

TEST_F(MainFormTest, UninstallGivesEverythingBackRemovesTheRunValueAndEnds) {
    p.PutString(Hive::LocalMachine, app::kRunKey, app::kOwnRunValue, app::OwnRunCommand(kExe));
    PutList("Later;crun;C:\\later.exe;;1;3\r\n");
    view.options[static_cast<int>(MainOption::Minim)] = false;
    p.PutValue(Hive::LocalMachine, app::kOptionsKey, "Min", {platform::RegType::Dword, std::string("\0\0\0\0", 4)});
    Start({"-u", "-b"});
    EXPECT_TRUE(form.TerminateRequested());
    EXPECT_FALSE(RunValue(Hive::LocalMachine)) << "the closing sequence must not register it again";
    EXPECT_FALSE(RunValue(Hive::CurrentUser));
    EXPECT_EQ(Value("crun", "Later")->data, "C:\\later.exe");
    EXPECT_FALSE(p.FileExists(kListFile));
    p.Advance(5000);
    EXPECT_TRUE(p.StartedCommands().empty()) << "nothing is launched in an uninstall run";
}

// Records whose place is gone (an Active Setup component) or holds another
// program now (Shell) cannot be given back: asked once, the uninstall keeps
// them in a file beside the list and finishes; answered No, it stops as
// before with every record still in the list.
TEST_F(MainFormTest, AnUninstallThatCannotGiveARecordBackKeepsItBesideTheListAndFinishes) {
    const std::string kept = "C:\\Program Files\\Vantorell\\StartupList.kept.txt";
    const char* winlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    p.PutString(Hive::LocalMachine, app::kRunKey, app::kOwnRunValue, app::OwnRunCommand(kExe));
    p.PutString(Hive::LocalMachine, winlogon, "Shell", "other.exe");
    PutList(
        "Setup;lactive;C:\\s.exe;REG_SZ {Gone};0;0\r\nLater;crun;C:\\later.exe;;1;3\r\n"
        "Shell;lshell;C:\\x\\shell.exe;REG_SZ;0;0\r\n");
    int asked = 0;
    p.SetBoxScript([&](const platform::MemoryPlatform::ShownBox& box) {
        if (box.text.find("could not give back \"Setup\"") == std::string::npos) return MsgBox::IdOk;
        ++asked;
        EXPECT_NE(box.text.find("StartupList.kept.txt"), std::string::npos) << box.text;
        return MsgBox::IdYes;
    });
    Start({"-u", "-b"});
    EXPECT_TRUE(form.TerminateRequested());
    EXPECT_EQ(asked, 1) << "one question for every record that cannot be given back";
    EXPECT_EQ(p.Boxes().size(), 1u) << "the question only, no error";
    EXPECT_EQ(Value("crun", "Later")->data, "C:\\later.exe");
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, winlogon, "Shell")->data, "other.exe");
    EXPECT_FALSE(p.FileExists(kListFile));
    EXPECT_FALSE(RunValue(Hive::LocalMachine));
    EXPECT_EQ(p.GetFile(kept).value_or("(missing)"),
              "Setup;lactive;C:\\s.exe;REG_SZ {Gone};0;0\r\nShell;lshell;C:\\x\\shell.exe;REG_SZ;0;0\r\n");
}

TEST_F(MainFormTest, AnUninstallToldNotToKeepRecordsStopsWithEveryRecordListed) {
    p.PutString(Hive::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell", "other.exe");
    PutList("Shell;lshell;C:\\x\\shell.exe;REG_SZ;0;0\r\nLater;crun;C:\\later.exe;;1;3\r\n");
    Start({"-u", "-b"});  // the question answered No
    EXPECT_FALSE(form.TerminateRequested());
    ASSERT_EQ(p.Boxes().size(), 2u);
    EXPECT_NE(p.Boxes()[1].text.find("another program"), std::string::npos) << p.Boxes()[1].text;
    EXPECT_EQ(ListBytes(), "Shell;lshell;C:\\x\\shell.exe;REG_SZ;0;0\r\nLater;crun;C:\\later.exe;;1;3\r\n");
    EXPECT_FALSE(p.FileExists("C:\\Program Files\\Vantorell\\StartupList.kept.txt"));
}

TEST_F(MainFormTest, AStandardUserStartsAndClosesWithoutAnError) {
    PutRun("crun", "Tool", "C:\\t.exe");
    p.SetStandardUser(true);
    Start({"-b"});
    EXPECT_EQ(RunValue(Hive::CurrentUser)->data, app::OwnRunCommand(kExe));
    EXPECT_EQ(form.Grid().Cell(ui::kColName, 1), "Tool");
    EXPECT_TRUE(form.Launcher().Started());
    view.SetOptionChecked(MainOption::Minim, false);
    view.Close();
    EXPECT_TRUE(view.destroyed);
    EXPECT_EQ(ErrorBoxes(), 0u);
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "Min")->data, std::string("\0\0\0\0", 4));
}

TEST_F(MainFormTest, ASecondCopyHandsOverAndTheFirstComesOutOfTheTray) {
    Start();
    view.Minimize();
    ASSERT_TRUE(tray.active);

    FakeTray tray2;
    MainForm second{p, builtin, noDelay};
    FakeView view2{second};
    second.Attach(view2, tray2);
    EXPECT_FALSE(second.Guard());
    second.FormCreate({kExe});
    EXPECT_TRUE(second.TerminateRequested());
    second.Timer3Timer();
    EXPECT_FALSE(view2.visible) << "a copy that is to end is never shown";
    EXPECT_EQ(p.GetFile(std::string(kFolder) + "ResF.txt"), "Res\r\n");

    p.Advance(2000);
    EXPECT_TRUE(view.visible);
    EXPECT_FALSE(tray.active);
    EXPECT_EQ(p.GetFile(std::string(kFolder) + "ResF.txt"), "") << "emptied, never deleted";
}

TEST_F(MainFormTest, HandOverFilePolling) {
    struct Case {
        const char* content;
        bool shows;
    } cases[] = {{"Res\r\n", true}, {"anything", true}, {"", false}};
    for (const auto& c : cases) {
        MainFormTest::TearDown();
        p.PutFile(std::string(kFolder) + "ResF.txt", c.content);
        MainForm f{p, builtin, noDelay};
        FakeView v{f};
        FakeTray t;
        f.Attach(v, t);
        f.Guard();
        f.FormCreate({kExe});
        p.Advance(50);
        v.Minimize();  // in the tray before the first poll
        p.Advance(1949);
        EXPECT_FALSE(v.visible);
        p.Advance(1);
        EXPECT_EQ(v.visible, c.shows) << c.content;
        EXPECT_EQ(t.active, !c.shows) << c.content;
        f.AtExit();
    }
}

}  // namespace
}  // namespace vantorell::testing

namespace vantorell::testing {
namespace {

TEST_F(MainFormTest, AnUnreadableHandOverFileIsReportedOnceNotEveryTwoSeconds) {
    p.PutFile(std::string(kFolder) + "ResF.txt", "Res\r\n");
    FailOn(Op::ReadFile, "ResF.txt");
    Start();
    p.Advance(10'000);  // five polls
    EXPECT_EQ(ErrorBoxes(), 1u);
    NoFaults();
    p.Advance(2000);  // readable again: the request is answered
    EXPECT_TRUE(view.visible);
    FailOn(Op::ReadFile, "ResF.txt");
    p.Advance(4000);
    EXPECT_EQ(ErrorBoxes(), 2u) << "a new fault after a good poll is reported again";
}

TEST_F(MainFormTest, ASecondCopyEndsEvenWhenItCannotWriteTheHandOverFile) {
    Start();
    FakeTray tray2;
    MainForm second{p, builtin, noDelay};
    FakeView view2{second};
    second.Attach(view2, tray2);
    FailOn(Op::WriteFile, "ResF.txt");
    EXPECT_FALSE(second.Guard());
    EXPECT_TRUE(second.TerminateRequested());
    EXPECT_EQ(ErrorBoxes(), 1u) << "the failed write is said";
    second.AtExit();
    form.AtExit();
}

}  // namespace
}  // namespace vantorell::testing

namespace vantorell::testing {
namespace {

TEST_F(MainFormTest, AChangeAnotherWriterMadeShowsWithinASecond) {
    Start();
    p.Advance(50);
    EXPECT_FALSE(Shows("FromOutside"));
    PutList("FromOutside;crun;C:\\o.exe;;0;0\r\n");  // vantorellc, say
    p.Advance(1000);
    EXPECT_TRUE(Shows("FromOutside")) << "not only at the monitor's next pass, 12 seconds on";
}

TEST_F(MainFormTest, WhereTheListsFolderIsWatchedNothingIsReadUntilItChanges) {
    p.EnableWatches();
    Start();
    p.Advance(50);
    const auto reads = p.FileReads();
    p.Advance(60000);
    EXPECT_EQ(p.FileReads(), reads) << "a minute at rest reads no file";
    PutList("FromOutside;crun;C:\\o.exe;;0;0\r\n");
    p.SignalChange();
    EXPECT_TRUE(Shows("FromOutside"));
}

// A portable copy's folder holds its list and its other files: a write of
// another file there is no reason for a pass, a change of the list is taken up.
TEST_F(MainFormTest, APortableCopyRescansForAChangeOfItsListOnly) {
    p.EnableWatches();
    Start();
    p.Advance(1000);
    const auto opened = p.OpenKeyCount();
    p.PutFile(std::string(kFolder) + "notes.txt", "anything");
    p.SignalFolderChange("C:\\Program Files\\Vantorell");
    p.Advance(5000);
    EXPECT_EQ(p.OpenKeyCount(), opened) << "no scan";
    PutList("FromOutside;crun;C:\\o.exe;;0;0\r\n");
    p.SignalFolderChange("C:\\Program Files\\Vantorell");
    EXPECT_TRUE(Shows("FromOutside"));
}

// In the tray all day: where the hand-over file's folder is watched, Timer4
// looks once (a request made before the watch was set) and then only when the
// folder changes.
TEST_F(MainFormTest, WhereTheHandOverFolderIsWatchedARequestComesWithItsChange) {
    p.EnableWatches();
    Start();
    p.Advance(50);
    view.Minimize();
    p.Advance(app::kHandOverPollMs);
    p.PutFile(std::string(kFolder) + "ResF.txt", "Res\r\n");  // a second copy's request
    p.Advance(10 * app::kHandOverPollMs);
    EXPECT_FALSE(view.visible) << "no more polling";
    p.SignalChange();
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(p.GetFile(std::string(kFolder) + "ResF.txt"), "");
}

// The row menu's actions: the changes as the grid's gestures make them, the
// rest through the shell, each for the row it was chosen on.
TEST_F(MainFormTest, RowActionsChangeTheRowsEntryAndShowItThroughTheShell) {
    PutRun("crun", "Tool", "C:\\Tools\\tool.exe");
    p.PutFile("C:\\Tools\\tool.exe", "MZ");
    PutLink(kUserStartup, "Zeta.lnk", "C:\\Zeta\\zeta.exe");
    Start();
    const auto row = [&](std::string_view name) {
        for (int r = 1; r < form.Grid().RowCount(); ++r)
            if (form.Grid().Cell(ui::kColName, r) == name) return r;
        ADD_FAILURE() << "no row " << name;
        return 0;
    };
    form.OnRowAction(ui::RowAction::Copy, row("Tool"));
    EXPECT_TRUE(p.Clipboard().starts_with("Tool\tC:\\Tools\\tool.exe\tC:\\Tools\\tool.exe\t")) << p.Clipboard();
    form.OnRowAction(ui::RowAction::OpenLocation, row("Tool"));
    form.OnRowAction(ui::RowAction::Properties, row("Tool"));
    form.OnRowAction(ui::RowAction::OpenRegistry, row("Tool"));
    form.OnRowAction(ui::RowAction::OpenRegistry, row("Zeta.lnk"));
    form.OnRowAction(ui::RowAction::OpenLocation, row("Zeta.lnk"));  // its file is not there: nothing
    const std::vector<std::string> views{
        "folder C:\\Tools\\tool.exe", "properties C:\\Tools\\tool.exe",
        "regedit Computer\\HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\run",
        std::string("folder ") + kUserStartup + "\\Zeta.lnk"};
    EXPECT_EQ(p.ShellViews(), views);
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, platform::kRegistryEditorKey, "LastKey")->data.substr(0, 9), "Computer\\");

    // Space and Delete: the Enabled box's double-click and the delete button.
    form.OnRowAction(ui::RowAction::Switch, row("Tool"));
    EXPECT_FALSE(p.GetValue(Hive::CurrentUser, kRunKey, "Tool")) << "switched off";
    p.SetBoxScript([](const auto& box) { return box.caption == ui::kDeleteBoxCaption ? MsgBox::IdYes : MsgBox::IdOk; });
    form.OnRowAction(ui::RowAction::Delete, row("Tool"));
    EXPECT_FALSE(Shows("Tool")) << "deleted after the question";
    EXPECT_EQ(p.Boxes().back().caption, ui::kDeleteBoxCaption);
}

// The column widths and the window's place, left at a close, are where the
// next start puts them; a place off every screen is not taken.
TEST_F(MainFormTest, TheLayoutLeftAtACloseIsTheNextStartsUnlessItIsOffEveryScreen) {
    Start();
    p.Advance(app::kCentreDelayMs);
    form.OnColumnWidthChanged(ui::kColCommand, 420);
    form.OnColumnWidthChanged(ui::kColIndex, 50);  // hidden: stays so
    view.place = ui::WindowPlace{30, 40, 900, 700};
    view.options[static_cast<int>(MainOption::Minim)] = false;
    view.Close();
    ASSERT_TRUE(view.destroyed);
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "WindowPlace")->data.c_str(),
              std::string("30,40,900,700"));

    for (const bool onScreen : {true, false}) {
        NoDelay prompt;
        MainForm next{p, builtin, prompt};
        FakeView nextView{next};
        FakeTray nextTray;
        nextView.onScreen = onScreen;
        next.Attach(nextView, nextTray);
        next.Guard();
        next.FormCreate({kExe});
        EXPECT_EQ(next.Grid().ColWidth(ui::kColCommand), 420);
        EXPECT_EQ(next.Grid().ColWidth(ui::kColIndex), 0);
        p.Advance(app::kCentreDelayMs);
        EXPECT_EQ(nextView.left, onScreen ? 30 : 188) << "off every screen: centred";
        nextView.Terminate();
        next.AtExit();
    }
}

// A window that never came out of the tray keeps the place it was left at.
TEST_F(MainFormTest, ALogonRunThatNeverShowsTheWindowKeepsItsPlace) {
    p.PutString(Hive::CurrentUser, app::kOptionsKey, "WindowPlace", "30,40,900,700");
    Start({"-b"});
    p.Advance(app::kCentreDelayMs);
    view.place = ui::WindowPlace{app::kOffScreen, app::kOffScreen, 656, 522};
    form.OnEndSession();
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, app::kOptionsKey, "WindowPlace")->data.c_str(),
              std::string("30,40,900,700"));
}

// F5 reads the places again, and the files: one that came behind the same
// command is seen, which the monitor's passes do not look for.
TEST_F(MainFormTest, RescanLooksAtTheFilesAgain) {
    PutRun("crun", "Blast", "C:\\Windows\\blast.exe");
    Start();
    p.Advance(app::kCentreDelayMs + 2 * app::kIdentityPollMs);
    const auto publisher = [&] {
        for (int r = 1; r < form.Grid().RowCount(); ++r)
            if (form.Grid().Cell(ui::kColName, r) == "Blast") return form.Grid().Cell(ui::kColPublisher, r);
        return std::string("(no row)");
    };
    EXPECT_EQ(publisher(), "File not found");
    p.PutFile("C:\\Windows\\blast.exe", "MZ");
    p.Advance(app::kIdentityPollMs * 4);
    EXPECT_EQ(publisher(), "File not found") << "nothing looks at the files by itself";
    form.OnRescan();
    p.Advance(app::kIdentityPollMs * 4 + app::kIdentityRefreshMs);
    EXPECT_NE(publisher(), "File not found");
}

}  // namespace
}  // namespace vantorell::testing
