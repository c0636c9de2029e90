// Fields of the identity files and messages: text in tab-separated lines,
// with the separators a field may hold written as escapes.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "identity/Identity.h"

namespace vantorell::identity {

// Tabs, line ends and backslashes of a field written as \t, \n, \r, \\.
std::string Escape(std::string_view field);
// The field an escaped text stands for; false for a stray or unknown escape.
bool Unescape(std::string_view field, std::string& out);
// The parts of a line between separators (one part for a line without one).
std::vector<std::string_view> Split(std::string_view line, char separator);

// What was found of a file's bytes, in the one form that the cache file keeps
// and the helper reports: the state's word, signer, company, description,
// file version, issuer and the two thumbprints, each field escaped, separated
// by tabs.
inline constexpr std::size_t kVerdictFields = 8;
void AppendVerdict(std::string& line, const Identity& identity);
// Reads those fields into `identity`; false when one is not what AppendVerdict writes.
bool ReadVerdict(std::span<const std::string_view> fields, Identity& identity);

}  // namespace vantorell::identity
