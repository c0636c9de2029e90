#include "monitor/NewEntryMonitor.h"

#include <algorithm>
#include <exception>
#include <iterator>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/Place.h"
#include "store/StartupRecord.h"
#include "store/WindowsSwitch.h"

namespace vantorell::monitor {
namespace {

std::vector<std::string> NamesOf(const store::EntryTable& table) {
    std::vector<std::string> names;
    names.reserve(table.entries.size());
    for (const auto& e : table.entries) names.push_back(e.name);
    return names;
}

}  // namespace

std::string ReportText(const std::vector<std::string>& newNames) {
    std::string text(kReportTextBefore);
    for (std::size_t i = 0; i < newNames.size(); ++i) {
        if (i > 0) text += kNameSeparator;
        text += newNames[i];
    }
    text += kReportTextAfter;
    return text;
}

std::string WithPublisher(std::string_view name, std::string_view publisher) {
    std::string text(name);
    if (!publisher.empty()) text.append(" (").append(publisher).append(")");
    return text;
}

std::string ComebackText(std::string_view name, std::string_view publisher) {
    return WithPublisher(name, publisher).append(kComebackText);
}

std::string ChangedText(const std::vector<ChangedCommand>& changed) {
    std::string text(kChangedTextHead);
    for (const ChangedCommand& c : changed) {
        text += '\n';
        text += c.name;
        text += ": ";
        text += c.oldCommand;
        text += kChangedArrow;
        text += c.newCommand;
    }
    return text;
}

NewEntryMonitor::NewEntryMonitor(MonitorFacets facets, store::AutostartStore& store, control::EntryControl& control,
                                 control::EntriesChanged& shown, MonitorHost& host)
    : facets_(facets), store_(store), control_(control), shown_(shown), host_(host) {}

NewEntryMonitor::~NewEntryMonitor() {
    Stop();
}

std::string NewEntryMonitor::StartupTotalPath(platform::Processes& processes) {
    return text::JoinPath(text::FolderOf(processes.ExecutablePath()), kStartupTotalFile);
}

void NewEntryMonitor::TakeBaseline(std::string_view startupTotalPath) {
    TakeCommands();
    std::vector<std::string> names = NamesOf(store_.Table());
    text::SortNoCase(facets_.locale, names);
    if (!facets_.files.FileExists(startupTotalPath)) {
        knownNames_ = std::move(names);
        return;
    }
    try {
        knownNames_ = text::LoadLines(facets_.files, facets_.locale, startupTotalPath);
    } catch (const std::exception& e) {
        knownNames_ = std::move(names);
        ReportErrorOnce(e.what());
        return;
    }
    text::SortNoCase(facets_.locale, knownNames_);
}

void NewEntryMonitor::Start() {
    if (running_) return;
    running_ = true;
    Watch();
}

void NewEntryMonitor::Stop() {
    running_ = false;
    watch_.reset();
    watched_.clear();
    for (auto* timer : {&timer1_, &settle_, &retry_}) {
        if (!*timer) continue;
        facets_.clock.StopTimer(**timer);
        timer->reset();
    }
}

std::vector<platform::WatchPlace> NewEntryMonitor::PlacesToWatch() {
    using platform::WatchPlace;
    std::vector<WatchPlace> places;
    const auto add = [&places](WatchPlace place) {
        if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(std::move(place));
    };
    for (const store::AutostartLocation& location : store::Locations()) {
        if (!store::PlaceExists(facets_.registry, location)) continue;
        for (platform::WatchPlace& place : store::OpenPlace(store_, location)->Watched()) add(std::move(place));
        // Windows' own switches: a flip changes what the grid shows.
        if (!location.switchKey.empty())
            add({WatchPlace::Kind::Key, location.hive, platform::RegView::Bits64,
                 text::JoinPath(store::kStartupApprovedKey, location.switchKey)});
    }
    // Where the Startup folders are. Not the lists' folders: the window takes
    // up a change of a list itself (only when a list's text changed), and the
    // folder of a portable copy holds its other files too, whose every write
    // would otherwise be a pass.
    add({WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64,
         std::string(store::kShellFoldersKey)});
    add({WatchPlace::Kind::Key, platform::Hive::LocalMachine, platform::RegView::Bits64,
         std::string(store::kShellFoldersKey)});
    return places;
}

void NewEntryMonitor::Watch() {
    if (!running_) return;
    std::vector<platform::WatchPlace> places = PlacesToWatch();
    if (!watch_ || places != watched_) {
        watch_.reset();
        watch_ = facets_.clock.WatchPlaces(places, [this] { OnPlacesChanged(); });
        watched_ = std::move(places);
    }
    // The safety net runs only while a place is not watched. A watch that
    // cannot be armed again after a change says so through that change, whose
    // pass ends here: at rest, with every place watched, nothing wakes the
    // program (each wake of a resting program costs more than all it does).
    if (Watching()) {
        if (timer1_) facets_.clock.StopTimer(*timer1_);
        timer1_.reset();
    } else if (!timer1_) {
        timer1_ = facets_.clock.StartTimer(kTimer1IntervalMs, [this] { Timer1Timer(); });
    }
}

void NewEntryMonitor::Timer1Timer() {
    // A platform that cannot watch, or a place that could not be watched,
    // gets the full pass; a place watched again stops the timer.
    if (!Watching()) CheckNewEntries();
    Watch();
}

void NewEntryMonitor::OnPlacesChanged() {
    // Waits until the places are quiet for kSettleMs, at most kSettleMaxMs
    // after the first change: a burst of writes is one pass.
    const std::uint64_t now = facets_.clock.TickMs();
    if (!settle_) firstChange_ = now;
    lastChange_ = now;
    if (settle_) return;
    settle_ = facets_.clock.StartTimer(kSettleMs, [this] {
        const std::uint64_t now = facets_.clock.TickMs();
        if (now - lastChange_ < kSettleMs && now - firstChange_ < kSettleMaxMs) return;  // not quiet yet
        facets_.clock.StopTimer(*settle_);
        settle_.reset();
        CheckNewEntries();
        Watch();
    });
}

void NewEntryMonitor::PassIn(std::optional<platform::TimerId>& timer, unsigned delayMs) {
    if (timer) return;
    timer = facets_.clock.StartTimer(delayMs, [this, &timer] {
        facets_.clock.StopTimer(*timer);
        timer.reset();
        CheckNewEntries();
    });
}

bool NewEntryMonitor::SameName(std::string_view a, std::string_view b) const {
    return facets_.locale.CompareNoCase(a, b) == 0;
}

void NewEntryMonitor::CheckNewEntries() {
    if (!host_.WarnNew() && !host_.AutoKill()) return;
    std::optional<std::string> error;
    try {
        // A failed scan leaves the table as it was; the baseline stays too.
        store_.ScanEntries();
        if (!host_.InTray()) shown_.OnEntriesChanged(store_.Table());
        currentNames_ = NamesOf(store_.Table());
        std::vector<std::string> newNames = Unmatched(currentNames_, knownNames_);
        const std::vector<ChangedCommand> changed = ChangedCommands(newNames);
        if (!newNames.empty() && host_.AutoKill()) ReDisable(newNames, error);
        if (!newNames.empty() && host_.WarnNew()) Report(newNames);
        if (!changed.empty() && host_.WarnNew()) ReportChanged(changed);
        ReplaceBaseline();
    } catch (const std::exception& e) {
        if (!error) error = e.what();
    }
    if (error) ReportErrorOnce(*error);
}

std::string NewEntryMonitor::CommandKey(const store::StartupEntry& entry) {
    return entry.location + '\n' + facets_.locale.FoldCase(entry.name);
}

void NewEntryMonitor::TakeCommands() {
    commands_.clear();
    for (const store::StartupEntry& e : store_.Table().entries)
        if (e.IsActive()) commands_.emplace(CommandKey(e), e.command);
}

std::vector<ChangedCommand> NewEntryMonitor::ChangedCommands(const std::vector<std::string>& newNames) {
    // Only entries that stayed in their place: one that is new by name, or that
    // was switched off or on meanwhile, is no change of command. Windows' own
    // switch leaves the command alone, so a flip is none either.
    std::vector<ChangedCommand> changed;
    for (const store::StartupEntry& e : store_.Table().entries) {
        if (!e.IsActive()) continue;
        const auto known = commands_.find(CommandKey(e));
        if (known == commands_.end() || known->second == e.command) continue;
        if (std::any_of(newNames.begin(), newNames.end(), [&](const std::string& n) { return SameName(n, e.name); }))
            continue;
        changed.push_back({e.name, known->second, e.command});
    }
    std::stable_sort(changed.begin(), changed.end(), [this](const ChangedCommand& a, const ChangedCommand& b) {
        return facets_.locale.CompareNoCase(a.name, b.name) < 0;
    });
    return changed;
}

void NewEntryMonitor::ReportChanged(const std::vector<ChangedCommand>& changed) {
    // As for new names: the baseline first, so a pass nested in the box does
    // not report the same change again.
    ReplaceBaseline();
    // An entry that changes again while the report waits is listed once, from
    // its command before the first change to its latest: nobody answering for
    // hours must not make the list grow.
    for (const ChangedCommand& c : changed) {
        auto waiting = std::find_if(waitingChanged_.begin(), waitingChanged_.end(),
                                    [&](const ChangedCommand& w) { return SameName(w.name, c.name); });
        if (waiting == waitingChanged_.end())
            waitingChanged_.push_back(c);
        else
            waiting->newCommand = c.newCommand;
    }
    ShowReports();
}

std::vector<std::string> NewEntryMonitor::Unmatched(std::vector<std::string> current,
                                                    const std::vector<std::string>& knownNames) {
    // Both lists sorted by the same comparison, so one merge does what looking
    // every name up in the baseline and striking it out does: the first
    // occurrences of a name use up its occurrences in the baseline, the rest
    // are new. Linear after the sort, where the look-ups were quadratic (a
    // pass over 10,000 entries took seconds on the GUI thread).
    text::SortNoCase(facets_.locale, current);
    const std::vector<std::string>& known = knownNames;  // kept sorted
    std::vector<std::string> unmatched;
    std::size_t k = 0;
    for (auto& name : current) {
        int order = -1;
        while (k < known.size() && (order = facets_.locale.CompareNoCase(known[k], name)) < 0) ++k;
        if (k < known.size() && order == 0) {
            ++k;
            continue;
        }
        unmatched.push_back(std::move(name));
    }
    return unmatched;
}

bool NewEntryMonitor::ActiveIn(std::string_view name, std::string_view code) const {
    const auto& table = store_.Table();
    for (std::size_t j = table.RecordCount(); j < table.entries.size(); ++j) {
        const store::StartupEntry& e = table.entries[j];
        if (e.IsActive() && e.location == code && SameName(e.name, name)) return true;
    }
    return false;
}

void NewEntryMonitor::ReDisable(std::vector<std::string>& newNames, std::optional<std::string>& error) {
    // Re-disabling with discard adds and removes no record, so the records stay
    // the same through the loop and index i stays record i's table index.
    const std::vector<store::StartupRecord> records = store_.Table().storedRecords;
    for (std::size_t i = 0; i < records.size() && !newNames.empty(); ++i) {
        const std::string& name = records[i].name;
        const std::string& code = records[i].location;
        auto it =
            std::find_if(newNames.begin(), newNames.end(), [&](const std::string& n) { return SameName(n, name); });
        if (it == newNames.end()) continue;
        // A copy that came up somewhere else is not this record's to remove: it
        // stays new, and is reported like any other new name.
        if (!ActiveIn(name, code)) continue;
        const auto& table = store_.Table();
        if (i >= table.RecordCount() || table.storedRecords[i] != records[i]) continue;
        // Where Windows starts it before the shell (Winlogon, Active Setup), a
        // comeback is reported as new and left to the user.
        if (RefusesAutoTakeOut(table.entries[i])) continue;
        newNames.erase(it);
        // The program's own entry is never taken out, whatever a record says:
        // it is the program registering itself, not news.
        if (control_.IsOwn(i)) continue;
        // A program that puts itself back at once must not keep this in a
        // loop: one take-out per entry in kComebackIntervalMs. A comeback held
        // back stays out of the baseline, so the pass that comes when the
        // time is up finds it new again.
        Comebacks& comebacks = comebacks_[code + '\n' + facets_.locale.FoldCase(name)];
        const std::uint64_t now = facets_.clock.TickMs();
        while (!comebacks.times.empty() && now - comebacks.times.front() >= kComebackWindowMs)
            comebacks.times.pop_front();
        if (!comebacks.times.empty() && now - comebacks.times.back() < kComebackIntervalMs) {
            ForgetCopy(name);
            PassIn(retry_, static_cast<unsigned>(comebacks.times.back() + kComebackIntervalMs - now));
            continue;
        }
        // The kComebacksToReport-th comeback within kComebackWindowMs is told
        // in a notice, at most once in kComebackNoticeIntervalMs: nobody may be
        // at the screen, and a box would wait for an answer. The publisher is
        // asked for while the copy is still in its place.
        const bool tell = comebacks.times.size() + 1 >= kComebacksToReport &&
                          (!comebacks.toldAt || now - *comebacks.toldAt >= kComebackNoticeIntervalMs);
        const std::string publisher = tell ? host_.PublisherOf(name) : std::string();
        const std::uint64_t deniedBefore = facets_.processes.AccessDeniedCount();
        try {
            // Under the writers' lock, on fresh data: it acts only when the
            // record is still there as it was and its copy is in its place, so
            // an enable that another writer made meanwhile is left alone.
            control_.DisableEntry(i, true);
        } catch (const ChangedMeanwhile&) {
            continue;
        } catch (const std::exception& e) {
            // The copy stays in its place; the other names are still handled.
            // A machine-wide copy this process may not remove is offered once
            // to be taken out as administrator; it is not new at the next pass.
            if (!host_.TakeOutAsAdministrator(name, code, deniedBefore) && !error) error = e.what();
            continue;
        }
        comebacks.times.push_back(now);  // only a take-out that happened counts
        // The copy is gone, so the baseline must not count it: when it comes
        // back once more it has to be new again.
        ForgetCopy(name);
        if (tell) {
            comebacks.toldAt = now;
            host_.Notify(kComebackCaption, ComebackText(name, publisher));
        }
    }
}

bool NewEntryMonitor::RefusesAutoTakeOut(const store::StartupEntry& entry) {
    return entry.place &&
           store::OpenPlace(store_, *entry.place)->Refusal(store::PlaceChange::AutoTakeOut, entry.name, entry.command);
}

void NewEntryMonitor::ForgetCopy(const std::string& name) {
    auto copy = std::find_if(currentNames_.rbegin(), currentNames_.rend(),
                             [&](const std::string& n) { return SameName(n, name); });
    if (copy != currentNames_.rend()) currentNames_.erase(std::next(copy).base());
}

void NewEntryMonitor::Report(const std::vector<std::string>& newNames) {
    // The baseline is replaced before the box opens: passes that run while it
    // is open report only what came up after this scan.
    ReplaceBaseline();
    waitingNames_.insert(waitingNames_.end(), newNames.begin(), newNames.end());
    ShowReports();
}

void NewEntryMonitor::ShowReports() {
    // A pass inside an open report adds to what waits; the pass that opened
    // it shows the rest when it closes. One box at a time, never one on another.
    if (reportOpen_ || errorShown_) return;
    reportOpen_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{reportOpen_};
    while (!waitingNames_.empty() || !waitingChanged_.empty()) {
        if (!waitingNames_.empty()) {
            std::vector<std::string> names;
            names.swap(waitingNames_);
            text::SortNoCase(facets_.locale, names);
            for (std::string& name : names) name = WithPublisher(name, host_.PublisherOf(name));
            host_.ShowFromTray();
            facets_.shell.ShowMessageBox(ReportText(names), kReportCaption, platform::MsgBox::Ok);
            continue;
        }
        std::vector<ChangedCommand> changed;
        changed.swap(waitingChanged_);
        for (ChangedCommand& c : changed) c.name = WithPublisher(c.name, host_.PublisherOf(c.name));
        host_.ShowFromTray();
        facets_.shell.ShowMessageBox(ChangedText(changed), kChangedCaption, platform::MsgBox::Ok);
    }
}

void NewEntryMonitor::ReplaceBaseline() {
    // CurrentNames holds the latest scan's names: a pass nested in this one's
    // report has replaced them, and its baseline must not be set back.
    // A fresh copy rather than an assignment into the old strings, whose
    // capacities would creep up from pass to pass as the names change places.
    knownNames_ = std::vector<std::string>(currentNames_);
    text::SortNoCase(facets_.locale, knownNames_);
    TakeCommands();
}

void NewEntryMonitor::ReportErrorOnce(const std::string& message) {
    // The report is modal and the timer keeps firing: a pass failing the same
    // way every 12 seconds would stack one box on another while nobody answers.
    if (errorShown_) return;
    errorShown_ = true;
    {
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{errorShown_};
        host_.ReportError(message);
    }
    // Reports found while the error was open waited for it.
    ShowReports();
}

}  // namespace vantorell::monitor
