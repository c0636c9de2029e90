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
};

// For a caller that shows no entries (the console, an uninstall).
class NothingShown final : public EntriesChanged {
public:
    void OnEntriesChanged(const store::EntryTable&) override {}
};

}  // namespace vantorell::control
