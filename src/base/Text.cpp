#include "base/Text.h"

#include <charconv>
#include <climits>
#include <cstdint>

namespace vantorell::text {

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n) return false;
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& l : lines) size += l.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string ToDecimal(long long n) {
    return std::to_string(n);
}

bool ParseInt(std::string_view t, int& out) {
    if (t.empty()) return false;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') ++first;
    long long v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || first == last || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::string FolderOf(std::string_view path) {
    const auto pos = path.find_last_of("\\/");
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    out += '\\';
    out += name;
    return out;
}

namespace {

bool Slash(char c) {
    return c == '\\' || c == '/';
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a == '/') a = '\\';
        if (a != b) return false;
    }
    return true;
}

bool DriveLetter(std::string_view path) {
    const char c = path.empty() ? 0 : path[0];
    return path.size() >= 2 && path[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

// The path after a device prefix ("\\?\", "\??\", "\\.\"): the system
// takes it as an object's name, with no drive of its own.
PathPlace PlaceOfDevicePath(std::string_view rest, int depth) {
    PathPlace place;
    if (DriveLetter(rest) && (rest.size() == 2 || Slash(rest[2]))) {
        place.kind = PathPlace::Kind::Drive;
        place.root = std::string(1, rest[0]) + ":\\";
        place.rest = std::string(rest.substr(std::min<std::size_t>(rest.size(), 3)));
        return place;
    }
    if (StartsNoCase(rest, "UNC\\") || StartsNoCase(rest, "Device\\Mup\\") ||
        StartsNoCase(rest, "Device\\LanmanRedirector\\") || StartsNoCase(rest, "Device\\WebDavRedirector\\") ||
        StartsNoCase(rest, "Mup\\")) {
        place.kind = PathPlace::Kind::Share;
        return place;
    }
    if (StartsNoCase(rest, "GLOBALROOT\\") && depth < 4) {
        std::string_view inner = rest.substr(11);
        if (StartsNoCase(inner, "??\\") || StartsNoCase(inner, "GLOBAL??\\"))
            return PlaceOfDevicePath(inner.substr(inner.find('\\') + 1), depth + 1);
        if (StartsNoCase(inner, "DosDevices\\")) return PlaceOfDevicePath(inner.substr(11), depth + 1);
        return PlaceOfDevicePath(inner, depth + 1);
    }
    if (StartsNoCase(rest, "Volume{")) {
        const auto end = rest.find('}');
        if (end != std::string_view::npos && (end + 1 == rest.size() || Slash(rest[end + 1]))) {
            place.kind = PathPlace::Kind::Volume;
            place.root = "\\\\?\\" + std::string(rest.substr(0, end + 1)) + "\\";
            place.rest = std::string(rest.substr(std::min(rest.size(), end + 2)));
            return place;
        }
    }
    place.kind = PathPlace::Kind::Device;
    return place;
}

}  // namespace

PathPlace PlaceOfPath(std::string_view path) {
    if (path.size() >= 4 && Slash(path[0]) && (Slash(path[1]) || path[1] == '?') &&
        (path[2] == '?' || path[2] == '.') && Slash(path[3]) && !(path[1] == '?' && path[2] == '.'))
        return PlaceOfDevicePath(path.substr(4), 0);
    PathPlace place;
    if (path.size() >= 2 && Slash(path[0]) && Slash(path[1])) {
        place.kind = PathPlace::Kind::Share;
        return place;
    }
    if (DriveLetter(path) && path.size() >= 3 && Slash(path[2])) {
        place.kind = PathPlace::Kind::Drive;
        place.root = std::string(1, path[0]) + ":\\";
        place.rest = std::string(path.substr(3));
        return place;
    }
    return place;  // relative
}

// ------------------------------------------------------------------ UTF-16

std::optional<std::string> Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            return std::nullopt;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[i + (bigEndian ? 1 : 0)]);
        const auto hi = static_cast<unsigned char>(bytes[i + (bigEndian ? 0 : 1)]);
        units.push_back(static_cast<char16_t>(lo | hi << 8));
    }
    return units;
}

// ------------------------------------------------------------------ hashing

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex(std::uint64_t value) {
    char buffer[17];
    const auto end = std::to_chars(buffer, buffer + 16, value, 16).ptr;
    return std::string(buffer, end);
}

}  // namespace vantorell::text
