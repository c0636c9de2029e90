// What measuring at logon reads of the session's programs: a toolhelp
// snapshot, and for each program created since the logon what this process
// may read of it with the least access (PROCESS_QUERY_LIMITED_INFORMATION).
#include <windows.h>
// Needs <windows.h> first.
#include <ntsecapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <map>
#include <set>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

namespace {

std::uint64_t FileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The command line of a program, through ProcessCommandLineInformation
// (Windows 8.1 and later, with the limited access); nullopt where the system
// does not answer.
std::optional<std::string> CommandLineOf(HANDLE process) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    constexpr ULONG kProcessCommandLineInformation = 60;
    if (!query) return std::nullopt;
    ULONG size = 0;
    query(process, kProcessCommandLineInformation, nullptr, 0, &size);
    if (size < sizeof(UNICODE_STRING) || size > 1 << 20) return std::nullopt;
    std::vector<unsigned char> buffer(size);
    if (query(process, kProcessCommandLineInformation, buffer.data(), size, &size) != 0) return std::nullopt;
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    if (!text->Buffer) return std::string();
    return win32::Narrow(std::wstring_view(text->Buffer, text->Length / sizeof(wchar_t)));
}

// The CPU time of the live threads of each process of the snapshot, by
// process id. Windows' process times hold more (the threads that ended too);
// Wine gives another process's times only thread by thread.
std::map<DWORD, std::uint64_t> ThreadCpuMs(HANDLE snapshot, const std::set<DWORD>& of) {
    std::map<DWORD, std::uint64_t> cpu;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
        if (!of.contains(thread.th32OwnerProcessID)) continue;
        win32::UniqueHandle handle(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread.th32ThreadID));
        FILETIME created{}, ended{}, kernel{}, user{};
        if (handle && GetThreadTimes(handle.Get(), &created, &ended, &kernel, &user))
            cpu[thread.th32OwnerProcessID] += (FileTime(kernel) + FileTime(user)) / 10'000;
    }
    return cpu;
}

}  // namespace

std::vector<ProcessFacts> Win32Processes::SessionProcesses(std::uint64_t createdSince) {
    std::vector<ProcessFacts> listed;
    win32::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return listed;
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return listed;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        DWORD its = 0;
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == GetCurrentProcessId() || !ProcessIdToSessionId(entry.th32ProcessID, &its) || its != session) continue;
        win32::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (!process) continue;
        FILETIME created{}, ended{}, kernel{}, user{};
        if (!GetProcessTimes(process.Get(), &created, &ended, &kernel, &user)) continue;
        if (FileTime(created) < createdSince) continue;
        ProcessFacts facts;
        facts.pid = entry.th32ProcessID;
        facts.parentPid = entry.th32ParentProcessID;
        facts.created = FileTime(created);
        facts.cpuMs = (FileTime(kernel) + FileTime(user)) / 10'000;
        std::wstring image(MAX_PATH, L'\0');
        for (;;) {
            DWORD size = static_cast<DWORD>(image.size());
            if (QueryFullProcessImageNameW(process.Get(), 0, image.data(), &size)) {
                facts.image = win32::Narrow(std::wstring_view(image.data(), size));
                break;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || image.size() >= 32768) break;
            image.resize(image.size() * 2);
        }
        IO_COUNTERS io{};
        if (GetProcessIoCounters(process.Get(), &io)) facts.ioBytes = io.ReadTransferCount + io.WriteTransferCount;
        facts.commandLine = CommandLineOf(process.Get());
        listed.push_back(std::move(facts));
    }
    std::set<DWORD> pids;
    for (const ProcessFacts& facts : listed) pids.insert(facts.pid);
    const auto threads = ThreadCpuMs(snapshot.Get(), pids);
    for (ProcessFacts& facts : listed)
        if (const auto it = threads.find(facts.pid); it != threads.end()) facts.cpuMs = std::max(facts.cpuMs, it->second);
    return listed;
}

std::optional<CpuTimes> Win32Processes::SystemCpuTimes() {
    FILETIME idle{}, kernel{}, user{};
    if (!GetSystemTimes(&idle, &kernel, &user)) return std::nullopt;
    return CpuTimes{FileTime(idle), FileTime(kernel), FileTime(user)};
}

std::optional<std::uint64_t> Win32Processes::LogonTime() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    win32::UniqueHandle owned(token);
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &size)) return std::nullopt;
    // Loaded for this one question, at logon only: linked, the security
    // libraries would stay in the program that sits in the tray all day.
    HMODULE secur32 = LoadLibraryExW(L"secur32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!secur32) return std::nullopt;
    using GetData = NTSTATUS(WINAPI*)(PLUID, PSECURITY_LOGON_SESSION_DATA*);
    using FreeBuffer = NTSTATUS(WINAPI*)(PVOID);
    const auto getData = reinterpret_cast<GetData>(
        reinterpret_cast<void*>(GetProcAddress(secur32, "LsaGetLogonSessionData")));
    const auto freeBuffer = reinterpret_cast<FreeBuffer>(
        reinterpret_cast<void*>(GetProcAddress(secur32, "LsaFreeReturnBuffer")));
    PSECURITY_LOGON_SESSION_DATA data = nullptr;
    std::uint64_t at = 0;
    if (getData && freeBuffer && getData(&statistics.AuthenticationId, &data) == 0 && data) {
        at = static_cast<std::uint64_t>(data->LogonTime.QuadPart);
        freeBuffer(data);
    }
    FreeLibrary(secur32);
    // A logon time of 0 is none.
    if (at == 0) return std::nullopt;
    return at;
}

std::uint64_t Win32Processes::StartTime() {
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return FileTimeNow();
    return FileTime(created);
}

std::uint64_t Win32Processes::FileTimeNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return FileTime(now);
}

}  // namespace vantorell::platform
