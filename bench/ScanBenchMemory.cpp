// The scan benchmark against the in-memory platform.
#include <cstring>

#include "ScanBench.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

int main(int argc, char** argv) {
    using namespace vantorell;
    platform::MemoryPlatform p;
    const char* kStartup = "C:\\Users\\bench\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    p.PutString(platform::Hive::CurrentUser, store::kShellFoldersKey, "Startup", kStartup);
    p.PutString(platform::Hive::LocalMachine, store::kShellFoldersKey, "Common Startup",
                "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
    p.AddFolder(kStartup);
    bench::BenchOptions options;
    options.title = "in-memory platform";
    options.listFile = "C:\\Program Files\\Vantorell\\StartupList.txt";
    options.check = argc > 1 && std::strcmp(argv[1], "--check") == 0;
    return bench::RunScanBench(p, options);
}
