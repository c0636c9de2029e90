// The new-entry monitor: woken by the system when an autostart place changes
// (every Run-type key in both views, Windows' startup switches, both Startup
// folders, the list file), it rescans the places after a short settle time and
// compares the entry names with those of the previous pass, by name and with
// multiplicity (a name is new when it occurs more often than before). With
// AutoKill it takes a recorded program that put itself back into its recorded
// place out again; with WAdd it reports the other new names, and the known
// entries whose start command changed. Timer1 (12 seconds) stays as a safety
// net: it runs, with the full pass, only while the places cannot all be watched.
//
// Passes run whatever is open: the watches and timers are served while a box,
// a question or a dialog waits for the user, so AutoKill keeps taking comebacks
// out and the grid keeps being refilled. A pass that runs inside a box compares
// against the baseline the waiting pass already set. Reports never stack: what
// a pass finds while one is open is shown once, in one more box, after it closes.
// A program that keeps putting itself back is told in a notice that waits for
// no answer and leaves the window where it is.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/EntriesChanged.h"
#include "control/EntryControl.h"
#include "platform/Platform.h"
#include "store/AutostartStore.h"

namespace vantorell::monitor {

inline constexpr unsigned kTimer1IntervalMs = 12000;
inline constexpr std::string_view kStartupTotalFile = "StartupTotal.txt";

inline constexpr std::string_view kReportCaption = "New startup program!";
inline constexpr std::string_view kReportTextBefore =
    "The following program(s) have added themselves to the autostartup list: ";
inline constexpr std::string_view kReportTextAfter =
    ". If you want these programs to automatically start, you need take no further action. Otherwise, you can "
    "disable the programs with Vantorell.";
inline constexpr std::string_view kNameSeparator = ", ";

// A change wakes a pass once the places were quiet this long, and at the
// latest this long after the first change, so a burst of writes is one pass.
inline constexpr unsigned kSettleMs = 250;
inline constexpr unsigned kSettleMaxMs = 500;
// AutoKill takes a comeback out at most once per entry in this time; after
// kComebacksToReport comebacks within kComebackWindowMs it says so, at most
// once per entry in kComebackNoticeIntervalMs.
inline constexpr unsigned kComebackIntervalMs = kTimer1IntervalMs;
inline constexpr unsigned kComebackWindowMs = 60000;
inline constexpr std::size_t kComebacksToReport = 3;
inline constexpr std::uint64_t kComebackNoticeIntervalMs = 60ull * 60 * 1000;

inline constexpr std::string_view kChangedCaption = "Vantorell";
inline constexpr std::string_view kChangedTextHead = "The following program(s) have changed their start command:";
inline constexpr std::string_view kChangedArrow = " \xE2\x86\x92 ";  // " → "
inline constexpr std::string_view kComebackCaption = "Vantorell";
inline constexpr std::string_view kComebackText = " keeps putting itself back.";

// A known entry whose start command changed between two passes.
struct ChangedCommand {
    std::string name, oldCommand, newCommand;
};
// The report's text for changed commands: the head, then one line per entry,
// "NAME: OLD → NEW".
std::string ChangedText(const std::vector<ChangedCommand>& changed);

// The report's text for the new names, in the order given.
std::string ReportText(const std::vector<std::string>& newNames);

// The notice's text for a program that keeps putting itself back: "NAME keeps
// putting itself back.", with its publisher after the name when it is known.
std::string ComebackText(std::string_view name, std::string_view publisher);

// What the monitor needs of the main window.
class MonitorHost {
public:
    virtual ~MonitorHost() = default;
    virtual bool WarnNew() const = 0;   // WAdd is checked
    virtual bool AutoKill() const = 0;  // AutoKill is checked
    virtual bool InTray() const = 0;    // the tray icon is active
    // Brings the window out of the tray or to the front (TrayIconDblClick).
    virtual void ShowFromTray() = 0;
    // A notice that waits for no answer: shown in the notification area,
    // without bringing the window out of the tray.
    virtual void Notify(std::string_view title, std::string_view text) = 0;
    // Shows an error as the application's top-level error report (error icon,
    // OK, caption "Vantorell", ErrorReportText).
    virtual void ReportError(std::string_view message) = 0;
    // AutoKill could not take the copy of `name` out of place `location` again.
    // True when the host dealt with it: the refusal was for lack of rights
    // (access denied since `deniedBefore`), and the host offered, once, to take
    // it out as administrator. False: the failure is reported as an error.
    virtual bool TakeOutAsAdministrator(std::string_view /*name*/, std::string_view /*location*/,
                                        std::uint64_t /*deniedBefore*/) {
        return false;
    }
    // Who made the file of the active entry `name` (its Publisher text), for
    // the reports; empty when the host does not know.
    virtual std::string PublisherOf(std::string_view /*name*/) { return {}; }
};

// "NAME (PUBLISHER)", or the name alone without a publisher.
std::string WithPublisher(std::string_view name, std::string_view publisher);

// The facets of the system the monitor uses.
struct MonitorFacets {
    platform::Registry& registry;    // which places there are
    platform::Files& files;          // the names known at start ("StartupTotal.txt")
    platform::Locale& locale;        // names compared and sorted
    platform::Clock& clock;          // its timers, the watches of the places
    platform::Shell& shell;          // its reports
    platform::Processes& processes;  // its own executable, refused writes

    MonitorFacets(platform::Registry& r, platform::Files& f, platform::Locale& l, platform::Clock& c,
                  platform::Shell& s, platform::Processes& p)
        : registry(r), files(f), locale(l), clock(c), shell(s), processes(p) {}
    // The monitor's facets of a whole system.
    MonitorFacets(platform::Platform& p)
        : MonitorFacets(p.registry, p.files, p.locale, p.clock, p.shell, p.processes) {}
};

class NewEntryMonitor {
public:
    // All must outlive the monitor.
    NewEntryMonitor(MonitorFacets facets, store::AutostartStore& store, control::EntryControl& control,
                    control::EntriesChanged& shown, MonitorHost& host);
    NewEntryMonitor(const NewEntryMonitor&) = delete;
    NewEntryMonitor& operator=(const NewEntryMonitor&) = delete;
    // Stops Timer1.
    ~NewEntryMonitor();

    // "StartupTotal.txt" beside the executable.
    static std::string StartupTotalPath(platform::Processes& processes);

    // At start, right after the first scan and grid fill: the baseline is the
    // lines of `startupTotalPath` when that file exists, else the names of the
    // table. A file that exists but cannot be read is reported through the
    // host, and the table's names are taken instead.
    void TakeBaseline(std::string_view startupTotalPath);
    // Switches Timer1 on and watches the places (once).
    void Start();
    // Switches Timer1 off and ends the watches, for the end of the window.
    void Stop();
    // Timer1's tick: the full pass when a place is not watched, else nothing.
    void Timer1Timer();
    // A watched place changed: the pass runs once the places settle.
    void OnPlacesChanged();
    // Whether every place is watched now.
    bool Watching() const { return watch_ && watch_->Armed(); }
    // The places to watch: derived from the location table, so every place the
    // scan reads is watched.
    std::vector<platform::WatchPlace> PlacesToWatch();
    bool Running() const { return running_; }

    // One pass of the monitor; also the last pass at a real close. Errors are
    // reported through the host, at most once per pass; it does not throw.
    void CheckNewEntries();

    // The baseline, sorted without regard to case.
    const std::vector<std::string>& KnownNames() const { return knownNames_; }

private:
    // Step 4: the sorted names of `current` that occur more often than in
    // `known` (sorted, as the baseline always is), once for every extra occurrence.
    std::vector<std::string> Unmatched(std::vector<std::string> current, const std::vector<std::string>& known);
    // An active entry of that name stands in the place of that code.
    bool ActiveIn(std::string_view name, std::string_view code) const;
    // Step 5: re-disables the recorded names that came back into their recorded
    // place and takes them out of `newNames`. The first error is kept in `error`;
    // the loop goes on with the other records.
    void ReDisable(std::vector<std::string>& newNames, std::optional<std::string>& error);
    // Step 6: replaces the baseline, brings the window up and shows the report;
    // while a report is open, the names wait for it to close.
    void Report(const std::vector<std::string>& newNames);
    // Shows the waiting reports, one box at a time, until none is left.
    void ShowReports();

    void ReplaceBaseline();
    // The active entries' commands by place and name, for the next comparison.
    void TakeCommands();
    // The known active entries whose command differs from the last pass's,
    // leaving out the names that are new.
    std::vector<ChangedCommand> ChangedCommands(const std::vector<std::string>& newNames);
    void ReportChanged(const std::vector<ChangedCommand>& changed);
    // Whether the place of a record leaves its comebacks to the user.
    bool RefusesAutoTakeOut(const store::StartupEntry& entry);
    // Takes one occurrence of `name` out of CurrentNames.
    void ForgetCopy(const std::string& name);
    // Sets the watches again when the places moved (a Startup folder).
    void Watch();
    // Runs a pass in `delayMs` (once; an earlier request wins).
    void PassIn(std::optional<platform::TimerId>& timer, unsigned delayMs);
    std::string CommandKey(const store::StartupEntry& entry);
    bool SameName(std::string_view a, std::string_view b) const;
    void ReportErrorOnce(const std::string& message);

    MonitorFacets facets_;
    store::AutostartStore& store_;
    control::EntryControl& control_;
    control::EntriesChanged& shown_;
    MonitorHost& host_;
    std::vector<std::string> knownNames_;    // KnownNames
    std::vector<std::string> currentNames_;  // CurrentNames: the latest pass's names, in table order
    bool errorShown_ = false;                // a monitor error is on screen
    bool running_ = false;
    std::optional<platform::TimerId> timer1_;  // only while a place is not watched

    // The watches and the settle time after a change.
    std::unique_ptr<platform::ChangeWatch> watch_;
    std::vector<platform::WatchPlace> watched_;
    std::optional<platform::TimerId> settle_;  // a pass after the places settle
    std::uint64_t firstChange_ = 0;            // when the first unsettled change came
    std::uint64_t lastChange_ = 0;
    std::optional<platform::TimerId> retry_;  // a pass for a comeback held back
    // The commands of the last pass's active entries, by CommandKey.
    std::map<std::string, std::string> commands_;
    // AutoKill's comebacks of each record, by folded name and place.
    struct Comebacks {
        std::deque<std::uint64_t> times;      // within the last kComebackWindowMs
        std::optional<std::uint64_t> toldAt;  // the last notice
    };
    std::map<std::string, Comebacks> comebacks_;
    // The reports found while one is open: shown after it closes.
    bool reportOpen_ = false;
    std::vector<std::string> waitingNames_;
    std::vector<ChangedCommand> waitingChanged_;
};

}  // namespace vantorell::monitor
