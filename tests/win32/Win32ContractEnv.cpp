// The platform contract's environment on real Windows (or Wine): a scratch
// folder under %TEMP% and a scratch key under HKCU\Software, both removed at the end.
#include <windows.h>

#include <atomic>
#include <string>

#include "contract/ContractEnv.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::testing {
namespace {

using win32::Narrow;
using win32::Widen;

std::atomic<int> g_counter{0};

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    win32::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &fd));
    if (find) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find.Get(), &fd));
    }
    find.Reset();
    RemoveDirectoryW(folder.c_str());
}

class Win32ContractEnv final : public ContractEnv {
public:
    Win32ContractEnv() {
        const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_counter);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring folder = temp;
        if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        scratch_ = folder + L"\\vt-contract-" + Widen(id);
        CreateDirectoryW(scratch_.c_str(), nullptr);
        key_ = "Software\\VantorellTest\\" + id;
    }
    ~Win32ContractEnv() override {
        for (const std::string& name : set_) SetEnvironmentVariableW(Widen(name).c_str(), nullptr);
        locks_.clear();
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(key_).c_str());
        RemoveTree(scratch_);
    }

    platform::Platform& P() override { return p_; }
    std::string Scratch() override { return Narrow(scratch_); }
    std::string KeyRoot() override { return key_; }
    void PutFile(const std::string& path, const std::string& bytes, bool hidden, bool system) override {
        const std::wstring w = Widen(path);
        SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
        win32::UniqueFile f(
            CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (f) WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        f.Reset();
        DWORD attributes = (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) | (system ? FILE_ATTRIBUTE_SYSTEM : 0);
        if (attributes) SetFileAttributesW(w.c_str(), attributes);
    }
    void MakeFolder(const std::string& path) override { CreateDirectoryW(Widen(path).c_str(), nullptr); }
    void FailWritesAfter(std::size_t bytes) override { p_.SetWriteLimitForTesting(bytes); }
    void LockAgainstReading(const std::string& path) override {
        locks_.emplace_back(CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    void Pass(unsigned ms) override {
        auto& clock = static_cast<platform::Platform&>(p_).clock;
        const std::uint64_t end = clock.TickMs() + ms;
        for (std::uint64_t now = clock.TickMs(); now < end; now = clock.TickMs()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
    }

    void SetVariable(const std::string& name, const std::optional<std::string>& value) override {
        SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(*value).c_str() : nullptr);
        set_.push_back(name);
    }

private:
    platform::Win32Platform p_;
    std::wstring scratch_;
    std::string key_;
    std::vector<win32::UniqueFile> locks_;
    std::vector<std::string> set_;  // environment variables to remove at the end
};

}  // namespace

std::unique_ptr<ContractEnv> MakeContractEnv() {
    return std::make_unique<Win32ContractEnv>();
}

}  // namespace vantorell::testing
