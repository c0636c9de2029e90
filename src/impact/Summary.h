// What the grid, the entry's tip and the JSON output show of an entry's
// startup impact, and of the last logon as a whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "impact/History.h"
#include "impact/Impact.h"

namespace vantorell::impact {

struct Summary {
    Level level = Level::Unmeasured;  // the level of the median
    std::optional<Cost> median;       // over the measured logons
    std::optional<Cost> last;         // the newest logon, when it was measured
    std::size_t logons = 0;           // measured logons
};

// The summary of an entry's logons (History::Of); Unmeasured for nullptr or
// when none was measured.
Summary Summarise(const std::vector<LogonCost>* history);

// The tip's lines: "Startup impact: High (1.52 s of CPU, 12 KB of disk at the
// last logon; median 1.48 s, 0 B over 3 logons)", for High a second line on
// delaying it, or "Startup impact: not measured yet".
std::string TipText(const Summary& summary);
// {"level": "high", "cpuMs": N, "diskBytes": N, "logons": N}: the median's
// figures, 0 when not measured.
std::string JsonObject(const Summary& summary);

// "Last logon: quiet after 23 s; startup programs used 4.1 s of CPU".
std::string LastLogonText(const LastLogon& last);
// {"quietAfterMs": N, "programsCpuMs": N, "logon": N}
std::string LastLogonJson(const LastLogon& last);

}  // namespace vantorell::impact
