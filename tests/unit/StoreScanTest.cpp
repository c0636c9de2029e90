// The scan: order of the places, folders, special values, the fallbacks for
// keys that cannot be opened, and the invariants it leaves.
#include <gtest/gtest.h>

#include "StoreTestScene.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::Op;
namespace RegType = platform::RegType;
using platform::RegValue;

class StoreScan : public StoreScene {
protected:
    std::vector<std::string> Listed() {
        std::vector<std::string> out;
        for (const auto& e : Entries()) out.push_back(e.location + ":" + e.name + "=" + e.command);
        return out;
    }
    // Names in display order.
    std::vector<std::string> Shown() {
        std::vector<std::string> out(Entries().size());
        for (const auto& e : Entries()) out[e.position] = e.name + "/" + std::string(store::StateText(e.state));
        return out;
    }
    void ExpectCommandsReadAfresh() {
        for (std::size_t i = 0; i < Entries().size(); ++i) EXPECT_EQ(store.RunCommandOf(i), Entries()[i].command) << i;
        EXPECT_EQ(p.KeysOpenNow(), 0u);
    }
};

TEST_F(StoreScan, NothingAnywhereGivesAnEmptyTable) {
    store.ScanEntries();
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(store.Table().storedRecords.empty());
    ExpectInvariants();
    // The keys are created by opening them.
    EXPECT_TRUE(p.KeyExists(Hive::CurrentUser, kRunKey));
    EXPECT_TRUE(p.KeyExists(Hive::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\runonceex"));
}

TEST_F(StoreScan, RecordsFirstThenThePlacesInTheirOrder) {
    NameStartupFolders();
    PutList("Old;lrun;old.exe;;0;0\r\nLater;SUF;later.exe;-x;1;0\r\n");
    for (const auto& loc : store::Locations()) {
        if (loc.Kind() != store::PlaceKind::Values) continue;  // a place of one value per entry
        PutRun(loc.code, std::string(loc.code) + "2", "two");
        PutRun(loc.code, std::string(loc.code) + "1", "one");
    }
    PutLink(kUserStartup, "b.lnk", "C:\\b.exe");
    PutLink(kUserStartup, "A.lnk", "C:\\a.exe");
    PutLink(kCommonStartup, "common.lnk", "C:\\common.exe");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"lrun:Old=old.exe",
                                                  "SUF:Later=later.exe",
                                                  "SUF:A.lnk=C:\\a.exe",
                                                  "SUF:b.lnk=C:\\b.exe",
                                                  "crun:crun2=two",
                                                  "crun:crun1=one",
                                                  "crunonce:crunonce2=two",
                                                  "crunonce:crunonce1=one",
                                                  "DSUF:common.lnk=C:\\common.exe",
                                                  "lrun:lrun2=two",
                                                  "lrun:lrun1=one",
                                                  "lruns:lruns2=two",
                                                  "lruns:lruns1=one",
                                                  "lrunsex:lrunsex2=two",
                                                  "lrunsex:lrunsex1=one",
                                                  "lrunsonce:lrunsonce2=two",
                                                  "lrunsonce:lrunsonce1=one",
                                                  "lrunonce:lrunonce2=two",
                                                  "lrunonce:lrunonce1=one",
                                                  "lrunonceex:lrunonceex2=two",
                                                  "lrunonceex:lrunonceex1=one",
                                                  "lrun32:lrun322=two",
                                                  "lrun32:lrun321=one",
                                                  "lruns32:lruns322=two",
                                                  "lruns32:lruns321=one",
                                                  "lrunsex32:lrunsex322=two",
                                                  "lrunsex32:lrunsex321=one",
                                                  "lrunsonce32:lrunsonce322=two",
                                                  "lrunsonce32:lrunsonce321=one",
                                                  "lrunonce32:lrunonce322=two",
                                                  "lrunonce32:lrunonce321=one",
                                                  "lrunonceex32:lrunonceex322=two",
                                                  "lrunonceex32:lrunonceex321=one",
                                                  "cprun:cprun2=two",
                                                  "cprun:cprun1=one",
                                                  "lprun:lprun2=two",
                                                  "lprun:lprun1=one"}));
    EXPECT_EQ(store::StateText(Entries()[1].state), "2");
    EXPECT_EQ(Entries()[1].confirm.Text(), "1");
    ExpectInvariants();
    ExpectCommandsReadAfresh();
}

TEST_F(StoreScan, WithoutShellFoldersValuesBothFoldersAreTheRootOfC) {
    p.AddFolder("C:\\");
    PutLink("C:\\", "root.lnk", "C:\\root.exe");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"SUF:root.lnk=C:\\root.exe", "DSUF:root.lnk=C:\\root.exe"}));
    EXPECT_EQ(store.StartupFolderPath("SUF"), "C:\\");
    EXPECT_EQ(store.StartupFolderPath("crun"), "");
    ExpectCommandsReadAfresh();
}

TEST_F(StoreScan, OnlyVisibleShortcutFilesAreListed) {
    NameStartupFolders();
    PutLink(kUserStartup, "shown.LNK", "C:\\shown.exe");
    PutLink(kUserStartup, "hidden.lnk", "C:\\hidden.exe", true);
    p.PutFile(text::JoinPath(kUserStartup, "system.lnk"), "", false, true);
    p.PutFile(text::JoinPath(kUserStartup, "notes.txt"), "x");
    p.PutFile(text::JoinPath(kUserStartup, "broken.lnk"), "not a shortcut");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"SUF:broken.lnk=", "SUF:shown.LNK=C:\\shown.exe"}));

    p.RemoveFile(text::JoinPath(kUserStartup, "shown.LNK"));
    PutLink(kUserStartup, "new.lnk", "C:\\new.exe");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"SUF:broken.lnk=", "SUF:new.lnk=C:\\new.exe"}));
}

TEST_F(StoreScan, DefaultValueAndValueKinds) {
    PutRun("crun", "", "C:\\default.exe");
    p.PutValue(Hive::CurrentUser, kRunKey, "Number", RegValue{RegType::Dword, std::string("\x01\0\0\0", 4)});
    p.PutValue(Hive::CurrentUser, kRunKey, "Bytes", RegValue{RegType::Binary, "\xDE\xAD"});
    p.PutValue(Hive::CurrentUser, kRunKey, "Expand", RegValue{RegType::ExpandSz, "%SystemRoot%\\x.exe"});
    p.PutValue(Hive::CurrentUser, kRunKey, "Cut", RegValue{RegType::Sz, std::string("a.exe\0junk", 10)});
    PutRun("lrun", "After", "after.exe");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"crun:=C:\\default.exe",
                                                  "crun:Number=", "crun:Bytes=", "crun:Expand=%SystemRoot%\\x.exe",
                                                  "crun:Cut=a.exe", "lrun:After=after.exe"}));
    EXPECT_EQ(Entries()[0].position, 0);
    ExpectInvariants();
    ExpectCommandsReadAfresh();
}

TEST_F(StoreScan, RecordedNameThatIsActiveAgainStandsTwiceRecordedFirst) {
    PutList("App;crun;C:\\old.exe;;0;30\r\nzeta;nowhere;z.exe;;0;0\r\n");
    PutRun("crun", "app", "C:\\new.exe");
    PutRun("crun", "Beta", "b.exe");
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"crun:App=C:\\old.exe", "nowhere:zeta=z.exe", "crun:app=C:\\new.exe",
                                                  "crun:Beta=b.exe"}));
    EXPECT_EQ(Shown(), (std::vector<std::string>{"App/2", "app/1", "Beta/1", "zeta/0"}));
    ExpectCommandsReadAfresh();
}

TEST_F(StoreScan, MachineKeysWithoutFullAccessAreListedForReading) {
    NameStartupFolders();
    PutRun("lrun", "Machine", "m.exe");
    PutRun("crun", "User", "u.exe");
    PutLink(kCommonStartup, "common.lnk", "C:\\common.exe");
    p.SetFaultHook(
        [](Op op, Hive hive, std::string_view) { return op == Op::OpenKeyFull && hive == Hive::LocalMachine; });
    store.ScanEntries();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"crun:User=u.exe", "DSUF:common.lnk=C:\\common.exe", "lrun:Machine=m.exe"}));
    ExpectInvariants();
    ExpectCommandsReadAfresh();
    // A machine key that was never created cannot be created by such a user.
    EXPECT_FALSE(p.KeyExists(Hive::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\runservices"));
}

TEST_F(StoreScan, MachineKeysThatCannotBeOpenedAtAllContributeNothing) {
    NameStartupFolders();
    p.AddFolder("C:\\");
    PutLink("C:\\", "root.lnk", "C:\\root.exe");
    PutLink(kCommonStartup, "common.lnk", "C:\\common.exe");
    PutRun("lrun", "Machine", "m.exe");
    PutRun("crun", "User", "u.exe");
    p.SetFaultHook([](Op op, Hive hive, std::string_view) {
        return (op == Op::OpenKeyFull || op == Op::OpenKeyRead) && hive == Hive::LocalMachine;
    });
    store.ScanEntries();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"crun:User=u.exe", "DSUF:root.lnk=C:\\root.exe"}));
    ExpectInvariants();
}

TEST_F(StoreScan, AValueThatVanishesAfterTheScanReadsAsEmpty) {
    PutRun("crun", "Gone", "g.exe");
    store.ScanEntries();
    p.RemoveKey(Hive::CurrentUser, kRunKey);
    EXPECT_EQ(store.RunCommandOf(0), "");
    EXPECT_EQ(store.RunCommandOf(99), "");
}

}  // namespace
}  // namespace vantorell::testing
