// What the program does once at start and once at a real close, apart from the
// window: the command line, its own logon entry, its options, the import of
// an old list, the pending notice, and the uninstall run.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/common/FileLayout.h"
#include "control/EntryControl.h"
#include "platform/Platform.h"
#include "platform/RegistryKey.h"
#include "store/AutostartStore.h"
#include "ui/MainView.h"

namespace vantorell::app {

inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\run";
inline constexpr std::string_view kOwnRunValue = "Vantorell";
inline constexpr std::string_view kOptionsKey = "Software\\Vantorell";
inline constexpr std::string_view kWarnValue = "Warn";
inline constexpr std::string_view kKillValue = "Kill";
inline constexpr std::string_view kMinValue = "Min";
inline constexpr std::string_view kHideWindowsValue = "HideWindows";
inline constexpr std::string_view kSortColumnValue = "SortColumn";
inline constexpr std::string_view kSortDirectionValue = "SortDirection";
inline constexpr std::string_view kMeasureSecondsValue = "MeasureSeconds";
inline constexpr std::string_view kColumnWidthsValue = "ColumnWidths";  // "45,115,80,0,70,300,0,200,90"
inline constexpr std::string_view kWindowPlaceValue = "WindowPlace";    // "LEFT,TOP,WIDTH,HEIGHT"
inline constexpr std::string_view kOldListFile = "data.txt";
inline constexpr std::string_view kNoticeFile = "AwardMessage.txt";
inline constexpr std::string_view kStartupTotalFile = "StartupTotal.txt";

// The switches of a command line. Every argument, the program's own path
// included, is compared whole and with case as written.
struct Switches {
    bool logon = false;             // "-b", "/b", "b"
    bool uninstall = false;         // "-u", "/u", "u"
    bool uninstallMachine = false;  // "-m", "/m": the machine's part of an uninstall
    // "-k", "/k" with "-m": records that cannot be given back are kept beside
    // the list (store::kKeptListFile), and the uninstall goes on.
    bool keepUnreturned = false;
    bool upgradeList = false;  // "-upgrade": the setup moves an earlier version's list
    bool identify = false;     // "-identify": a helper that identifies the files of the jobs on its input
};
Switches ParseSwitches(const std::vector<std::string>& arguments);

// The three options; all on when nothing is stored.
struct Options {
    bool warnNew = true;         // "Warn"
    bool autoKill = true;        // "Kill"
    bool minimize = true;        // "Min"
    bool hideWindowsOwn = true;  // "HideWindows"
    // The grid's sort: a column's number and 0 as listed, 1 up, 2 down.
    unsigned sortColumn = 1;     // "SortColumn", the name's
    unsigned sortDirection = 0;  // "SortDirection"
    // How long the logon is measured, in seconds (5 to 600): read only, for
    // a test or an administrator who wants another window than a minute.
    unsigned measureSeconds = 60;  // "MeasureSeconds"
    // The layout the user left: the grid's column widths at 96 DPI, one per
    // column ("ColumnWidths"), and the window's place ("WindowPlace"). Empty
    // and nullopt where nothing (or nothing readable) is stored.
    std::vector<int> columnWidths{};
    std::optional<ui::WindowPlace> window{};
};

// The numbers of a list separated by commas, as the layout values hold them;
// nullopt unless there are `count` whole numbers.
std::optional<std::vector<int>> ParseNumberList(std::string_view text, std::size_t count);

// The path of a file of the program's own, beside its executable.
std::string BesideExecutable(platform::Platform& platform, std::string_view fileName);

// The command of the program's own Run value: the executable's path, in double
// quotes when it holds a blank (so "C:\Program.exe" can never run in its place),
// followed by " -b".
std::string OwnRunCommand(std::string_view executablePath);

// Where the own Run value stands after RegisterAutostart.
enum class RegisteredIn {
    Machine,  // the machine's Run key (the setup's, or written with the rights for it)
    User,     // the user's Run key
    Neither,  // a portable copy beside a machine value it may not remove: no second value is written
};

// Registers the program for logon, once per logon and only where this process
// has the rights:
// - an installed copy's registration is the machine's value, which the setup
//   writes; it is rewritten when it names another command and the rights are
//   there, and a user value left by earlier versions goes. Without a machine
//   value and without the rights to write one, the user's value is written;
// - a portable copy registers in the user's Run key. A machine value of its
//   own command (written by earlier versions) is moved there when the rights
//   allow it; any other machine value stays, and no user value is written
//   beside it.
// A value never stands in both keys by this program's doing. Throws AppError
// only when the user's own Run key cannot be written.
RegisteredIn RegisterAutostart(platform::Platform& platform, std::string_view executablePath, bool installed);

// Reads "Warn", "Kill" and "Min": the machine's options key gives the
// defaults (the setup may write them), the user's key "Software\Vantorell" in
// HKEY_CURRENT_USER overrides them. A missing value leaves its option
// unchanged, 1 means on and any other number off. Throws the registry's errors
// ("Invalid data type for '%s'", "Failed to get data for '%s'").
void LoadOptions(platform::Platform& platform, Options& options);
// Writes the options into the user's key as 32-bit integers, 1 for on and 0
// for off, and the sort's numbers. The machine's defaults are never written by
// the program.
void SaveOptions(platform::Platform& platform, const Options& options);

// Converts "data.txt" (name;location;command;unused;confirm Y;delay;arguments)
// into records of "StartupList.txt". The list is saved before the old file is
// deleted, so a failed save loses nothing. Returns the number of lines imported.
// "data.txt" is in the layout's user folder.
std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store, const FileLayout& layout);
std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store);  // the detected layout

// Whether the build this one replaced meant the 32-bit registry view by the
// "lrun"-type codes: a 32-bit 0.1.0 on 64-bit Windows did. The setups install
// each build into its own folder, so the build replaced there was this one's.
bool ReplacedBuildMeant32BitView(platform::Platform& platform);

// An installed 0.1.0 kept its one list, "StartupList.txt", beside the
// executable. Moves its records into the user's and the machine's lists, once:
// under the writers' lock, each record that the lists do not hold yet, with the
// "…32" code of its place when `meant32BitView`. The old file is first copied to
// "StartupList.txt.0.1.0.bak" beside it (a free name: ".0.1.0.2.bak" and on when
// that one is taken), and goes only after both lists are saved. Returns the
// number of records read; 0 for a portable copy or when there is no such list.
// Throws AppError when it could not be done (the old file then stands as it
// was); with `quietWithoutRights`, a folder this user may not write ends it
// without an error, for the setup to do with administrator rights.
std::size_t UpgradeInstalledList(platform::Platform& platform, store::AutostartStore& store, const FileLayout& layout,
                                 bool meant32BitView, bool quietWithoutRights);
// The setup's run after an upgrade ("-upgrade"): the move above, no window.
// 0 when done or nothing was to do, 1 when the old list still stands.
int RunListUpgrade(platform::Platform& platform);

// Opens "AwardMessage.txt" (in the layout's user folder) with its program when
// it exists; nothing waits for it.
void OpenPendingNotice(platform::Platform& platform, const FileLayout& layout);
void OpenPendingNotice(platform::Platform& platform);  // the detected layout

// Which Run values an uninstall removes: the user's, the machine's, or both.
enum class UninstallPart { User, Machine, Whole };

// Asked when an uninstall cannot give a record back, with the record's name
// and the error: true keeps that record, and every later one that cannot be
// given back, in store::kKeptListFile beside its list, and the uninstall
// goes on; false ends it with the error.
using KeepOffer = std::function<bool(std::string_view name, std::string_view error)>;

// Gives every recorded entry of the store's lists back to its place (in file
// order), removes the program's own Run value from the hives of `part`, and
// deletes the list files. An entry that cannot be given back ends the run with
// its error, the records not yet handled staying in their list, unless
// `offerKeep` says to keep it (each kept record is written to the kept file
// before it leaves its list). `strayList`, when not empty, is a list that no
// one writes (one beside an installed executable): its records are moved into
// the store's lists first and given back with the others.
void Uninstall(control::EntryControl& control, const std::string& strayList = {},
               UninstallPart part = UninstallPart::Whole, const KeepOffer& offerKeep = {});

// The two parts of the uninstall of an installed copy, each on a store of its
// own list alone. The user's part (vantorell.exe -u, run by the user with the
// user's own rights) gives back the user's list and removes the user's Run
// value. The machine's part (vantorell.exe -m, run by the uninstaller with
// administrator rights) gives back the machine's list and the list beside the
// executable, both in folders only administrators can write, and removes the
// machine's Run value; it reads nothing a program of a user's could have
// written. Both throw AppError.
void UninstallUserPart(platform::Platform& platform, const FileLayout& layout, const KeepOffer& offerKeep = {});
void UninstallMachinePart(platform::Platform& platform, const FileLayout& layout, const KeepOffer& offerKeep = {});
// "vantorell.exe -m": the machine's part for the running executable's layout,
// with no window and no message box (the uninstaller runs it silently). The
// exit code: 0 done, 1 failed. With `keepUnreturned` ("-m -k", the
// uninstaller's answer when the user chose to keep them) a record that cannot
// be given back is kept beside its list instead.
int RunMachineUninstall(platform::Platform& platform, bool keepUnreturned = false);

}  // namespace vantorell::app
