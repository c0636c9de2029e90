// The console companion's command line and output, against the memory platform.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

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
    const auto r = RunConsole(p, store, {"list", "--json"});
    EXPECT_EQ(r.exitCode, app::kExitOk);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(
        r.out,
        "[\n"
        "  {\"position\": 0, \"index\": 1, \"state\": \"1\", \"name\": \"Alpha\", \"location\": \"crun\", "
        "\"view\": \"\", \"windowsOff\": false, \"confirm\": \"0\", \"delay\": \"0\", \"command\": "
        "\"C:\\\\Program Files\\\\A\\\\a.exe \\\"%1\\\"\", "
        "\"rating\": \"0\", "
        "\"impact\": {\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}, "
        "\"file\": \"C:\\\\Program Files\\\\A\\\\a.exe\", \"fileExists\": false, \"inline\": false, \"signature\": "
        "\"missing\", "
        "\"signer\": \"\", "
        "\"issuer\": \"\", \"signerSha1\": \"\", \"signerSha256\": \"\", \"company\": \"\", \"description\": \"\", "
        "\"fileVersion\": \"\"},\n"
        "  {\"position\": 1, \"index\": 2, \"state\": \"1\", \"name\": \"caf\xC3\xA9\\ttab\", \"location\": "
        "\"lrun\", \"view\": \"64\", \"windowsOff\": false, \"confirm\": \"0\", \"delay\": \"0\", \"command\": "
        "\"line\\nbreak\\u0001\", \"rating\": \"0\", "
        "\"impact\": {\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}, "
        "\"file\": \"line\\nbreak\\u0001.exe\", \"fileExists\": false, \"inline\": false, \"signature\": \"missing\", "
        "\"signer\": \"\", "
        "\"issuer\": \"\", \"signerSha1\": \"\", \"signerSha256\": \"\", \"company\": \"\", \"description\": \"\", "
        "\"fileVersion\": \"\"},\n"
        "  {\"position\": 2, \"index\": 0, \"state\": \"2\", \"name\": \"zed\", \"location\": \"crun\", "
        "\"view\": \"\", \"windowsOff\": false, \"confirm\": \"1\", \"delay\": \"30\", \"command\": \"z.exe\", "
        "\"rating\": \"0\", "
        "\"impact\": {\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}, "
        "\"file\": \"z.exe\", \"fileExists\": false, \"inline\": false, \"signature\": \"missing\", \"signer\": \"\", "
        "\"issuer\": \"\", \"signerSha1\": \"\", \"signerSha256\": \"\", \"company\": \"\", \"description\": \"\", "
        "\"fileVersion\": \"\"}\n"
        "]\n");
    EXPECT_EQ(RunConsole(p, store, {"list", "--json"}).out, r.out);  // listing changes nothing
}

TEST_F(Console, OptionsThatAreNoPlainNumberAreListedAsTheyStand) {
    PutList("odd;crun;o.exe;;yes;+5\r\nshort;lrun;s.exe\r\n");
    EXPECT_EQ(
        RunConsole(p, store, {"list", "--json"}).out,
        "[\n"
        "  {\"position\": 0, \"index\": 0, \"state\": \"2\", \"name\": \"odd\", \"location\": \"crun\", "
        "\"view\": \"\", \"windowsOff\": false, \"confirm\": \"yes\", \"delay\": \"+5\", \"command\": \"o.exe\", "
        "\"rating\": \"0\", "
        "\"impact\": {\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}, "
        "\"file\": \"o.exe\", \"fileExists\": false, \"inline\": false, \"signature\": \"missing\", \"signer\": \"\", "
        "\"issuer\": \"\", \"signerSha1\": \"\", \"signerSha256\": \"\", \"company\": \"\", \"description\": \"\", "
        "\"fileVersion\": \"\"},\n"
        "  {\"position\": 1, \"index\": 1, \"state\": \"0\", \"name\": \"short\", \"location\": \"lrun\", "
        "\"view\": \"64\", \"windowsOff\": false, \"confirm\": \"s.exe\", \"delay\": \"s.exe\", \"command\": "
        "\"s.exe\", \"rating\": \"0\", "
        "\"impact\": {\"level\": \"unmeasured\", \"cpuMs\": 0, \"diskBytes\": 0, \"logons\": 0}, "
        "\"file\": \"s.exe\", \"fileExists\": false, \"inline\": false, \"signature\": \"missing\", \"signer\": \"\", "
        "\"issuer\": \"\", \"signerSha1\": \"\", \"signerSha256\": \"\", \"company\": \"\", \"description\": \"\", "
        "\"fileVersion\": \"\"}\n"
        "]\n");
    EXPECT_EQ(ListBytes(), "odd;crun;o.exe;;yes;+5\r\nshort;lrun;s.exe\r\n");
}

TEST_F(Console, ListAsAnAlignedTable) {
    PutRun("crun", "\xC3\x89t\xC3\xA9", "e.exe");
    PutRun("crun", "b", "multi\r\nline");
    const auto r = RunConsole(p, store, {"list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(
        r.out,
        "Position  Index  State  Name  Location  View  Windows  Confirm  Delay  Rating  Publisher       "
        "Command\n"
        "0         1      1      b     crun                     0        0      0       File not found  "
        "multi??line\n"
        "1         0      1      \xC3\x89t\xC3\xA9   crun                     0        0      0       File not found  "
        "e.exe\n");
    EXPECT_EQ(RunConsole(p, store, {"list", "--json"}).out.find("multi\\r\\nline") != std::string::npos, true);
}

TEST_F(Console, EmptyTable) {
    EXPECT_EQ(RunConsole(p, store, {"list", "--json"}).out, "[]\n");
    EXPECT_EQ(RunConsole(p, store, {"list"}).out,
              "Position  Index  State  Name  Location  View  Windows  Confirm  Delay  Rating  Publisher  Command\n");
}

// The rating is the grid's rule over the built-in lists: by name, by the
// command's file name or bare name; green over blue over red.
TEST_F(Console, ListRatesEachEntryLikeTheGrid) {
    PutRun("crun", "AVG7_CC", "C:\\AVG\\avgcc.exe");     // green by name
    PutRun("crun", "JUSCHED", "C:\\Java\\x.exe");        // blue by name, any case
    PutRun("lrun", "worm", "C:\\Windows\\msblast.exe");  // red by the command's bare name
    PutRun("lrun", "mixed", "C:\\x\\jusched.exe");       // blue by the command's bare name
    PutRun("lrun", "Vantorell", "C:\\x\\msblast.exe");   // green by name beats red by command
    PutRun("lrun", "plain", "C:\\x\\plain.exe");         // in no list
    const auto json = RunConsole(p, store, {"list", "--json"}).out;
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"AVG7_CC", "3"}, {"JUSCHED", "2"}, {"worm", "1"}, {"mixed", "2"}, {"Vantorell", "3"}, {"plain", "0"}};
    for (const auto& [name, rating] : expected) {
        const auto at = json.find("\"name\": \"" + name + "\"");
        ASSERT_NE(at, std::string::npos) << name;
        const auto end = json.find('}', at);
        EXPECT_NE(json.substr(at, end - at).find("\"rating\": \"" + rating + "\""), std::string::npos) << name;
    }
    // The table's Rating column, then the publisher, before the command.
    std::istringstream table(RunConsole(p, store, {"list"}).out);
    std::string line;
    std::getline(table, line);
    EXPECT_NE(line.find("Delay  Rating  Publisher"), std::string::npos) << line;
    while (std::getline(table, line) && line.find(" worm ") == std::string::npos) {
    }
    std::istringstream fields(line);
    std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
    ASSERT_EQ(words.size(), 13u) << line;  // "64" in the View column, nothing in Windows, "File not found"
    EXPECT_EQ(words[5], "64");
    EXPECT_EQ(words[8], "1");
}

TEST_F(Console, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},      {"lsit"}, {"list", "--jsn"}, {"list", "extra"}, {"list", "--json", "--json"}, {"list", "--json=yes"},
        {"LIST"}};
    for (const auto& args : bad) {
        const auto r = RunConsole(p, store, args);
        EXPECT_EQ(r.exitCode, app::kExitUsage) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: vantorellc"), std::string::npos);
    }
    const auto help = RunConsole(p, store, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("list [--json]"), std::string::npos);
}

TEST_F(Console, AnUnreadableListFileExitsWithOne) {
    PutList("a;crun;x;;0;0\r\n");
    p.SetFaultHook([](platform::Op op, platform::Hive, std::string_view) { return op == platform::Op::ReadFile; });
    const auto r = RunConsole(p, store, {"list"});
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("vantorellc: Cannot read the file \"" + std::string(kListFile) + "\"", 0), 0u) << r.err;
    EXPECT_EQ(ListBytes(), "a;crun;x;;0;0\r\n");
}

// Services: a Windows' own one is listed only with --all and switched off
// only with --force; the others as any entry, with what their key says.
TEST_F(Console, WindowsOwnServicesAreListedWithAllAndSwitchedOffWithForce) {
    using S = platform::MemoryPlatform::ServiceScene;
    p.PutService("Audio", S{.type = 0x20,
                            .imagePath = "%SystemRoot%\\System32\\svchost.exe -k audio",
                            .serviceDll = "C:\\Windows\\System32\\audiosrv.dll",
                            .displayName = "Windows Audio"});
    p.PutService("Updater", S{.imagePath = "C:\\Acme\\upd.exe", .description = "Keeps \"Acme\" new"});
    p.PutFile("C:\\Windows\\System32\\audiosrv.dll", "MZ");
    platform::SignatureFacts windows;
    windows.signer = "Microsoft Windows";
    windows.issuer = "Microsoft Windows Production PCA 2011";
    p.AddToCatalog("C:\\Windows\\System32\\audiosrv.dll", platform::CatalogHash::Sha256, windows);

    const std::string listed = RunConsole(p, store, {"list", "--json"}).out;
    EXPECT_EQ(listed.find("Audio"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\"service\": {\"displayName\": \"\", \"description\": \"Keeps \\\"Acme\\\" new\""),
              std::string::npos)
        << listed;
    const std::string all = RunConsole(p, store, {"list", "--json", "--all"}).out;
    EXPECT_NE(all.find("\"displayName\": \"Windows Audio\""), std::string::npos) << all;

    const auto refused = RunConsole(p, store, {"disable", "Audio", "--location", "lsvc"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(RunConsole(p, store, {"disable", "Updater", "--location", "lsvc"}).exitCode, 0);
    EXPECT_EQ(RunConsole(p, store, {"disable", "Audio", "--location", "lsvc", "--force"}).exitCode, 0);
    EXPECT_EQ(p.GetValue(platform::Hive::LocalMachine, std::string(platform::kServicesKey) + "\\Audio", "Start")->data[0],
              4);
}

// Every entry whose file is Windows' own is left out of the list, whatever its
// place, while it stands as Windows has it; one switched off is listed.
TEST_F(Console, WindowsOwnEntriesOfAnyPlaceAreListedWithAllOnly) {
    platform::SignatureFacts windows;
    windows.signer = "Microsoft Windows";
    windows.issuer = "Microsoft Windows Production PCA 2011";
    for (const char* file : {"C:\\Windows\\System32\\sechealth.exe", "C:\\Windows\\System32\\ctf.exe"}) {
        p.PutFile(file, "MZ");
        p.AddToCatalog(file, platform::CatalogHash::Sha256, windows);
    }
    PutRun("lrun", "SecurityHealth", "C:\\Windows\\System32\\sechealth.exe");
    PutRun("crun", "Acme", "C:\\Acme\\acme.exe");
    PutList("ctf;crun;C:\\Windows\\System32\\ctf.exe;;0;0\r\n");  // switched off by the user

    const std::string listed = RunConsole(p, store, {"list"}).out;
    EXPECT_EQ(listed.find("SecurityHealth"), std::string::npos) << listed;
    EXPECT_NE(listed.find("Acme"), std::string::npos) << listed;
    EXPECT_NE(listed.find("ctf"), std::string::npos) << listed;
    const std::string all = RunConsole(p, store, {"list", "--all"}).out;
    EXPECT_NE(all.find("SecurityHealth"), std::string::npos) << all;
    // Switching it off asks for nothing more: --force is for Windows' own services.
    EXPECT_EQ(RunConsole(p, store, {"disable", "SecurityHealth"}).exitCode, 0);
}

}  // namespace
}  // namespace vantorell::testing
