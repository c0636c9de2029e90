// What a policy asks of the entries of a table: which rule decides each entry
// (the first that matches it), and the operations that bring it there.
// Planning reads the table only; ApplyPolicy (Apply.h) carries the plan out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "identity/Identity.h"
#include "platform/Processes.h"
#include "policy/Policy.h"
#include "store/AutostartStore.h"

namespace vantorell::policy {

// An entry as a policy sees it.
struct Shape {
    bool present = true;
    bool recorded = false;    // in the list file, not in its place
    bool windowsOff = false;  // in its place, but Windows' own switch is off
    bool confirm = false;
    int delay = 0;

    bool Starts() const { return present && (recorded ? confirm || delay > 0 : !windowsOff); }
    friend bool operator==(const Shape&, const Shape&) = default;
};

Shape ShapeOf(const store::StartupEntry& entry);
// "enabled", "enabled, confirm, delay 60", "disabled", "deleted".
std::string ShapeText(const Shape& shape);

// The operations of the grid and the console, one at a time.
enum class Op { Enable, SwitchOn, Disable, Delete, Confirm, Unconfirm, Delay };
struct Step {
    Op op;
    int seconds = 0;  // for Delay
    friend bool operator==(const Step&, const Step&) = default;
};
std::string_view OpName(Op op);

// The steps that take an entry of shape `now` to what `rule` wants, in order;
// none when it is there already. An enabled rule without "confirm" or
// "delay" leaves that option as it is.
std::vector<Step> StepsFor(const Shape& now, const Rule& rule);
// The shape an entry has after `step`.
Shape After(Shape shape, const Step& step);

// Whether `name` matches `pattern`, both folded the same way: "*" stands for
// any run of characters, "?" for one character (a UTF-8 sequence).
bool NameMatches(std::string_view pattern, std::string_view name);

enum class Outcome {
    Change,     // steps to take
    Protected,  // would change, but may not: the program's own entry, one its place refuses to
                // change (Windows' own items), or one of no known place
    Reported,   // no rule names it and the policy asks to report such entries
    NoEntry,    // a rule that matches no entry
};

struct PlanItem {
    Outcome outcome = Outcome::Change;
    std::string name, location;  // of the entry; of the rule for NoEntry
    std::string subKey;          // of the entry: its Active Setup component
    Shape before, after;
    std::vector<Step> steps;
    std::string why;  // for Protected
    // The entry as planned, to tell a change by another program.
    std::string command, confirmText, delayText;

    std::string Action() const;  // the steps' names, "report", or "none"
};

struct Plan {
    std::vector<PlanItem> items;
    // No entry needs a change (protected and reported ones count as none).
    bool Compliant() const;
};

// Whether a rule of `policy` names a signer: planning it needs the entries' identities.
bool NamesSigners(const Policy& policy);

// Whether entries of `location` change only through a rule that names them:
// Winlogon, Active Setup, the Windows key's Load and Run and the logon script,
// where Windows starts its own setup and shell. `unlisted` leaves them, and a
// rule decides them only when its location is theirs or its name, without
// wildcards, is theirs.
bool ChangesOnlyWhenNamed(const store::AutostartLocation& location);

// Plans `policy` on the store's table as it stands. The running program's own
// logon entry (its executable as `processes` names it), and a change its
// place refuses, are Protected. `identities`
// (by table index) decide the rules that name a signer, a thumbprint or an
// issuer: only an entry whose file is verified as signed by that certificate
// matches one, and never a host that runs code from its command line.
Plan MakePlan(const Policy& policy, store::AutostartStore& store, platform::Processes& processes,
              const std::vector<identity::Identity>& identities = {});

}  // namespace vantorell::policy
