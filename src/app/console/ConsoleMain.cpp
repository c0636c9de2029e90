// Entry point of the console companion "vantorellc.exe": arguments in UTF-16,
// output in UTF-8 (or UTF-16 through the console when standard output is one).
#include <windows.h>

#include <string>
#include <vector>

#include "app/common/ConsoleCommands.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(win32::Narrow(argv[i]));

    app::ConsoleOutput result;
    try {
        platform::Win32Platform platform;  // initialises COM for the shortcut reads
        result = app::RunConsole(platform, args, ReadStandardInput);
    } catch (const std::exception& e) {
        result = app::ConsoleOutput{
            app::kExitFailure, {}, std::string(app::kConsoleName) + ": " + ErrorReportText(e.what()) + "\n"};
    }
    WriteOut(STD_OUTPUT_HANDLE, result.out);
    WriteOut(STD_ERROR_HANDLE, result.err);
    return result.exitCode;
}
