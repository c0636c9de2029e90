#include "platform/win32/Win32Platform.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/RunCommand.h"
#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"

namespace vantorell::platform {

using win32::ComPtr;
using win32::ErrorText;
using win32::FsRedirectionOff;
using win32::Narrow;
using win32::UniqueFile;
using win32::UniqueFind;
using win32::UniqueHandle;
using win32::UniqueHKey;
using win32::Widen;

namespace {

// How often a writer waiting for a list's lock looks again.
constexpr DWORD kWriterLockPollMs = 10;

HKEY RootOf(Hive hive) {
    return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// ------------------------------------------------------------------ registry

RegValue ValueOf(DWORD type, const BYTE* data, DWORD size) {
    RegValue value;
    value.type = type;
    if (IsStringType(type)) {
        std::wstring_view text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0') text.remove_suffix(1);  // the terminator, not the text
        value.data = Narrow(text);
    } else {
        value.data.assign(reinterpret_cast<const char*>(data), size);
    }
    return value;
}

using ValueList = std::vector<std::pair<std::string, RegValue>>;

// The values of one key with the indexes [first, end), name and data in one
// call each, in index order.
struct ValueRange {
    HKEY key = nullptr;
    DWORD first = 0, end = 0;
    DWORD maxName = 0, maxData = 0;
    ValueList values;
    bool whole = false;  // every index of the range was read

    void Read() noexcept {
        try {
            if (end != MAXDWORD) values.reserve(end - first);
            std::wstring name(static_cast<std::size_t>(maxName) + 1, L'\0');
            std::vector<BYTE> data(static_cast<std::size_t>(maxData) + sizeof(wchar_t));
            for (DWORD i = first; i < end;) {
                DWORD nameLen = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
                const LONG rc = RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
                if (rc == ERROR_MORE_DATA) {  // a value was added or grew since the key was measured
                    name.assign(name.size() * 2 + 256, L'\0');
                    data.resize(std::max<std::size_t>(size, data.size() * 2));
                    continue;
                }
                if (rc != ERROR_SUCCESS) return;  // the end of the key, or it cannot be read further
                values.emplace_back(Narrow(std::wstring_view(name.data(), nameLen)), ValueOf(type, data.data(), size));
                ++i;
            }
            whole = true;
        } catch (...) {
            // out of memory: the values read so far stand, as at the key's end
        }
    }
    static DWORD WINAPI ThreadMain(void* range) {
        static_cast<ValueRange*>(range)->Read();
        return 0;
    }
};

// A large key is read by several threads, each its own share of the indexes.
// A registry call is cheap on Windows, but under Wine every call is a round
// trip to the server process, and the round trips of several threads overlap:
// a Run key with thousands of values is read several times faster.
constexpr DWORD kValuesPerReader = 512;
constexpr DWORD kMaxReaders = 8;
// A key that changed while it was read is read again, this often at most.
constexpr int kReadAttempts = 4;

// `count`, `maxName` and `maxData` as the key was measured just before. What
// is added meanwhile is read after the measured values; a value taken out
// meanwhile ends the reading where a reading on one thread would end, too.
ValueList ReadValues(HKEY key, DWORD count, DWORD maxName, DWORD maxData) {
    const DWORD readers = std::clamp<DWORD>(count / kValuesPerReader, 1, kMaxReaders);
    std::vector<ValueRange> ranges(readers);
    for (DWORD r = 0; r < readers; ++r) {
        ValueRange& range = ranges[r];
        range.key = key;
        range.first = count / readers * r;
        range.end = r + 1 == readers ? count : count / readers * (r + 1);
        range.maxName = maxName;
        range.maxData = maxData;
    }
    std::vector<UniqueHandle> threads;
    for (DWORD r = 1; r < readers; ++r) {
        UniqueHandle thread(CreateThread(nullptr, 0, &ValueRange::ThreadMain, &ranges[r], 0, nullptr));
        if (!thread) {
            ranges[r].Read();  // no thread to spare: read it here
            continue;
        }
        threads.push_back(std::move(thread));
    }
    ranges[0].Read();
    for (const UniqueHandle& thread : threads) WaitForSingleObject(thread.Get(), INFINITE);

    ValueList values = std::move(ranges[0].values);
    bool whole = ranges[0].whole;
    for (DWORD r = 1; r < readers && whole; ++r) {
        values.insert(values.end(), std::make_move_iterator(ranges[r].values.begin()),
                      std::make_move_iterator(ranges[r].values.end()));
        whole = ranges[r].whole;
    }
    if (whole) {  // values added since the key was measured
        ValueRange rest{key, count, MAXDWORD, maxName, maxData, {}, false};
        rest.Read();
        values.insert(values.end(), std::make_move_iterator(rest.values.begin()),
                      std::make_move_iterator(rest.values.end()));
    }
    return values;
}

// The names a registry enumeration gives index by index (`enumAt` is
// RegEnumValueW or RegEnumKeyExW), `count` and `maxName` as measured before.
template <typename EnumAt>
std::vector<std::string> EnumeratedNames(DWORD count, DWORD maxName, EnumAt enumAt) {
    std::vector<std::string> names;
    names.reserve(count);
    std::wstring buffer(static_cast<std::size_t>(maxName) + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        const LONG rc = enumAt(i, buffer.data(), &len);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {  // a longer name came since the key was measured
            buffer.assign(buffer.size() * 2 + 256, L'\0');
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        names.push_back(Narrow(std::wstring_view(buffer.data(), len)));
    }
    return names;
}

class Win32Key final : public RegKey {
public:
    Win32Key(UniqueHKey key, std::uint64_t& denied) : key_(std::move(key)), denied_(denied) {}

    std::optional<std::vector<std::string>> ValueNames() override {
        DWORD count = 0, maxName = 0;
        if (RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        return EnumeratedNames(count, maxName, [this](DWORD i, wchar_t* name, DWORD* len) {
            return RegEnumValueW(key_.Get(), i, name, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::optional<RegValue> Query(std::string_view name) override {
        const std::wstring wname = Widen(name);
        std::vector<BYTE> data(256);
        DWORD type = 0;
        while (true) {
            DWORD size = static_cast<DWORD>(data.size());
            const LONG rc = RegQueryValueExW(key_.Get(), wname.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                data.resize(std::max<std::size_t>(size, data.size() * 2));
                continue;
            }
            if (rc != ERROR_SUCCESS) return std::nullopt;
            return ValueOf(type, data.data(), size);
        }
    }

    std::optional<std::vector<std::pair<std::string, RegValue>>> Values() override {
        // Values are read by index: a value another program adds or deletes
        // meanwhile shifts the others, so one is missed or read twice (and the
        // monitor took it for new). The key's write time tells: read again.
        std::optional<ValueList> values;
        FILETIME before{}, after{};
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            DWORD count = 0, maxName = 0, maxData = 0;
            if (RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                                 &maxData, nullptr, &before) != ERROR_SUCCESS)
                return values;
            values = ReadValues(key_.Get(), count, maxName, maxData);
            if (RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &after) != ERROR_SUCCESS ||
                CompareFileTime(&before, &after) == 0)
                break;
        }
        return values;
    }

    bool Set(std::string_view name, const RegValue& value) override {
        const std::wstring wname = Widen(name);
        LONG rc;
        if (IsStringType(value.type)) {
            const std::wstring text = Widen(value.data);
            rc = RegSetValueExW(key_.Get(), wname.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else {
            rc =
                RegSetValueExW(key_.Get(), wname.c_str(), 0, value.type,
                               reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
        }
        return Counted(rc) == ERROR_SUCCESS;
    }

    bool Delete(std::string_view name) override {
        return Counted(RegDeleteValueW(key_.Get(), Widen(name).c_str())) == ERROR_SUCCESS;
    }

    void Flush() override { RegFlushKey(key_.Get()); }

    std::optional<std::vector<std::string>> SubKeyNames() override {
        DWORD count = 0, maxName = 0;
        if (RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &count, &maxName, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        return EnumeratedNames(count, maxName, [this](DWORD i, wchar_t* name, DWORD* len) {
            return RegEnumKeyExW(key_.Get(), i, name, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

private:
    LONG Counted(LONG rc) {
        if (rc == ERROR_ACCESS_DENIED) ++denied_;
        return rc;
    }

    UniqueHKey key_;
    std::uint64_t& denied_;
};

// ------------------------------------------------------------------ files

bool EndsWithLnk(std::wstring_view name) {
    return name.size() >= 4 && CompareStringOrdinal(name.data() + name.size() - 4, 4, L".lnk", 4, TRUE) == CSTR_EQUAL;
}

class Win32Lock final : public NamedLock {
public:
    explicit Win32Lock(UniqueHandle h) : h_(std::move(h)) {}

private:
    UniqueHandle h_;
};

std::string ShortcutText(const wchar_t* buffer) {
    return Narrow(buffer);
}

// The show command as the .lnk header stores it (offset 0x3C of the 0x4C-byte
// header). Some shell versions do not hand it back after IPersistFile::Load.
std::optional<int> ShowCommandInHeader(const std::wstring& linkFile) {
    UniqueFile file(CreateFileW(linkFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    unsigned char header[0x4C];
    DWORD got = 0;
    if (!::ReadFile(file.Get(), header, sizeof header, &got, nullptr) || got != sizeof header) return std::nullopt;
    DWORD size = 0, show = 0;
    std::memcpy(&size, header, 4);
    std::memcpy(&show, header + 0x3C, 4);
    if (size != sizeof header) return std::nullopt;
    return static_cast<int>(show);
}

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

// Thread timers have no window; the callback finds its platform here.
Win32Platform* g_timerOwner = nullptr;

}  // namespace

Win32Platform::Win32Platform() {
    g_timerOwner = this;
}

Win32Platform::~Win32Platform() {
    for (const auto& [id, cb] : timers_) KillTimer(nullptr, id);
    if (g_timerOwner == this) g_timerOwner = nullptr;
    CloseTrustStores();
}

std::unique_ptr<RegKey> Win32Platform::OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                               RegView view) {
    const std::wstring wpath = Widen(path);
    // The view is always named, so that a 32-bit build is not redirected to
    // the 32-bit view by default. On 32-bit Windows both flags are ignored.
    const REGSAM sam = (access == KeyAccess::Read ? KEY_READ : KEY_ALL_ACCESS) |
                       (view == RegView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    UniqueHKey key;
    LONG rc;
    if (create) {
        rc = RegCreateKeyExW(RootOf(hive), wpath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, key.Put(),
                             nullptr);
    } else {
        rc = RegOpenKeyExW(RootOf(hive), wpath.c_str(), 0, sam, key.Put());
    }
    if (rc != ERROR_SUCCESS) {
        if (access == KeyAccess::Full && rc == ERROR_ACCESS_DENIED) ++denied_;  // opened to change it
        return nullptr;
    }
    return std::make_unique<Win32Key>(std::move(key), denied_);
}

// The parsing path of a shortcut's target that is a shell item without a
// file path ("shell:AppsFolder\..." style targets); empty when it has none.
static std::string ItemTargetPath(IShellLinkW& link) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(link.GetIDList(&item)) || !item) return {};
    std::string path;
    PWSTR name = nullptr;
    if (SUCCEEDED(SHGetNameFromIDList(item, SIGDN_DESKTOPABSOLUTEPARSING, &name)) && name) {
        path = Narrow(name);
        CoTaskMemFree(name);
    }
    CoTaskMemFree(item);
    return path;
}

bool Win32Platform::ReadShortcut(std::string_view linkFile, ShortcutData& out) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    const std::wstring path = Widen(linkFile);
    if (FAILED(file->Load(path.c_str(), STGM_READ))) return false;

    // A shortcut's texts can be far longer than MAX_PATH (arguments up to 32K
    // characters): read them whole, into a buffer that is not zero-filled, so
    // only the pages the texts reach are touched.
    constexpr int kChars = 32768;
    const std::unique_ptr<wchar_t[]> storage(new wchar_t[kChars]);
    wchar_t* buffer = storage.get();
    ShortcutData d;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetPath(buffer, kChars, nullptr, SLGP_UNCPRIORITY))) d.target = ShortcutText(buffer);
    if (d.target.empty()) d.itemPath = ItemTargetPath(*link.Get());
    buffer[0] = 0;
    if (SUCCEEDED(link->GetArguments(buffer, kChars))) d.arguments = ShortcutText(buffer);
    buffer[0] = 0;
    if (SUCCEEDED(link->GetDescription(buffer, kChars))) d.description = ShortcutText(buffer);
    buffer[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, kChars))) d.workingDirectory = ShortcutText(buffer);
    buffer[0] = 0;
    int icon = 0;
    if (SUCCEEDED(link->GetIconLocation(buffer, kChars, &icon))) {
        d.iconFile = ShortcutText(buffer);
        d.iconIndex = icon;
    }
    WORD hotKey = 0;
    if (SUCCEEDED(link->GetHotkey(&hotKey))) d.hotKey = hotKey;
    int show = 0;
    if (SUCCEEDED(link->GetShowCmd(&show))) d.showCmd = show;
    if (auto stored = ShowCommandInHeader(path)) d.showCmd = *stored;
    out = std::move(d);
    return true;
}

bool Win32Platform::WriteShortcut(std::string_view linkFile, const ShortcutData& d) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    link->SetArguments(Widen(d.arguments).c_str());
    link->SetDescription(Widen(d.description).c_str());
    link->SetHotkey(d.hotKey);
    if (!d.iconFile.empty()) link->SetIconLocation(Widen(d.iconFile).c_str(), d.iconIndex);
    if (FAILED(link->SetPath(Widen(d.target).c_str()))) return false;
    link->SetShowCmd(d.showCmd);
    link->SetWorkingDirectory(Widen(d.workingDirectory).c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    const HRESULT hr = file->Save(Widen(linkFile).c_str(), TRUE);
    if (hr == E_ACCESSDENIED) ++denied_;
    return SUCCEEDED(hr);
}

std::vector<std::string> Win32Platform::ListShortcutFiles(std::string_view folder) {
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*.lnk";
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    std::vector<std::string> names;
    if (!find) return names;
    do {
        constexpr DWORD kSkip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        // "*.lnk" also matches longer extensions through their short names; check the long name.
        if ((fd.dwFileAttributes & kSkip) == 0 && EndsWithLnk(fd.cFileName)) names.push_back(Narrow(fd.cFileName));
    } while (FindNextFileW(find.Get(), &fd));
    return names;
}

bool Win32Platform::FolderListable(std::string_view folder) {
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*";
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    if (find) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

bool Win32Platform::FileExists(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::RemoveFile(std::string_view path) {
    if (DeleteFileW(Widen(path).c_str())) return true;
    CountDenied(GetLastError());
    return false;
}

FileRead Win32Platform::ReadFile(std::string_view path) {
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return {ReadOutcome::NotFound, {}, {}};
        return {ReadOutcome::Failed, {}, ErrorText(err)};
    }
    FileRead result{ReadOutcome::Ok, {}, {}};
    char chunk[64 * 1024];
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr))
            return {ReadOutcome::Failed, {}, ErrorText(GetLastError())};
        if (got == 0) break;
        result.bytes.append(chunk, got);
    }
    return result;
}

Status Win32Platform::WriteFileAtomic(std::string_view path, std::string_view bytes) {
    const std::wstring target = Widen(path);
    const std::wstring temp = target + L".new";
    {
        UniqueFile file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Status::Fail(ErrorText(CountDenied(GetLastError())));
        std::size_t done = 0;
        while (done < bytes.size()) {
            std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
            if (writeLimit_) chunk = std::min(chunk, *writeLimit_ > done ? *writeLimit_ - done : 0);
            DWORD written = 0;
            if (chunk == 0 ||
                !::WriteFile(file.Get(), bytes.data() + done, static_cast<DWORD>(chunk), &written, nullptr)) {
                const DWORD err = chunk == 0 ? ERROR_DISK_FULL : GetLastError();
                file.Reset();
                DeleteFileW(temp.c_str());
                return Status::Fail(ErrorText(err));
            }
            done += written;
        }
        if (!FlushFileBuffers(file.Get())) {
            const DWORD err = GetLastError();
            file.Reset();
            DeleteFileW(temp.c_str());
            return Status::Fail(ErrorText(err));
        }
    }
    // A reader that has the file open for a moment (another copy, vantorellc,
    // a virus scanner) makes the replace fail with access denied or a sharing
    // violation: try again for a while before giving up.
    constexpr int kReplaceTries = 40;
    constexpr DWORD kReplacePauseMs = 25;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Status::Ok();
        const DWORD err = GetLastError();
        const bool busy = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
        if (busy && attempt < kReplaceTries) {
            Sleep(kReplacePauseMs);
            continue;
        }
        CountDenied(err);
        DeleteFileW(temp.c_str());
        return Status::Fail(ErrorText(err));
    }
}

std::string Win32Platform::ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

bool Win32Platform::CopyFileBytes(std::string_view from, std::string_view to) {
    const std::wstring source = Widen(from), target = Widen(to);
    // The folders first: SHCreateDirectoryExW makes every missing level.
    const auto slash = target.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) {
        const std::wstring folder = target.substr(0, slash);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    }
    // Through a temporary file, so a failed copy never leaves half a file.
    const std::wstring temp = target + L".new";
    if (!CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
        CountDenied(GetLastError());
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        CountDenied(GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

std::string Win32Platform::AnsiToUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return Narrow(wide);
}

int Win32Platform::CompareNoCase(std::string_view a, std::string_view b) {
    const std::wstring wa = Widen(a), wb = Widen(b);
    const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                                 wb.data(), static_cast<int>(wb.size()));
    return r == 0 ? wa.compare(wb) : r - CSTR_EQUAL;
}

std::string Win32Platform::FoldCase(std::string_view text) {
    // CharUpperBuffW takes a-z to A-Z and leaves the rest of ASCII alone.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string upper(text);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return upper;
    }
    std::wstring wide = Widen(text);
    if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
}

int Win32Platform::ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) {
    const bool desktop = (style & MsgBox::OwnedByDesktop) != 0;
    style &= ~MsgBox::OwnedByDesktop;
    HWND owner = desktop ? GetDesktopWindow() : owner_;
    if (desktop) style |= MB_SETFOREGROUND;
    win32::ModalLoop modal;
    return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), style);
}

bool Win32Platform::HasTwoRegistryViews() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool Win32Platform::StartCommand(std::string_view commandLine) {
    // Windows starts every Run value from a 64-bit shell; a 32-bit build must
    // not be sent from System32 to SysWOW64 for a 64-bit program's command,
    // neither when it looks for the program nor when it starts it.
    const FsRedirectionOff native;
    std::wstring text = Widen(commandLine);
    // Environment references are expanded, as for an expandable Run value.
    if (text.find(L'%') != std::wstring::npos) {
        const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(size, L'\0');
        if (size > 0 && ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size) == size) {
            expanded.resize(size - 1);
            text = std::move(expanded);
        }
    }
    const auto resolved = ResolveRunCommand(Narrow(text), [](std::string_view path) {
        const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    });
    if (!resolved) return false;
    std::wstring cmd = Widen(resolved->commandLine);
    const std::wstring program = Widen(resolved->program);
    if (cmd.empty()) return false;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    // With the program named, the system never searches the command line's
    // leading parts for one.
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool Win32Platform::ShellOpen(std::string_view path, std::string_view verb) {
    const std::wstring wverb = Widen(verb);
    const auto result =
        ShellExecuteW(nullptr, wverb.empty() ? nullptr : wverb.c_str(), Widen(path).c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool Win32Platform::ShellStart(std::string_view path) {
    const std::wstring file = Widen(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No dialog ever: a broken link at logon must not stop the user with one.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

void CALLBACK Win32Platform::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    if (!g_timerOwner) return;
    const auto it = g_timerOwner->timers_.find(id);
    if (it == g_timerOwner->timers_.end()) return;
    auto callback = it->second;  // stays alive if the callback stops its own timer
    (*callback)();
}

TimerId Win32Platform::StartTimer(unsigned intervalMs, TimerCallback callback) {
    const UINT_PTR id = SetTimer(nullptr, 0, intervalMs, &Win32Platform::OnTimer);
    if (id == 0) return 0;
    timers_[id] = std::make_shared<TimerCallback>(std::move(callback));
    return static_cast<TimerId>(id);
}

void Win32Platform::StopTimer(TimerId id) {
    if (timers_.erase(id)) KillTimer(nullptr, id);
}

bool Win32Platform::LockExists(std::string_view name) {
    UniqueHandle h(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, Widen(name).c_str()));
    return static_cast<bool>(h);
}

std::unique_ptr<NamedLock> Win32Platform::CreateLock(std::string_view name) {
    UniqueHandle h(CreateMutexW(nullptr, FALSE, Widen(name).c_str()));
    if (!h) return nullptr;
    return std::make_unique<Win32Lock>(std::move(h));
}

std::unique_ptr<NamedLock> Win32Platform::CreateLockOnce(std::string_view name, bool& existed) {
    // One step: CreateMutexW opens the mutex when another process made it and
    // says so, so two copies started together cannot both be first.
    UniqueHandle h(CreateMutexW(nullptr, FALSE, Widen(name).c_str()));
    existed = GetLastError() == ERROR_ALREADY_EXISTS || (!h && GetLastError() == ERROR_ACCESS_DENIED);
    if (!h || existed) return nullptr;
    return std::make_unique<Win32Lock>(std::move(h));
}

std::unique_ptr<NamedLock> Win32Platform::LockForWriting(std::string_view path, unsigned timeoutMs) {
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
    const std::uint64_t deadline = TickMs() + timeoutMs;
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
        if (GetLastError() != ERROR_LOCK_VIOLATION || TickMs() >= deadline) return nullptr;
        Sleep(kWriterLockPollMs);
    }
    const std::lock_guard<std::mutex> guard(g_writerLocksMutex);
    HeldWriterLocks()[key] = HeldWriterLock{std::move(file), 1};
    return std::make_unique<Win32WriterLock>(std::move(key));
}

bool Win32Platform::RaiseWindowByTitle(std::string_view title) {
    HWND window = FindWindowW(nullptr, Widen(title).c_str());
    if (!window) return false;
    HWND popup = GetLastActivePopup(window);
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    BringWindowToTop(window);
    if (popup) {
        if (IsIconic(popup)) ShowWindow(popup, SW_RESTORE);
        BringWindowToTop(popup);
        SetForegroundWindow(popup);
    }
    return true;
}

std::unique_ptr<ChangeWatch> Win32Platform::WatchPlaces(const std::vector<WatchPlace>& places,
                                                        ChangeCallback onChange) {
    return std::make_unique<win32::ChangeWatcher>(places, std::move(onChange));
}

// ------------------------------------------------------------------ known folders and rights

DWORD Win32Platform::CountDenied(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) ++denied_;
    return error;
}

std::optional<std::string> Win32Platform::KnownFolderPath(KnownFolder folder) {
    const KNOWNFOLDERID& id = folder == KnownFolder::LocalAppData ? FOLDERID_LocalAppData : FOLDERID_ProgramData;
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::optional<std::string> result;
    if (SUCCEEDED(hr) && path && *path) {
        std::wstring text(path);
        while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
        result = Narrow(text);
    }
    CoTaskMemFree(path);
    return result;
}

bool Win32Platform::CreateFolder(std::string_view path) {
    const std::wstring wide = Widen(path);
    const int rc = SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
    if (rc == ERROR_SUCCESS) return true;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    CountDenied(static_cast<DWORD>(rc));
    return false;
}

bool Win32Platform::IsElevated() {
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

ElevatedRun Win32Platform::RunElevated(std::string_view program, std::string_view parameters) {
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
    const std::wstring reportTo = Widen(std::string(kReportToOption)) + L" " +
                                  Widen(std::to_string(GetCurrentProcessId())) + L":" +
                                  Widen(std::to_string(reinterpret_cast<std::uintptr_t>(writeEnd.Get())));
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

bool Win32Platform::CanRunHelper() {
    // Elevated, where no token without the rights can be made: identified in
    // this process rather than by a helper with the rights.
    static const bool can = !IsElevated() || HelperToken();
    return can;
}

std::unique_ptr<HelperRun> Win32Platform::StartHelper(std::string_view argument, std::string_view input) {
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
