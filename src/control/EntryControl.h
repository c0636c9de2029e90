// Taking entries out of their autostart places and putting them back, handing
// them over for a confirmed or delayed start, and deleting them. Every
// operation ends with the refresh: the list file is saved, the table rescanned
// and the grid refilled.
#pragma once

#include <cstddef>

#include "store/AutostartStore.h"
#include "ui/GridModel.h"

namespace vantorell::control {

class EntryControl {
public:
    EntryControl(store::AutostartStore& store, ui::GridModel& grid) : store_(store), grid_(grid) {}

    // Takes entry `index` out of its place; appends its record unless `discard`.
    void DisableEntry(std::size_t index, bool discard);
    // Re-creates the entry of record `listIndex` in its place and removes the record.
    void EnableEntry(std::size_t listIndex);
    void SetConfirmStartup(std::size_t index);
    void ClearConfirmStartup(std::size_t index);
    void SetStartupDelay(std::size_t index, int seconds);

    store::AutostartStore& Store() { return store_; }
    ui::GridModel& Grid() { return grid_; }

private:
    store::AutostartStore& store_;
    ui::GridModel& grid_;
};

}  // namespace vantorell::control
