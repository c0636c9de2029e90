#include "monitor/NewEntryMonitor.h"

#include <algorithm>
#include <exception>
#include <iterator>

#include "platform/Text.h"
#include "store/StartupRecord.h"

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

NewEntryMonitor::NewEntryMonitor(platform::Platform& platform, store::AutostartStore& store,
                                 control::EntryControl& control, ui::GridModel& grid, MonitorHost& host)
    : platform_(platform), store_(store), control_(control), grid_(grid), host_(host) {}

NewEntryMonitor::~NewEntryMonitor() {
    Stop();
}

std::string NewEntryMonitor::StartupTotalPath(platform::Platform& platform) {
    return text::JoinPath(text::FolderOf(platform.ExecutablePath()), kStartupTotalFile);
}

void NewEntryMonitor::TakeBaseline(std::string_view startupTotalPath) {
    std::vector<std::string> names = NamesOf(store_.Table());
    text::SortNoCase(platform_, names);
    if (!platform_.FileExists(startupTotalPath)) {
        knownNames_ = std::move(names);
        return;
    }
    try {
        knownNames_ = text::LoadLines(platform_, startupTotalPath);
    } catch (const std::exception& e) {
        knownNames_ = std::move(names);
        ReportErrorOnce(e.what());
        return;
    }
    text::SortNoCase(platform_, knownNames_);
}

void NewEntryMonitor::Start() {
    if (timer1_) return;
    timer1_ = platform_.StartTimer(kTimer1IntervalMs, [this] { CheckNewEntries(); });
}

void NewEntryMonitor::Stop() {
    if (!timer1_) return;
    platform_.StopTimer(*timer1_);
    timer1_.reset();
}

bool NewEntryMonitor::SameName(std::string_view a, std::string_view b) const {
    return platform_.CompareNoCase(a, b) == 0;
}

void NewEntryMonitor::CheckNewEntries() {
    if (!host_.WarnNew() && !host_.AutoKill()) return;
    std::optional<std::string> error;
    try {
        // A failed scan leaves the table as it was; the baseline stays too.
        store_.ScanEntries();
        if (!host_.InTray()) grid_.FillGrid(store_.Table());
        currentNames_ = NamesOf(store_.Table());
        std::vector<std::string> newNames = Unmatched(currentNames_, knownNames_);
        if (!newNames.empty() && host_.AutoKill()) ReDisable(newNames, error);
        if (!newNames.empty() && host_.WarnNew()) Report(newNames);
        ReplaceBaseline();
    } catch (const std::exception& e) {
        if (!error) error = e.what();
    }
    if (error) ReportErrorOnce(*error);
}

std::vector<std::string> NewEntryMonitor::Unmatched(std::vector<std::string> current,
                                                    const std::vector<std::string>& knownNames) {
    // Both lists sorted by the same comparison, so one merge does what looking
    // every name up in the baseline and striking it out does: the first
    // occurrences of a name use up its occurrences in the baseline, the rest
    // are new. Linear after the sort, where the look-ups were quadratic (a
    // pass over 10,000 entries took seconds on the GUI thread).
    text::SortNoCase(platform_, current);
    std::vector<std::string> known = knownNames;
    text::SortNoCase(platform_, known);
    std::vector<std::string> unmatched;
    std::size_t k = 0;
    for (auto& name : current) {
        int order = -1;
        while (k < known.size() && (order = platform_.CompareNoCase(known[k], name)) < 0) ++k;
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
        if (e.state == store::kStateActive && e.location == code && SameName(e.name, name)) return true;
    }
    return false;
}

void NewEntryMonitor::ReDisable(std::vector<std::string>& newNames, std::optional<std::string>& error) {
    // Re-disabling with discard adds and removes no record, so the records stay
    // the same through the loop and index i stays record i's table index.
    const std::vector<std::string> records = store_.Table().storedRecords;
    for (std::size_t i = 0; i < records.size() && !newNames.empty(); ++i) {
        const std::string name = store::RecordField(records[i], store::kFieldName);
        const std::string code = store::RecordField(records[i], store::kFieldLocation);
        auto it =
            std::find_if(newNames.begin(), newNames.end(), [&](const std::string& n) { return SameName(n, name); });
        if (it == newNames.end()) continue;
        // A copy that came up somewhere else is not this record's to remove: it
        // stays new, and is reported like any other new name.
        if (!ActiveIn(name, code)) continue;
        const auto& table = store_.Table();
        if (i >= table.RecordCount() || table.storedRecords[i] != records[i]) continue;
        newNames.erase(it);
        const std::uint64_t deniedBefore = platform_.AccessDeniedCount();
        try {
            control_.DisableEntry(i, true);
        } catch (const std::exception& e) {
            // The copy stays in its place; the other names are still handled.
            // A machine-wide copy this process may not remove is offered once
            // to be taken out as administrator; it is not new at the next pass.
            if (!host_.TakeOutAsAdministrator(name, code, deniedBefore) && !error) error = e.what();
            continue;
        }
        // The copy is gone, so the baseline must not count it: when it comes
        // back once more it has to be new again.
        auto copy = std::find_if(currentNames_.rbegin(), currentNames_.rend(),
                                 [&](const std::string& n) { return SameName(n, name); });
        if (copy != currentNames_.rend()) currentNames_.erase(std::next(copy).base());
    }
}

void NewEntryMonitor::Report(const std::vector<std::string>& newNames) {
    // The baseline is replaced before the box opens: passes that run while it
    // is open report only what came up after this scan.
    ReplaceBaseline();
    host_.ShowFromTray();
    platform_.ShowMessageBox(ReportText(newNames), kReportCaption, platform::MsgBox::Ok);
}

void NewEntryMonitor::ReplaceBaseline() {
    // CurrentNames holds the latest scan's names: a pass nested in this one's
    // report has replaced them, and its baseline must not be set back.
    // A fresh copy rather than an assignment into the old strings, whose
    // capacities would creep up from pass to pass as the names change places.
    knownNames_ = std::vector<std::string>(currentNames_);
    text::SortNoCase(platform_, knownNames_);
}

void NewEntryMonitor::ReportErrorOnce(const std::string& message) {
    // The report is modal and the timer keeps firing: a pass failing the same
    // way every 12 seconds would stack one box on another while nobody answers.
    if (errorShown_) return;
    errorShown_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{errorShown_};
    host_.ReportError(message);
}

}  // namespace vantorell::monitor
