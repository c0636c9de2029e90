// Told whenever the entry table was built anew after a change or a look at the
// places, so that whoever shows the entries shows them again: the window fills
// its grid, a console shows nothing and is told nothing it must act on.
#pragma once

#include "store/EntryTable.h"

namespace vantorell::control {

class EntriesChanged {
public:
    virtual ~EntriesChanged() = default;
    virtual void OnEntriesChanged(const store::EntryTable& table) = 0;
    // Whether the entries are shown at all: when not, a change is not followed
    // by a scan of its own.
    virtual bool ShowsEntries() const = 0;
};

// For a caller that shows no entries (the console, an uninstall).
class NothingShown final : public EntriesChanged {
public:
    void OnEntriesChanged(const store::EntryTable&) override {}
    bool ShowsEntries() const override { return false; }
};

}  // namespace vantorell::control
