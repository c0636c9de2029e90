#include "app/win32/IdentifyHelper.h"

#include <string>
#include <string_view>

#include "identity/IdentityHelper.h"

namespace vantorell::app {

int RunIdentifyHelper(platform::Win32Platform& platform) {
    // A file that breaks the check ends this helper without a box, and a drive
    // without a disk asks nobody to insert one.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    constexpr std::size_t kLargestRequest = 16 * 1024 * 1024;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string request;
    char buffer[16 * 1024];
    DWORD got = 0;
    while (request.size() < kLargestRequest && ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0)
        request.append(buffer, got);
    bool written = true;
    const bool served = identity::ServeIdentification(platform, request, [&](std::string_view line) {
        DWORD wrote = 0;
        for (std::size_t done = 0; written && done < line.size(); done += wrote)
            written = WriteFile(out, line.data() + done, static_cast<DWORD>(line.size() - done), &wrote, nullptr) &&
                      wrote > 0;
    });
    return served && written ? 0 : 2;
}

}  // namespace vantorell::app
