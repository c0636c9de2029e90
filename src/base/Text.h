// Text helpers that know nothing of the system: UTF-8 checks, UTF-16
// decoding, lines, decimal numbers, paths read from their text, and the
// checksum and hex form of the program's own files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::text {

bool IsValidUtf8(std::string_view bytes);

// Splits text into lines: a line ends at CR, LF or CR LF; a NUL is a character
// of its line like any other, so nothing after it is lost.
// A last line without an end is a line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Joins lines, CR LF after every line (an empty list gives an empty text).
std::string JoinLines(const std::vector<std::string>& lines);

std::string ToDecimal(long long n);
// Reads a whole decimal number ("-12", "+3", "30"); false for anything else
// (blanks, a sign alone, a value beyond 32 bits), leaving `out` untouched.
bool ParseInt(std::string_view text, int& out);

// Where a path leads, read from its text alone, once a "\\?\", "\??\" or
// "\\.\" prefix is taken into account (these reach any device, shares too).
struct PathPlace {
    enum class Kind {
        Drive,     // a drive letter ("C:\x", "\\?\C:\x", "\??\C:\x"): `root` is "C:\"
        Volume,    // a volume by its name ("\\?\Volume{...}\x"): `root` is "\\?\Volume{...}\"
        Share,     // a share ("\\server\s", "\\?\UNC\...", "\??\UNC\...", "...\GLOBALROOT\Device\Mup\...")
        Device,    // any other device or object ("\\.\pipe\x", "\\?\GLOBALROOT\Device\HarddiskVolume1\x")
        Relative,  // relative to the current folder or drive ("x.exe", "\x", "C:x")
    };
    Kind kind = Kind::Relative;
    std::string root;  // Drive and Volume: the root, with its backslash
    std::string rest;  // Drive and Volume: what follows the root
};
PathPlace PlaceOfPath(std::string_view path);

// ASCII letters lowered, every other byte as it is (UTF-8 stays whole).
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// Equal but for the case of ASCII letters.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

// Folder of a path (text before the last '\' or '/'), without the separator.
std::string FolderOf(std::string_view path);
// Joins a folder and a file name with a backslash.
std::string JoinPath(std::string_view folder, std::string_view name);

// UTF-16 code units to UTF-8; nullopt for a surrogate without its pair.
std::optional<std::string> Utf16ToUtf8(std::u16string_view units);
// The code units of UTF-16 bytes (an odd last byte is left out).
std::u16string Utf16Units(std::string_view bytes, bool bigEndian);

// The 64-bit FNV-1a hash of the bytes, going on from `hash`: a checksum
// against damage, not against intent.
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ULL);
// Lower-case hex, without leading zeros.
std::string Hex(std::uint64_t value);

}  // namespace vantorell::text
