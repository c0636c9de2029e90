// The startup impact of entries: levels, which entry a process belongs to,
// the history of the last logons, the texts shown, and when the machine
// became quiet.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "impact/Attribution.h"
#include "impact/History.h"
#include "impact/Impact.h"
#include "impact/QuietClock.h"
#include "impact/Summary.h"

namespace vantorell::testing {
namespace {

using namespace impact;

TEST(ImpactLevel, BoundsOfTheLevelsAndTheMedian) {
    const std::vector<std::pair<Cost, Level>> cases = {
        {{0, 0}, Level::Low},
        {{299, 300 * 1024 - 1}, Level::Low},
        {{300, 0}, Level::Medium},
        {{0, 300 * 1024}, Level::Medium},
        {{1000, 3 * 1024 * 1024}, Level::Medium},
        {{1001, 0}, Level::High},
        {{0, 3 * 1024 * 1024 + 1}, Level::High},
    };
    for (const auto& [cost, level] : cases) EXPECT_EQ(LevelOf(cost), level) << cost.cpuMs << " " << cost.diskBytes;
    EXPECT_EQ(Median({}), std::nullopt);
    EXPECT_EQ(Median({{5, 900}, {1, 100}, {9, 500}}), (Cost{5, 500}));
    EXPECT_EQ(Median({{1, 10}, {4, 0}}), (Cost{2, 5}));  // the mean of the middle two, rounded down
    EXPECT_EQ(Median({{~0ULL, 0}, {~0ULL - 2, 0}}), (Cost{~0ULL - 1, 0}));
}

// Entries of every kind: a program of its own, two entries of one program,
// and entries that a host runs, three of one file, two of them alike.
const std::string kApp = "C:\\Apps\\app.exe", kTool = "C:\\Tools\\tool.exe";
const std::string kRundll = "C:\\Windows\\System32\\rundll32.exe", kWscript = "C:\\Windows\\System32\\wscript.exe";
const std::vector<EntryTarget> kTargets = {
    {"app", kApp, "", kApp},
    {"tray", kTool, "", "\"" + kTool + "\" --tray"},
    {"sync", kTool, "", kTool + " --sync"},
    {"dll", "C:\\Lib\\a.dll", kRundll, "rundll32.exe C:\\Lib\\a.dll,Start"},
    {"vbs", "C:\\Scripts\\x.vbs", kWscript, "wscript.exe \"C:\\Scripts\\x.vbs\""},
    {"user", "C:\\Lib\\b.dll", kRundll, "rundll32 C:\\Lib\\b.dll,Go"},
    {"machine", "C:\\Lib\\b.dll", kRundll, "rundll32 C:\\Lib\\b.dll,Go "},
    {"stop", "C:\\Lib\\b.dll", kRundll, "rundll32 C:\\Lib\\b.dll,Stop"},
};

ProcessSample Process(std::uint32_t pid, std::uint32_t parent, std::uint64_t created, std::string image,
                      std::optional<std::string> command, std::uint64_t cpuMs) {
    return {pid, parent, created, std::move(image), std::move(command), {cpuMs, cpuMs * 10}};
}

TEST(ImpactAttribution, ProcessesGoToTheEntryThatStartedThem) {
    const auto unreadable = std::nullopt;
    const std::string helper = "C:\\Apps\\helper.exe";
    struct Case {
        const char* what;
        std::vector<std::vector<ProcessSample>> passes;
        std::map<std::string, std::uint64_t> measured;  // CPU ms; every other entry unmeasured
    } cases[] = {
        {"the image, by its full path in any case",
         {{Process(4, 1, 100, "c:\\apps\\APP.EXE", "x", 10)}},
         {{"app", 10}}},
        {"a file of the same name elsewhere is another", {{Process(4, 1, 100, "C:\\Other\\app.exe", kApp, 10)}}, {}},
        {"the command line picks one of a program's entries, quoted or not",
         {{Process(4, 1, 100, kTool, " C:\\TOOLS\\tool.exe --tray ", 10),
           Process(5, 1, 100, kTool, "\"C:\\Tools\\tool.exe\" --sync", 20)}},
         {{"tray", 10}, {"sync", 20}}},
        {"a command line that cannot be read measures neither",
         {{Process(4, 1, 100, kTool, kTool + " --tray", 10), Process(5, 1, 100, kTool, unreadable, 20)}},
         {}},
        {"a command line of neither measures neither", {{Process(4, 1, 100, kTool, kTool + " --other", 10)}}, {}},
        {"a host by the entry's command or by the file it runs",
         {{Process(4, 1, 100, kRundll, "\"" + kRundll + "\" c:\\lib\\A.dll,Start", 10),
           Process(5, 1, 100, kWscript, "WScript.exe \"c:\\scripts\\x.vbs\"", 20)}},
         {{"dll", 10}, {"vbs", 20}}},
        {"a host running something else, or unreadable, is nobody's",
         {{Process(4, 1, 100, kRundll, "rundll32.exe shell32.dll,Other", 10),
           Process(5, 1, 100, kWscript, unreadable, 20)}},
         {}},
        {"a command of two entries measures neither",
         {{Process(4, 1, 100, kRundll, "RUNDLL32 C:\\Lib\\b.dll,Go", 1)}},
         {}},
        {"a file the host runs for several entries measures none of them",
         {{Process(4, 1, 100, kRundll, "rundll32 C:\\Lib\\b.dll,Stop", 1),
           Process(5, 1, 100, kRundll, kRundll + " C:\\Lib\\b.dll,Go", 1)}},
         {}},
        {"children at any depth, seen in any order, are the parent's",
         {{Process(6, 5, 120, kRundll, "rundll32.exe C:\\Lib\\a.dll,Start", 1), Process(5, 4, 110, helper, "", 2),
           Process(4, 1, 100, kApp, kApp, 4)}},
         {{"app", 7}}},
        {"no process is adopted by a later one of its parent's pid, nor by another pid",
         {{Process(4, 1, 100, kApp, kApp, 4), Process(8, 4, 90, helper, "", 2), Process(9, 6, 200, helper, "", 1)}},
         {{"app", 4}}},
        {"the latest figures of each process, also of one that is gone",
         {{Process(4, 1, 100, kApp, kApp, 4)},
          {Process(4, 1, 100, kApp, kApp, 40), Process(5, 4, 110, helper, "", 2)},
          {Process(5, 4, 110, helper, "", 9), Process(4, 1, 300, "C:\\x.exe", "x", 50)}},
         {{"app", 49}}},
    };
    for (const Case& c : cases) {
        Attribution attribution(kTargets);
        for (const auto& pass : c.passes) attribution.Add(pass);
        const auto result = attribution.Result();
        for (const EntryTarget& target : kTargets) {
            const auto it = c.measured.find(target.key);
            const auto cost = it == c.measured.end() ? std::nullopt : std::optional(Cost{it->second, it->second * 10});
            EXPECT_EQ(result.at(target.key), cost) << c.what << ": " << target.key;
        }
    }
}

TEST(ImpactAttribution, TotalOfTheEntriesProcessesOnly) {
    Attribution attribution(kTargets);
    attribution.Add({Process(4, 1, 100, kApp, kApp, 4), Process(5, 4, 110, "C:\\h.exe", "", 2),
                     Process(6, 1, 100, "C:\\other.exe", "", 8)});
    EXPECT_EQ(attribution.TotalCpuMs(), 6u);
}

History Sample() {
    History history;
    history.AddLogon(0x1db000000000001, {{"crun\tA\\B\n", Cost{1520, 12288}}, {"lrun\tx\t0", std::nullopt}},
                     {0, 23000, 4100});
    history.AddLogon(0x1db000000000002, {{"crun\tA\\B\n", Cost{0, 0}}, {"SUF\ty.lnk\tff", Cost{7, 8}}}, {});
    return history;
}

TEST(ImpactHistory, KeepsTheLastLogonsOfKeysSeenLately) {
    History history;
    for (std::uint64_t logon = 1; logon <= 12; ++logon) {
        std::map<std::string, std::optional<Cost>> results{{"often", Cost{logon, 0}}};
        if (logon == 1) results["first"] = Cost{1, 1};
        if (logon == 3) results["third"] = std::nullopt;
        history.AddLogon(logon, results, {0, logon * 1000, 7});
        EXPECT_EQ(history.Of("first") != nullptr, logon <= 10) << logon;  // seen in the last ten
    }
    EXPECT_EQ(history.Of("often")->size(), kLogonsKept);
    EXPECT_EQ(history.Of("often")->front(), (LogonCost{3, Cost{3, 0}}));
    EXPECT_EQ(history.Of("often")->back(), (LogonCost{12, Cost{12, 0}}));
    EXPECT_EQ(history.Last(), (LastLogon{12, 12000, 7}));

    // Beyond kEntriesKept keys, those seen longest ago go.
    std::map<std::string, std::optional<Cost>> many{{"third", Cost{}}};
    for (std::size_t i = 0; i < kEntriesKept - 1; ++i) many["k" + std::to_string(i)] = Cost{};
    history.AddLogon(13, many, {});
    EXPECT_EQ(history.Of("often"), nullptr);
    EXPECT_EQ(*history.Of("third"), (std::vector<LogonCost>{{3, std::nullopt}, {13, Cost{}}}));
}

TEST(ImpactHistory, ReadsBackWhatItWrote) {
    const History history = Sample();
    const std::string bytes = history.Serialise();
    const History read = History::Parse(bytes);
    for (std::string_view key : {"crun\tA\\B\n", "lrun\tx\t0", "SUF\ty.lnk\tff"})
        EXPECT_EQ(*read.Of(key), *history.Of(key));
    EXPECT_EQ(read.Last(), history.Last());
    EXPECT_EQ(read.Serialise(), bytes);
    EXPECT_NE(HistoryKey("crun", "A", "a.exe"), HistoryKey("crun", "A", "a.exe -x"));
}

TEST(ImpactHistory, SkipsDamagedLinesAndReadsNothingFromOtherBytes) {
    const std::string bytes = Sample().Serialise();
    std::string damaged = bytes;
    damaged[bytes.find("lrun") + 1] = 'R';
    const History read = History::Parse(damaged);
    EXPECT_EQ(read.Of("lrun\tx\t0"), nullptr);
    EXPECT_EQ(read.Of("lRun\tx\t0"), nullptr);
    EXPECT_NE(read.Of("SUF\ty.lnk\tff"), nullptr);
    for (std::string other : {std::string("garbage\r\n") + bytes, bytes.substr(1), std::string(300, '\0')})
        EXPECT_EQ(History::Parse(other).Serialise(), History().Serialise());

    // Cut anywhere: every whole line before the cut is read as it was, and
    // nothing of the cut line (the last logons are found again without theirs).
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        const std::string written = bytes.substr(0, cut);
        const auto whole = text::SplitLines(written.substr(0, written.rfind("\r\n") + 1));
        const auto lines = text::SplitLines(written);
        const auto again = text::SplitLines(History::Parse(written).Serialise());
        for (std::size_t i = 1; i < whole.size(); ++i)
            EXPECT_NE(std::find(again.begin(), again.end(), whole[i]), again.end()) << cut << ": " << whole[i];
        for (std::size_t i = 1; i < again.size(); ++i) {
            if (again[i].starts_with("logons")) continue;
            EXPECT_NE(std::find(lines.begin(), lines.end(), again[i]), lines.end()) << cut << ": " << again[i];
        }
    }
}

TEST(ImpactHistory, AFullFileStaysBelowAMegabyte) {
    History history;
    std::map<std::string, std::optional<Cost>> results;
    for (std::size_t i = 0; i < kEntriesKept; ++i)
        results[HistoryKey("lrunonceex", "A program with a longish name " + std::to_string(i), "c")] =
            Cost{600000, 4000000000};
    for (std::uint64_t logon = 0; logon < kLogonsKept; ++logon)
        history.AddLogon(0x1dbffffffffffff + logon * 864000000000, results, {});
    EXPECT_LT(history.Serialise().size(), 1000000u);
}

TEST(ImpactSummary, MedianOfTheMeasuredLogonsAndTheLast) {
    const std::vector<LogonCost> logons = {
        {1, Cost{100, 0}}, {2, std::nullopt}, {3, Cost{2000, 0}}, {4, Cost{1500, 9}}};
    const Summary summary = Summarise(&logons);
    EXPECT_EQ(summary.level, Level::High);
    EXPECT_EQ(summary.median, (Cost{1500, 0}));
    EXPECT_EQ(summary.last, (Cost{1500, 9}));
    EXPECT_EQ(summary.logons, 3u);
    const std::vector<LogonCost> lastUnmeasured = {{1, Cost{100, 0}}, {2, std::nullopt}}, none = {{1, std::nullopt}};
    EXPECT_EQ(Summarise(&lastUnmeasured).last, std::nullopt);
    EXPECT_EQ(Summarise(&none).level, Level::Unmeasured);
    EXPECT_EQ(Summarise(nullptr).level, Level::Unmeasured);
}

TEST(ImpactSummary, TextsAndJson) {
    const std::vector<std::pair<Summary, std::string>> tips = {
        {{Level::High, Cost{1480, 0}, Cost{1524, 12 * 1024}, 3},
         "Startup impact: High (1.52 s of CPU, 12 KB of disk at the last logon; median 1.48 s, 0 B over 3 logons)\n"
         "Delaying it at logon would make the logon faster: double-click its Startup delay cell."},
        {{Level::Low, Cost{5, 1023}, Cost{5, 1023}, 1},
         "Startup impact: Low (0.01 s of CPU, 1023 B of disk at the last logon; median 0.01 s, 1023 B over 1 logon)"},
        {{Level::Medium, Cost{999, 1048064}, std::nullopt, 2},
         "Startup impact: Medium (median 1.00 s of CPU, 1.0 MB of disk over 2 logons; not measured at the last logon)"},
        {{Level::Medium, Cost{12345, 3670016}, Cost{10, 1535}, 2},
         "Startup impact: Medium (0.01 s of CPU, 1 KB of disk at the last logon; median 12.35 s, 3.5 MB over 2 "
         "logons)"},
        {{}, "Startup impact: not measured yet"},
    };
    for (const auto& [summary, tip] : tips) EXPECT_EQ(TipText(summary), tip);
    EXPECT_EQ(JsonObject(tips[0].first), "{\"level\": \"high\", \"cpuMs\": 1480, \"diskBytes\": 0, \"logons\": 3}");
    EXPECT_EQ(JsonObject({}), "{\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}");
    const LastLogon last{132000000000000000, 23499, 4149};
    EXPECT_EQ(LastLogonText(last), "Last logon: quiet after 23 s; startup programs used 4.1 s of CPU");
    EXPECT_EQ(LastLogonJson(last), "{\"quietAfterMs\": 23499, \"programsCpuMs\": 4149, \"logon\": 132000000000000000}");
}

// Readings a second apart from 1 s on, each second as busy as the table says
// (in percent; -1: the counters went back).
TEST(ImpactQuietClock, FirstRunOfFiveQuietSeconds) {
    const std::vector<std::pair<std::vector<int>, std::optional<std::uint64_t>>> cases = {
        {{50, 50, 5, 5, 5, 5, 5}, 3000},
        {{9, 9, 9, 9, 9, 50}, 1000},
        {{10, 10, 10, 10, 10, 10}, std::nullopt},  // 10% is busy
        {{5, 5, 5, 5}, std::nullopt},              // four seconds only
        {{5, 5, 5, 5, 50, 0, 0, 0, 0, 0}, 6000},   // the first run broken
        {{5, 5, -1, 5, 5, 5, 5, 5}, 4000},         // no reading: starts anew
    };
    const std::uint64_t second = 10000000;  // in 100 ns units
    for (const auto& [busy, quiet] : cases) {
        QuietClock clock;
        std::uint64_t idle = 100 * second, kernel = 300 * second, at = 1000;
        clock.Add(at, idle, kernel, 7);
        for (int percent : busy) {
            idle = percent < 0 ? idle - second : idle + second * (100 - percent) / 100;
            kernel += percent < 0 ? 0 : second;
            clock.Add(at += 1000, idle, kernel, 7);
        }
        EXPECT_EQ(clock.QuietAfter(0), quiet) << ::testing::PrintToString(busy);
        if (quiet) {
            EXPECT_EQ(clock.QuietAfter(*quiet + 1), 0u);  // quiet from before that start
        }
    }
}

}  // namespace
}  // namespace vantorell::testing

// ---- the program's measuring at logon, on the in-memory platform

#include "StoreTestScene.h"
#include "app/common/LogonImpact.h"

namespace vantorell::testing {
namespace {

class LogonImpactTest : public StoreScene {
protected:
    static constexpr std::uint64_t kSecond = 10'000'000;  // in file time
    LogonImpactTest() {
        PutRun("crun", "Burner", "C:\\x\\burner.exe /run");
        PutRun("crun", "Quiet", "C:\\x\\quiet.exe");
        PutRun("crun", "Asleep", "C:\\x\\asleep.exe");
        store.ScanEntries();
        for (const auto& e : Entries()) {
            identity::Identity id;
            id.file = e.command.substr(0, e.command.find(".exe") + 4);
            ids.push_back(id);
        }
    }
    platform::ProcessFacts Process(std::uint32_t pid, std::uint32_t parent, std::uint64_t created, std::string image,
                                   std::uint64_t cpuMs) {
        return {pid, parent, created, std::move(image), std::nullopt, cpuMs, 0};
    }
    std::vector<identity::Identity> ids;
    app::LogonImpact impact{p, store, "C:\\Users\\user\\AppData\\Local\\Vantorell\\StartupImpact.txt",
                            [this](std::size_t i) { return i < ids.size() ? &ids[i] : nullptr; }};
};

TEST_F(LogonImpactTest, EachEntryGetsItsProgramsAndTheirChildrenAndTheHistoryIsKept) {
    const std::uint64_t t0 = platform::MemoryPlatform::kStartTime;
    p.SetCpuTimes(platform::CpuTimes{});
    // Started before the program (Windows starts the Run keys together with it), and a child.
    p.SetSessionProcesses({Process(10, 4, t0 - 2 * kSecond, "C:\\x\\burner.exe", 900),
                           Process(11, 10, t0 + kSecond, "C:\\x\\helper.exe", 300),
                           Process(12, 4, t0 + kSecond, "C:\\x\\quiet.exe", 5),
                           Process(13, 4, t0 - 60 * kSecond, "C:\\x\\asleep.exe", 5000)});  // before the logon
    int finished = 0;
    impact.Start(60, [&] { ++finished; });
    EXPECT_TRUE(impact.Running());
    p.Advance(10'000);
    // Later figures of the same programs replace the first ones; the child has ended.
    p.SetSessionProcesses({Process(10, 4, t0 - 2 * kSecond, "C:\\x\\burner.exe", 1400),
                           Process(12, 4, t0 + kSecond, "C:\\x\\quiet.exe", 8)});
    p.Advance(51'000);
    EXPECT_EQ(finished, 1);
    const auto summary = [&](std::size_t i) { return impact::Summarise(impact.History().Of(impact.KeyOf(i))); };
    ASSERT_TRUE(summary(0).median);
    EXPECT_EQ(summary(0).median->cpuMs, 1700u);  // 1400 and the child's last 300
    EXPECT_EQ(summary(0).level, impact::Level::High);
    EXPECT_EQ(summary(1).level, impact::Level::Low);
    EXPECT_EQ(summary(2).level, impact::Level::Unmeasured);  // not started in this logon's window
    // Kept in the file, which the next start reads.
    app::LogonImpact next{p, store, "C:\\Users\\user\\AppData\\Local\\Vantorell\\StartupImpact.txt",
                          [](std::size_t) { return nullptr; }};
    next.Load();
    EXPECT_EQ(impact::Summarise(next.History().Of(impact.KeyOf(0))).level, impact::Level::High);
    // The processors never quiet down here: watched five minutes after the logon at most, then nothing runs.
    p.Advance(250'000);
    EXPECT_FALSE(impact.Running());
    EXPECT_EQ(finished, 2);
    ASSERT_TRUE(impact.History().Last());
    EXPECT_EQ(impact.History().Last()->programsCpuMs, 1708u);
}

TEST_F(LogonImpactTest, AStartLongAfterTheLogonMeasuresNothing) {
    p.SetLogonTime(platform::MemoryPlatform::kStartTime - 120 * kSecond);
    impact.Start(60, [] {});
    EXPECT_FALSE(impact.Running());
}

}  // namespace
}  // namespace vantorell::testing
