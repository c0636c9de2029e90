// Identification in a helper: the program in the tray hands the jobs its cache
// cannot answer to this program run again with kIdentifySwitch, which
// identifies them and answers one line per job, in their order.
// The system's cryptography is then loaded only by the helper, which ends
// when it is done (under Wine it cost the program in the tray about 5 MB for
// the rest of the day), a file that breaks the check can only end the helper,
// and the helper reads the files without administrator rights.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "identity/Identity.h"
#include "identity/IdentityFacets.h"

namespace vantorell::identity {

inline constexpr std::string_view kIdentifySwitch = "-identify";

// The request: the jobs the window's cache could not answer, and the cache's
// file (empty: none), which the helper reads: the window's thread answers only
// from a stamp that needs no reading of the file, the helper from any.
std::string EncodeIdentifyRequest(const std::vector<FileJob>& jobs, std::string_view cachePath = {});
// nullopt when the bytes are not a request.
std::optional<std::vector<FileJob>> DecodeIdentifyRequest(std::string_view bytes, std::string* cachePath = nullptr);

// The reply: its first line, then one line per job.
std::string IdentifyReplyHeader();
// Whether a line of a reply, without its end, is its first.
bool IsIdentifyReplyHeader(std::string_view line);
// `stamp`: the file's stamp the answer holds for (see platform::FileHold).
std::string IdentifyReplyLine(const Identity& identity, std::string_view stamp);
// A line of the reply without its end; false when it is not one.
bool DecodeIdentifyReplyLine(std::string_view line, Identity& identity, std::string& stamp);

// The helper's side: identifies every job of `request` and hands each line of the reply to `write` as soon as it is
// known (a helper that is ended early still leaves what it found). False for
// a malformed request.
bool ServeIdentification(const IdentityFacets& platform, std::string_view request,
                         const std::function<void(std::string_view)>& write);

}  // namespace vantorell::identity
