// The scan benchmark against the real Windows platform. It adds thousands of
// values to the Run keys and shortcuts to the Startup folder of the machine it
// runs on (and removes them again), so it runs only under Wine unless told
// otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ScanBench.h"
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"
#include "store/AutostartStore.h"

namespace {

constexpr const wchar_t* kRealMachineSwitch = L"--real-machine";

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void Usage() {
    std::fprintf(stderr,
                 "Usage: scan_bench_win32 [--check] [--real-machine]\n\n"
                 "Times the autostart scan against a plain enumeration of the same keys and folders.\n"
                 "WARNING: it writes up to 10,000 values into the current user's and the machine's Run\n"
                 "and RunOnce keys and up to 2,000 shortcuts into the user's Startup folder, and deletes\n"
                 "them afterwards; an interrupted run leaves them there. Run it in a fresh Wine prefix.\n"
                 "On Windows itself it refuses to run unless --real-machine is given.\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace vantorell;
    bool check = false, realMachine = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--check") {
            check = true;
        } else if (a == kRealMachineSwitch) {
            realMachine = true;
        } else {
            Usage();
            return 2;
        }
    }
    if (!UnderWine() && !realMachine) {
        Usage();
        return 2;
    }
    platform::Win32Platform p;
    bench::BenchOptions options;
    options.title = UnderWine() ? "Win32 platform under Wine" : "Win32 platform";
    options.listFile = text::JoinPath(text::FolderOf(p.processes.ExecutablePath()), "ScanBenchList.txt");
    options.check = check;
    return bench::RunScanBench(p, options);
}
