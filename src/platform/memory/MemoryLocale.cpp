// The locale of the in-memory platform: case folding for Latin, Greek and
// Cyrillic, code page 1252 as the ANSI code page, the folded text as sort key.
#include "platform/memory/MemoryPlatform.h"

#include <algorithm>

#include "platform/memory/MemoryWorld.h"

namespace vantorell::platform {

namespace {

std::u32string Decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0)) {  // stray or cut-off byte
            out.push_back(0xDC00 + c);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

void Encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Simple lower-case folding for the scripts a stand-in needs: Latin, Greek, Cyrillic.
char32_t Fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        const bool oddLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddLower) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

constexpr char32_t kCp1252High[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                      0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

}  // namespace

std::string memory::FoldUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    if (IsAscii(text)) {  // most names: the same result without decoding
        for (char c : text) out += FoldAscii(c);
        return out;
    }
    for (char32_t c : Decode(text)) Encode(Fold(c), out);
    return out;
}

std::string MemoryPlatform::AnsiToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        const char32_t cp = (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
        Encode(cp, out);
    }
    return out;
}

std::string MemoryPlatform::FoldCase(std::string_view text) {
    return memory::FoldUtf8(text);
}

// The folded text itself: UTF-8 keeps the order of code points, so compared
// bytewise it orders as CompareNoCase orders the texts.
std::optional<std::string> MemoryPlatform::SortKeyNoCase(std::string_view text) {
    return memory::FoldUtf8(text);
}

int MemoryPlatform::CompareNoCase(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
            if (x != y) return x < y ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    const auto fa = Decode(a), fb = Decode(b);
    const std::size_t n = std::min(fa.size(), fb.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t x = Fold(fa[i]), y = Fold(fb[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return fa.size() == fb.size() ? 0 : (fa.size() < fb.size() ? -1 : 1);
}

}  // namespace vantorell::platform
