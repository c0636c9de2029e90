// The scan benchmark, shared by the native and the Windows programs: for each
// size it fills the Run keys and the user's Startup folder, then times the scan
// beside a plain enumeration of the same keys and folders (names and data,
// nothing else) and prints the ratios.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace vantorell::bench {

struct BenchOptions {
    std::string title;     // what the scan runs against
    std::string listFile;  // path of a scratch list file (not created)
    bool check = false;    // exit code 1 when a target is missed
};

// Returns the process exit code.
int RunScanBench(platform::Platform& platform, const BenchOptions& options);

}  // namespace vantorell::bench
