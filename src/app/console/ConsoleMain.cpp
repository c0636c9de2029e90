// Entry point of the console companion "vantorellc.exe": arguments in UTF-16,
// output in UTF-8 (or UTF-16 through the console when standard output is one).
#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/common/ConsoleCommands.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinHandles.h"

namespace {

using namespace vantorell;

// Characters per WriteConsoleW call; older consoles refuse large writes.
constexpr std::size_t kConsoleChunk = 8192;

void WriteConsoleText(HANDLE h, const std::wstring& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t n = std::min(kConsoleChunk, text.size() - done);
        // Never split a surrogate pair between two writes.
        if (done + n < text.size() && IS_HIGH_SURROGATE(text[done + n - 1]) && n > 1) --n;
        DWORD written = 0;
        if (!WriteConsoleW(h, text.data() + done, static_cast<DWORD>(n), &written, nullptr) || written == 0) return;
        done += written;
    }
}

void WriteBytes(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const auto n = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, MAXDWORD));
        if (!WriteFile(h, bytes.data() + done, n, &written, nullptr) || written == 0) return;
        done += written;
    }
}

void WriteOut(DWORD which, const std::string& utf8) {
    if (utf8.empty()) return;
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode))
        WriteConsoleText(h, win32::Widen(utf8));
    else
        WriteBytes(h, utf8);
}

// The whole of standard input, as the bytes came (DSC sends UTF-8 JSON).
std::string ReadStandardInput() {
    const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[16384];
    DWORD got = 0;
    while (::ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

// At most this much of a report goes to the caller's pipe, so that the write
// never waits for the reader (whose pipe holds more).
constexpr std::size_t kMaxReportBytes = 16 * 1024;

// The id of the process that started this one; 0 when it cannot be found.
DWORD ParentProcessId() {
    win32::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    return 0;
}

bool ParseDecimal(std::wstring_view text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    out = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        out = out * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return true;
}

// The report pipe "PID:HANDLE" names: a copy of that handle of the process
// that started this one, when it is a pipe. A handle of any other process is
// not this program's to write to, whatever the command line says; the report
// then goes nowhere and the exit code alone tells the outcome.
win32::UniqueHandle ReportPipe(std::wstring_view where) {
    const auto colon = where.find(L':');
    std::uint64_t pid = 0, value = 0;
    if (colon == std::wstring_view::npos || !ParseDecimal(where.substr(0, colon), pid) ||
        !ParseDecimal(where.substr(colon + 1), value) || pid == 0 || pid != ParentProcessId())
        return {};
    win32::UniqueHandle parent(OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(pid)));
    if (!parent) return {};
    HANDLE copy = nullptr;
    if (!DuplicateHandle(parent.Get(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)),
                         GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return {};
    win32::UniqueHandle pipe(copy);
    if (GetFileType(pipe.Get()) != FILE_TYPE_PIPE) return {};
    return pipe;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Run by the window with administrator rights: the error text goes back
    // through the window's pipe (see Processes::RunElevated), not into a file.
    int first = 1;
    win32::UniqueHandle report;
    const bool handedOver = argc >= 3 && win32::Narrow(argv[1]) == platform::kReportToOption;
    if (handedOver) {
        report = ReportPipe(argv[2]);
        first = 3;
    }
    std::vector<std::string> args;
    for (int i = first; i < argc; ++i) args.push_back(win32::Narrow(argv[i]));

    app::ConsoleOutput result;
    try {
        // COM only once a shortcut is read or written: most commands read none.
        platform::Win32Platform platform(win32::ComScope::Start::OnFirstUse);
        result =
            handedOver ? app::RunHandedOverChange(platform, args) : app::RunConsole(platform, args, ReadStandardInput);
    } catch (const std::exception& e) {
        result = app::ConsoleOutput{
            app::kExitFailure, {}, std::string(app::kConsoleName) + ": " + ErrorReportText(e.what()) + "\n"};
    } catch (...) {
        result = app::ConsoleOutput{app::kExitFailure, {}, {}};
    }
    // A failure always says what failed, also one whose error had no text.
    if (result.exitCode != app::kExitOk && !result.result && result.err.find_first_not_of(" \r\n") == std::string::npos)
        result.err = std::string(app::kConsoleName) + ": the command failed (exit code " +
                     std::to_string(result.exitCode) + ") without a message.\n";
    WriteOut(STD_OUTPUT_HANDLE, result.out);
    WriteOut(STD_ERROR_HANDLE, result.err);
    if (report) WriteBytes(report.Get(), result.err.substr(0, kMaxReportBytes));
    return result.exitCode;
}
