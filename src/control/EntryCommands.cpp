#include "control/EntryCommands.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/Place.h"

namespace vantorell::control {
namespace {

std::string StateWord(store::EntryState state) {
    switch (state) {
        case store::EntryState::Active: return "enabled";
        case store::EntryState::Disabled: return "disabled";
        case store::EntryState::Deferred: return "deferred";
    }
    return {};
}

std::string Label(const store::StartupEntry& e) {
    return "'" + e.name + "' (" + e.location + ")";
}

// One candidate per line, ending in ")" so that no full stop is appended to it.
std::string CandidateLines(const store::EntryTable& table, const std::vector<std::size_t>& indices) {
    std::string lines;
    for (std::size_t i : indices) {
        const auto& e = table.entries[i];
        lines += "\n  " + e.name + " (--location " + e.location + ", " + StateWord(e.state) + ")";
    }
    return lines;
}

// Lower is preferred, for a recorded entry and its active copy in one place.
int Preference(EntryVerb verb, const store::StartupEntry& e) {
    const bool active = e.IsActive();
    switch (verb) {
        case EntryVerb::Disable:
        case EntryVerb::Delete: return active ? 0 : 1;
        default: return active ? 1 : 0;
    }
}

// Whether entry `index` is of the kind and holds the texts `selector` names.
bool Holds(const store::EntryTable& table, std::size_t index, const EntrySelector& selector) {
    const auto seen = SeenOfEntry(table, index);
    if (!seen) return false;
    if (selector.recorded && *selector.recorded != seen->key.recorded) return false;
    if (selector.command && *selector.command != seen->command) return false;
    if (selector.arguments && *selector.arguments != seen->arguments) return false;
    if (selector.confirm && store::ConfirmFlag::Read(*selector.confirm) != seen->confirm) return false;
    if (selector.delay && store::DelaySeconds::Read(*selector.delay) != seen->delay) return false;
    return true;
}

// What tells twins of one name, place and kind apart.
std::pair<std::string, std::string> ItemOfEntry(const store::EntryTable& table, std::size_t index) {
    const auto seen = SeenOfEntry(table, index);
    return {table.entries[index].subKey, seen ? seen->command : std::string()};
}

// The twins, one per line with what tells each apart, ending in ")".
std::string TwinLines(const store::EntryTable& table, const std::vector<std::size_t>& indices) {
    std::string lines;
    for (std::size_t i : indices) {
        const auto& e = table.entries[i];
        lines += "\n  " + e.name + " (--location " + e.location + ", " + StateWord(e.state);
        if (!e.subKey.empty()) lines += ", --sub-key " + e.subKey;
        lines += ", --held-command " + ItemOfEntry(table, i).second + ")";
    }
    return lines;
}

// A name that no entry of place `code` has may be one the place does not list:
// Windows' own item, or one it cannot read. Says why, for the verbs that would
// take it out.
void ExplainUnlisted(store::AutostartStore& store, const std::string& name, const std::string& code, EntryVerb verb) {
    if (verb != EntryVerb::Disable && verb != EntryVerb::Delete) return;
    const store::AutostartLocation* location = store::FindLocation(code);
    if (!location) return;
    const auto place = store::OpenPlace(store, *location);
    const auto change = verb == EntryVerb::Delete ? store::PlaceChange::Delete : store::PlaceChange::TakeOut;
    if (auto refusal = place->Refusal(change, name, name)) throw AppError(*refusal);
    place->Read({name}, true);  // throws for an item it cannot read
}

}  // namespace

EntrySelector SelectorOf(const EntrySeen& seen) {
    return EntrySelector{seen.key.name,     seen.key.location,
                         seen.key.recorded, seen.command,
                         seen.arguments,    seen.confirm.Text(),
                         seen.delay.Text(), seen.key.subKey.empty() ? std::nullopt : std::optional(seen.key.subKey)};
}

std::size_t SelectEntry(store::AutostartStore& store, const EntrySelector& selector, EntryVerb verb) {
    auto& locale = store.Facets().locale;
    const auto& table = store.Table();
    std::vector<std::size_t> named, similar;
    const std::string folded = locale.FoldCase(selector.name);
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        const auto& name = table.entries[i].name;
        if (locale.CompareNoCase(name, selector.name) == 0)
            named.push_back(i);
        else if (!folded.empty() && locale.FoldCase(name).find(folded) != std::string::npos)
            similar.push_back(i);
    }
    // An entry that was seen and is gone, or holds something else now, changed meanwhile.
    const auto changed = [&] {
        return ChangedMeanwhile(ChangedMessage(selector.name, selector.location.value_or("")));
    };
    if (named.empty() && selector.location) ExplainUnlisted(store, selector.name, *selector.location, verb);
    if (named.empty()) {
        if (selector.Exact()) throw changed();
        std::string message = "No entry is named '" + selector.name + "'";
        if (!similar.empty()) message += "; entries with similar names:" + CandidateLines(table, similar);
        throw AppError(message);
    }

    std::vector<std::size_t> candidates;
    for (std::size_t i : named)
        if (!selector.location || table.entries[i].location == *selector.location) candidates.push_back(i);
    if (candidates.empty()) ExplainUnlisted(store, selector.name, *selector.location, verb);
    if (candidates.empty() && selector.Exact()) throw changed();
    if (candidates.empty())
        throw AppError("No entry named '" + selector.name + "' is in '" + *selector.location +
                       "'; the entries of that name:" + CandidateLines(table, named));
    if (selector.subKey)
        std::erase_if(candidates, [&](std::size_t i) {
            return locale.CompareNoCase(table.entries[i].subKey, *selector.subKey) != 0;
        });
    if (selector.Exact()) {
        // The entry as it was seen, or none: never another one of its name.
        std::erase_if(candidates, [&](std::size_t i) { return !Holds(table, i, selector); });
        if (candidates.empty()) throw changed();
    }

    std::set<std::string> places;
    for (std::size_t i : candidates) places.insert(table.entries[i].location);
    if (places.size() > 1)
        throw AppError("The name '" + selector.name +
                       "' is ambiguous; give --location with one of these:" + CandidateLines(table, candidates));

    std::size_t chosen = candidates.front();
    for (std::size_t i : candidates)
        if (Preference(verb, table.entries[i]) < Preference(verb, table.entries[chosen])) chosen = i;
    // Of the kind the verb takes, one item: two that differ are never chosen between.
    std::vector<std::size_t> twins;
    for (std::size_t i : candidates)
        if (Preference(verb, table.entries[i]) == Preference(verb, table.entries[chosen])) twins.push_back(i);
    const bool differ = std::any_of(twins.begin(), twins.end(),
                                    [&](std::size_t i) { return ItemOfEntry(table, i) != ItemOfEntry(table, chosen); });
    if (differ)
        throw AppError("The name '" + selector.name + "' is shared by " + std::to_string(twins.size()) +
                       " entries of '" + table.entries[chosen].location +
                       "'; give --sub-key or --held-command with one of these:" + TwinLines(table, twins));
    return chosen;
}

std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds) {
    return RunEntryCommand(control, verb, selector, seconds, false);
}

std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds,
                            bool discard) {
    return RunEntryCommand(control, verb, selector, seconds, discard, {});
}

std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds,
                            bool discard, const std::function<void(std::size_t index)>& check) {
    auto& store = control.Store();
    // The entry is chosen from a whole view, read while no other writer is half
    // way through a change (an entry would be neither recorded nor in its place
    // for a moment), and changed in the same hold of the writers' lock: one scan.
    EntryControl::WriteScope scope(control);
    const std::size_t i = SelectEntry(store, selector, verb);
    const store::StartupEntry e = store.Table().entries[i];
    const std::string exe = control.Processes().ExecutablePath();
    if (IsOwnEntry(e.name, e.location, e.command, exe)) throw AppError(SelfProtectionMessage(exe));
    if (check) check(i);

    const std::string label = Label(e);
    switch (verb) {
        case EntryVerb::Disable:
            if (discard) {
                if (!e.IsActive()) return label + " is not enabled; nothing to take out.\n";
                control.DisableEntry(i, true);
                return "Took " + label + " out without recording it.\n";
            }
            if (e.IsActive()) {
                control.DisableEntry(i, false);
            } else if (e.state == store::EntryState::Deferred) {
                // Handed back: it stays disabled, with neither confirm nor delay.
                control.ClearConfirmStartup(i);
                control.SetStartupDelay(i, 0);
            } else {
                return label + " is already disabled.\n";
            }
            return "Disabled " + label + ".\n";
        case EntryVerb::Enable:
            if (e.IsActive() && e.windowsOff) {
                control.SwitchOnForWindows(i);
                return "Switched " + label + " on again in Windows.\n";
            }
            if (e.IsActive()) return label + " is already enabled.\n";
            control.EnableEntry(i);
            return "Enabled " + label + ".\n";
        case EntryVerb::Delete: control.DeleteEntry(i); return "Deleted " + label + ".\n";
        case EntryVerb::Confirm:
            if (e.confirm.value) return label + " is already confirmed at logon.\n";
            control.SetConfirmStartup(i);
            return label + " will be confirmed at logon.\n";
        case EntryVerb::Unconfirm:
            if (!e.confirm.value) return label + " is not confirmed at logon.\n";
            control.ClearConfirmStartup(i);
            return label + " will no longer be confirmed at logon.\n";
        case EntryVerb::Delay: {
            const int delay = store::ClampDelay(seconds);
            if (e.IsActive() && delay == 0) return label + " starts without delay; nothing changed.\n";
            control.SetStartupDelay(i, delay);
            return "Startup delay of " + label + ": " + text::ToDecimal(delay) + " seconds.\n";
        }
    }
    return {};
}

}  // namespace vantorell::control
