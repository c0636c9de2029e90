// The files facet's contract: shortcuts read and written whole, folders
// listed, files read, written atomically and copied, text files decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "contract/ContractTest.h"
#include "platform/ShellLink.h"
#include "platform/Text.h"

namespace vantorell::testing {
namespace {

using platform::ShellLink;
using platform::WindowState;

using FilesContract = PlatformContract;

// ------------------------------------------------------------------ shortcuts

TEST_F(FilesContract, ShortcutRoundTripKeepsEveryProperty) {
    const std::string folder = env_->Scratch();
    const std::string target = folder + "\\" + kAccented + ".exe";
    env_->PutFile(target, "MZ");
    ShellLink out(P().files);
    out.LinkFile = folder + "\\" + kCjk + ".lnk";
    out.ProgramFile = target;
    out.Arguments = "/min --name=" + kCjk;
    out.Description = kAccented;
    out.WorkingDirectory = folder;
    out.IconFile = target;
    out.IconIndex = 2;
    out.HotKey = 0x0646;  // Ctrl+Shift+F
    out.State = WindowState::Maximized;
    ASSERT_TRUE(out.Write());

    ShellLink in(P().files);
    in.LinkFile = out.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.ProgramFile, target);
    EXPECT_EQ(in.Arguments, out.Arguments);
    EXPECT_EQ(in.Description, kAccented);
    EXPECT_EQ(in.WorkingDirectory, folder);
    EXPECT_EQ(in.IconFile, target);
    EXPECT_EQ(in.IconIndex, 2);
    EXPECT_EQ(in.HotKey, 0x0646);
    EXPECT_EQ(in.State, WindowState::Maximized);

    out.State = WindowState::Minimized;
    ASSERT_TRUE(out.Write());
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.State, WindowState::Minimized);
}

TEST_F(FilesContract, EmptyWorkingDirectoryTakesTheTargetsFolderAndIsStoredBack) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\t.lnk";
    link.ProgramFile = folder + "\\t.exe";
    ASSERT_TRUE(link.Write());
    EXPECT_EQ(link.WorkingDirectory, folder);
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.WorkingDirectory, folder);
}

TEST_F(FilesContract, IconLocationIsWrittenOnlyWhenIconFileIsSet) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\t.lnk";
    link.ProgramFile = folder + "\\t.exe";
    link.IconIndex = 7;
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    in.IconIndex = 99;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.IconFile, "");
    EXPECT_EQ(in.IconIndex, 0);
}

TEST_F(FilesContract, PropertiesKeepTheirValuesBetweenUses) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\first.lnk";
    link.ProgramFile = folder + "\\t.exe";
    link.Arguments = "-a";
    link.HotKey = 0x0641;
    ASSERT_TRUE(link.Write());
    link.LinkFile = folder + "\\second.lnk";  // only the file changes
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = folder + "\\second.lnk";
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.Arguments, "-a");
    EXPECT_EQ(in.HotKey, 0x0641);

    // A failed read leaves the properties as they were.
    env_->PutFile(folder + "\\garbage.lnk", "this is not a shortcut");
    in.LinkFile = folder + "\\garbage.lnk";
    EXPECT_FALSE(in.Read());
    EXPECT_EQ(in.Arguments, "-a");
}

TEST_F(FilesContract, ShortcutTextsAreReadWhole) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\t.exe", "MZ");
    ShellLink link(P().files);
    link.LinkFile = folder + "\\long.lnk";
    link.ProgramFile = folder + "\\t.exe";
    std::string args;
    for (int i = 0; i < 200; ++i) args += "\xC3\xA9-";  // 400 characters, 600 bytes
    link.Arguments = args;
    ASSERT_TRUE(link.Write());
    ShellLink in(P().files);
    in.LinkFile = link.LinkFile;
    ASSERT_TRUE(in.Read());
    EXPECT_EQ(in.Arguments, args) << "a cut text would be written back cut";
}

// ------------------------------------------------------------------ listing

TEST_F(FilesContract, ListingGivesPlainLnkFilesSortedWithoutRegardToCase) {
    const std::string folder = env_->Scratch();
    env_->PutFile(folder + "\\b.lnk", "x");
    env_->PutFile(folder + "\\A.LNK", "x");
    env_->PutFile(folder + "\\" + kAccented + ".lnk", "x");
    env_->PutFile(folder + "\\c.txt", "x");
    env_->PutFile(folder + "\\d.lnkx", "x");
    env_->PutFile(folder + "\\hidden.lnk", "x", true);
    env_->PutFile(folder + "\\system.lnk", "x", false, true);
    env_->MakeFolder(folder + "\\x.lnk");
    EXPECT_EQ(platform::ListShortcuts(P().files, P().locale, folder),
              (std::vector<std::string>{"A.LNK", "b.lnk", kAccented + ".lnk"}));
    EXPECT_TRUE(platform::ListShortcuts(P().files, P().locale, folder + "\\missing").empty());
}

// ------------------------------------------------------------------ files

TEST_F(FilesContract, ExistsAndDelete) {
    const std::string f = env_->Scratch() + "\\" + kCjk + ".txt";
    EXPECT_FALSE(P().files.FileExists(f));
    EXPECT_FALSE(P().files.RemoveFile(f));
    env_->PutFile(f, "x");
    EXPECT_TRUE(P().files.FileExists(f));
    EXPECT_TRUE(P().files.RemoveFile(f));
    EXPECT_FALSE(P().files.FileExists(f));
}

TEST_F(FilesContract, LoadLinesSplitsAtCrLfAndCrLfAndKeepsWhatFollowsANul) {
    const std::string f = env_->Scratch() + "\\lines.txt";
    env_->PutFile(f, std::string("a\r\nb\rc\nd\r\n\r\ne\0kept\r\nf\r\n", 23));
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f),
              (std::vector<std::string>{"a", "b", "c", "d", "", std::string("e\0kept", 6), "f"}));
    env_->PutFile(f, "last line without end");
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f), (std::vector<std::string>{"last line without end"}));
    EXPECT_TRUE(text::LoadLines(P().files, P().locale, env_->Scratch() + "\\missing.txt").empty());
}

TEST_F(FilesContract, SaveLinesWritesUtf8WithCrLfAfterEveryLine) {
    const std::string f = env_->Scratch() + "\\" + kAccented + ".txt";
    text::SaveLines(P().files, f, {"one", kCjk, ""});
    auto read = P().files.ReadFile(f);
    ASSERT_EQ(read.outcome, platform::ReadOutcome::Ok);
    EXPECT_EQ(read.bytes, "one\r\n" + kCjk + "\r\n\r\n");
    text::SaveLines(P().files, f, {});
    EXPECT_EQ(P().files.ReadFile(f).bytes, "");
    EXPECT_TRUE(P().files.FileExists(f));
}

TEST_F(FilesContract, FilesThatAreNotUtf8AreReadInTheAnsiCodePage) {
    const std::string f = env_->Scratch() + "\\ansi.txt";
    env_->PutFile(f, "\xE9t\xE9;crun\r\n");  // "été" in Windows-1252
    EXPECT_EQ(text::LoadLines(P().files, P().locale, f), (std::vector<std::string>{"\xC3\xA9t\xC3\xA9;crun"}));
}

TEST_F(FilesContract, AWriteThatFailsHalfWayLeavesTheOldFileIntact) {
    const std::string f = env_->Scratch() + "\\StartupList.txt";
    text::SaveLines(P().files, f, {"keep;crun;c;;0;0"});
    env_->FailWritesAfter(10);
    std::vector<std::string> big(1000, "new;crun;some command line;;0;0");
    EXPECT_THROW(text::SaveLines(P().files, f, big), AppError);
    EXPECT_EQ(P().files.ReadFile(f).bytes, "keep;crun;c;;0;0\r\n");
}

TEST_F(FilesContract, AFileThatCannotBeReadRaisesAnErrorNamingIt) {
    const std::string f = env_->Scratch() + "\\locked.txt";
    env_->PutFile(f, "a\r\n");
    env_->LockAgainstReading(f);
    try {
        text::LoadLines(P().files, P().locale, f);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_NE(std::string(e.what()).find("locked.txt"), std::string::npos) << e.what();
    }
}

// ------------------------------------------------------------------ copies

TEST_F(FilesContract, AFileIsCopiedByteForByteIntoFoldersMadeForIt) {
    const std::string from = env_->Scratch() + "\\a.lnk";
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 % 256);
    env_->PutFile(from, bytes);
    const std::string to = env_->Scratch() + "\\Shortcuts\\SUF\\a.lnk";
    ASSERT_TRUE(P().files.CopyFileBytes(from, to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, bytes);
    env_->PutFile(from, "shorter");
    ASSERT_TRUE(P().files.CopyFileBytes(from, to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, "shorter") << "replaced whole";
    EXPECT_FALSE(P().files.CopyFileBytes(env_->Scratch() + "\\missing.lnk", to));
    EXPECT_EQ(P().files.ReadFile(to).bytes, "shorter");
}

}  // namespace
}  // namespace vantorell::testing
