// Carrying a policy out: the plan of Plan.h, made on a fresh scan and then
// done one operation at a time through EntryControl, each under the writers'
// lock and with its "changed meanwhile" check. A failing change does not stop
// the others; what was done stays done.
#pragma once

#include <string>
#include <vector>

#include "control/EntryControl.h"
#include "identity/IdentityFacets.h"
#include "policy/Plan.h"

namespace vantorell::policy {

enum class ItemResult {
    WouldChange,       // a check found it not as wanted
    Changed,           // done
    Failed,            // the change failed; `message` says why
    ChangedMeanwhile,  // another program changed the entry after it was planned
    NeedsRights,       // refused for lack of administrator rights
    Protected,         // never changed (PlanItem::why)
    Unlisted,          // reported: no rule names it
    NoEntry,           // a rule that matches no entry
};

struct ReportItem {
    PlanItem plan;
    ItemResult result = ItemResult::WouldChange;
    std::string message;
};

struct Report {
    bool check = false;
    std::vector<ReportItem> items;
    // The places that could not be read, by code and where they are: what
    // they hold is not known, so the machine is not compliant.
    std::vector<std::string> unreadable;
    bool compliant = true;  // everything is (a check: was) as the policy wants, and could be read
    bool changed = false;   // something was changed
    bool failed = false;    // a change did not happen (failed, refused, or changed meanwhile)
    bool needsRights = false;
    bool changedMeanwhile = false;

    // A change failed for another reason than missing rights or another writer.
    bool ChangeFailed() const;

    // The failures, one line each ("'Backup' (lrun): ..."); empty when none.
    std::string Messages() const;
};

// Scans, plans `policy` and, unless `check`, carries the plan out; the files
// of the entries are looked at through `identify` where a rule names a signer.
Report ApplyPolicy(control::EntryControl& control, const identity::IdentityFacets& identify, const Policy& policy,
                   bool check);

// {"compliant": bool, "changed": bool, "failed": bool, "unreadable": [place],
// "items": [{"name", "location", "action", "before", "after", "result"}], "msg"
// when something failed}.
std::string ReportJson(const Report& report);
// The same for a reader: one line per item and a last line that sums up.
std::string ReportText(const Report& report);

}  // namespace vantorell::policy
