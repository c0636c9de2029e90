// Text helpers that go through the system: the encoding rule of Vantorell's
// text files, loading and saving them, locale-aware sorting. The pure ones
// are in base/Text.h, which this includes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "platform/Files.h"
#include "platform/Locale.h"

namespace vantorell::text {

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

}  // namespace vantorell::text
