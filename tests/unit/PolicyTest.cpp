// Policies through the console's "apply" and "export", on the memory platform.
#include <gtest/gtest.h>

#include "StoreTestScene.h"
#include "app/common/ConsoleCommands.h"
#include "base/JsonText.h"
#include "policy/Plan.h"

namespace vantorell::testing {
namespace {

using app::RunConsole;

constexpr const char* kPolicy = "C:\\policy.json";

class PolicyScene : public StoreScene {
protected:
    PolicyScene() { p.SetExecutablePath("C:\\Program Files\\Vantorell\\vantorellc.exe"); }

    app::ConsoleOutput Apply(std::string_view policy, bool check = false) {
        p.PutFile(kPolicy, policy);
        std::vector<std::string> args{"apply", kPolicy, "--json"};
        if (check) args.push_back("--check");
        return RunConsole(p, store, args);
    }
    // "state confirm delay" of each entry named `name`, in table order.
    std::string StateOf(std::string_view name) {
        store.ScanEntries();
        std::string out;
        for (const auto& e : Entries())
            if (e.name == name) out += std::string(store::StateText(e.state)) + e.confirm.Text() + e.delay.Text() + " ";
        return out.empty() ? "gone" : out;
    }
};

TEST(PolicyMatch, WildcardsAndCodePoints) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"updater*", "updater", true}, {"updater*", "updater64", true},
        {"*date*", "updater", true},   {"up?ater", "updater", true},
        {"up?ater", "upater", false},  {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},    {"*", "", true},
        {"?", "\xC3\xA9", true},       {"??", "\xC3\xA9", false},
        {"backup", "backup2", false},  {"*.lnk", "tool.lnk", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(policy::NameMatches(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST_F(PolicyScene, FirstMatchingRuleDecidesAndNamesCompareWithoutCase) {
    PutRun("crun", "UpdaterA", "a.exe");
    PutRun("lrun", "UpdaterB", "b.exe");
    PutRun("crun", "Chat", "c.exe");
    const auto r = Apply(R"({"version": 1, "entries": [
        {"name": "updatera", "state": "enabled"},
        {"name": "Updater*", "location": "crun", "state": "disabled"},
        {"name": "UPDATER?", "state": "enabled", "delay": 30},
        {"name": "Chat", "state": "enabled", "confirm": true},
        {"name": "Ghost", "state": "deleted"}]})");
    EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(StateOf("UpdaterA"), "100 ");   // rule 0 before rule 1
    EXPECT_EQ(StateOf("UpdaterB"), "2030 ");  // rule 1 is for crun only
    EXPECT_EQ(StateOf("Chat"), "210 ");
    EXPECT_NE(r.out.find(R"("name": "Ghost",)"), std::string::npos);  // named nothing: reported
    EXPECT_NE(r.out.find(R"("result": "no entry")"), std::string::npos);
    EXPECT_NE(r.out.find(R"("changed": true)"), std::string::npos);
}

// An allow-list: the program's own entry survives it, and so does anything
// "*" would switch off.
TEST_F(PolicyScene, UnlistedDisableSparesTheOwnEntry) {
    PutRun("lrun", "Vantorell", "\"C:\\Program Files\\Vantorell\\vantorell.exe\" -b");
    PutRun("crun", "Keep", "k.exe");
    PutRun("crun", "Other", "o.exe");
    PutList("Held;crun;h.exe;;1;0\r\n");
    const char* allowOnlyKeep =
        R"({"version": 1, "entries": [{"name": "keep", "state": "enabled"}], "unlisted": "disable"})";
    const auto check = Apply(allowOnlyKeep, true);
    EXPECT_EQ(check.exitCode, 1);         // drift
    EXPECT_EQ(StateOf("Other"), "100 ");  // a check changes nothing
    const auto r = Apply(allowOnlyKeep);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(StateOf("Keep"), "100 ");
    EXPECT_EQ(StateOf("Other"), "000 ");
    EXPECT_EQ(StateOf("Held"), "000 ");
    EXPECT_EQ(StateOf("Vantorell"), "100 ");
    EXPECT_NE(r.out.find(R"("name": "Vantorell",)"), std::string::npos);
    EXPECT_NE(r.out.find(R"("result": "protected")"), std::string::npos);
    EXPECT_EQ(Apply(allowOnlyKeep, true).exitCode, 0);  // protected is no drift
}

// Userinit's programs run before the shell: a policy that would have one
// started by Vantorell is protected, in the check as in the change.
TEST_F(PolicyScene, NoRecordIsHandedOverWhereVantorellCannotStartIt) {
    PutList("C:\\x\\evil.exe;luserinit;C:\\x\\evil.exe;REG_SZ 1 a,;0;0\r\n");
    const char* delayed =
        R"({"version": 1, "entries": [{"name": "C:\\x\\evil.exe", "state": "enabled", "delay": 30}]})";
    EXPECT_EQ(Apply(delayed, true).exitCode, 0);
    const auto r = Apply(delayed);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(R"("result": "protected")"), std::string::npos) << r.out;
    EXPECT_EQ(StateOf("C:\\x\\evil.exe"), "000 ");
}

// Export describes the machine; applying it, or any policy a second time,
// finds nothing to do and writes nothing. Programs that put themselves back
// beside their records (Back, Again) are told apart from the records.
TEST_F(PolicyScene, ExportAndSecondApplyChangeNothing) {
    NameStartupFolders();
    PutRun("crun", "A", "a.exe");
    PutRun("lrun", "B*", "b.exe");
    PutRun("crun", "Back", "back.exe");
    PutRun("crun", "again", "again.exe");
    PutLink(kUserStartup, "Tool.lnk", "C:\\t.exe");
    PutList(
        "C;crun;c.exe;;0;45\r\nD;lrun;d.exe;;0;0\r\nOld;xrun;o.exe;;0;0\r\n"
        "Back;crun;back.exe;;0;0\r\nAgain;crun;again.exe;;1;30\r\n");
    const auto exported = RunConsole(p, store, {"export"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_LT(exported.out.find("\"A\""), exported.out.find("\"B*\""));  // wildcard names last

    int writes = 0;
    p.SetFaultHook([&](platform::Op op, platform::Hive, std::string_view) {
        writes += op == platform::Op::SetValue || op == platform::Op::DeleteValue || op == platform::Op::WriteFile ||
                  op == platform::Op::DeleteFile || op == platform::Op::WriteShortcut;
        return false;
    });
    const auto same = Apply(exported.out);
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_NE(same.out.find(R"("compliant": true)"), std::string::npos);
    EXPECT_NE(same.out.find(R"("changed": false)"), std::string::npos);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(StateOf("Back"), "000 100 ");
    EXPECT_EQ(StateOf("Again"), "2130 ");
    EXPECT_EQ(StateOf("again"), "100 ");

    const char* policy = R"({"version": 1, "entries": [{"name": "A", "state": "enabled", "delay": 20},
                                                      {"name": "Tool.lnk", "state": "disabled"}]})";
    EXPECT_EQ(Apply(policy).exitCode, 0);
    const std::string list = ListBytes();
    writes = 0;
    const auto again = Apply(policy);
    EXPECT_NE(again.out.find(R"("changed": false)"), std::string::npos);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(ListBytes(), list);
}

// The plan reads the list and the places once; its changes are made in one
// hold of the writers' lock, which reads them once when it is taken and once
// after each change but the last: one scan for the plan and one per change.
TEST_F(PolicyScene, APolicyScansOnceForThePlanAndOnceForEachChange) {
    PutRun("crun", "A", "a.exe");
    PutRun("crun", "B", "b.exe");
    PutRun("crun", "C", "c.exe");
    PutList("");
    const auto reads = [&] { return p.FileReadsOf(kListFile); };
    const std::size_t start = reads();
    store.ScanEntries();
    const std::size_t perScan = reads() - start;
    ASSERT_GT(perScan, 0u);
    const auto states = [](std::string_view a, std::string_view b, std::string_view c) {
        return R"({"version": 1, "entries": [{"name": "A", "state": ")" + std::string(a) +
               R"("}, {"name": "B", "state": ")" + std::string(b) + R"("}, {"name": "C", "state": ")" +
               std::string(c) + R"("}]})";
    };
    const struct Case {
        std::string policy;
        bool check;
        std::size_t scans;
    } cases[] = {
        {states("enabled", "enabled", "enabled"), false, 1},     // nothing to change
        {states("disabled", "enabled", "enabled"), true, 1},     // a check changes nothing
        {states("disabled", "enabled", "enabled"), false, 2},    // one change
        {states("disabled", "disabled", "disabled"), false, 3},  // two
        {states("enabled", "enabled", "enabled"), false, 4},     // three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.policy);
        const std::size_t before = reads();
        const auto r = Apply(c.policy, c.check);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(reads() - before, c.scans * perScan);
    }
    EXPECT_EQ(StateOf("A") + StateOf("B") + StateOf("C"), "100 100 100 ");
}

// Winlogon, Active Setup, the Windows key's Load and Run and the logon script
// hold Windows' own setup and shell: "unlisted" and a wildcard leave them, and
// a rule changes them only where it names them, by name or by place. Two
// Active Setup components of one name are each changed as themselves.
TEST_F(PolicyScene, TheNewPlacesChangeOnlyWhenARuleNamesThem) {
    constexpr const char* kSetup = "Software\\Microsoft\\Active Setup\\Installed Components";
    const auto plant = [&] {
        PutList("");
        PutRun("crun", "Other", "o.exe");
        p.PutString(platform::Hive::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Load",
                    "C:\\x\\load.exe");
        p.PutString(platform::Hive::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell",
                    "explorer.exe C:\\x\\shell.exe");
        for (const std::string component : {"Themes", "Player", "Player2"}) {
            const std::string key = std::string(kSetup) + "\\{" + component + "}";
            const bool player = component.starts_with("Player");
            p.PutString(platform::Hive::LocalMachine, key, "", player ? "Media Player" : "Themes Setup");
            p.PutString(platform::Hive::LocalMachine, key, "StubPath", "C:\\W\\" + component + ".exe");
        }
    };
    struct Case {
        const char* rules;
        const char* unlisted;
        const char* other;  // the state of each entry afterwards: Other, the Load item, Shell, Themes, the players
        const char* load;
        const char* shell;
        const char* themes;
        const char* players;
    } cases[] = {
        {"", "disable", "000 ", "100 ", "100 ", "100 ", "100 100 "},
        {R"({"name": "*", "state": "disabled"})", "keep", "000 ", "100 ", "100 ", "100 ", "100 100 "},
        {R"({"name": "Themes Setup", "state": "disabled"})", "disable", "000 ", "100 ", "100 ", "000 ", "100 100 "},
        {R"({"name": "*", "location": "cload", "state": "disabled"}, {"name": "shell", "state": "deleted"})", "keep",
         "100 ", "000 ", "gone", "100 ", "100 100 "},
        {R"({"name": "Media Player", "location": "lactive", "state": "disabled"})", "keep", "100 ", "100 ", "100 ",
         "100 ", "000 000 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules);
        plant();
        const std::string policy =
            std::string(R"({"version": 1, "entries": [)") + c.rules + R"(], "unlisted": ")" + c.unlisted + "\"}";
        const auto r = Apply(policy);
        EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
        EXPECT_EQ(StateOf("Other"), c.other);
        EXPECT_EQ(StateOf("C:\\x\\load.exe"), c.load);
        EXPECT_EQ(StateOf("Shell"), c.shell);
        EXPECT_EQ(StateOf("Themes Setup"), c.themes);
        EXPECT_EQ(StateOf("Media Player"), c.players);
        EXPECT_EQ(Apply(policy, true).exitCode, 0) << "not compliant after apply";
    }
    // Each player's record keeps its own component.
    EXPECT_NE(ListBytes().find("Media Player;lactive;C:\\W\\Player.exe;REG_SZ {Player};"), std::string::npos)
        << ListBytes();
    EXPECT_NE(ListBytes().find("Media Player;lactive;C:\\W\\Player2.exe;REG_SZ {Player2};"), std::string::npos)
        << ListBytes();
}

// A failure half way: the other rules are carried out, exit code 1, and the
// failure is on standard error and in "msg".
TEST_F(PolicyScene, AChangeFailingHalfWayKeepsTheOthers) {
    PutRun("crun", "One", "1.exe");
    PutRun("lrun", "Two", "2.exe");
    PutRun("crun", "Three", "3.exe");
    p.SetFaultHook([](platform::Op op, platform::Hive hive, std::string_view) {
        return op == platform::Op::DeleteValue && hive == platform::Hive::LocalMachine;
    });
    const auto r = Apply(R"({"version": 1, "entries": [{"name": "*", "state": "disabled"}]})");
    EXPECT_EQ(r.exitCode, app::kExitFailure);
    EXPECT_NE(r.err.find("'Two' (lrun)"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(R"("failed": true)"), std::string::npos);
    EXPECT_NE(r.out.find(R"("msg": ")"), std::string::npos);
    EXPECT_EQ(StateOf("One"), "000 ");
    EXPECT_EQ(StateOf("Two"), "100 ");  // its record taken back
    EXPECT_EQ(StateOf("Three"), "000 ");
}

// Another writer between the plan and a change: exit code 4 and that entry
// left as the other writer made it. A standard user and a machine place: 3.
TEST_F(PolicyScene, ChangedMeanwhileAndMissingRightsHaveTheirExitCodes) {
    PutRun("crun", "One", "1.exe");
    PutRun("crun", "Two", "2.exe");
    int locks = 0;
    p.SetLockHook([&](std::string_view) {
        if (++locks == 2) PutRun("crun", "Two", "2-updated.exe");  // as the change of One begins
    });
    const char* disableAll = R"({"version": 1, "entries": [{"name": "*", "state": "disabled"}]})";
    const auto r = Apply(disableAll);
    EXPECT_EQ(r.exitCode, app::kExitChanged) << r.err;
    EXPECT_NE(r.err.find("'Two' (crun) changed meanwhile"), std::string::npos) << r.err;
    EXPECT_EQ(StateOf("One"), "000 ");
    EXPECT_EQ(StateOf("Two"), "100 ");
    p.SetLockHook({});

    PutRun("lrun", "Machine", "m.exe");
    p.SetStandardUser(true);
    const auto denied = Apply(disableAll);
    EXPECT_EQ(denied.exitCode, app::kExitNeedsRights) << denied.err;
    EXPECT_NE(denied.err.find(app::kRunAsAdministrator), std::string::npos) << denied.err;
    EXPECT_EQ(StateOf("Two"), "000 ");  // the user's own place was changed all the same
    EXPECT_EQ(StateOf("Machine"), "100 ");
}

// A key the scan cannot open holds what it holds: a policy that must delete
// "Evil" there is not met by a machine where nobody could look. Check and
// apply name the place, on standard output and standard error, and exit 3.
TEST_F(PolicyScene, WhatCannotBeReadIsNotCompliant) {
    constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runonce";
    PutRun("lrunonce", "Evil", "evil.exe");
    PutRun("crun", "Keep", "k.exe");
    p.SetFaultHook([&](platform::Op op, platform::Hive hive, std::string_view where) {
        return (op == platform::Op::OpenKeyRead || op == platform::Op::OpenKeyFull) &&
               hive == platform::Hive::LocalMachine && where == kRunOnceKey;
    });
    const std::string place = "lrunonce (HKEY_LOCAL_MACHINE\\" + std::string(kRunOnceKey) + ")";
    const char* deleteEvil = R"({"version": 1, "entries": [{"name": "Evil", "state": "deleted"}]})";
    for (const bool check : {true, false}) {
        const auto r = Apply(deleteEvil, check);
        EXPECT_EQ(r.exitCode, app::kExitUnreadable) << check << r.err;
        EXPECT_NE(r.out.find(R"("compliant": false)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(R"("unreadable": [)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(text::JsonString(place)), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "vantorellc: could not read " + place + "\n");
    }
    const auto text = RunConsole(p, store, {"apply", kPolicy, "--check"});
    EXPECT_NE(text.out.find("  " + place + ": could not be read\nNot compliant: 1 place could not be read.\n"),
              std::string::npos)
        << text.out;

    // A value the key lists but that cannot be read is as unknown as the key.
    p.SetFaultHook([](platform::Op op, platform::Hive hive, std::string_view) {
        return op == platform::Op::QueryValue && hive == platform::Hive::CurrentUser;
    });
    EXPECT_EQ(Apply(R"({"version": 1, "entries": []})", true).exitCode, app::kExitUnreadable);
    // A Startup folder that is there but cannot be listed is no empty one.
    NameStartupFolders();
    p.SetFaultHook([](platform::Op op, platform::Hive, std::string_view) { return op == platform::Op::ListFolder; });
    const auto folder = Apply(R"({"version": 1, "entries": []})", true);
    EXPECT_EQ(folder.exitCode, app::kExitUnreadable);
    EXPECT_NE(folder.err.find("could not read SUF (the folder named by HKEY_CURRENT_USER\\"), std::string::npos)
        << folder.err;
    p.SetFaultHook({});
    EXPECT_EQ(Apply(deleteEvil, true).exitCode, app::kExitDrift);
}

// Exit codes follow one order, the first that holds deciding: a failed
// change, a place that could not be read, an entry changed meanwhile, drift.
// Drift alone is a result: nothing on standard error. A check that cannot be
// made is no drift.
TEST_F(PolicyScene, ExitCodesFollowOneOrder) {
    constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runonce";
    struct Case {
        const char* what;
        bool check, fail, meanwhile, unreadable, listUnreadable;
        int exitCode;
    } cases[] = {
        {"failed and changed meanwhile", false, true, true, false, false, app::kExitFailure},
        {"failed, unreadable, changed meanwhile", false, true, true, true, false, app::kExitFailure},
        {"unreadable and changed meanwhile", false, false, true, true, false, app::kExitUnreadable},
        {"changed meanwhile", false, false, true, false, false, app::kExitChanged},
        {"check: unreadable and drift", true, false, false, true, false, app::kExitUnreadable},
        {"check: drift", true, false, false, false, false, app::kExitDrift},
        {"check: the list cannot be read", true, false, false, false, true, app::kExitCheckFailed},
    };
    for (const auto& c : cases) {
        p.RemoveKey(platform::Hive::CurrentUser, kRunKey);
        p.RemoveKey(platform::Hive::LocalMachine, kRunKey);
        PutList("");
        PutRun("crun", "One", "1.exe");
        PutRun("crun", "Two", "2.exe");
        PutRun("lrun", "Machine", "m.exe");
        PutRun("lrunonce", "Hidden", "h.exe");
        int locks = 0;
        p.SetLockHook([&](std::string_view) {
            if (c.meanwhile && ++locks == 2) PutRun("crun", "Two", "2-updated.exe");
        });
        p.SetFaultHook([&](platform::Op op, platform::Hive hive, std::string_view where) {
            const bool machine = hive == platform::Hive::LocalMachine;
            return (c.fail && op == platform::Op::DeleteValue && machine && where == kRunKey) ||
                   (c.unreadable && (op == platform::Op::OpenKeyRead || op == platform::Op::OpenKeyFull) && machine &&
                    where == kRunOnceKey) ||
                   (c.listUnreadable && op == platform::Op::ReadFile && where == kListFile);
        });
        const auto r = Apply(R"({"version": 1, "entries": [{"name": "*", "location": "crun", "state": "disabled"},
                                                         {"name": "*", "location": "lrun", "state": "disabled"}]})",
                             c.check);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << r.err;
        const bool drift = c.check && c.exitCode == app::kExitDrift;
        EXPECT_EQ(r.err.empty(), drift) << c.what << "\n" << r.err;
        EXPECT_EQ(r.result, drift) << c.what;
        p.SetFaultHook({});
        p.SetLockHook({});
    }
}

// "apply -" takes the policy from standard input and opens no file for it;
// a fault in it is named as standard input's.
TEST_F(PolicyScene, APolicyOnStandardInputIsTheOneApplied) {
    PutRun("crun", "Other", "o.exe");
    p.PutFile("-", R"({"version": 1, "entries": [{"name": "Other", "state": "deleted"}]})");
    int reads = 0;
    const auto piped = [&](std::string policy, bool check) {
        std::vector<std::string> args{"apply", "-", "--json"};
        if (check) args.push_back("--check");
        return RunConsole(p, store, args, [&reads, policy] {
            ++reads;
            return policy;
        });
    };
    const char* disable = R"({"version": 1, "entries": [{"name": "Other", "state": "disabled"}]})";
    const auto check = piped(disable, true);
    EXPECT_EQ(check.exitCode, app::kExitDrift);
    EXPECT_EQ(check.err, "");
    EXPECT_EQ(piped(disable, false).exitCode, app::kExitOk);
    EXPECT_EQ(StateOf("Other"), "000 ");  // disabled, not deleted as the file "-" says
    EXPECT_EQ(reads, 2);
    const auto bad = piped(R"({"version": 1})", false);
    EXPECT_EQ(bad.exitCode, app::kExitUsage);
    EXPECT_EQ(bad.err, "vantorellc: standard input: the policy needs \"entries\"\n");
}

// A signer rule names the entries whose file that signer verifiably signed,
// recorded ones included; a broken, untrusted or unsigned file does not match
// it, whatever its name or the certificate say.
TEST_F(PolicyScene, SignerRulesMatchOnlyVerifiedFiles) {
    platform::SignatureFacts good, tampered, rootless;
    good.signer = tampered.signer = rootless.signer = "Contoso Ltd";
    tampered.code = 0x80096010;  // TRUST_E_BAD_DIGEST
    rootless.untrustedRoot = true;
    const auto put = [&](const char* name, const std::string& file, const platform::SignatureFacts* facts) {
        p.PutFile(file, name);
        if (facts) p.SetSignature(file, *facts);
        PutRun("crun", name, "\"" + file + "\" /q");
    };
    put("Good", "C:\\S\\good.exe", &good);
    put("Tampered", "C:\\S\\tampered.exe", &tampered);
    put("Rootless", "C:\\S\\rootless.exe", &rootless);
    put("Plain", "C:\\S\\plain.exe", nullptr);
    PutList("Held;crun;C:\\S\\good.exe;;0;0\r\n");
    const char* allowContoso = R"({"version": 1, "entries": [
        {"name": "Rootless", "signer": "Contoso Ltd", "state": "deleted"},
        {"signer": "contoso*", "state": "enabled"}], "unlisted": "disable"})";
    EXPECT_EQ(Apply(allowContoso, true).exitCode, 1);
    const auto r = Apply(allowContoso);
    EXPECT_EQ(r.exitCode, app::kExitOk) << r.err;
    EXPECT_EQ(StateOf("Good"), "100 ");
    EXPECT_EQ(StateOf("Held"), "100 ");
    EXPECT_EQ(StateOf("Tampered"), "000 ");
    EXPECT_EQ(StateOf("Rootless"), "000 ");  // disabled as unlisted, not deleted by rule 0
    EXPECT_EQ(StateOf("Plain"), "000 ");
    EXPECT_EQ(Apply(allowContoso, true).exitCode, 0);
}

// An allow-list by signer meets a Windows host that runs code from its
// command line: the host is signed by Microsoft, the code by nobody, so no
// signer rule lets it through. A rule pinned to a thumbprint (and an issuer)
// matches that certificate only, not another of the same common name.
TEST_F(PolicyScene, AnAllowListMeetsMshtaVbscriptAndPinnedSigners) {
    platform::SignatureFacts windows, contoso, impostor;
    windows.signer = "Microsoft Windows";
    contoso.signer = impostor.signer = "Contoso Ltd";
    contoso.issuer = "Contoso Code CA";
    impostor.issuer = "Other CA";
    contoso.thumbprintSha1 = "0123456789abcdef0123456789abcdef01234567";
    impostor.thumbprintSha1 = "76543210fedcba9876543210fedcba9876543210";
    contoso.thumbprintSha256 = std::string(64, 'c');
    const auto put = [&](const char* name, const std::string& file, const platform::SignatureFacts& facts,
                         const std::string& arguments) {
        p.PutFile(file, name);
        p.SetSignature(file, facts);
        PutRun("crun", name, "\"" + file + "\" " + arguments);
    };
    put("Hta", "C:\\Windows\\System32\\mshta.exe", windows,
        "vbscript:Execute(\"CreateObject(\"\"WScript.Shell\"\")\")");
    put("Tool", "C:\\Windows\\System32\\tool.exe", windows, "/q");
    put("Good", "C:\\S\\good.exe", contoso, "");
    put("Fake", "C:\\S\\fake.exe", impostor, "");
    const char* allowWindows = R"({"version": 1, "entries": [
        {"signer": "Microsoft Windows", "state": "enabled"}], "unlisted": "disable"})";
    const auto check = Apply(allowWindows, true);
    EXPECT_EQ(check.exitCode, app::kExitDrift);
    EXPECT_NE(check.out.find(R"("name": "Hta",)"), std::string::npos) << check.out;
    EXPECT_EQ(Apply(allowWindows).exitCode, app::kExitOk);
    EXPECT_EQ(StateOf("Hta"), "000 ");
    EXPECT_EQ(StateOf("Tool"), "100 ");

    const auto list = RunConsole(p, store, {"list", "--json"});
    EXPECT_NE(list.out.find(R"("inline": false)"), std::string::npos);
    EXPECT_EQ(RunConsole(p, store, {"enable", "Hta"}).exitCode, app::kExitOk);
    const auto listed = RunConsole(p, store, {"list", "--json"});
    EXPECT_NE(listed.out.find(R"("file": "C:\\Windows\\System32\\mshta.exe", "fileExists": true, "inline": true)"),
              std::string::npos)
        << listed.out;
    EXPECT_NE(RunConsole(p, store, {"list"}).out.find("runs code from its command line"), std::string::npos);

    const std::string pinned = R"({"version": 1, "entries": [
        {"signer": "Contoso*", "signerThumbprint": "01 23 45 67 89 AB CD EF 01 23 45 67 89 ab cd ef 01 23 45 67",
         "issuer": "contoso code ca", "state": "enabled"},
        {"signerThumbprint": ")" +
                               std::string(64, 'C') + R"(", "state": "enabled"},
        {"name": "Tool", "state": "enabled"}], "unlisted": "disable"})";
    EXPECT_EQ(Apply(pinned).exitCode, app::kExitOk);
    EXPECT_EQ(StateOf("Good"), "100 ");
    EXPECT_EQ(StateOf("Fake"), "000 ");
    EXPECT_EQ(StateOf("Hta"), "000 ");
    const char* otherIssuer = R"({"version": 1, "entries": [
        {"signer": "Contoso Ltd", "issuer": "Other*", "state": "deleted"}]})";
    EXPECT_EQ(Apply(otherIssuer).exitCode, app::kExitOk);
    EXPECT_EQ(StateOf("Good"), "100 ");  // its issuer is another
}

TEST_F(PolicyScene, BadPoliciesNameTheFaultAndChangeNothing) {
    PutRun("crun", "A", "a.exe");
    std::string many = R"({"version": 1, "entries": [)";
    for (int i = 0; i < 10000; ++i) many += std::string(i ? "," : "") + R"({"name": "x", "state": "deleted"})";
    many += "]}";
    const auto rule = [](std::string body) {
        return R"({"version": 1, "entries": [{"name": "A", "state": "deleted"},)" + body + "]}";
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"version": 1, "entries": [)", "not valid JSON: "},
        {R"({"version": 1e999, "entries": []})", "not valid JSON: number overflow"},
        {rule(R"({"name": "A", "state": "enabled", "colour": "red"})"), "entries[1].colour: unknown field"},
        {rule(R"({"name": "A", "location": "xrun", "state": "deleted"})"),
         "entries[1].location: \"xrun\" is not a location code (SUF, crun,"},
        {rule(R"({"name": "A", "state": "asleep"})"),
         "entries[1].state: \"asleep\" is not a state (enabled, disabled, deleted)"},
        {rule(R"({"name": "A", "state": "enabled", "delay": 300})"), "entries[1].delay: 300 is more than 240"},
        {rule(R"({"name": "A", "state": "enabled", "delay": -1})"), "entries[1].delay: -1 is less than 0"},
        {rule(R"({"name": "A", "state": "enabled", "delay": "60"})"),
         "entries[1].delay: expected a whole number of seconds, found a string"},
        {rule(R"({"name": 7, "state": "enabled"})"), "entries[1].name: expected a string, found a number"},
        {rule(R"({"name": "A", "state": "disabled", "confirm": true})"), "entries[1].confirm: only an enabled entry"},
        {rule(R"({"name": "A", "signer": 7, "state": "enabled"})"),
         "entries[1].signer: expected a string, found a number"},
        {rule(R"({"signer": "", "state": "enabled"})"), "entries[1].signer: a signer cannot be empty"},
        {rule(R"({"state": "enabled"})"),
         "entries[1]: a rule needs a \"name\", a \"signer\" or a \"signerThumbprint\""},
        {rule(R"({"signerThumbprint": "01 23 zz", "state": "enabled"})"),
         "entries[1].signerThumbprint: \"01 23 zz\" is not the SHA-1 (40 hex digits) or SHA-256 (64) of a certificate"},
        {rule(R"({"signerThumbprint": "0123", "state": "enabled"})"),
         "entries[1].signerThumbprint: \"0123\" is not the SHA-1"},
        {rule(R"({"name": "A", "issuer": "", "state": "enabled"})"), "entries[1].issuer: an issuer cannot be empty"},
        {rule(R"({"name": "A", "kind": "both", "state": "enabled"})"),
         "entries[1].kind: \"both\" is not a kind of entry (active, recorded)"},
        {R"({"version": 1, "entries": [], "unlisted": "drop"})", "unlisted: \"drop\" is not a choice"},
        {R"({"version": 2, "entries": []})", "version: 2 is not a version this program reads"},
        {"", "the policy file is empty"},
        {" \r\n", "the policy file is empty"},
        {std::string(50 * 1024 * 1024, ' '), "the policy file is 52428800 bytes; a policy may have at most 1048576"},
        {many, "entries: 10000 rules are more than 1000"},
    };
    for (const auto& [policy, message] : cases) {
        const auto r = Apply(policy);
        EXPECT_EQ(r.exitCode, app::kExitUsage) << message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(std::string("vantorellc: ") + kPolicy + ": " + message, 0), 0u) << r.err;
        EXPECT_EQ(StateOf("A"), "100 ");
    }
    EXPECT_EQ(RunConsole(p, store, {"apply", "C:\\missing.json"}).exitCode, app::kExitUsage);
}

}  // namespace
}  // namespace vantorell::testing
