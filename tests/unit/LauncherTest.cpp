// The logon-time launcher against the in-memory platform: the virtual clock
// fires its timers, scripted boxes answer its prompts (and keep the clock
// running while they are "open").
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "launch/BootLauncher.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

namespace vantorell::launch {
namespace {

using platform::MemoryPlatform;
using platform::Op;
namespace MsgBox = platform::MsgBox;

constexpr const char* kListFile = "C:\\Program Files\\Vantorell\\StartupList.txt";
constexpr std::uint64_t kPastTheEnd = 700'000;  // ms, beyond the 650th tick

struct Start {
    std::uint64_t at;
    std::string commandLine;
    friend bool operator==(const Start&, const Start&) = default;
};
std::ostream& operator<<(std::ostream& os, const Start& s) {
    return os << s.at << ":" << s.commandLine;
}

class CountingHost : public LauncherHost {
public:
    void MinimizeApplication() override { ++minimized; }
    int minimized = 0;
};

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest() {
        // Every start, with the time it happened; commands containing "bad" cannot start.
        p.SetFaultHook([this](Op op, platform::Hive, std::string_view where) {
            if (op != Op::StartCommand) return false;
            if (where.find("bad") != std::string_view::npos) return true;
            starts.push_back({p.Now(), std::string(where)});
            return false;
        });
    }
    void List(std::string_view bytes) {
        p.PutFile(kListFile, bytes);
        store.ScanEntries();
    }
    // Answers Yes to every prompt, unless `answer` says otherwise.
    void AnswerAll(int answer) {
        p.SetBoxScript([answer](const MemoryPlatform::ShownBox&) { return answer; });
    }
    std::vector<std::uint64_t> PromptTimes() const {
        std::vector<std::uint64_t> at;
        for (const auto& b : p.Boxes()) at.push_back(b.at);
        return at;
    }

    MemoryPlatform p;
    store::AutostartStore store{p, kListFile};
    CountingHost host;
    BootLauncher launcher{p, p, store, host};
    std::vector<Start> starts;
};

TEST(LauncherCases, EachRecordFallsDueOnceAtItsOwnTime) {
    struct Case {
        std::string_view record;
        int answer;
        std::vector<std::uint64_t> promptsAt;
        std::vector<std::uint64_t> startsAt;
    };
    const Case cases[] = {
        {"off;crun;off.exe;;0;0", MsgBox::IdYes, {}, {}},
        {"ask;crun;ask.exe;;1;0", MsgBox::IdYes, {30}, {30}},
        {"ask;crun;ask.exe;;1;0", MsgBox::IdNo, {30}, {}},
        {"late;crun;late.exe;;0;45", MsgBox::IdYes, {}, {45'000}},
        {"asklate;crun;asklate.exe;;1;45", MsgBox::IdYes, {45'000}, {45'000}},
        {"asklate;crun;asklate.exe;;1;45", MsgBox::IdNo, {45'000}, {}},
        {"last;crun;last.exe;;0;650", MsgBox::IdYes, {}, {650'000}},
        {"toolate;crun;toolate.exe;;0;651", MsgBox::IdYes, {}, {}},
        {"negative;crun;neg.exe;;0;-5", MsgBox::IdYes, {}, {}},
        {"word;crun;word.exe;;0;ten", MsgBox::IdYes, {}, {}},
        {"blank;crun;blank.exe;;0; 10", MsgBox::IdYes, {}, {}},
        {"empty;crun;empty.exe;;0;", MsgBox::IdYes, {}, {}},
        {"two;crun;two.exe;;2;0", MsgBox::IdYes, {}, {}},             // confirm only exactly "1"
        {"noask;crun;noask.exe;;yes;8", MsgBox::IdYes, {}, {8'000}},  // not "1": no prompt
        {"zeros;crun;zeros.exe;;1;00", MsgBox::IdYes, {}, {}},        // without delay is exactly "0"
        {"plus;crun;plus.exe;;0;+5", MsgBox::IdYes, {}, {5'000}},
    };
    for (const Case& c : cases) {
        MemoryPlatform p;
        std::vector<std::uint64_t> startTimes;
        p.SetFaultHook([&](Op op, platform::Hive, std::string_view) {
            if (op == Op::StartCommand) startTimes.push_back(p.Now());
            return false;
        });
        p.SetBoxScript([&](const MemoryPlatform::ShownBox&) { return c.answer; });
        store::AutostartStore store(p, kListFile);
        p.PutFile(kListFile, c.record);
        store.ScanEntries();
        CountingHost host;
        BootLauncher launcher(p, p, store, host);
        launcher.StartBootLaunch();
        p.Advance(kPastTheEnd);

        std::vector<std::uint64_t> promptTimes;
        for (const auto& b : p.Boxes()) promptTimes.push_back(b.at);
        EXPECT_EQ(promptTimes, c.promptsAt) << c.record;
        EXPECT_EQ(startTimes, c.startsAt) << c.record;
        EXPECT_EQ(launcher.BootSeconds(), kLastBootSecond) << c.record;
        EXPECT_FALSE(launcher.Launching()) << c.record;
        EXPECT_EQ(p.ActiveTimers(), 0u) << c.record;
        EXPECT_EQ(host.minimized, 1) << c.record;
    }
}

TEST_F(LauncherTest, PromptIsOwnedByTheDesktopWithYesAsDefaultAndNamesTheShortcut) {
    List("t.lnk;SUF;C:\\Tools\\t.exe;/min;1;0\r\n");
    AnswerAll(MsgBox::IdYes);
    launcher.StartBootLaunch();
    p.Advance(kPastTheEnd);
    ASSERT_EQ(p.Boxes().size(), 1u);
    const auto& box = p.Boxes()[0];
    EXPECT_EQ(box.caption, "Start program");
    EXPECT_EQ(box.text,
              "With the help of Vantorell, you have selected to confirm the startup of the following program: "
              "t.lnk. Click 'Yes' to launch this program");
    EXPECT_EQ(box.style, MsgBox::YesNo | MsgBox::OwnedByDesktop);  // first button default, no icon
    EXPECT_EQ(starts, (std::vector<Start>{{30, "\"C:\\Tools\\t.exe\" /min"}}));
}

TEST_F(LauncherTest, CommandLineIsTheCommandAndItsArguments) {
    List(
        "t.lnk;SUF;C:\\Tools\\t.exe;/min;0;2\r\n"
        "r;crun;\"C:\\Program Files\\R\\r.exe\" -tray ;;0;2\r\n"
        "semi;crun;s.exe;a\x1f"
        "b;0;2\r\n");
    launcher.StartBootLaunch();
    p.Advance(kPastTheEnd);
    EXPECT_EQ(starts, (std::vector<Start>{{2000, "\"C:\\Tools\\t.exe\" /min"},
                                          {2000, "\"C:\\Program Files\\R\\r.exe\" -tray "},
                                          {2000, "s.exe a;b"}}));
    EXPECT_EQ(launcher.CommandLineOf(3), std::nullopt);
}

// A command that cannot be started is skipped without a message.
TEST_F(LauncherTest, RecordsOfOneDelayStartInOneTickInFileOrder) {
    List(
        "c;crun;c.exe;;0;10\r\nx;crun;x.exe;;0;0\r\nbad;crun;bad.exe;;0;10\r\na;crun;a.exe;;0;10\r\n"
        "b;lrun;b.exe;;0;10\r\n"
        // Written by hand: a service and a Winlogon item are never started at logon by the launcher.
        "svc;lsvc;svc.exe;auto;0;10\r\nC:\\x\\logon.exe;luserinit;C:\\x\\logon.exe;REG_SZ;1;10\r\n");
    launcher.StartBootLaunch();
    p.Advance(kPastTheEnd);
    EXPECT_EQ(starts, (std::vector<Start>{{10'000, "c.exe"}, {10'000, "a.exe"}, {10'000, "b.exe"}}));
    EXPECT_TRUE(p.Boxes().empty());
}

TEST_F(LauncherTest, InteractiveModeLaunchesNothing) {
    List("ask;crun;ask.exe;;1;0\r\nlate;crun;late.exe;;0;5\r\nboth;crun;both.exe;;1;7\r\n");
    p.Advance(kPastTheEnd);
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(p.Boxes().empty());
    EXPECT_EQ(host.minimized, 0);
    EXPECT_EQ(launcher.BootSeconds(), 0);
}

TEST_F(LauncherTest, TrayTimerAndNoDelayPromptsRunOnce) {
    List("a;crun;a.exe;;1;0\r\nb;crun;b.exe;;1;0\r\n");
    AnswerAll(MsgBox::IdYes);
    launcher.StartBootLaunch();
    p.Advance(9);
    EXPECT_EQ(host.minimized, 0);
    p.Advance(1);
    EXPECT_EQ(host.minimized, 1);
    p.Advance(kPastTheEnd);
    EXPECT_EQ(host.minimized, 1);
    EXPECT_EQ(PromptTimes(), (std::vector<std::uint64_t>{30, 30}));
    EXPECT_EQ(starts, (std::vector<Start>{{30, "a.exe"}, {30, "b.exe"}}));
    launcher.StartBootLaunch();  // a second call starts nothing again
    p.Advance(kPastTheEnd);
    EXPECT_EQ(p.Boxes().size(), 2u);
}

// A prompt left open for 20 seconds: the ticks that come meanwhile start (or
// ask about) their records on time, and every record is handled exactly once,
// also those that share the open prompt's tick or the tick it is answered at.
TEST_F(LauncherTest, PromptLeftOpenTwentySecondsKeepsEveryRecordOnTimeAndOnce) {
    List(
        "slow;crun;slow.exe;;1;5\r\n"
        "same;crun;same.exe;;0;5\r\n"
        "ten;crun;ten.exe;;0;10\r\n"
        "askfifteen;crun;fifteen.exe;;1;15\r\n"
        "answer;crun;answer.exe;;0;25\r\n"
        "later;crun;later.exe;;0;30\r\n");
    p.SetBoxScript([this](const MemoryPlatform::ShownBox& box) {
        if (box.text.find(": slow.") != std::string::npos) p.Advance(20'000);
        return MsgBox::IdYes;
    });
    launcher.StartBootLaunch();
    p.Advance(kPastTheEnd);
    EXPECT_EQ(PromptTimes(), (std::vector<std::uint64_t>{5'000, 15'000}));
    EXPECT_EQ(starts, (std::vector<Start>{{10'000, "ten.exe"},
                                          {15'000, "fifteen.exe"},
                                          {25'000, "answer.exe"},
                                          {25'000, "slow.exe"},
                                          {25'000, "same.exe"},
                                          {30'000, "later.exe"}}));
}

// The list is rebuilt while a prompt is open: Yes starts the program that was
// named, and the records still due at that tick are each handled once.
TEST(LauncherCases, ListRebuiltWhilePromptIsOpen) {
    struct Case {
        const char* name;
        const char* listMeanwhile;
        std::vector<std::string> started;
    };
    const Case cases[] = {
        {"asked record enabled", "b;crun;b.exe;;0;5\r\nc;crun;c.exe;;0;5\r\n", {"a.exe", "b.exe", "c.exe"}},
        {"later record deleted", "a;crun;a.exe;;1;5\r\nc;crun;c.exe;;0;5\r\n", {"a.exe", "c.exe"}},
        {"later record delayed",
         "a;crun;a.exe;;1;5\r\nb;crun;b.exe;;0;9\r\nc;crun;c.exe;;0;5\r\n",
         {"a.exe", "c.exe", "b.exe"}},
        {"record added",
         "a;crun;a.exe;;1;5\r\nb;crun;b.exe;;0;5\r\nc;crun;c.exe;;0;5\r\nn;crun;n.exe;;0;0\r\n",
         {"a.exe", "b.exe", "c.exe"}},
    };
    for (const Case& c : cases) {
        MemoryPlatform p;
        store::AutostartStore store(p, kListFile);
        p.PutFile(kListFile, "a;crun;a.exe;;1;5\r\nb;crun;b.exe;;0;5\r\nc;crun;c.exe;;0;5\r\n");
        store.ScanEntries();
        p.SetBoxScript([&](const MemoryPlatform::ShownBox&) {
            p.PutFile(kListFile, c.listMeanwhile);
            store.ScanEntries();
            return MsgBox::IdYes;
        });
        CountingHost host;
        BootLauncher launcher(p, p, store, host);
        launcher.StartBootLaunch();
        p.Advance(kPastTheEnd);
        EXPECT_EQ(p.StartedCommands(), c.started) << c.name;
    }
}

}  // namespace
}  // namespace vantorell::launch
