// The identity files and messages: tab-separated lines of escaped fields
// (base/Fields.h), and the one form of a verdict in them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Fields.h"
#include "identity/Identity.h"

namespace vantorell::identity {

using text::Escape;
using text::Split;
using text::Unescape;

// What was found of a file's bytes, in the one form that the cache file keeps
// and the helper reports: the state's word, signer, company, description,
// file version, issuer and the two thumbprints, each field escaped, separated
// by tabs.
inline constexpr std::size_t kVerdictFields = 8;
void AppendVerdict(std::string& line, const Identity& identity);
// Reads those fields into `identity`; false when one is not what AppendVerdict writes.
bool ReadVerdict(std::span<const std::string_view> fields, Identity& identity);

}  // namespace vantorell::identity
