// The row menu's portable side: which actions apply to an entry, as its place
// and its file allow, the text "Copy" gives, and the key the Registry Editor
// opens at.
#include <gtest/gtest.h>

#include "ControlScene.h"
#include "ui/RowActions.h"

namespace vantorell::testing {
namespace {

using ui::RowAction;
using ui::RowFile;

class RowActions : public ControlScene {
protected:
    RowActions() {
        PutRun("crun", "Tool", "C:\\Tools\\tool.exe");
        PutRun("cwinrun", "Run", "C:\\Acme\\early.exe");
        PutRun("lrun32", "Old32", "C:\\Old\\old.exe");
        p.PutService("Updater", platform::MemoryPlatform::ServiceScene{.imagePath = "C:\\Acme\\upd.exe"});
        p.PutFile("C:\\Acme\\upd.exe", "MZ");
        p.PutService("Gone", platform::MemoryPlatform::ServiceScene{.imagePath = "C:\\Gone\\gone.exe"});
        PutLink(kUserStartup, "Zeta.lnk", "C:\\Zeta\\zeta.exe");
        PutList(NewRecord("Parked", "crun", "C:\\Parked\\p.exe", "").Line() + "\r\n" +
                NewRecord("Lost", "zzz", "C:\\Lost\\lost.exe", "").Line() + "\r\n");
        control.Refresh();
    }
    std::size_t Named(std::string_view name) {
        for (std::size_t i = 0; i < Entries().size(); ++i)
            if (Entries()[i].name == name || Entries()[i].name.find(name) != std::string::npos) return i;
        ADD_FAILURE() << "no entry " << name;
        return Entries().size();
    }
    // One letter per action, in the menu's order, '-' where it does not apply.
    static std::string Enabled(const ui::RowMenu& menu) {
        std::string letters;
        for (int i = 0; i < ui::kRowActionCount; ++i)
            letters += menu.Enabled(static_cast<RowAction>(i)) ? "SCYDLRPX"[i] : '-';
        return letters;
    }
};

TEST_F(RowActions, EachItemAppliesAsThePlaceAndTheFileAllow) {
    const RowFile there{"C:\\Tools\\tool.exe", true, "Acme"};
    const RowFile missing{"C:\\Tools\\tool.exe", false, "File not found"};
    const RowFile unnamed{"", false, ""};
    const struct {
        const char* entry;
        RowFile file;
        bool own;
        const char* enabled;
        bool switchesOn;
    } cases[] = {
        {"Tool", there, false, "SCYDLRPX", false},      {"Tool", missing, false, "SCYD-R-X", false},  // no file to show
        {"Tool", unnamed, false, "SCYD-R-X", false},     // no file can be named
        {"Tool", there, true, "----LRPX", false},        // the program's own entry
        {"early.exe", there, false, "S--DLRPX", false},  // Windows starts it outside the shell
        {"Updater", there, false, "S---LRPX", false},    // a service whose file is there
        {"Gone", unnamed, false, "S--D-R-X", false},     // a service whose file is gone
        {"Zeta.lnk", there, false, "SCYDLRPX", false},   // the Startup folder: its folder opens
        {"Parked", missing, false, "SCYD-R-X", true},    // recorded: switched on again
        {"Lost", missing, false, "SCYD---X", true},      // a record of no known place
    };
    for (const auto& c : cases) {
        const std::size_t index = Named(c.entry);
        const auto own = c.own ? std::optional<std::string>("Vantorell's own") : std::nullopt;
        const ui::RowMenu menu = ui::RowMenuOf(store, index, c.file, own);
        EXPECT_EQ(Enabled(menu), c.enabled) << c.entry << " " << c.file.path;
        EXPECT_EQ(menu.switchesOn, c.switchesOn) << c.entry;
    }
    // A refused item says why in the status line, as the change itself would.
    const ui::RowMenu service = ui::RowMenuOf(store, Named("Updater"), there, std::nullopt);
    EXPECT_NE(service.Hint(RowAction::Delete).find("still has its file"), std::string::npos)
        << service.Hint(RowAction::Delete);
    EXPECT_EQ(service.Hint(RowAction::Copy), ui::kRowActionHints[static_cast<std::size_t>(RowAction::Copy)]);
    EXPECT_EQ(ui::RowMenuOf(store, Named("Zeta.lnk"), there, std::nullopt).Hint(RowAction::OpenRegistry),
              ui::kHintOpenFolder);
    EXPECT_EQ(Enabled(ui::RowMenuOf(store, Entries().size(), there, std::nullopt)), "--------") << "no entry";
}

TEST_F(RowActions, CopyGivesOneLineOfFieldsAndTheRegistryEditorTheKeyOfTheEntrysView) {
    PutRun("crun", "Tabbed", "C:\\Tools\\tool.exe\t-x\r\n-y");
    control.Refresh();
    EXPECT_EQ(ui::RowCopyText(store, Named("Tabbed"), RowFile{"C:\\Tools\\tool.exe", true, "Acme Ltd"}),
              "Tabbed\tC:\\Tools\\tool.exe -x  -y\tC:\\Tools\\tool.exe\tAcme Ltd\t"
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\run\r\n");
    EXPECT_EQ(ui::RowCopyText(store, Named("Lost"), RowFile{}), "Lost\tC:\\Lost\\lost.exe\t\t\tzzz\r\n");

    const struct {
        const char* entry;
        const char* key;
    } keys[] = {
        {"Tool", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\run"},
        {"Old32", "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\run"},
        {"Updater", "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Updater"},
        {"early.exe", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
        {"Zeta.lnk", ""},  // a folder, not a key
        {"Lost", ""},
    };
    for (const auto& k : keys) EXPECT_EQ(ui::RegistryEditorPath(store, Named(k.entry)), k.key) << k.entry;
}

}  // namespace
}  // namespace vantorell::testing
