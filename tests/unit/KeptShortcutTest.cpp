// Shortcuts taken out are kept byte for byte beside the list: given back from
// the copy, started from it at logon, deleted with their record.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "launch/BootLauncher.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Op;

constexpr const char* kKeptSuf = "C:\\Program Files\\Vantorell\\Shortcuts\\SUF\\";

class NoTray final : public launch::LauncherHost {
public:
    void MinimizeApplication() override {}
};

class KeptShortcuts : public ControlScene {
protected:
    // A shortcut whose target is a shell item: the shell gives no file path.
    void PutShellItemLink(std::string_view name) {
        platform::ShortcutData d;
        d.arguments = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
        d.iconFile = "shell32.dll";
        d.iconIndex = 15;
        d.hotKey = 0x0655;
        d.showCmd = platform::ShowCmd::Minimized;
        p.PutShortcut(text::JoinPath(kUserStartup, name), d);
    }
    std::string LinkBytes(std::string_view name) { return p.GetFile(text::JoinPath(kUserStartup, name)).value_or(""); }
    // The copy of a "SUF" shortcut kept under its record's own name; a path
    // that is not there when there is none.
    std::string Kept(std::string_view name) {
        std::string folder(kKeptSuf);
        folder.pop_back();
        for (const auto& file : p.ListShortcutFiles(folder))
            if (file.size() > name.size() &&
                file.compare(file.size() - name.size() - 1, std::string::npos, "-" + std::string(name)) == 0)
                return kKeptSuf + file;
        return std::string(kKeptSuf) + "(none)";
    }
};

TEST_F(KeptShortcuts, AShellItemGoesOffAndOnWithoutLoss) {
    PutShellItemLink("Computer.lnk");
    const std::string original = LinkBytes("Computer.lnk");
    control.Refresh();
    control.SetStartupDelay(IndexOf("Computer.lnk", "SUF", "1"), 20);
    EXPECT_EQ(ListBytes(), "Computer.lnk;SUF;;::{20D04FE0-3AEA-1069-A2D8-08002B30309D};0;20\r\n");
    EXPECT_EQ(p.GetFile(Kept("Computer.lnk")), original);

    // At logon it is started from the kept .lnk, through the shell.
    p.SetExecutablePath("C:\\Program Files\\Vantorell\\vantorell.exe");
    NoTray host;
    launch::BootLauncher launcher(p, p, store, host);
    launcher.LaunchEntry(0);
    EXPECT_EQ(p.ShellStarted(), std::vector<std::string>{Kept("Computer.lnk")});
    EXPECT_TRUE(p.StartedCommands().empty());

    control.EnableEntry(0);
    EXPECT_EQ(LinkBytes("Computer.lnk"), original);
    EXPECT_FALSE(p.FileExists(Kept("Computer.lnk")));
    EXPECT_EQ(ListBytes(), "");
}

TEST_F(KeptShortcuts, WithoutItsCopyARecordStartsAsItsQuotedTarget) {
    PutList("App.lnk;SUF;C:\\Program Files\\A B\\m.exe;-x;0;5\r\nItem.lnk;SUF;;::{x};0;5\r\n");
    control.Refresh();
    NoTray host;
    launch::BootLauncher launcher(p, p, store, host);
    launcher.LaunchEntry(0);
    launcher.LaunchEntry(1);  // a shell item without its .lnk: nothing to start
    EXPECT_EQ(p.StartedCommands(), std::vector<std::string>{"\"C:\\Program Files\\A B\\m.exe\" -x"});
    EXPECT_TRUE(p.ShellStarted().empty());
}

TEST_F(KeptShortcuts, DeletingTheRecordDeletesItsCopy) {
    PutShellItemLink("Computer.lnk");
    control.Refresh();
    control.DisableEntry(IndexOf("Computer.lnk", "SUF", "1"), false);
    ASSERT_TRUE(p.FileExists(Kept("Computer.lnk")));
    control.DeleteEntry(IndexOf("Computer.lnk", "SUF", "0"));
    EXPECT_FALSE(p.FileExists(Kept("Computer.lnk")));
    EXPECT_EQ(ListBytes(), "");
}

TEST_F(KeptShortcuts, NoCopyNoChange) {
    PutShellItemLink("Computer.lnk");
    const std::string original = LinkBytes("Computer.lnk");
    control.Refresh();
    FailOn(Op::WriteFile, "Shortcuts");
    EXPECT_THROW(control.DisableEntry(IndexOf("Computer.lnk", "SUF", "1"), false), AppError);
    NoFaults();
    EXPECT_EQ(LinkBytes("Computer.lnk"), original);
    EXPECT_EQ(ListBytes(), "(missing)");
}

TEST_F(KeptShortcuts, ACopyThatIsNotTheRecordsIsNotGivenBack) {
    PutLink(kUserStartup, "App.lnk", "C:\\new\\app.exe");
    control.Refresh();
    control.DisableEntry(IndexOf("App.lnk", "SUF", "1"), false);
    // The record now names another target (edited, or an older copy's).
    PutList("App.lnk;SUF;C:\\old\\app.exe;-o;0;0\r\n");
    control.Refresh();
    control.EnableEntry(0);
    const auto link = Link(kUserStartup, "App.lnk");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, "C:\\old\\app.exe");
    EXPECT_EQ(link->arguments, "-o");
}

TEST_F(KeptShortcuts, TwoShortcutsOfOneNameKeepTheirOwnCopiesAndNoneIsWrittenOver) {
    PutLink(kUserStartup, "A.lnk", "C:\\first.exe");
    const std::string first = LinkBytes("A.lnk");
    control.Refresh();
    control.DisableEntry(IndexOf("A.lnk", "SUF", "1"), false);
    PutLink(kUserStartup, "A.lnk", "C:\\second.exe");
    const std::string second = LinkBytes("A.lnk");
    control.Refresh();
    control.DisableEntry(IndexOf("A.lnk", "SUF", "1"), false);
    ASSERT_EQ(store.Table().storedRecords.size(), 2u);

    control.EnableEntry(0);
    EXPECT_EQ(LinkBytes("A.lnk"), first) << "the first comes back as it was";
    ASSERT_EQ(store.Table().storedRecords.size(), 1u);
    const auto kept = store.KeptShortcutFor(store.Table().storedRecords[0]);
    ASSERT_TRUE(kept);
    EXPECT_EQ(p.GetFile(*kept), second) << "the second record keeps its own copy";

    // The first is in the folder again: the second is not put back over it.
    try {
        control.EnableEntry(0);
        ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
        EXPECT_NE(std::string(e.what()).find("Another shortcut named 'A.lnk'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(LinkBytes("A.lnk"), first);
    EXPECT_EQ(store.Table().storedRecords.size(), 1u);
    control.DeleteEntry(0);
    EXPECT_FALSE(p.FileExists(*kept));
    EXPECT_EQ(LinkBytes("A.lnk"), first) << "deleting the second record leaves the first alone";
}

}  // namespace
}  // namespace vantorell::testing
