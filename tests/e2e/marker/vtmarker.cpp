// vtmarker: a stand-in for a program that Vantorell starts at logon. It
// appends one line to the marker file named by its first argument: the time in
// milliseconds since 1970 (UTC), a tab, and the remaining arguments separated
// by blanks. The end-to-end tests read the file to see what was started, when.
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring arguments;
    for (int i = 2; i < argc; ++i) arguments += (i > 2 ? L" " : L"") + std::wstring(argv[i]);
    const std::string line = std::to_string(NowMs()) + "\t" + Utf8(arguments) + "\r\n";
    HANDLE file = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}
