// Identification of 100 entries against a floor that calls WinVerifyTrust on
// the same files one after the other, under Wine or Windows.
//   identity_bench DIR
// DIR holds the signed files (bench/identity.sh makes them). Prints the
// floor's time, identification with an empty cache (cold) and with the cache
// it left (warm), and the ratio cold / floor, the best of three rounds each:
// in this process, and as the window does it (helpers, this program run
// again with "-identify", examine what the cache lacks).
#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>

#include <wintrust.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "identity/Identifier.h"
#include "identity/IdentityCache.h"
#include "identity/IdentityService.h"
#include "app/win32/IdentifyHelper.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*.exe").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do files.push_back(dir + L"\\" + data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(files.begin(), files.end());
    return files;
}

// What any tool that checks signatures does at least: one trust check per file.
double Floor(const std::vector<std::wstring>& files) {
    const auto start = Clock::now();
    for (const auto& file : files) {
        WINTRUST_FILE_INFO info{};
        info.cbStruct = sizeof info;
        info.pcwszFilePath = file.c_str();
        WINTRUST_DATA data{};
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_NONE;
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &info;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    }
    return Ms(Clock::now() - start);
}

// Identification of one entry per file, the cache loaded first and saved after.
double Identify(vantorell::platform::Platform& platform, const std::vector<std::wstring>& files,
                const std::string& cachePath, std::size_t& verified) {
    using namespace vantorell;
    const auto start = Clock::now();
    identity::IdentityCache cache(platform, cachePath);
    cache.Load();
    identity::Identifier identifier(platform, cache);
    verified = 0;
    for (const auto& file : files) {
        const auto id = identifier.Identify(identity::FileJob{"\"" + win32::Narrow(file) + "\" /background", {}, {}, false, {}});
        if (id.state == identity::SignatureState::Verified) ++verified;
    }
    cache.Save();
    return Ms(Clock::now() - start);
}

// The same as the window does it: through the identification service, whose
// worker examines the files the cache lacks in a helper (this program run
// again with "-identify"), until every result is in.
double IdentifyApart(vantorell::platform::Platform& platform, const std::vector<std::wstring>& files,
                     const std::string& cachePath, std::size_t& verified) {
    using namespace vantorell;
    const auto start = Clock::now();
    identity::IdentityService service(platform, cachePath);
    std::vector<identity::FileJob> jobs;
    for (const auto& file : files)
        jobs.push_back(identity::FileJob{"\"" + win32::Narrow(file) + "\" /background", {}, {}, false, {}});
    service.Request(jobs);
    while (service.Busy()) {
        service.Collect();
        Sleep(1);
    }
    service.Collect();
    const double ms = Ms(Clock::now() - start);
    verified = 0;
    for (const auto& job : jobs)
        if (const auto* id = service.Find(job); id && id->state == identity::SignatureState::Verified) ++verified;
    return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    vantorell::platform::Win32Platform platform;
    if (argc == 2 && std::wstring_view(argv[1]) == L"-identify") return vantorell::app::RunIdentifyHelper(platform);
    if (argc != 2) {
        std::fprintf(stderr, "usage: identity_bench DIR\n");
        return 2;
    }
    const std::vector<std::wstring> files = FilesIn(argv[1]);
    if (files.empty()) {
        std::fprintf(stderr, "identity_bench: no .exe files in the folder\n");
        return 1;
    }
    const std::string cachePath = vantorell::win32::Narrow(argv[1]) + "\\bench-cache.txt";
    double floor = 1e18, cold = 1e18, warm = 1e18, coldApart = 1e18, warmApart = 1e18;
    std::size_t verified = 0, verifiedApart = 0;
    Floor(files);  // the files into the system's cache, for both alike
    for (int round = 0; round < 3; ++round) {
        floor = std::min(floor, Floor(files));
        DeleteFileW(vantorell::win32::Widen(cachePath).c_str());
        cold = std::min(cold, Identify(platform, files, cachePath, verified));
        warm = std::min(warm, Identify(platform, files, cachePath, verified));
        DeleteFileW(vantorell::win32::Widen(cachePath).c_str());
        coldApart = std::min(coldApart, IdentifyApart(platform, files, cachePath, verifiedApart));
        warmApart = std::min(warmApart, IdentifyApart(platform, files, cachePath, verifiedApart));
    }
    std::printf("files %zu verified %zu (through the helper: %zu)\n", files.size(), verified, verifiedApart);
    std::printf("floor_ms %.1f\n", floor);
    std::printf("in this process:    cold_ms %.1f warm_ms %.1f ratio %.2f\n", cold, warm, cold / floor);
    std::printf("as the window does: cold_ms %.1f warm_ms %.1f ratio %.2f\n", coldApart, warmApart, coldApart / floor);
    return verified == files.size() && verifiedApart == files.size() ? 0 : 1;
}
