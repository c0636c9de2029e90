// The info tip of a grid row: which place and view the entry comes from, and
// who has switched it off.
#pragma once

#include <cstddef>
#include <string>

#include "store/AutostartStore.h"

namespace vantorell::ui {

inline constexpr std::string_view kTipWindowsOff =
    "Switched off in Windows (Task Manager or Settings > Apps > Startup): Windows does not start it. "
    "Double-click the check box to switch it on again.";
inline constexpr std::string_view kTipService =
    "A service: switching it off or on changes its start type, which takes effect at the next start of Windows. "
    "Vantorell never starts or stops it.";
inline constexpr std::string_view kTipRecorded = "Taken out of its place and kept in \"StartupList.txt\".";

// The tip of entry `index` of the store's table, looked up afresh; empty
// outside the table.
std::string EntryInfoTip(store::AutostartStore& store, std::size_t index);

}  // namespace vantorell::ui
