#include "platform/win32/Win32Processes.h"

#include <sddl.h>
#include <shellapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

using win32::ErrorText;
using win32::Narrow;
using win32::UniqueFile;
using win32::UniqueHandle;
using win32::Widen;

std::string Win32Processes::ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> Win32Processes::EnvironmentVariable(std::string_view name) {
    const std::wstring wname = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    // A variable set to nothing is set: 0 characters, with no error.
    SetLastError(ERROR_SUCCESS);
    const DWORD got = GetEnvironmentVariableW(wname.c_str(), value.data(), size);
    if ((got == 0 && GetLastError() != ERROR_SUCCESS) || got >= size) return std::nullopt;
    value.resize(got);
    return Narrow(value);
}

bool Win32Processes::IsElevated() {
    UniqueHandle token;
    {
        HANDLE h = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h)) return false;
        token = UniqueHandle(h);
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
    return elevation.TokenIsElevated != 0;
}

namespace {

// The report pipe's buffer, and how much of a report is kept (the helper
// writes at most kMaxElevatedReport bytes, so it never waits on a full pipe).
constexpr DWORD kReportPipeBytes = 64 * 1024;
constexpr std::size_t kReportKeptBytes = 64 * 1024;
// While the elevated program runs, the pipe is emptied this often.
constexpr DWORD kReportPollMs = 100;

// Appends what the pipe holds now to `report`, without waiting for more;
// keeps `kept` bytes at most.
void DrainPipe(HANDLE pipe, std::string& report, std::size_t kept = kReportKeptBytes) {
    char buffer[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) return;
        if (report.size() < kept) report.append(buffer, std::min<std::size_t>(got, kept - report.size()));
    }
}

}  // namespace

ElevatedRun Win32Processes::RunElevated(std::string_view program, std::string_view parameters) {
    // The report pipe: neither end is inheritable; the elevated program takes
    // a copy of the write end from this process by its handle value.
    UniqueHandle readEnd, writeEnd;
    {
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, nullptr, kReportPipeBytes))
            return {ElevatedRun::Outcome::Failed, 0, ErrorText(GetLastError()), {}};
        readEnd = UniqueHandle(r);
        writeEnd = UniqueHandle(w);
    }
    const std::wstring reportTo = Widen(std::string(kReportToOption)) + L" " + Widen(std::to_string(GetCurrentProcessId())) +
                                  L":" + Widen(std::to_string(reinterpret_cast<std::uintptr_t>(writeEnd.Get())));
    const std::wstring file = Widen(program), args = reportTo + L" " + Widen(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner_;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = args.c_str();
    info.nShow = SW_HIDE;
    // The window stays painted and its timers keep running, but takes no
    // clicks until the change is done.
    const bool disabled = owner_ && IsWindowEnabled(owner_);
    if (disabled) EnableWindow(owner_, FALSE);
    win32::ModalLoop modal;  // this loop is not the window's: the watches need serving
    bool quit = false;
    int quitCode = 0;
    // Serves this thread's messages (and so the watches and the timers) until
    // `handle` is signalled; `idle` runs at every pause of the poll. A WM_QUIT
    // waits for `handle` and is posted again once the caller is done.
    const auto serveUntil = [&](HANDLE handle, const auto& idle) {
        while (true) {
            const DWORD r = MsgWaitForMultipleObjectsEx(1, &handle, kReportPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (r == WAIT_TIMEOUT) {
                idle();
                continue;
            }
            if (r != WAIT_OBJECT_0 + 1) return;  // signalled, or the wait failed
            MSG msg;
            while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    quitCode = static_cast<int>(msg.wParam);
                    break;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (quit) {
                WaitForSingleObject(handle, INFINITE);  // the change finishes before the program ends
                return;
            }
        }
    };
    const auto finish = [&](ElevatedRun run) {
        if (disabled) EnableWindow(owner_, TRUE);
        if (quit) PostQuitMessage(quitCode);
        return run;
    };
    // ShellExecuteExW returns only when the system's prompt for the rights is
    // answered, which may take minutes: it runs on a thread of its own while
    // this one goes on serving the monitor's watches and timers.
    BOOL launched = FALSE;
    DWORD launchError = 0;
    {
        UniqueHandle launchDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!launchDone) return finish({ElevatedRun::Outcome::Failed, 0, ErrorText(GetLastError()), {}});
        std::thread launcher([&] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            launched = ShellExecuteExW(&info);
            launchError = launched ? 0 : GetLastError();
            if (SUCCEEDED(com)) CoUninitialize();
            SetEvent(launchDone.Get());
        });
        serveUntil(launchDone.Get(), [] {});
        launcher.join();
    }
    if (!launched) {
        if (launchError == ERROR_CANCELLED)
            return finish({ElevatedRun::Outcome::Cancelled, 0, ErrorText(launchError), {}});
        return finish({ElevatedRun::Outcome::Failed, 0, ErrorText(launchError), {}});
    }
    if (!info.hProcess) return finish({ElevatedRun::Outcome::Failed, 0, ErrorText(ERROR_INVALID_HANDLE), {}});
    UniqueHandle process(info.hProcess);
    std::string report;
    serveUntil(process.Get(), [&] { DrainPipe(readEnd.Get(), report); });
    DrainPipe(readEnd.Get(), report);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code))
        return finish({ElevatedRun::Outcome::Failed, 0, ErrorText(GetLastError()), {}});
    return finish({ElevatedRun::Outcome::Finished, static_cast<int>(code), {}, std::move(report)});
}

// ------------------------------------------------------------------ helpers

namespace {

// How much of a helper's output is kept; a reply line is a few hundred bytes.
constexpr std::size_t kHelperKeptBytes = 16 * 1024 * 1024;

// The token for a helper of an elevated process, which reads files it does
// not trust: this process's own, with the Administrators group for denying
// only, no privileges but the least, at medium integrity. Null when this
// process is not elevated (the helper then runs as it does), or when such a
// token cannot be made: a helper is then never started (see CanRunHelper).
UniqueHandle HelperToken() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &own)) return {};
    const UniqueHandle token(own);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) ||
        !elevation.TokenIsElevated)
        return {};
    BYTE admins[SECURITY_MAX_SID_SIZE], medium[SECURITY_MAX_SID_SIZE];
    DWORD adminsSize = sizeof admins, mediumSize = sizeof medium;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize) ||
        !CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &mediumSize))
        return {};
    SID_AND_ATTRIBUTES denyOnly{admins, 0};
    HANDLE made = nullptr;
    if (!CreateRestrictedToken(token.Get(), DISABLE_MAX_PRIVILEGE | LUA_TOKEN, 1, &denyOnly, 0, nullptr, 0, nullptr,
                               &made))
        return {};
    UniqueHandle restricted(made);
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Sid = medium;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    if (!SetTokenInformation(restricted.Get(), TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium)))
        return {};
    // Made sure of: the group denies only, whatever the system did with the flags.
    DWORD need = 0;
    GetTokenInformation(restricted.Get(), TokenGroups, nullptr, 0, &need);
    std::vector<BYTE> buffer(need);
    if (need == 0 || !GetTokenInformation(restricted.Get(), TokenGroups, buffer.data(), need, &need)) return {};
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (EqualSid(groups->Groups[i].Sid, admins) && !(groups->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY))
            return {};
    return restricted;
}

// The helper's input: a temporary file that only this process and the helper
// (through the inherited handle) can open, gone when both have closed it. A
// file, not a pipe: writing it never waits for the helper.
UniqueFile InputFile(std::string_view input) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return {};
    wchar_t path[MAX_PATH];
    if (!GetTempFileNameW(folder, L"vtj", 0, path)) return {};
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFile file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) {
        DeleteFileW(path);
        return {};
    }
    DWORD wrote = 0;
    for (std::size_t done = 0; done < input.size(); done += wrote) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - done, 1 << 20));
        if (!::WriteFile(file.Get(), input.data() + done, chunk, &wrote, nullptr) || wrote == 0) return {};
    }
    if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return {};
    return file;
}

class Win32HelperRun final : public HelperRun {
public:
    Win32HelperRun(UniqueHandle process, UniqueHandle output)
        : process_(std::move(process)), output_(std::move(output)) {}
    ~Win32HelperRun() override {
        if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.Get(), 1);
    }
    bool Poll(std::string& output) override {
        // Whether it ended is asked first: what it wrote before is all in the pipe then.
        const bool ended = WaitForSingleObject(process_.Get(), 0) != WAIT_TIMEOUT;
        DrainPipe(output_.Get(), output, kHelperKeptBytes);
        return ended;
    }

private:
    UniqueHandle process_, output_;
};

}  // namespace

bool Win32Processes::CanRunHelper() {
    // Elevated, where no token without the rights can be made: identified in
    // this process rather than by a helper with the rights.
    static const bool can = !IsElevated() || HelperToken();
    return can;
}

std::unique_ptr<HelperRun> Win32Processes::StartHelper(std::string_view argument, std::string_view input) {
    const UniqueFile in = InputFile(input);
    if (!in) return nullptr;
    UniqueHandle readEnd, writeEnd;
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 64 * 1024)) return nullptr;
        readEnd = UniqueHandle(r);
        writeEnd = UniqueHandle(w);
        if (!SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0)) return nullptr;
    }
    std::wstring commandLine = L"\"" + Widen(ExecutablePath()) + L"\" " + Widen(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = in.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    const DWORD flags = CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS;
    PROCESS_INFORMATION started{};
    BOOL ok = FALSE;
    if (IsElevated()) {
        // Never with this process's rights. The helper runs beside the user's
        // other programs, at their integrity: its process and thread are for
        // SYSTEM and Administrators only (its owner too may only ask about it),
        // so that none of them can change what it answers.
        const UniqueHandle token = HelperToken();
        if (!token) return nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1000;;;OW)",
                                                                  SDDL_REVISION_1, &descriptor, nullptr))
            return nullptr;
        SECURITY_ATTRIBUTES guarded{sizeof guarded, descriptor, FALSE};
        ok = CreateProcessAsUserW(token.Get(), nullptr, commandLine.data(), &guarded, &guarded, TRUE, flags, nullptr,
                                  nullptr, &startup, &started);
        LocalFree(descriptor);
    } else {
        ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                            &started);
    }
    if (!ok) return nullptr;
    CloseHandle(started.hThread);
    // The helper holds the write end now: the pipe ends when it does.
    return std::make_unique<Win32HelperRun>(UniqueHandle(started.hProcess), std::move(readEnd));
}

}  // namespace vantorell::platform
