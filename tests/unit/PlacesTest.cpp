// The places that are no Run keys (Policies Run, Load/Run of the Windows key,
// Winlogon's Userinit and Shell, the logon script, Active Setup): listed,
// switched off and on without losing a byte, deleted, and refused where
// Windows needs the item or Vantorell cannot start it itself.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "control/EntryCommands.h"
#include "identity/EntryFiles.h"
#include "store/PlaceKinds.h"
#include "platform/Errors.h"
#include "store/Place.h"
#include "ui/EntryTip.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegValue;
using platform::RegView;
namespace RegType = platform::RegType;

constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kActiveSetup = "Software\\Microsoft\\Active Setup\\Installed Components";
constexpr const char* kOwnUserinit = "C:\\Windows\\system32\\userinit.exe";

// The console's selector of `name` in `code`.
control::EntrySelector In(std::string name, std::string code) {
    control::EntrySelector selector;
    selector.name = std::move(name);
    selector.location = std::move(code);
    return selector;
}

// One item planted in its place: the value as it stands, the entry it gives,
// and the value once the item is out (nullopt: the value is gone).
struct PlaceCase {
    const char* code;
    Hive hive;
    std::string key;
    const char* value;
    RegView view;
    RegValue planted;
    const char* entry;    // the entry's name
    const char* command;  // its command
    std::optional<RegValue> without;
};

std::vector<PlaceCase> Cases() {
    const std::string component = std::string(kActiveSetup) + "\\{5E1F0A2B-0000-4000-8000-00000000E5C1}";
    return {
        {"cprun",
         Hive::CurrentUser,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
         "Evil",
         RegView::Bits64,
         {RegType::Sz, "C:\\x\\evil.exe"},
         "Evil",
         "C:\\x\\evil.exe",
         std::nullopt},
        {"lprun",
         Hive::LocalMachine,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
         "Evil",
         RegView::Bits64,
         {RegType::ExpandSz, "%TEMP%\\evil.exe"},
         "Evil",
         "%TEMP%\\evil.exe",
         std::nullopt},
        {"cload",
         Hive::CurrentUser,
         kWindows,
         "Load",
         RegView::Bits64,
         {RegType::Sz, "C:\\a.exe  C:\\x\\evil.exe, C:\\b.exe"},
         "C:\\x\\evil.exe",
         "C:\\x\\evil.exe",
         RegValue{RegType::Sz, "C:\\a.exe  C:\\b.exe"}},
        {"cwinrun",
         Hive::CurrentUser,
         kWindows,
         "Run",
         RegView::Bits64,
         {RegType::ExpandSz, "evil.exe"},
         "evil.exe",
         "evil.exe",
         RegValue{RegType::ExpandSz, ""}},
        {"luserinit",
         Hive::LocalMachine,
         kWinlogon,
         "Userinit",
         RegView::Bits64,
         {RegType::Sz, std::string(kOwnUserinit) + ",C:\\x\\evil.exe,"},
         "C:\\x\\evil.exe",
         "C:\\x\\evil.exe",
         RegValue{RegType::Sz, std::string(kOwnUserinit) + ","}},
        {"lshell",
         Hive::LocalMachine,
         kWinlogon,
         "Shell",
         RegView::Bits64,
         {RegType::Sz, "explorer.exe C:\\x\\evil.exe"},
         "Shell",
         "explorer.exe C:\\x\\evil.exe",
         RegValue{RegType::Sz, "explorer.exe"}},
        {"cshell",
         Hive::CurrentUser,
         kWinlogon,
         "Shell",
         RegView::Bits64,
         {RegType::Sz, "C:\\x\\evil.exe"},
         "Shell",
         "C:\\x\\evil.exe",
         std::nullopt},
        {"clogonscript",
         Hive::CurrentUser,
         "Environment",
         "UserInitMprLogonScript",
         RegView::Bits64,
         {RegType::ExpandSz, "%USERPROFILE%\\evil.cmd"},
         "UserInitMprLogonScript",
         "%USERPROFILE%\\evil.cmd",
         std::nullopt},
        {"lactive",
         Hive::LocalMachine,
         component,
         "StubPath",
         RegView::Bits64,
         {RegType::ExpandSz, "%windir%\\evil.exe /s"},
         "Evil Setup",
         "%windir%\\evil.exe /s",
         std::nullopt},
        {"lactive32",
         Hive::LocalMachine,
         component,
         "StubPath",
         RegView::Bits32,
         {RegType::Sz, "C:\\x\\evil32.exe"},
         "Evil Setup",
         "C:\\x\\evil32.exe",
         std::nullopt},
    };
}

bool SameValue(const std::optional<RegValue>& a, const std::optional<RegValue>& b) {
    return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->data == b->data));
}

class Places : public ControlScene {
protected:
    Places() {
        p.PutString(Hive::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", "C:\\Windows");
    }
    void Plant(const PlaceCase& c) {
        p.PutValue(c.hive, c.key, c.value, c.planted, c.view);
        if (std::string(c.code).rfind("lactive", 0) == 0) p.PutString(c.hive, c.key, "", "Evil Setup", c.view);
    }
    std::optional<RegValue> Now(const PlaceCase& c) const { return p.GetValue(c.hive, c.key, c.value, c.view); }
    std::size_t Scanned(const char* name, const char* code, const char* state = "1") {
        control.Refresh();
        return IndexOf(name, code, state);
    }
    // What a refused change must leave: the value and the list file as they were.
    void ExpectRefused(const std::function<void()>& change, const PlaceCase& c, std::string_view says) {
        const auto before = Now(c);
        const std::string list = ListBytes();
        try {
            change();
            ADD_FAILURE() << c.code << ": not refused";
        } catch (const AppError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << c.code << ": " << e.what();
        }
        EXPECT_TRUE(SameValue(Now(c), before)) << c.code;
        EXPECT_EQ(ListBytes(), list) << c.code;
    }

    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p, none), ui::NameList(p, none), ui::NameList(p, none)};
    ui::GridModel grid{lists};
    control::EntryControl control{store, p, grid};
};

TEST_F(Places, EachIsListedAfterTheSixteenAndSwitchesOffAndOnByteForByte) {
    for (const PlaceCase& c : Cases()) {
        SCOPED_TRACE(c.code);
        Plant(c);
        PutRun("lrunonceex32", "Last", "last.exe");
        control.Refresh();
        ExpectInvariants();
        const std::size_t index = IndexOf(c.entry, c.code, "1");
        EXPECT_EQ(Entries()[index].command, c.command);
        EXPECT_GT(index, IndexOf("Last", "lrunonceex32", "1"));  // after the sixteen
        // The info tip names the key, and the value where the item is one value's.
        std::string where = c.key;
        if (!std::string_view(c.code).ends_with("prun")) where.append(", value ").append(c.value);
        EXPECT_NE(ui::EntryInfoTip(store, index).find(where), std::string::npos) << ui::EntryInfoTip(store, index);

        control.DisableEntry(index, false);
        EXPECT_TRUE(SameValue(Now(c), c.without));
        const std::size_t record = IndexOf(c.entry, c.code, "0");
        control.EnableEntry(record);
        EXPECT_TRUE(SameValue(Now(c), c.planted));
        EXPECT_EQ(ListBytes(), "");

        control.DeleteEntry(Scanned(c.entry, c.code));
        EXPECT_TRUE(SameValue(Now(c), c.without));
        EXPECT_EQ(ListBytes(), "");
        EXPECT_FALSE(Listed(c.entry));
        p.RemoveKey(c.hive, c.key, c.view);
    }
}

// Two Active Setup components that show one name (Windows ships such a
// pair; anyone can name a component after another): a change by name alone
// is refused with both listed, and what tells one from the other picks it,
// in either registry view, leaving its twin as it was.
TEST_F(Places, ActiveSetupTwinsAreRefusedByNameAndToldApartBySubKeyOrCommand) {
    for (const PlaceCase& c : {Cases()[8], Cases()[9]}) {
        SCOPED_TRACE(c.code);
        const std::string good = std::string(kActiveSetup) + "\\{Good}";
        const std::string evil = std::string(kActiveSetup) + "\\{Evil}";
        for (const auto& [key, command] : {std::pair{good, "C:\\Windows\\good.exe"}, {evil, "C:\\x\\evil.exe"}}) {
            p.PutString(c.hive, key, "", "Media Player", c.view);
            p.PutString(c.hive, key, "StubPath", command, c.view);
        }
        const auto stub = [&](const std::string& key) {
            const auto value = p.GetValue(c.hive, key, "StubPath", c.view);
            return value ? value->data : std::string("(gone)");
        };
        control.Refresh();
        PlaceCase goodCase = c;
        goodCase.key = good;
        for (const auto verb : {control::EntryVerb::Delete, control::EntryVerb::Disable})
            ExpectRefused([&] { control::RunEntryCommand(control, verb, In("Media Player", c.code)); }, goodCase,
                          "--sub-key {Good}, --held-command C:\\Windows\\good.exe)");
        EXPECT_EQ(stub(evil), "C:\\x\\evil.exe");

        // The one that holds the command, and only that one.
        auto byCommand = In("Media Player", c.code);
        byCommand.recorded = false;
        byCommand.command = "C:\\x\\evil.exe";
        control::RunEntryCommand(control, control::EntryVerb::Disable, byCommand);
        EXPECT_EQ(stub(evil), "(gone)");
        EXPECT_EQ(stub(good), "C:\\Windows\\good.exe");
        EXPECT_EQ(ListBytes(), "Media Player;" + std::string(c.code) + ";C:\\x\\evil.exe;REG_SZ {Evil};0;0\r\n");
        // The grid's row: the entry it showed, by its sub-key.
        control.DisableEntry(IndexOf("Media Player", c.code, "1"), false);
        EXPECT_EQ(stub(good), "(gone)");

        // Both recorded now: enable by name is refused, by sub-key puts back that one.
        EXPECT_THROW(control::RunEntryCommand(control, control::EntryVerb::Enable, In("Media Player", c.code)),
                     AppError);
        auto bySubKey = In("Media Player", c.code);
        bySubKey.subKey = "{evil}";
        control::RunEntryCommand(control, control::EntryVerb::Enable, bySubKey);
        EXPECT_EQ(stub(evil), "C:\\x\\evil.exe");
        EXPECT_EQ(stub(good), "(gone)");

        // A component whose StubPath another program rewrote after it was
        // read is not taken out.
        auto place = store::OpenPlace(store, *store::FindLocation(c.code));
        EXPECT_THROW(place->TakeOut({"Media Player", "{Evil}", "C:\\x\\other.exe"}), ChangedMeanwhile);
        EXPECT_EQ(stub(evil), "C:\\x\\evil.exe");
        p.RemoveKey(c.hive, kActiveSetup, c.view);
        PutList("");
    }
}

TEST_F(Places, NothingPlantedListsNothingAndCreatesNoPolicyKey) {
    p.PutString(Hive::LocalMachine, kWinlogon, "Userinit", std::string(kOwnUserinit) + ",");
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", "Explorer.exe");
    p.PutString(Hive::CurrentUser, kWinlogon, "Shell", "C:\\Windows\\explorer.exe");
    p.PutString(Hive::LocalMachine, std::string(kActiveSetup) + "\\{NoStub}", "", "Without a StubPath");
    control.Refresh();
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(p.KeyExists(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies"));
}

TEST_F(Places, AListKeepsItsOtherItemsWhereverTheItemStood) {
    struct ListCase {
        const char* value;
        const char* item;
        const char* without;
    };
    const ListCase cases[] = {
        {"evil.exe,a.exe b.exe", "evil.exe", "a.exe b.exe"},
        {"a.exe,evil.exe", "evil.exe", "a.exe"},
        {" a.exe\t,evil.exe , b.exe ", "evil.exe", " a.exe\t,b.exe "},
        {"a.exe evil.exe", "evil.exe", "a.exe"},
        {"evil.exe,", "evil.exe", ""},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.value);
        p.PutString(Hive::CurrentUser, kWindows, "Load", c.value);
        control.DisableEntry(Scanned(c.item, "cload"), false);
        EXPECT_EQ(p.GetValue(Hive::CurrentUser, kWindows, "Load")->data, c.without);
        control.EnableEntry(IndexOf(c.item, "cload", "0"));
        EXPECT_EQ(p.GetValue(Hive::CurrentUser, kWindows, "Load")->data, c.value);
    }
    // Put back into a list that changed meanwhile: at its index, once.
    p.PutString(Hive::CurrentUser, kWindows, "Load", "a.exe evil.exe b.exe");
    control.DisableEntry(Scanned("evil.exe", "cload"), false);
    p.PutString(Hive::CurrentUser, kWindows, "Load", "a.exe c.exe");
    control.EnableEntry(IndexOf("evil.exe", "cload", "0"));
    EXPECT_EQ(p.GetValue(Hive::CurrentUser, kWindows, "Load")->data, "a.exe evil.exe c.exe");
}

TEST_F(Places, WindowsOwnItemsAndTheLastUserinitAreRefused) {
    const PlaceCase userinit = Cases()[4];
    const PlaceCase shell = Cases()[5];
    Plant(userinit);
    Plant(shell);
    control.Refresh();
    for (const char* own : {"userinit.exe", kOwnUserinit, "%SystemRoot%\\system32\\userinit.exe"})
        ExpectRefused([&] { control::RunEntryCommand(control, control::EntryVerb::Disable, In(own, "luserinit")); },
                      userinit, "Windows' own");
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", "explorer.exe");
    ExpectRefused([&] { control::RunEntryCommand(control, control::EntryVerb::Delete, In("Shell", "lshell")); }, shell,
                  "Windows' own");
    // A Userinit that holds no Windows' own item keeps what it has: without
    // any, Windows could not log on at all.
    p.PutString(Hive::LocalMachine, kWinlogon, "Userinit", "C:\\x\\evil.exe");
    ExpectRefused([&] { control.DisableEntry(Scanned("C:\\x\\evil.exe", "luserinit"), false); }, userinit,
                  "could not log on");
}

TEST_F(Places, ConfirmAndDelayOnlyWhereVantorellCanStartTheProgram) {
    for (const PlaceCase& c : Cases()) {
        SCOPED_TRACE(c.code);
        Plant(c);
        const bool runLike = std::string(c.code).find("prun") != std::string::npos;
        if (runLike) {
            control.SetStartupDelay(Scanned(c.entry, c.code), 30);
            EXPECT_EQ(Entries()[IndexOf(c.entry, c.code, "2")].delay, store::DelaySeconds(30));
            EXPECT_FALSE(Now(c));
            control.EnableEntry(IndexOf(c.entry, c.code, "2"));
        } else {
            ExpectRefused([&] { control.SetConfirmStartup(Scanned(c.entry, c.code)); }, c, "not available");
            ExpectRefused([&] { control.SetStartupDelay(Scanned(c.entry, c.code), 30); }, c, "not available");
            // Neither on a record: the launcher would start it.
            control.DisableEntry(Scanned(c.entry, c.code), false);
            ExpectRefused([&] { control.SetConfirmStartup(IndexOf(c.entry, c.code, "0")); }, c, "not available");
            control.EnableEntry(IndexOf(c.entry, c.code, "0"));
        }
        EXPECT_TRUE(SameValue(Now(c), c.planted));
        p.RemoveKey(c.hive, c.key, c.view);
    }
}

TEST_F(Places, BadValuesGiveAClearMessageAndStayAsTheyWere) {
    const PlaceCase userinit = Cases()[4];
    p.PutValue(Hive::LocalMachine, kWinlogon, "Userinit", {RegType::Dword, std::string("\x01\0\0\0", 4)});
    ExpectRefused([&] { control.DisableEntry(Scanned("Userinit", "luserinit"), false); }, userinit,
                  "must be a string value");
    p.PutString(Hive::LocalMachine, kWinlogon, "Userinit", std::string(kOwnUserinit) + ",,C:\\x\\evil.exe");
    ExpectRefused([&] { control.DisableEntry(Scanned("C:\\x\\evil.exe", "luserinit"), false); }, userinit,
                  "empty item");
    const PlaceCase stub = Cases()[8];
    p.PutString(Hive::LocalMachine, std::string(kActiveSetup) + "\\{NoStub}", "", "No Stub");
    ExpectRefused([&] { control::RunEntryCommand(control, control::EntryVerb::Disable, In("No Stub", "lactive")); },
                  stub, "has no StubPath");

    // A Shell of 10,000 characters is taken out and put back whole.
    const std::string longShell = "explorer.exe " + std::string(10000 - 13, 'x');
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", longShell);
    control.DisableEntry(Scanned("Shell", "lshell"), false);
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, kWinlogon, "Shell")->data, "explorer.exe");
    control.EnableEntry(IndexOf("Shell", "lshell", "0"));
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, kWinlogon, "Shell")->data, longShell);
    // Put back over another program's Shell: refused, neither is lost.
    control.DisableEntry(Scanned("Shell", "lshell"), false);
    p.PutString(Hive::LocalMachine, kWinlogon, "Shell", "other.exe");
    const PlaceCase shell = Cases()[5];
    ExpectRefused([&] { control.EnableEntry(IndexOf("Shell", "lshell", "0")); }, shell, "another program");
}


// ---- services: listed from their keys, switched through the manager

std::uint32_t StartOf(const platform::MemoryPlatform& p, const char* name) {
    const auto v = p.GetValue(Hive::LocalMachine, std::string(platform::kServicesKey) + "\\" + name, "Start");
    return v && v->data.size() == 4 ? static_cast<unsigned char>(v->data[0]) : 0xFF;
}

TEST_F(Places, ServicesThatStartWithWindowsAreListedSwitchedAndGivenBackTheirStartType) {
    using S = platform::MemoryPlatform::ServiceScene;
    p.PutService("Updater", S{.imagePath = "\"C:\\Program Files\\Acme\\upd.exe\" -service", .displayName = "Acme"});
    p.PutService("Shared", S{.type = 0x20,
                             .imagePath = "%SystemRoot%\\System32\\svchost.exe -k netsvcs",
                             .serviceDll = "%SystemRoot%\\System32\\shared.dll",
                             .delayed = true,
                             .description = "Does shared things"});
    p.PutService("OnDemand", S{.start = 3, .imagePath = "C:\\x\\od.exe"});
    p.PutService("Off", S{.start = 4, .imagePath = "C:\\x\\off.exe"});
    p.PutService("Driver", S{.type = 1, .start = 2, .imagePath = "\\SystemRoot\\System32\\drivers\\d.sys"});
    p.PutFile("C:\\Program Files\\Acme\\upd.exe", "MZ");
    p.PutFile("C:\\Windows\\System32\\shared.dll", "MZ");
    control.Refresh();
    EXPECT_FALSE(Listed("OnDemand"));
    EXPECT_FALSE(Listed("Off"));
    EXPECT_FALSE(Listed("Driver"));
    const std::size_t shared = IndexOf("Shared", "lsvc", "1");
    ASSERT_TRUE(Entries()[shared].service);
    EXPECT_TRUE(Entries()[shared].service->delayed);
    EXPECT_EQ(Entries()[shared].command, "%SystemRoot%\\System32\\svchost.exe -k netsvcs");
    // What runs for a shared host's service is its library.
    EXPECT_EQ(identity::EntryJob(store.Table(), shared).command, "\"%SystemRoot%\\System32\\shared.dll\"");
    const std::string tip = ui::EntryInfoTip(store, shared);
    EXPECT_NE(tip.find("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Shared"), std::string::npos) << tip;
    EXPECT_NE(tip.find("Does shared things"), std::string::npos) << tip;
    EXPECT_NE(tip.find("next start of Windows"), std::string::npos) << tip;

    // Off: disabled, and the record keeps the start type it had; on: back.
    control.DisableEntry(shared, false);
    EXPECT_EQ(StartOf(p, "Shared"), 4u);
    EXPECT_NE(ListBytes().find("Shared;lsvc;%SystemRoot%\\System32\\svchost.exe -k netsvcs;delayed-auto"),
              std::string::npos)
        << ListBytes();
    // A record keeps its service's facts, so its library is still what is looked at.
    EXPECT_EQ(identity::EntryJob(store.Table(), IndexOf("Shared", "lsvc", "0")).command,
              "\"%SystemRoot%\\System32\\shared.dll\"");
    control.EnableEntry(IndexOf("Shared", "lsvc", "0"));
    EXPECT_EQ(StartOf(p, "Shared"), 2u);
    EXPECT_EQ(p.GetValue(Hive::LocalMachine, std::string(platform::kServicesKey) + "\\Shared", "DelayedAutostart")
                  ->data[0],
              1);
    EXPECT_EQ(ListBytes(), "");

    // Refused: confirm and delay (it starts before anyone logs on), and
    // deleting a service whose file is there. The start type stays.
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { control.SetConfirmStartup(Scanned("Updater", "lsvc")); },
             [&] { control.SetStartupDelay(Scanned("Updater", "lsvc"), 30); },
             [&] { control.DeleteEntry(Scanned("Updater", "lsvc")); },
             [&] { control::RunEntryCommand(control, control::EntryVerb::Delete, In("Updater", "lsvc")); }}) {
        try {
            change();
            ADD_FAILURE() << "not refused";
        } catch (const AppError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.find("before anyone logs on") != std::string::npos ||
                        what.find("still has its file") != std::string::npos)
                << what;
        }
        EXPECT_EQ(StartOf(p, "Updater"), 2u);
        EXPECT_EQ(ListBytes(), "");
    }

    // A dead service (its file gone) is deleted through the manager.
    p.RemoveFile("C:\\Program Files\\Acme\\upd.exe");
    control.DeleteEntry(Scanned("Updater", "lsvc"));
    EXPECT_FALSE(p.KeyExists(Hive::LocalMachine, std::string(platform::kServicesKey) + "\\Updater"));
    // The record of a service uninstalled meanwhile: switching on says so and
    // keeps the record; deleting it drops the record.
    control.DisableEntry(Scanned("Shared", "lsvc"), false);
    p.RemoveKey(Hive::LocalMachine, std::string(platform::kServicesKey) + "\\Shared");
    EXPECT_THROW(control.EnableEntry(Scanned("Shared", "lsvc", "0")), AppError);
    control.DeleteEntry(IndexOf("Shared", "lsvc", "0"));
    EXPECT_EQ(ListBytes(), "");
}

TEST_F(Places, AStandardUserIsRefusedAndTheServiceKeepsItsStartType) {
    p.PutService("Updater", platform::MemoryPlatform::ServiceScene{.imagePath = "C:\\x\\upd.exe"});
    p.SetStandardUser(true);
    const auto denied = p.AccessDeniedCount();
    EXPECT_THROW(control.DisableEntry(Scanned("Updater", "lsvc"), false), AppError);
    EXPECT_GT(p.AccessDeniedCount(), denied);  // so elevation on demand is offered
    EXPECT_EQ(StartOf(p, "Updater"), 2u);
    EXPECT_EQ(ListBytes(), "");  // the record was taken back
}

TEST(ServiceFile, NamesTheFileOfAnImagePathOrLibrary) {
    const struct {
        const char* text;
        const char* file;
    } cases[] = {
        {"\"C:\\Program Files\\Acme\\upd.exe\" -service", "C:\\Program Files\\Acme\\upd.exe"},
        {"C:\\Program Files\\Acme\\upd.exe -service", "C:\\Program Files\\Acme\\upd.exe"},
        {"%SystemRoot%\\System32\\svchost.exe -k netsvcs", "C:\\Windows\\System32\\svchost.exe"},
        {"%windir%\\x.dll", "C:\\Windows\\x.dll"},
        {"\\SystemRoot\\System32\\x.exe", "C:\\Windows\\System32\\x.exe"},
        {"System32\\x.exe", "C:\\Windows\\System32\\x.exe"},
        {"%ProgramFiles%\\x.exe", ""},  // another variable: not known, so never "missing"
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(store::ServiceFile(c.text, "C:\\Windows"), c.file) << c.text;
}

}  // namespace
}  // namespace vantorell::testing
