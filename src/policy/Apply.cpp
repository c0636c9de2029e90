#include "policy/Apply.h"

#include <algorithm>
#include <optional>

#include <nlohmann/json.hpp>

#include "identity/EntryFiles.h"
#include "platform/Errors.h"
#include "platform/Text.h"

namespace vantorell::policy {
namespace {

std::string Label(const PlanItem& item) {
    return "'" + item.name + "' (" + item.location + ")";
}

// Takes the entry of `item` to its planned shape, one operation at a time,
// inside the caller's hold of the writers' lock. Each operation rechecks by
// itself; between them the entry is found again by its name, place and whether
// it is recorded, in the table read again after the change before.
void CarryOut(control::EntryControl& control, const PlanItem& item) {
    Shape shape = item.before;
    std::size_t hint = 0;
    for (std::size_t n = 0; n < item.steps.size(); ++n) {
        const auto& table = control.Entries();
        const auto index = control::FindEntry(table, {item.name, item.location, shape.recorded, item.subKey}, hint);
        const auto* e = index ? &table.entries[*index] : nullptr;
        // The first operation must find the entry as it was planned.
        if (!e || (n == 0 && (ShapeOf(*e) != item.before || e->command != item.command ||
                              e->confirm.Text() != item.confirmText || e->delay.Text() != item.delayText)))
            throw ChangedMeanwhile(Label(item) + " changed meanwhile, try again");
        hint = *index;
        const Step& step = item.steps[n];
        switch (step.op) {
            case Op::Enable: control.EnableEntry(hint); break;
            case Op::SwitchOn: control.SwitchOnForWindows(hint); break;
            case Op::Disable: control.DisableEntry(hint, false); break;
            case Op::Delete: control.DeleteEntry(hint); break;
            case Op::Confirm: control.SetConfirmStartup(hint); break;
            case Op::Unconfirm: control.ClearConfirmStartup(hint); break;
            case Op::Delay: control.SetStartupDelay(hint, step.seconds); break;
        }
        shape = After(shape, step);
    }
}

ItemResult Untouched(Outcome outcome) {
    switch (outcome) {
        case Outcome::Protected: return ItemResult::Protected;
        case Outcome::Reported: return ItemResult::Unlisted;
        case Outcome::NoEntry: return ItemResult::NoEntry;
        case Outcome::Change: break;
    }
    return ItemResult::WouldChange;
}

std::string_view ResultName(ItemResult result) {
    switch (result) {
        case ItemResult::WouldChange: return "would change";
        case ItemResult::Changed: return "changed";
        case ItemResult::Failed: return "failed";
        case ItemResult::ChangedMeanwhile: return "changed meanwhile";
        case ItemResult::NeedsRights: return "needs administrator rights";
        case ItemResult::Protected: return "protected";
        case ItemResult::Unlisted: return "unlisted";
        case ItemResult::NoEntry: return "no entry";
    }
    return {};
}

}  // namespace

bool Report::ChangeFailed() const {
    return std::any_of(items.begin(), items.end(), [](const ReportItem& i) { return i.result == ItemResult::Failed; });
}

std::string Report::Messages() const {
    std::string lines;
    for (const auto& item : items)
        if (!item.message.empty()) lines += Label(item.plan) + ": " + item.message + "\n";
    return lines;
}

Report ApplyPolicy(control::EntryControl& control, const identity::IdentityFacets& identify, const Policy& policy,
                   bool check) {
    auto& store = control.Store();
    auto& processes = control.Processes();
    {
        // Planned on a whole view: no other writer is half way through a change.
        const auto locks = control::LockListsForChange(store);
        store.ScanEntries();
    }
    // Looked at outside the lock: checking signatures may take a while.
    const auto identities =
        NamesSigners(policy) ? identity::IdentifyEntries(identify, store, false) : std::vector<identity::Identity>();
    Report report;
    report.check = check;
    // What the scan could not read it took as empty: named, and never compliant.
    report.unreadable = store::UnreadablePlaces(store.Facets());
    report.compliant = report.unreadable.empty();
    // The changes are made in one hold of the writers' lock, taken at the
    // first: the table is read once then (the plan's may be old by now), and
    // once after each change but the last.
    std::optional<control::EntryControl::WriteScope> writing;
    for (auto& item : MakePlan(policy, store, processes, identities).items) {
        ReportItem r;
        r.plan = std::move(item);
        r.result = Untouched(r.plan.outcome);
        if (r.plan.outcome != Outcome::Change || check) {
            if (r.result == ItemResult::WouldChange) report.compliant = false;
            report.items.push_back(std::move(r));
            continue;
        }
        const std::uint64_t deniedBefore = processes.AccessDeniedCount();
        try {
            if (!writing) writing.emplace(control);
            CarryOut(control, r.plan);
            r.result = ItemResult::Changed;
            report.changed = true;
        } catch (const ChangedMeanwhile& e) {
            r.result = ItemResult::ChangedMeanwhile;
            r.message = ErrorReportText(e.what());
        } catch (const std::exception& e) {
            const bool refused = processes.AccessDeniedCount() != deniedBefore && !processes.IsElevated();
            r.result = refused ? ItemResult::NeedsRights : ItemResult::Failed;
            r.message = ErrorReportText(e.what());
        }
        if (r.result != ItemResult::Changed) {
            report.compliant = false;
            report.failed = true;
            report.needsRights |= r.result == ItemResult::NeedsRights;
            report.changedMeanwhile |= r.result == ItemResult::ChangedMeanwhile;
            // Some steps may have been done: say where the entry stands now (as
            // planned when even the scan fails; the report says what failed).
            r.plan.after = r.plan.before;
            try {
                store.ScanEntries();
                r.plan.after.present = false;
                for (const auto& e : store.Table().entries)
                    if (e.name == r.plan.name && e.location == r.plan.location) r.plan.after = ShapeOf(e);
            } catch (const AppError&) {
            }
        }
        report.items.push_back(std::move(r));
    }
    return report;
}

std::string ReportJson(const Report& report) {
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    for (const auto& item : report.items)
        items.push_back({{"name", item.plan.name},
                         {"location", item.plan.location},
                         {"action", item.plan.Action()},
                         {"before", ShapeText(item.plan.before)},
                         {"after", ShapeText(item.plan.after)},
                         {"result", ResultName(item.result)}});
    nlohmann::ordered_json out = {{"compliant", report.compliant},
                                  {"changed", report.changed},
                                  {"failed", report.failed},
                                  {"unreadable", report.unreadable},
                                  {"items", items}};
    if (report.failed) out["msg"] = report.Messages();
    return out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string ReportText(const Report& report) {
    std::string out;
    std::size_t changes = 0;
    for (const auto& item : report.items) {
        const auto& p = item.plan;
        out += "  " + Label(p) + ": ";
        if (p.outcome == Outcome::Change) {
            out += p.Action() + ", " + ShapeText(p.before) + " -> " + ShapeText(p.after);
            ++changes;
        } else if (p.outcome == Outcome::Protected) {
            out += p.why;
        } else {
            out += ShapeText(p.before);
        }
        out += ": " + std::string(ResultName(item.result)) + "\n";
    }
    for (const auto& place : report.unreadable) out += "  " + place + ": could not be read\n";
    const std::string count = text::ToDecimal(static_cast<long long>(changes));
    const std::string unread = text::ToDecimal(static_cast<long long>(report.unreadable.size()));
    const std::string notRead =
        "Not compliant: " + unread + (report.unreadable.size() == 1 ? " place" : " places") + " could not be read";
    if (report.check && !report.unreadable.empty())
        out += notRead + (changes ? ", and " + count + " to change.\n" : ".\n");
    else if (report.check)
        out += report.compliant ? "Compliant: nothing to change.\n" : "Drift: " + count + " to change.\n";
    else if (report.failed)
        out += "Not compliant: a change failed.\n";
    else if (!report.unreadable.empty())
        out += notRead + ".\n";
    else
        out += report.changed ? "Compliant: " + count + " changed.\n" : "Compliant: nothing changed.\n";
    return out;
}

}  // namespace vantorell::policy
