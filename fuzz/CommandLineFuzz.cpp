// Any command line, as NUL-separated arguments: the switches of the program and
// every command of vantorellc. Nothing throws out of the console, the exit code
// is one of the three, and the list file stays readable with every record
// written by the program having six fields.
#include "FuzzInput.h"
#include "app/common/ConsoleCommands.h"
#include "app/common/ProgramStart.h"
#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

using namespace vantorell;
using platform::Hive;

namespace {
constexpr const char* kExe = "C:\\Vantorell\\vantorellc.exe";
constexpr const char* kList = "C:\\Vantorell\\StartupList.txt";
constexpr const char* kStartup = "C:\\Startup";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto args = fuzz::SplitAtNul(fuzz::Bytes(data, size));
    (void)app::ParseSwitches(args);

    platform::MemoryPlatform p;
    p.SetExecutablePath(kExe);
    p.PutString(Hive::CurrentUser, store::kShellFoldersKey, "Startup", kStartup);
    p.AddFolder(kStartup);
    p.PutString(Hive::CurrentUser, app::kRunKey, "Tool", "C:\\t.exe");
    p.PutString(Hive::LocalMachine, app::kRunKey, "Tool", "C:\\m.exe");
    p.PutString(Hive::LocalMachine, app::kRunKey, "Vantorell", std::string(kExe) + " -b");
    platform::ShortcutData link;
    link.target = "C:\\l.exe";
    p.PutShortcut(text::JoinPath(kStartup, "Link.lnk"), link);
    p.PutFile(kList, "Off;crun;C:\\o.exe;;0;0\r\nLater;SUF;C:\\l2.exe;-x;1;30\r\n");
    store::AutostartStore store(p, kList);

    const auto result = app::RunConsole(p, store, args);
    fuzz::Check(result.exitCode == app::kExitOk || result.exitCode == app::kExitFailure ||
                result.exitCode == app::kExitUsage);
    fuzz::Check(result.exitCode == app::kExitOk ? result.err.empty() : !result.err.empty());

    const auto bytes = p.GetFile(kList);
    if (bytes && !bytes->empty()) {
        fuzz::Check(bytes->size() >= 2 && bytes->substr(bytes->size() - 2) == "\r\n");
        for (const auto& r : text::SplitLines(*bytes)) fuzz::Check(std::count(r.begin(), r.end(), ';') == 5);
    }
    return 0;
}
