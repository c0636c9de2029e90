#include "platform/Text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <numeric>

#include "platform/Errors.h"

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

std::string DecodeFileText(platform::Locale& locale, std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return std::string(bytes);
    }
    return locale.AnsiToUtf8(bytes);
}

std::vector<std::string> LoadLines(platform::Files& files, platform::Locale& locale, std::string_view path) {
    auto read = files.ReadFile(path);
    switch (read.outcome) {
        case platform::ReadOutcome::NotFound: return {};
        case platform::ReadOutcome::Failed:
            throw AppError("Cannot read the file \"" + std::string(path) + "\": " + read.message);
        case platform::ReadOutcome::Ok: break;
    }
    return SplitLines(DecodeFileText(locale, read.bytes));
}

void SaveLines(platform::Files& files, std::string_view path, const std::vector<std::string>& lines) {
    if (auto st = files.WriteFileAtomic(path, JoinLines(lines)); !st)
        throw AppError("Cannot write the file \"" + std::string(path) + "\": " + st.message);
}

std::vector<int> OrderNoCase(platform::Locale& locale, const std::vector<const std::string*>& names) {
    std::vector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string* name : names) {
        auto key = locale.SortKeyNoCase(*name);
        if (!key) break;
        keys.push_back(std::move(*key));
    }
    if (keys.size() == names.size()) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const std::string& x = *names[a];
            const std::string& y = *names[b];
            return x != y && locale.CompareNoCase(x, y) < 0;
        });
    }
    return order;
}

void SortNoCase(platform::Locale& locale, std::vector<std::string>& names) {
    // Lists read back from a file were saved sorted: one comparison per name
    // tells, where a sort key per name would cost several times as much.
    if (std::is_sorted(names.begin(), names.end(), [&locale](const std::string& a, const std::string& b) {
            return locale.CompareNoCase(a, b) < 0;
        }))
        return;
    std::vector<const std::string*> refs;
    refs.reserve(names.size());
    for (const auto& n : names) refs.push_back(&n);
    const auto order = OrderNoCase(locale, refs);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (int i : order) sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
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

}  // namespace vantorell::text
