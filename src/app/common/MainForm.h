// The main form: owns the entry table, the grid model, the entry control, the
// launcher, the monitor, the options and the single-instance guard, and routes
// the window's and the tray icon's events to them. Portable: the Win32 window,
// tray icon and delay dialog sit behind ui::MainView, ui::TrayIcon and
// ui::DelayPrompt.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/common/Elevation.h"
#include "app/common/FileLayout.h"
#include "app/common/LogonImpact.h"
#include "app/common/ProgramStart.h"
#include "app/common/SingleInstance.h"
#include "control/EntryControl.h"
#include "identity/IdentityService.h"
#include "launch/BootLauncher.h"
#include "monitor/NewEntryMonitor.h"
#include "platform/Platform.h"
#include "store/AutostartStore.h"
#include "ui/DelayPrompt.h"
#include "ui/GridGestures.h"
#include "ui/GridModel.h"
#include "ui/MainView.h"
#include "ui/MainViewEvents.h"
#include "ui/NameLists.h"
#include "ui/RowActions.h"
#include "ui/TrayIcon.h"

namespace vantorell::app {

inline constexpr std::string_view kHelpFile = "VantorellHelp.html";
inline constexpr unsigned kCentreDelayMs = 50;  // Timer3
inline constexpr int kOffScreen = -800;
// How often the window looks whether another writer changed a list file, on a
// platform that cannot watch the lists' folders.
inline constexpr unsigned kListWatchMs = 1000;
// How often the window takes in what the background identification found,
// while it runs; the timer stops when it is done.
inline constexpr unsigned kIdentityPollMs = 150;
// While identification answers stream in, the grid's Publisher column is
// refilled this often at most (refilling thousands of rows costs more than
// taking the answers in), and once more when they are all in.
inline constexpr std::uint64_t kIdentityRefreshMs = 600;
// A refill the user did not ask for (the monitor's pass, the lists changed on
// disk, answers that hide or show rows) waits while the user is at the grid,
// looking again this often, but not longer than kRefillHoldMaxMs.
inline constexpr unsigned kRefillHoldPollMs = 200;
inline constexpr std::uint64_t kRefillHoldMaxMs = 5000;

class MainForm final : public ui::MainViewEvents,
                       public ui::TrayIconEvents,
                       public control::EntriesChanged,
                       public monitor::MonitorHost,
                       public launch::LauncherHost {
public:
    // All must outlive the form. The view and the tray icon may be created after
    // the form, but before Guard and FormCreate.
    MainForm(platform::Platform& platform, const ui::NameLists& lists, ui::DelayPrompt& delayPrompt);
    ~MainForm() override;
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    void Attach(ui::MainView& view, ui::TrayIcon& tray);

    // The single-instance guard, run while the window is created and before
    // FormCreate: false when another copy runs (this copy then ends as soon as
    // its message loop would start).
    bool Guard();
    // The start-up sequence, once, before the window is first shown.
    void FormCreate(const std::vector<std::string>& arguments);
    // True when the program is to end as soon as its message loop starts (a
    // second copy, an uninstall run) or now (terminate requested).
    bool TerminateRequested() const { return terminate_; }
    // After the window is gone: the owner releases its lock, a second copy
    // raises the running copy's window.
    void AtExit();

    // ---- window events
    void OnGridDoubleClick(int column, int row) override;
    void OnGridMouseUp() override;
    void OnDeleteClicked() override;
    void OnHideWindowsOwnChanged() override;
    void OnFilterChanged(std::string_view text) override;
    void OnGridHeaderClick(int column) override;
    // ---- the row menu and its keys, the layout (MainFormRows.cpp)
    ui::RowMenu RowMenuOf(int row) override;
    void OnRowAction(ui::RowAction action, int row) override;
    void OnRescan() override;
    void OnColumnWidthChanged(int column, int width) override;
    void OnHelpClicked() override;
    bool OnCloseQuery() override;
    void OnClose() override;
    void OnMinimize() override;
    void OnRestore() override;
    void OnShown() override;
    void OnQueryEndSession() override;
    void OnEndSession() override;

    // ---- tray icon
    void TrayIconDblClick() override;
    void Show1Click() override;
    void Close1Click() override;

    // ---- timers
    // Puts the window where it was left, or centres it; on an interactive
    // start also shows it.
    void Timer3Timer();
    // Answers a second copy's request in the hand-over file; polls every 2
    // seconds only where the file's folder cannot be watched.
    void Timer4Timer();
    // Shows at once a change another writer (vantorellc, a second user's copy)
    // made to a list file, on a platform that cannot watch: once a second.
    void ListWatchTimer();
    // The folders of the lists changed: rescans and refills when a list holds
    // other lines than the store last read or wrote.
    void ListsChanged();

    // ---- monitor and launcher hosts
    bool WarnNew() const override;
    bool AutoKill() const override;
    bool InTray() const override;
    void ShowFromTray() override { TrayIconDblClick(); }
    void Notify(std::string_view title, std::string_view text) override;
    void ReportError(std::string_view message) override;
    void MinimizeApplication() override { OnMinimize(); }
    bool TakeOutAsAdministrator(std::string_view name, std::string_view location, std::uint64_t deniedBefore) override;
    // Whether changing the entry of grid `row` needs administrator rights this
    // window lacks (a machine-wide entry, a window not elevated).
    bool NeedsAdministratorRights(int row) override;
    // The Publisher text of the file of the active entry `name` (the state's
    // word when it is not verified), for the monitor's reports: what is known
    // or can be told at once ("File not found", what the cache holds); else
    // asks for it and says "not checked yet".
    std::string PublisherOf(std::string_view name) override;

    // ---- identification of the entries' files, off this thread
    // Starts it; from then on every fill of the grid asks about the table again.
    void StartIdentification();
    // Takes in what the worker found and shows it; stops when it is done.
    void IdentityTimer();
    // What is known of the file of entry `index`; nullptr while it is not.
    const identity::Identity* IdentityOf(std::size_t index) const;
    // "Hide Windows' own entries" is checked (before the window is there: its default, on).
    bool HideWindowsOwn() const;
    // Whether entry `index` is a service whose file is Windows' own.
    bool WindowsOwnService(std::size_t index) const;
    // Whether entry `index` is left out while Windows' own entries are hidden.
    bool HiddenAsWindowsOwn(std::size_t index) const;
    // What entry `index` cost at the logons measured.
    impact::Summary ImpactOf(std::size_t index) const;
    // Shows the last logon as a whole in the status line and the tray tip.
    void ShowLastLogon();
    // The status line: how many rows are not shown and why, and the last logon.
    void ShowStatus();
    identity::IdentityService& Identities() { return identities_; }

    // ---- for the console, the tests and the view
    store::AutostartStore& Store() { return store_; }
    const FileLayout& Layout() const { return layout_; }
    ui::GridModel& Grid() { return grid_; }
    bool CloseRequested() const { return closeRequested_; }
    bool LogonMode() const { return logonMode_; }
    launch::BootLauncher& Launcher() { return launcher_; }
    monitor::NewEntryMonitor& Monitor() { return monitor_; }

private:
    Options CurrentOptions() const;
    void ApplyOptions(const Options& options);
    // Runs a step of a sequence; its error is shown and the sequence goes on.
    template <typename Step>
    void Try(Step&& step);
    // Runs a grid gesture; a change refused for lack of rights to what every
    // user shares is offered to be made as administrator.
    template <typename Gesture>
    void RunChange(Gesture&& gesture);
    void RunGesture(const std::function<void()>& gesture);
    void StopTimer(std::optional<platform::TimerId>& timer);
    // Runs a change of the rows shown (filter, sort) and shows it; the entry
    // that was selected stays selected where it is still shown.
    template <typename Arrange>
    void KeepSelectedEntry(Arrange&& arrange);
    // Saves the options once per run: at the real close, or when the program is
    // ended by a logoff or the installer without it.
    void SaveOptionsOnce();
    // Asks about the entries' files; with `all`, about every one again.
    void RequestIdentities(bool all = false);
    // The monitor's passes and the lists changed on disk: the grid is refilled,
    // once the user is not at it.
    void OnEntriesChanged(const store::EntryTable& table) override;
    bool ShowsEntries() const override { return true; }
    void ApplyHeldRefills();
    // The file the entry starts, as far as it is known (or can be told at once).
    ui::RowFile RowFileOf(int row, std::size_t index);
    // The column widths and the window's place from the options, and back.
    void ApplyLayout(const Options& options);
    void KeepLayout(Options& options) const;
    // Puts the window where it was left, or centres it.
    void PlaceWindow();

    platform::Platform& platform_;
    FileLayout layout_;  // before the parts that find their files through it
    store::AutostartStore store_;
    ui::GridModel grid_;
    control::EntryControl control_;
    ui::GridGestures gestures_;
    launch::BootLauncher launcher_;
    monitor::NewEntryMonitor monitor_;
    OneInstance guard_;
    Elevation elevation_;
    ui::MainView* view_ = nullptr;
    ui::TrayIcon* tray_ = nullptr;

    bool closeRequested_ = false;  // CloseRequested: the next close ends the program
    bool logonMode_ = false;
    bool uninstalled_ = false;  // never register again in an uninstall run
    bool terminate_ = false;
    bool closed_ = false;  // OnClose ran
    bool optionsSaved_ = false;
    bool handOverFailing_ = false;  // the hand-over file's fault was reported
    std::optional<platform::TimerId> timer3_, timer4_, listWatch_, identityTimer_, holdTimer_;
    bool refillHeld_ = false;        // a fill waits for the user to leave the grid
    bool filesHeld_ = false;         // answers wait likewise
    std::uint64_t heldSince_ = 0;
    bool identitiesChanged_ = false;       // answers the grid does not show yet
    std::uint64_t identitiesShownAt_ = 0;  // when the grid last took them
    bool identifying_ = false;
    std::optional<ui::WindowPlace> windowPlace_;  // where the window was left at the last close
    bool windowShown_ = false;                    // the window came on screen this run
    std::string windowsFolder_;                   // where Windows' own files are
    LogonImpact impact_;                          // what each entry cost at the last logons
    unsigned measureSeconds_ = kImpactWindowSeconds;
    identity::IdentityService identities_;                // last: its worker ends before the rest goes
    std::unique_ptr<platform::ChangeWatch> listChanges_;  // the folders of the lists and the hand-over file
};

}  // namespace vantorell::app
