#include "platform/win32/Win32Locale.h"

#include <algorithm>

#include <windows.h>

#include "platform/win32/Utf.h"

namespace vantorell::platform {

using win32::Narrow;
using win32::Widen;

std::string Win32Locale::AnsiToUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return Narrow(wide);
}

int Win32Locale::CompareNoCase(std::string_view a, std::string_view b) {
    const std::wstring wa = Widen(a), wb = Widen(b);
    const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                                 wb.data(), static_cast<int>(wb.size()));
    return r == 0 ? wa.compare(wb) : r - CSTR_EQUAL;
}

std::string Win32Locale::FoldCase(std::string_view text) {
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

// No sort key here: names are ordered by CompareStringW itself, pair by
// pair (see text::OrderNoCase).
std::optional<std::string> Win32Locale::SortKeyNoCase(std::string_view) {
    return std::nullopt;
}

}  // namespace vantorell::platform
