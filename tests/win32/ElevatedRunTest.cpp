// The two executables as Windows sees them: each carries the manifest (so a
// 32-bit vantorellc is never run under UAC virtualisation), and the console
// companion run through Win32Platform::RunElevated, as the window runs it,
// tells its error through the window's pipe and writes no file: a link put
// where the error file used to be leaves its target as it was.
// VT_VANTORELL and VT_VANTORELLC name the executables (set by CTest).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace vantorell::testing {
namespace {

// The executable an environment variable names (a Unix path under Wine).
std::wstring ExeFromEnvironment(const char* variable) {
    const char* path = std::getenv(variable);
    if (!path || !*path) return {};
    std::string windows = path;
    if (windows.front() == '/') windows = "Z:" + windows;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return win32::Widen(windows);
}

std::string Manifest(const std::wstring& exe) {
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    std::string text;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */)) {
        const HGLOBAL loaded = LoadResource(module, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (bytes) text.assign(static_cast<const char*>(bytes), SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

TEST(Executables, BothCarryTheManifest) {
    for (const char* variable : {"VT_VANTORELL", "VT_VANTORELLC"}) {
        const std::wstring exe = ExeFromEnvironment(variable);
        if (exe.empty()) GTEST_SKIP() << variable << " is not set";
        const std::string manifest = Manifest(exe);
        SCOPED_TRACE(variable);
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
        EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << "Windows 10 and 11";
        EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos);
    }
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ElevatedRun, TheErrorComesBackThroughThePipeAndNoFileIsWritten) {
    const std::wstring helper = ExeFromEnvironment("VT_VANTORELLC");
    if (helper.empty()) GTEST_SKIP() << "VT_VANTORELLC is not set";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vt-elevated-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring target = folder + L"\\precious.txt", link = folder + L"\\ElevatedError.txt";
    { std::ofstream(target.c_str(), std::ios::binary) << "precious"; }
    const bool linked = CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) != 0;
    if (!linked) std::printf("note: no symbolic link here (error %lu); only the target is checked\n", GetLastError());

    platform::Win32Platform platform;
    const auto run =
        platform.processes.RunElevated(win32::Narrow(helper), "disable --location crun -- \"No such entry, vt\"");
    ASSERT_EQ(run.outcome, platform::ElevatedRun::Outcome::Finished) << run.message;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.report.find("No entry is named 'No such entry, vt'"), std::string::npos) << run.report;

    // The way the error used to travel is no way in any more.
    const auto old = platform.processes.RunElevated(
        win32::Narrow(helper), "disable --error-file \"" + win32::Narrow(link) + "\" -- \"No such entry, vt\"");
    EXPECT_EQ(old.exitCode, 2) << old.report;
    EXPECT_EQ(ReadAll(target), "precious");
    if (linked) {
        EXPECT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "still the link";
    }

    DeleteFileW(link.c_str());
    DeleteFileW(target.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace vantorell::testing
