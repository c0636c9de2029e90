#include "policy/Plan.h"

#include <algorithm>

#include "control/SelfProtection.h"
#include "platform/Text.h"
#include "store/Place.h"

namespace vantorell::policy {

Shape ShapeOf(const store::StartupEntry& e) {
    Shape s;
    s.recorded = !e.IsActive();
    s.windowsOff = e.IsActive() && e.windowsOff;
    s.confirm = s.recorded && e.confirm.Number() > 0;
    s.delay = s.recorded ? e.delay.Number() : 0;
    return s;
}

std::string ShapeText(const Shape& s) {
    if (!s.present) return "deleted";
    if (!s.Starts()) return s.windowsOff ? "disabled in Windows" : "disabled";
    std::string text = "enabled";
    if (s.confirm) text += ", confirm";
    if (s.delay > 0) text += ", delay " + text::ToDecimal(s.delay);
    return text;
}

std::string_view OpName(Op op) {
    switch (op) {
        case Op::Enable: return "enable";
        case Op::SwitchOn: return "switch on";
        case Op::Disable: return "disable";
        case Op::Delete: return "delete";
        case Op::Confirm: return "confirm";
        case Op::Unconfirm: return "unconfirm";
        case Op::Delay: return "delay";
    }
    return {};
}

namespace {

// The one next step towards `rule`, or nullopt when the entry is there.
std::optional<Step> NextStep(const Shape& now, const Rule& rule) {
    if (!now.present) return std::nullopt;
    switch (rule.state) {
        case DesiredState::Deleted: return Step{Op::Delete};
        case DesiredState::Disabled:
            if (!now.recorded) return now.windowsOff ? std::nullopt : std::optional(Step{Op::Disable});
            if (now.confirm) return Step{Op::Unconfirm};
            if (now.delay > 0) return Step{Op::Delay, 0};
            return std::nullopt;
        case DesiredState::Enabled: break;
    }
    // Options not named keep what the entry has (a disabled one has none).
    const bool confirm = rule.confirm.value_or(now.recorded && now.confirm);
    const int delay = rule.delay.value_or(now.recorded ? now.delay : 0);
    if (!confirm && delay == 0) {
        if (now.recorded) return Step{Op::Enable};
        return now.windowsOff ? std::optional(Step{Op::SwitchOn}) : std::nullopt;
    }
    // Handed to the launcher: confirm first and unconfirm last, so that the
    // record is never left disabled in between.
    if (confirm && !(now.recorded && now.confirm)) return Step{Op::Confirm};
    if (delay != (now.recorded ? now.delay : 0)) return Step{Op::Delay, delay};
    if (!confirm && now.confirm) return Step{Op::Unconfirm};
    return std::nullopt;
}

}  // namespace

Shape After(Shape s, const Step& step) {
    switch (step.op) {
        case Op::Enable: s = Shape{}; break;
        case Op::SwitchOn: s.windowsOff = false; break;
        case Op::Disable: s = Shape{true, true}; break;
        case Op::Delete: s.present = false; break;
        case Op::Confirm:
            if (!s.recorded) s = Shape{true, true};
            s.confirm = true;
            break;
        case Op::Unconfirm: s.confirm = false; break;
        case Op::Delay:
            if (!s.recorded && step.seconds == 0) break;  // an active entry starts without delay already
            if (!s.recorded) s = Shape{true, true};
            s.delay = step.seconds;
            break;
    }
    return s;
}

std::vector<Step> StepsFor(const Shape& now, const Rule& rule) {
    std::vector<Step> steps;
    Shape s = now;
    // At most three steps lead anywhere (confirm, delay, unconfirm); more would be a loop.
    for (int n = 0; n < 4; ++n) {
        const auto step = NextStep(s, rule);
        if (!step) break;
        steps.push_back(*step);
        s = After(s, *step);
    }
    return steps;
}

bool NameMatches(std::string_view pattern, std::string_view name) {
    // Greedy match with one point to come back to: the last "*" seen.
    auto charLength = [](std::string_view s, std::size_t i) {
        std::size_t n = 1;
        while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
        return n;
    };
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += charLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP;
            starN += charLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string PlanItem::Action() const {
    switch (outcome) {
        case Outcome::Reported: return "report";
        case Outcome::NoEntry:
        case Outcome::Protected: return "none";
        case Outcome::Change: break;
    }
    std::string names;
    for (const auto& step : steps) names += (names.empty() ? "" : ", ") + std::string(OpName(step.op));
    return names;
}

bool Plan::Compliant() const {
    return std::none_of(items.begin(), items.end(), [](const PlanItem& i) { return i.outcome == Outcome::Change; });
}

namespace {

// Why the place of entry `e` refuses `steps`: taking an active entry out, or
// handing an entry, active or recorded, over to Vantorell's logon start;
// nullopt when it allows them.
std::optional<std::string> PlaceRefusal(store::AutostartStore& store, const store::StartupEntry& e,
                                        const std::vector<Step>& steps) {
    if (!e.place || steps.empty()) return std::nullopt;
    const auto place = store::OpenPlace(store, *e.place);
    for (const Step& step : steps)
        if (step.op == Op::Confirm || (step.op == Op::Delay && step.seconds > 0))
            return place->Refusal(store::PlaceChange::HandOver, e.name, e.command);
    const Op op = steps.front().op;
    if (e.IsActive() && (op == Op::Disable || op == Op::Delete))
        return place->Refusal(op == Op::Delete ? store::PlaceChange::Delete : store::PlaceChange::TakeOut, e.name,
                              e.command);
    return std::nullopt;
}

}  // namespace

bool ChangesOnlyWhenNamed(const store::AutostartLocation& location) {
    const store::PlaceKind kind = location.Kind();
    return kind != store::PlaceKind::Values && kind != store::PlaceKind::Shortcuts;
}

bool NamesSigners(const Policy& policy) {
    return std::any_of(policy.rules.begin(), policy.rules.end(),
                       [](const Rule& r) { return r.signer || r.signerThumbprint || r.issuer; });
}

Plan MakePlan(const Policy& policy, store::AutostartStore& store, platform::Processes& processes,
              const std::vector<identity::Identity>& identities) {
    const auto& table = store.Table();
    auto& locale = store.Facets().locale;
    const std::string exe = processes.ExecutablePath();
    std::vector<std::string> patterns, signers, issuers;
    for (const auto& rule : policy.rules) {
        patterns.push_back(locale.FoldCase(rule.name));
        signers.push_back(rule.signer ? locale.FoldCase(*rule.signer) : std::string());
        issuers.push_back(rule.issuer ? locale.FoldCase(*rule.issuer) : std::string());
    }
    std::vector<bool> used(policy.rules.size(), false);

    Plan plan;
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        const auto& e = table.entries[i];
        const std::string name = locale.FoldCase(e.name);
        // The certificate that vouches for what the entry runs; none unless
        // its file is verified and is not a host running code of its command line.
        const identity::Identity* id = i < identities.size() ? &identities[i] : nullptr;
        const bool vouched = id && id->state == identity::SignatureState::Verified && !id->inlineCode;
        const std::string signer = vouched && !id->signer.empty() ? locale.FoldCase(id->signer) : std::string();
        const std::string issuer = vouched && !id->issuer.empty() ? locale.FoldCase(id->issuer) : std::string();
        const auto pinned = [&](const std::string& thumbprint) {
            return vouched && !thumbprint.empty() &&
                   (thumbprint == id->thumbprintSha1 || thumbprint == id->thumbprintSha256);
        };
        const bool onlyWhenNamed = e.place && ChangesOnlyWhenNamed(*e.place);
        std::optional<std::size_t> decided;
        for (std::size_t r = 0; r < policy.rules.size(); ++r) {
            const auto& rule = policy.rules[r];
            if (rule.location != kAnyLocation && rule.location != e.location) continue;
            // A wildcard names no entry of those places; their own code does.
            if (onlyWhenNamed && rule.location != e.location && patterns[r].find_first_of("*?") != std::string::npos)
                continue;
            if (rule.recorded && *rule.recorded == e.IsActive()) continue;
            if (!NameMatches(patterns[r], name)) continue;
            if (rule.signer && (signer.empty() || !NameMatches(signers[r], signer))) continue;
            if (rule.issuer && (issuer.empty() || !NameMatches(issuers[r], issuer))) continue;
            if (rule.signerThumbprint && !pinned(*rule.signerThumbprint)) continue;
            used[r] = true;
            if (!decided) decided = r;
        }
        PlanItem item;
        item.name = e.name;
        item.location = e.location;
        item.subKey = e.subKey;
        item.before = item.after = ShapeOf(e);
        item.command = e.command;
        item.confirmText = e.confirm.Text();
        item.delayText = e.delay.Text();
        if (!decided) {
            if (policy.unlisted == Unlisted::Keep || onlyWhenNamed) continue;
            if (policy.unlisted == Unlisted::Report) {
                item.outcome = Outcome::Reported;
                plan.items.push_back(std::move(item));
                continue;
            }
        }
        Rule unlisted;
        unlisted.name = e.name;
        unlisted.state = DesiredState::Disabled;
        item.steps = StepsFor(item.before, decided ? policy.rules[*decided] : unlisted);
        if (item.steps.empty()) continue;
        for (const auto& step : item.steps) item.after = After(item.after, step);
        if (control::IsOwnEntry(e.name, e.location, e.command, exe)) {
            item.outcome = Outcome::Protected;
            item.why = "the program's own entry is never changed";
        } else if (!e.place && item.after.present) {
            item.outcome = Outcome::Protected;
            item.why = "no place of this machine has the code '" + e.location + "'";
        } else if (auto refusal = PlaceRefusal(store, e, item.steps)) {
            item.outcome = Outcome::Protected;
            item.why = std::move(*refusal);
        }
        if (item.outcome == Outcome::Protected) {
            item.steps.clear();
            item.after = item.before;
        }
        plan.items.push_back(std::move(item));
    }
    for (std::size_t r = 0; r < policy.rules.size(); ++r) {
        if (used[r]) continue;
        PlanItem item;
        item.outcome = Outcome::NoEntry;
        item.name = policy.rules[r].name;
        item.location = policy.rules[r].location;
        item.before = item.after = Shape{false};
        plan.items.push_back(std::move(item));
    }
    return plan;
}

}  // namespace vantorell::policy
