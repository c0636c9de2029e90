#include "platform/win32/Win32Locks.h"

#include <windows.h>

#include <sddl.h>  // after <windows.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

using win32::UniqueFile;
using win32::UniqueHandle;
using win32::Widen;

namespace {

// How often a writer waiting for a list's lock looks again.
constexpr DWORD kWriterLockPollMs = 10;

class Win32Lock final : public NamedLock {
public:
    explicit Win32Lock(UniqueHandle h) : h_(std::move(h)) {}

private:
    UniqueHandle h_;
};

// The full path of `path`, as GetFullPathNameW makes it; `path` itself when that fails.
std::wstring FullPath(const std::wstring& path) {
    // Asked for its length first: a buffer of the longest path would leave
    // 64 KB of touched heap behind in a program that stays all day.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    return n > 0 && n < needed ? full.substr(0, n) : path;
}

// The writers' locks this process holds, by the lower-case full path of their
// lock file, with how deep each is held: a holder that takes its lock again
// shares the one byte-range lock of its first take.
struct HeldWriterLock {
    UniqueFile file;
    int depth = 0;
};
std::mutex g_writerLocksMutex;
std::map<std::wstring, HeldWriterLock>& HeldWriterLocks() {
    static std::map<std::wstring, HeldWriterLock> held;
    return held;
}

class Win32WriterLock final : public NamedLock {
public:
    explicit Win32WriterLock(std::wstring key) : key_(std::move(key)) {}
    ~Win32WriterLock() override {
        const std::lock_guard<std::mutex> guard(g_writerLocksMutex);
        auto& held = HeldWriterLocks();
        const auto it = held.find(key_);
        if (it == held.end() || --it->second.depth > 0) return;
        UnlockFile(it->second.file.Get(), 0, 0, 1, 0);
        held.erase(it);
    }

private:
    std::wstring key_;
};

// A new lock file is for its creator, SYSTEM and Administrators only, whatever
// its folder lets others read: whoever can open a file can hold a byte-range
// lock on it, or open it without sharing, and so keep every writer waiting.
UniqueFile OpenLockFile(const std::wstring& lockFile) {
    std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    UniqueHandle token;
    {
        HANDLE raw = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) token = UniqueHandle(raw);
    }
    DWORD size = 0;
    if (token) GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    wchar_t* sid = nullptr;
    if (size && GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        sddl.append(L"(A;;FA;;;").append(sid).append(L")");
        LocalFree(sid);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueFile file(CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                descriptor ? &attributes : nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (descriptor) LocalFree(descriptor);
    SetLastError(error);
    return file;
}

}  // namespace

bool Win32Locks::LockExists(std::string_view name) {
    UniqueHandle h(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, Widen(name).c_str()));
    return static_cast<bool>(h);
}

std::unique_ptr<NamedLock> Win32Locks::CreateLock(std::string_view name) {
    UniqueHandle h(CreateMutexW(nullptr, FALSE, Widen(name).c_str()));
    if (!h) return nullptr;
    return std::make_unique<Win32Lock>(std::move(h));
}

std::unique_ptr<NamedLock> Win32Locks::CreateLockOnce(std::string_view name, bool& existed) {
    // One step: CreateMutexW opens the mutex when another process made it and
    // says so, so two copies started together cannot both be first.
    UniqueHandle h(CreateMutexW(nullptr, FALSE, Widen(name).c_str()));
    existed = GetLastError() == ERROR_ALREADY_EXISTS || (!h && GetLastError() == ERROR_ACCESS_DENIED);
    if (!h || existed) return nullptr;
    return std::make_unique<Win32Lock>(std::move(h));
}

std::unique_ptr<NamedLock> Win32Locks::LockForWriting(std::string_view path, unsigned timeoutMs) {
    // A lock file beside the list: its folder's rights decide who can take it
    // (the machine's folder only administrators, the user's folder only that
    // user), where a named object's name could be taken first by anyone.
    const std::wstring lockFile = FullPath(Widen(path) + std::wstring(Widen(kWriterLockSuffix)));
    std::wstring key = lockFile;
    if (!key.empty()) CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    {
        const std::lock_guard<std::mutex> guard(g_writerLocksMutex);
        if (const auto it = HeldWriterLocks().find(key); it != HeldWriterLocks().end()) {
            ++it->second.depth;
            return std::make_unique<Win32WriterLock>(std::move(key));
        }
    }
    UniqueFile file = OpenLockFile(lockFile);
    if (!file) {
        // Who may not create or open a file in the list's folder cannot replace
        // the list there either: no save of this process needs the lock.
        if (GetLastError() == ERROR_ACCESS_DENIED) return std::make_unique<NamedLock>();
        return nullptr;
    }
    // Closing the handle, also by the end of a writer that died holding it,
    // releases the lock. Wine answers no waiting LockFileEx: the wait is a loop.
    const std::uint64_t deadline = clock_.TickMs() + timeoutMs;
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
        if (GetLastError() != ERROR_LOCK_VIOLATION || clock_.TickMs() >= deadline) return nullptr;
        Sleep(kWriterLockPollMs);
    }
    const std::lock_guard<std::mutex> guard(g_writerLocksMutex);
    HeldWriterLocks()[key] = HeldWriterLock{std::move(file), 1};
    return std::make_unique<Win32WriterLock>(std::move(key));
}

}  // namespace vantorell::platform
