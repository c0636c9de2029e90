// vtmarker: a stand-in for a program that Vantorell starts at logon. It
// appends one line to the marker file named by its first argument: the time in
// milliseconds since 1970 (UTC), a tab, and the remaining arguments separated
// by blanks. The end-to-end tests read the file to see what was started, when.
//
// When the environment names a log in VTMARKER_LOG, it also appends there its
// own path, a tab and its whole command line: which program really ran, even
// one that took another's place and got its arguments cut differently.
//
// With an argument "--burn=MS" it then spends MS milliseconds of CPU before it
// ends, and with "--stay=MS" it waits that long without CPU: a program with a
// cost at logon, and a quiet one, for the startup impact tests.
//
// Usage: vtmarker MARKER_FILE [ARGUMENTS...]
#include <windows.h>

#include <string>

namespace {

constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;
constexpr unsigned long long k100nsPerMs = 10000ULL;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

unsigned long long NowMs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - kUnixEpochIn100ns) / k100nsPerMs;
}

bool Append(const wchar_t* path, const std::string& line) {
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size();
}

void LogSelf() {
    wchar_t log[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"VTMARKER_LOG", log, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return;
    wchar_t self[MAX_PATH * 2];
    const DWORD len = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    Append(log, Utf8(std::wstring(self, len)) + "\t" + Utf8(GetCommandLineW()) + "\r\n");
}

unsigned long long CpuMs() {
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / k100nsPerMs;
}

void Burn(unsigned long long ms) {
    volatile unsigned long long spin = 0;
    while (CpuMs() < ms)
        for (int i = 0; i < 100000; ++i) spin = spin + static_cast<unsigned long long>(i);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LogSelf();
    if (argc < 2) return 2;
    std::wstring arguments;
    for (int i = 2; i < argc; ++i) arguments += (i > 2 ? L" " : L"") + std::wstring(argv[i]);
    const std::string line = std::to_string(NowMs()) + "\t" + Utf8(arguments) + "\r\n";
    const bool noted = Append(argv[1], line);
    for (int i = 2; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a.rfind(L"--burn=", 0) == 0) Burn(_wtoi(a.c_str() + 7));
        if (a.rfind(L"--stay=", 0) == 0) Sleep(static_cast<DWORD>(_wtoi(a.c_str() + 7)));
    }
    return noted ? 0 : 1;
}
