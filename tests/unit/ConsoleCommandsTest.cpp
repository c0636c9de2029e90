// The console companion's command line and output, against the memory platform.
#include <gtest/gtest.h>

#include "StoreTestScene.h"
#include "app/common/ConsoleCommands.h"

namespace vantorell::testing {
namespace {

using app::RunConsole;

class Console : public StoreScene {};

TEST_F(Console, ListAsJsonInDisplayOrder) {
    PutList("zed;crun;z.exe;;1;30\r\n");
    PutRun("crun", "Alpha", "C:\\Program Files\\A\\a.exe \"%1\"");
    PutRun("lrun", "caf\xC3\xA9\ttab", "line\nbreak\x01");
    const auto r = RunConsole(store, {"list", "--json"});
    EXPECT_EQ(r.exitCode, app::kExitOk);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "[\n"
              "  {\"position\": 0, \"index\": 1, \"state\": \"1\", \"name\": \"Alpha\", \"location\": \"crun\", "
              "\"confirm\": \"0\", \"delay\": \"0\", \"command\": \"C:\\\\Program Files\\\\A\\\\a.exe \\\"%1\\\"\"},\n"
              "  {\"position\": 1, \"index\": 2, \"state\": \"1\", \"name\": \"caf\xC3\xA9\\ttab\", \"location\": "
              "\"lrun\", \"confirm\": \"0\", \"delay\": \"0\", \"command\": \"line\\nbreak\\u0001\"},\n"
              "  {\"position\": 2, \"index\": 0, \"state\": \"2\", \"name\": \"zed\", \"location\": \"crun\", "
              "\"confirm\": \"1\", \"delay\": \"30\", \"command\": \"z.exe\"}\n"
              "]\n");
    EXPECT_EQ(RunConsole(store, {"list", "--json"}).out, r.out);  // listing changes nothing
}

TEST_F(Console, ListAsAnAlignedTable) {
    PutRun("crun", "\xC3\x89t\xC3\xA9", "e.exe");
    PutRun("crun", "b", "multi\r\nline");
    const auto r = RunConsole(store, {"list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "Position  Index  State  Name  Location  Confirm  Delay  Command\n"
              "0         1      1      b     crun      0        0      multi??line\n"
              "1         0      1      \xC3\x89t\xC3\xA9   crun      0        0      e.exe\n");
    EXPECT_EQ(RunConsole(store, {"list", "--json"}).out.find("multi\\r\\nline") != std::string::npos, true);
}

TEST_F(Console, EmptyTable) {
    EXPECT_EQ(RunConsole(store, {"list", "--json"}).out, "[]\n");
    EXPECT_EQ(RunConsole(store, {"list"}).out, "Position  Index  State  Name  Location  Confirm  Delay  Command\n");
}

TEST_F(Console, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},      {"lsit"}, {"list", "--jsn"}, {"list", "extra"}, {"list", "--json", "--json"}, {"list", "--json=yes"},
        {"LIST"}};
    for (const auto& args : bad) {
        const auto r = RunConsole(store, args);
        EXPECT_EQ(r.exitCode, app::kExitUsage) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: vantorellc"), std::string::npos);
    }
    const auto help = RunConsole(store, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("list [--json]"), std::string::npos);
}

TEST_F(Console, AnUnreadableListFileExitsWithOne) {
    PutList("a;crun;x;;0;0\r\n");
    p.SetFaultHook([](platform::Op op, platform::Hive, std::string_view) { return op == platform::Op::ReadFile; });
    const auto r = RunConsole(store, {"list"});
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("vantorellc: Cannot read the file \"" + std::string(kListFile) + "\"", 0), 0u) << r.err;
    EXPECT_EQ(ListBytes(), "a;crun;x;;0;0\r\n");
}

TEST(ConsoleJson, StringEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", "\"\""},
        {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {std::string("\0\x1F\x7F", 3), "\"\\u0000\\u001f\x7F\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {"\xE5\x90\xAF\xF0\x9F\x98\x80", "\"\xE5\x90\xAF\xF0\x9F\x98\x80\""},
        {"\xFF\xC3(\xE5\x90", "\"\\ufffd\\ufffd(\\ufffd\\ufffd\""},
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate is not UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(app::JsonString(c.in), c.out);
}

}  // namespace
}  // namespace vantorell::testing
