// The rating name lists: exact, case-insensitive lookups, and the lists
// compiled into the program checked against their data files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/MemoryPlatform.h"
#include "ui/NameLists.h"
#include "ui/NameListsData.h"

namespace vantorell::ui {
namespace {

using platform::MemoryPlatform;

TEST(NameList, MatchesWholeNameWithoutRegardToCaseOnly) {
    MemoryPlatform p;
    const std::vector<std::string_view> items{" lead",
                                              "trail ",
                                              "Star*",
                                              "why?",
                                              "Two Words",
                                              "R\xC3\x98"
                                              "DE",
                                              "qttask"};
    const NameList list(p, items);
    struct Case {
        std::string_view key;
        bool found;
    };
    const Case cases[] = {
        {" lead", true},
        {"lead", false},
        {" LEAD", true},
        {"trail ", true},
        {"trail", false},
        {"star*", true},
        {"Starry", false},
        {"Star", false},
        {"WHY?", true},
        {"why!", false},
        {"two words", true},
        {"TwoWords", false},
        {"r\xC3\xB8"
         "de",
         true},
        {"qttasks", false},
        {"qttas", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(list.Contains(c.key), c.found) << '"' << c.key << '"';
    EXPECT_EQ(list.Size(), items.size());
    // A short list given one by one keeps its bytes in the list itself: a moved list still finds them.
    const std::vector<std::string_view> few{"ab", "Cd"};
    NameList small(p, few);
    const NameList moved = std::move(small);
    EXPECT_TRUE(moved.Contains("CD"));
    EXPECT_TRUE(moved.Contains("aB"));
    EXPECT_FALSE(moved.Contains("abcd"));
}

// ---- the lists compiled into the program

std::filesystem::path RatingFolder() {
    return std::filesystem::path(VANTORELL_SOURCE_DIR) / "src" / "ui" / "rating";
}

// The names of a data file: one per line, line ends (CR, LF) removed, empty lines skipped.
std::vector<std::string> FileNames(const std::string& file) {
    std::ifstream in(RatingFolder() / file, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << (RatingFolder() / file);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> names;
    std::string line;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            if (!line.empty()) names.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) names.push_back(line);
    return names;
}

struct Embedded {
    const char* file;
    PackedNames names;
};

TEST(BuiltinNameLists, HoldEveryNameOfTheirFileExactlyAndInOrder) {
    const Embedded lists[] = {
        {"red.txt", RedListNames()}, {"blue.txt", BlueListNames()}, {"green.txt", GreenListNames()}};
    for (const Embedded& list : lists) {
        const auto expected = FileNames(list.file);
        ASSERT_FALSE(expected.empty()) << list.file;
        ASSERT_EQ(list.names.size(), expected.size()) << list.file;
        std::size_t i = 0;
        for (const std::string_view name : list.names) {
            ASSERT_LT(i, expected.size()) << list.file;
            ASSERT_EQ(name, expected[i]) << list.file << ':' << i;
            ++i;
        }
        EXPECT_EQ(i, expected.size()) << list.file;
    }
}

TEST(BuiltinNameLists, SampleNamesAreInTheirList) {
    MemoryPlatform p;
    const NameLists lists = NameLists::Builtin(p);
    EXPECT_EQ(lists.BPL.Size(), FileNames("red.txt").size());
    EXPECT_EQ(lists.UPL.Size(), FileNames("blue.txt").size());
    EXPECT_EQ(lists.GPL.Size(), FileNames("green.txt").size());

    for (std::string_view name :
         {"msblast", "Backdoor.NuAgent", "QTTASKS", "ctfmon32", "svchost", "[random file name]"}) {
        EXPECT_TRUE(lists.BPL.Contains(name)) << name;
        EXPECT_FALSE(lists.UPL.Contains(name) || lists.GPL.Contains(name)) << name;
    }
    for (std::string_view name : {"qttask", "QuickTime Task", "jusched", "ctfmon", "msmsgs",
                                  "R\xC3\x98"
                                  "DE Central"}) {
        EXPECT_TRUE(lists.UPL.Contains(name)) << name;
        EXPECT_FALSE(lists.BPL.Contains(name) || lists.GPL.Contains(name)) << name;
    }
    for (std::string_view name : {"Vantorell", "vantorell", "AVG7_CC", "zonealarm", "ZoneAlarm Pro"}) {
        EXPECT_TRUE(lists.GPL.Contains(name)) << name;
        EXPECT_FALSE(lists.BPL.Contains(name) || lists.UPL.Contains(name)) << name;
    }
    // Blanks at either end are part of a name.
    EXPECT_FALSE(lists.GPL.Contains(" Vantorell"));
    EXPECT_FALSE(lists.GPL.Contains("Vantorell "));
}

TEST(BuiltinNameLists, NoNameIsInTwoLists) {
    MemoryPlatform p;
    const NameLists lists = NameLists::Builtin(p);
    for (std::string_view name : RedListNames())
        EXPECT_FALSE(lists.UPL.Contains(name) || lists.GPL.Contains(name)) << name;
    for (std::string_view name : BlueListNames()) EXPECT_FALSE(lists.GPL.Contains(name)) << name;
}

}  // namespace
}  // namespace vantorell::ui
