// Entry point of vantorell.exe: builds the platform, the name lists, the delay
// dialog, the main form, its window and its tray icon; runs the single-instance
// guard and the start-up sequence; then the message loop until the window is
// gone. A copy that is to end at once (a second copy, an uninstall run) never
// runs the loop: its window is destroyed without the close handler.
#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first
#include <shellapi.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/common/MainForm.h"
#include "app/common/ProgramStart.h"
#include "app/gui/Resources.h"
#include "app/win32/IdentifyHelper.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"
#include "ui/NameLists.h"
#include "ui/win32/DelayDialog.h"
#include "ui/win32/ErrorReport.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/TrayIconWin32.h"

namespace {

using namespace vantorell;

// The whole command line, argument 0 being the program's path, in UTF-8.
std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(vantorell::win32::Narrow(argv[i]));
    LocalFree(argv);
    return arguments;
}

int RunProgram(HINSTANCE instance) {
    platform::Win32Platform platform;  // first: COM and the timers live on this thread
    // The uninstaller's part, with administrator rights: no window, nothing of the user's read.
    const app::Switches switches = app::ParseSwitches(CommandLineArguments());
    if (switches.uninstallMachine) return app::RunMachineUninstall(platform, switches.keepUnreturned);
    // The setup's run after an upgrade: an earlier version's list moves into the lists.
    if (switches.upgradeList) return app::RunListUpgrade(platform);
    if (switches.identify) return app::RunIdentifyHelper(platform);
    const ui::NameLists lists = ui::NameLists::Builtin(platform.locale);
    ui::win32::DelayDialog delayDialog;
    app::MainForm form(platform, lists, delayDialog);
    std::optional<ui::win32::MainWindow> window;
    window.emplace(form.Grid(), form);
    ui::win32::TrayIconWin32 tray(form);
    form.Attach(*window, tray);

    window->Create(instance, IDI_VANTORELL);
    tray.Create(instance, IDI_VANTORELL);
    const HWND main = window->Handle();
    platform.SetOwnerWindow(main);
    delayDialog.SetOwner(main);

    int exitCode = 0;
    ui::win32::RunGuarded(main, [&] {
        form.Guard();
        // An error here ends the start-up sequence; the window still opens.
        form.FormCreate(CommandLineArguments());
    });
    if (!form.TerminateRequested()) exitCode = window->RunMessageLoop();
    window.reset();  // destroyed, when it still exists, without the close handler
    tray.Deactivate();
    form.AtExit();  // a second copy raises the running one's window now that its own is gone
    return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // A path on a drive without a disk is a missing file, never a box that
    // asks the user to insert one (the scan and identification look at such paths).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    try {
        return RunProgram(instance);
    } catch (const std::exception& e) {
        ui::win32::ShowErrorReport(nullptr, e.what());
        return 1;
    }
}
