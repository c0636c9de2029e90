#include "platform/win32/Win32Registry.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

using win32::Narrow;
using win32::UniqueHandle;
using win32::UniqueHKey;
using win32::Widen;

namespace {

HKEY RootOf(Hive hive) {
    return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

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
    Win32Key(UniqueHKey key, win32::DeniedWrites& denied) : key_(std::move(key)), denied_(denied) {}

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
        if (rc == ERROR_ACCESS_DENIED) denied_.Add();
        return rc;
    }

    UniqueHKey key_;
    win32::DeniedWrites& denied_;
};

}  // namespace

std::unique_ptr<RegKey> Win32Registry::OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
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
        if (access == KeyAccess::Full && rc == ERROR_ACCESS_DENIED) denied_.Add();  // opened to change it
        return nullptr;
    }
    return std::make_unique<Win32Key>(std::move(key), denied_);
}

bool Win32Registry::HasTwoRegistryViews() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace vantorell::platform
