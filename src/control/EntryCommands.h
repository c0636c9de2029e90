// The entry commands of the console companion: an entry chosen by name (and
// place, when the name alone is ambiguous), then the same operation the grid's
// gesture runs, self-protection included. Nothing is asked interactively.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "control/EntryControl.h"

namespace vantorell::control {

enum class EntryVerb { Disable, Enable, Delete, Confirm, Unconfirm, Delay };

// One change to one entry, to be made once more elsewhere (by the console
// companion, with administrator rights): the verb, the entry as its row showed
// it, the delay's seconds, and for Disable whether the entry is taken out
// without a record (discard).
struct EntryChange {
    EntryVerb verb = EntryVerb::Disable;
    EntrySeen entry;
    int seconds = 0;
    bool discard = false;
    // The user said yes to switching off one of Windows' own services.
    bool force = false;
};

struct EntrySelector {
    std::string name;                     // compared without regard to case
    std::optional<std::string> location;  // a location code, compared exactly
    // Only a recorded entry (true) or only an active one (false): a record and
    // a program that put itself back share a name and a place.
    std::optional<bool> recorded;
    // Texts the entry must still hold, as SeenOfEntry gives them.
    std::optional<std::string> command, arguments, confirm, delay;
    // The Active Setup component (its sub-key under "Installed Components"),
    // where two components show one name.
    std::optional<std::string> subKey;

    // Whether the selector says what the entry held, not only its name.
    bool Exact() const { return recorded || command || arguments || confirm || delay || subKey; }
};

// The selector of exactly the entry `seen`: its name, place and kind, and what it held.
EntrySelector SelectorOf(const EntrySeen& seen);

// The table index of the one entry `selector` names for `verb`. Throws AppError
// for an unknown name and for an ambiguous one; both messages list the
// candidates. When the only candidates are a recorded entry and an active copy
// of it in the same place, the verb decides: disable takes the active copy,
// enable and the option verbs the record, delete the active copy. Two entries
// of one place and kind that share the name but not the item (two Active
// Setup components, two records of other commands) are ambiguous: the message
// lists each with its sub-key and command, which --sub-key or --held-command
// then give. A selector
// that says what the entry held finds only an entry that still holds it, and
// throws ChangedMeanwhile when there is none.
std::size_t SelectEntry(store::AutostartStore& store, const EntrySelector& selector, EntryVerb verb);

// Rescans, selects the entry and runs `verb` on it as the grid does (`seconds`
// for Delay, 0 to 240). Refuses the program's own entry with the
// self-protection message. Returns one line for the user; throws AppError.
std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds = 0);
// As RunEntryCommand; Disable with `discard` takes an enabled entry out of its
// place without recording it (AutoKill's re-disable).
std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds,
                            bool discard);
// As RunEntryCommand; `check` sees the selected entry's index first and may
// refuse the change by throwing.
std::string RunEntryCommand(EntryControl& control, EntryVerb verb, const EntrySelector& selector, int seconds,
                            bool discard, const std::function<void(std::size_t index)>& check);

}  // namespace vantorell::control
