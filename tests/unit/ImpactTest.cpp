// The startup impact of entries: levels, and which entry a process belongs to.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "impact/Attribution.h"
#include "impact/Impact.h"

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

}  // namespace
}  // namespace vantorell::testing
