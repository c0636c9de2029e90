// Fields of the program's own tab-separated files and messages: the
// separators a field may hold written as escapes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantorell::text {

// Tabs, line ends and backslashes of a field written as \t, \n, \r, \\.
std::string Escape(std::string_view field);
// The field an escaped text stands for; false for a stray or unknown escape.
bool Unescape(std::string_view field, std::string& out);
// The parts of a line between separators (one part for a line without one).
std::vector<std::string_view> Split(std::string_view line, char separator);

}  // namespace vantorell::text
