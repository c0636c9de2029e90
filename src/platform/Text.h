// Text helpers shared by every layer: UTF-8 checks, line splitting, the
// encoding rule of Vantorell's text files, locale-aware sorting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Locale.h"

namespace vantorell::text {

bool IsValidUtf8(std::string_view bytes);

// Splits text into lines: a line ends at CR, LF or CR LF; a NUL is a character
// of its line like any other, so nothing after it is lost.
// A last line without an end is a line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Joins lines, CR LF after every line (an empty list gives an empty text).
std::string JoinLines(const std::vector<std::string>& lines);

// Bytes of a text file to UTF-8: taken as UTF-8 when valid (a leading BOM is
// dropped), else converted from the system's ANSI code page.
std::string DecodeFileText(platform::Locale& locale, std::string_view bytes);

// Loads a text file as lines. A missing file gives no lines; a file that exists
// but cannot be read throws AppError naming the file.
std::vector<std::string> LoadLines(platform::Files& files, platform::Locale& locale, std::string_view path);
// Saves lines as UTF-8 without BOM, CR LF after each, atomically; throws AppError
// naming the file when it cannot be written (the old file is then intact).
void SaveLines(platform::Files& files, std::string_view path, const std::vector<std::string>& lines);

// Indices of `names` in ascending order without regard to case, equal names in
// their given order: a stable sort by the platform's locale-aware comparison,
// made with its sort keys when it offers them (one platform call per name
// instead of one per comparison).
std::vector<int> OrderNoCase(platform::Locale& locale, const std::vector<const std::string*>& names);
// Stable sort without regard to case, in the order of OrderNoCase.
void SortNoCase(platform::Locale& locale, std::vector<std::string>& names);

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

// Folder of a path (text before the last '\' or '/'), without the separator.
std::string FolderOf(std::string_view path);
// Joins a folder and a file name with a backslash.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace vantorell::text
