// The two lists of an installed copy under refusals and odd bytes: no save
// leaves a record in no list or in two, a busy lock is named as such, and a
// NUL in a list costs no record after it.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/common/ConsoleCommands.h"
#include "app/common/FileLayout.h"
#include "app/common/ProgramStart.h"
#include "control/EntryControl.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "ui/GridModel.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::Op;

constexpr const char* kUserList = "C:\\Users\\a\\AppData\\Local\\Vantorell\\StartupList.txt";
constexpr const char* kMachineList = "C:\\ProgramData\\Vantorell\\StartupList.txt";
constexpr const char* kOldList = "C:\\Users\\a\\AppData\\Local\\Vantorell\\data.txt";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ListSafety : public ::testing::Test {
protected:
    std::string File(const char* path) const { return p.GetFile(path).value_or(""); }
    // How many lines of both lists are exactly `line`.
    int Count(const std::string& line) const {
        int n = 0;
        for (const char* list : {kUserList, kMachineList}) {
            const auto lines = text::SplitLines(File(list));
            n += static_cast<int>(std::count(lines.begin(), lines.end(), line));
        }
        return n;
    }
    std::size_t IndexOf(std::string_view name) {
        const auto& entries = store.Table().entries;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].name == name) return i;
        ADD_FAILURE() << "no entry " << name;
        return entries.size();
    }

    // Fails the k-th write of a file (and, `lasting`, every later one), as a
    // refused or full disk would.
    void FailWrite(int k, bool lasting) {
        p.SetFaultHook([k, lasting, writes = 0](Op op, Hive, std::string_view) mutable {
            if (op != Op::WriteFile) return false;
            ++writes;
            return lasting ? writes >= k : writes == k;
        });
    }

    platform::MemoryPlatform p;
    store::AutostartStore store{p, kUserList, kMachineList};
    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p, none), ui::NameList(p, none), ui::NameList(p, none)};
    ui::GridModel grid{lists};
    control::EntryControl control{store, p, grid};
};

TEST_F(ListSafety, ARecordStaysInTheListItWasReadFromWhenTheOtherCannotBeWritten) {
    // A machine place's record in the user's list, and a standard user, whose
    // writes to the machine's list are refused.
    p.PutFile(kUserList, "Shared;lrun;C:\\s.exe;;0;0\r\nMine;crun;C:\\m.exe;;0;0\r\n");
    p.SetFaultHook([](Op op, Hive, std::string_view at) {
        return op == Op::WriteFile && at.find("ProgramData") != std::string_view::npos;
    });
    control.Refresh();
    control.SetStartupDelay(IndexOf("Mine"), 30);
    EXPECT_EQ(File(kUserList), "Shared;lrun;C:\\s.exe;;0;0\r\nMine;crun;C:\\m.exe;;0;30\r\n");
    control.SetConfirmStartup(IndexOf("Shared"));
    EXPECT_EQ(File(kUserList), "Shared;lrun;C:\\s.exe;;1;0\r\nMine;crun;C:\\m.exe;;0;30\r\n");
    EXPECT_FALSE(p.FileExists(kMachineList));
}

TEST_F(ListSafety, AnImportStoppedByAnyFailedWriteLeavesEveryRecordOnceAfterTheNextStart) {
    const auto layout =
        app::FileLayout::Installed("C:\\Program Files\\Vantorell", "C:\\Users\\a\\AppData\\Local", "C:\\ProgramData");
    const std::string mine = "Mine;crun;C:\\m.exe;;1;30", shared = "Shared;lrun;C:\\s.exe;;0;5";
    const std::string old = "Mine;crun;C:\\m.exe;x;Y;30;\r\nShared;lrun;C:\\s.exe;x;N;5;\r\n";
    for (const bool lasting : {false, true}) {
        for (int k = 1; k <= 4; ++k) {
            SCOPED_TRACE(::testing::Message() << "write " << k << (lasting ? " and later" : ""));
            p.PutFile(kUserList, "Kept;crun;C:\\k.exe;;0;0\r\n");
            p.PutFile(kMachineList, "");
            p.PutFile(kOldList, old);
            FailWrite(k, lasting);
            try {
                app::ImportOldList(p, store, layout);
            } catch (const AppError&) {
            }
            EXPECT_LE(Count(mine), 1);
            EXPECT_LE(Count(shared), 1);
            EXPECT_EQ(Count("Kept;crun;C:\\k.exe;;0;0"), 1);
            if (p.FileExists(kOldList) && !File(kOldList).empty()) {
                // Unless the lists cannot even be written back as they were.
                if (!lasting) {
                    EXPECT_EQ(Count(mine) + Count(shared), 0) << "a failed import changes no list";
                }
            } else {
                EXPECT_EQ(Count(mine) + Count(shared), 2) << "an old list that went was imported whole";
            }
            p.SetFaultHook(nullptr);
            app::ImportOldList(p, store, layout);  // the next start
            EXPECT_EQ(Count(mine), 1);
            EXPECT_EQ(Count(shared), 1);
            EXPECT_EQ(File(kMachineList), shared + "\r\n");
        }
    }
}

TEST_F(ListSafety, AnUpgradeMovesTheListBesideAnInstalled010IntoBothListsOnceWhateverWriteFails) {
    const auto layout =
        app::FileLayout::Installed("C:\\Program Files\\Vantorell", "C:\\Users\\a\\AppData\\Local", "C:\\ProgramData");
    const std::string besideExe = "C:\\Program Files\\Vantorell\\StartupList.txt";
    const std::string backup = besideExe + ".0.1.0.bak";
    // Written by a 32-bit 0.1.0 on 64-bit Windows: its "lrun" was the 32-bit view.
    const std::string old = "Mine;crun;C:\\m.exe;;1;30\r\nShared;lrun;C:\\s.exe;;0;5\r\nKept;crun;C:\\k.exe;;0;0\r\n";
    const std::string mine = "Mine;crun;C:\\m.exe;;1;30", shared = "Shared;lrun32;C:\\s.exe;;0;5";
    for (const bool lasting : {false, true}) {
        for (int k = 1; k <= 4; ++k) {
            SCOPED_TRACE(::testing::Message() << "write " << k << (lasting ? " and later" : ""));
            for (const std::string& f : {besideExe, backup, backup.substr(0, backup.size() - 4) + ".2.bak"})
                p.RemoveFile(f);
            p.PutFile(kUserList, "Kept;crun;C:\\k.exe;;0;0\r\n");  // already moved once
            p.PutFile(kMachineList, "");
            p.PutFile(besideExe, old);
            FailWrite(k, lasting);
            try {
                app::UpgradeInstalledList(p, store, layout, true, false);
            } catch (const AppError&) {
            }
            p.SetFaultHook(nullptr);
            EXPECT_LE(Count(mine), 1);
            EXPECT_LE(Count(shared), 1);
            EXPECT_EQ(Count("Kept;crun;C:\\k.exe;;0;0"), 1);
            if (p.FileExists(besideExe) && !File(besideExe.c_str()).empty()) {
                EXPECT_EQ(File(besideExe.c_str()), old) << "a move that stopped leaves the old list as it was";
            }
            // The next start, or the setup run again, finishes it.
            app::UpgradeInstalledList(p, store, layout, true, false);
            EXPECT_EQ(Count(mine), 1);
            EXPECT_EQ(Count(shared), 1);
            EXPECT_EQ(Count("Kept;crun;C:\\k.exe;;0;0"), 1);
            EXPECT_EQ(File(kMachineList), shared + "\r\n");
            EXPECT_FALSE(p.FileExists(besideExe) && !File(besideExe.c_str()).empty());
            EXPECT_EQ(File(backup.c_str()), old) << "the old list is kept whole as a backup";
        }
    }
    // A standard user's start: the program's folder refuses the backup, so the
    // move is left to the setup and nothing changes.
    p.PutFile(besideExe, old);
    p.PutFile(kMachineList, "");
    p.SetFaultHook([](Op op, Hive, std::string_view at) {
        return op == Op::WriteFile && at.find("Program Files") != std::string_view::npos;
    });
    EXPECT_EQ(app::UpgradeInstalledList(p, store, layout, true, true), 0u);
    EXPECT_THROW(app::UpgradeInstalledList(p, store, layout, true, false), AppError);
    EXPECT_EQ(File(besideExe.c_str()), old);
    EXPECT_EQ(File(kMachineList), "");
}

TEST_F(ListSafety, ALockHeldByAnotherWriterIsNamedAsSuchAndNothingChanges) {
    p.PutString(Hive::CurrentUser, kRun, "Tool", "C:\\tool.exe");
    control.Refresh();
    p.HoldLockElsewhere(kMachineList);
    try {
        control.DisableEntry(IndexOf("Tool"), false);
        ADD_FAILURE() << "no error";
    } catch (const ListsBusy& e) {
        EXPECT_EQ(std::string(e.what()), control::kListsBusyMessage);
    }
    EXPECT_TRUE(p.GetValue(Hive::CurrentUser, kRun, "Tool"));
    EXPECT_FALSE(p.FileExists(kUserList));

    const auto r = app::RunConsole(p, store, {"disable", "Tool"});
    EXPECT_EQ(r.exitCode, app::kExitChanged);
    EXPECT_EQ(r.err, "vantorellc: Another Vantorell is changing the lists; try again in a moment.\n");
}

TEST_F(ListSafety, ANulInAListKeepsTheRecordsAfterItAndIsNeverWrittenToTheRegistry) {
    const std::string nulLine("Odd\0name;crun;C:\\o.exe;;0;0", 27);
    p.PutFile(kUserList, "First;crun;C:\\f.exe;;0;0\r\n" + nulLine + "\r\nLast;crun;C:\\l.exe;;0;0\r\n");
    control.Refresh();
    ASSERT_EQ(store.Table().storedRecords.size(), 3u);
    control.EnableEntry(IndexOf("First"));
    EXPECT_EQ(File(kUserList), nulLine + "\r\nLast;crun;C:\\l.exe;;0;0\r\n");
    EXPECT_THROW(control.EnableEntry(0), AppError);
    EXPECT_FALSE(p.GetValue(Hive::CurrentUser, kRun, "Odd")) << "the name cut at its NUL is another entry";
    EXPECT_EQ(File(kUserList), nulLine + "\r\nLast;crun;C:\\l.exe;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
