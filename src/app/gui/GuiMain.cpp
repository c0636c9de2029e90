// Entry point of vantorell.exe. For now it scans the autostart places, fills
// the grid and shows the main window; the gestures and the window's life
// cycle are routed to GuiSession's handlers, which the main form will replace.
#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first

#include <exception>

#include "app/gui/Resources.h"
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"
#include "ui/win32/ErrorReport.h"
#include "ui/win32/MainWindow.h"

namespace {

using namespace vantorell;

// The start-up wiring in one place: platform, store, lists, model and window.
class GuiSession final : public ui::MainViewEvents {
public:
    GuiSession()
        : lists_(ui::NameLists::Builtin(platform_)),
          model_(lists_),
          store_(platform_, text::JoinPath(text::FolderOf(platform_.ExecutablePath()), store::kStartupListFile)),
          window_(model_, *this) {}

    int Run(HINSTANCE instance) {
        window_.Create(instance, IDI_VANTORELL);
        platform_.SetOwnerWindow(window_.Handle());
        model_.SetRepaintHandler([this] { window_.RepaintGrid(); });
        // An unreadable list file is reported; the grid then shows what could be read.
        ui::win32::RunGuarded(window_.Handle(), [this] { store_.ScanEntries(); });
        model_.FillGrid(store_.Table());
        window_.RefreshGrid();
        window_.Centre();
        window_.Show();
        return window_.RunMessageLoop();
    }

    // Grid gestures and buttons: handled by the entry control and the help
    // file once those are wired in.
    void OnGridDoubleClick(int, int) override {}
    void OnGridMouseUp() override {}
    void OnDeleteClicked() override {}
    void OnHelpClicked() override {}
    // Window life cycle: a plain close ends the program; minimising to the
    // tray comes with the tray icon.
    bool OnCloseQuery() override { return true; }
    void OnClose() override {}
    void OnMinimize() override {}
    void OnRestore() override {}
    void OnShown() override {}
    void OnQueryEndSession() override {}
    void OnEndSession() override { window_.Terminate(); }

private:
    platform::Win32Platform platform_;
    ui::NameLists lists_;
    ui::GridModel model_;
    store::AutostartStore store_;
    ui::win32::MainWindow window_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        GuiSession session;
        return session.Run(instance);
    } catch (const std::exception& e) {
        ui::win32::ShowErrorReport(nullptr, e.what());
        return 1;
    }
}
