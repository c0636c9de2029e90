// The floor of bench/list.sh: a plain enumeration of the user's Run key, each
// value's name and data written to standard output as UTF-8, one a line. What
// listing the same values cannot cost less than.
#include <windows.h>

#include <string>
#include <vector>

namespace {

void Append(std::string& out, const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data() + at, bytes, nullptr, nullptr);
}

}  // namespace

int wmain() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return 1;
    std::string out;
    std::vector<wchar_t> name(16384), data(32768);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
        DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LONG result = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        Append(out, name.data(), static_cast<int>(nameLength));
        out += '\t';
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            int chars = static_cast<int>(dataBytes / sizeof(wchar_t));
            while (chars > 0 && data[chars - 1] == L'\0') --chars;
            Append(out, data.data(), chars);
        }
        out += '\n';
    }
    RegCloseKey(key);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    return 0;
}
