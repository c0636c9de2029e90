// A desired-state policy: which autostart entries may start at logon, written
// once by an administrator and enforced on many machines by "vantorellc apply".
//
//   {"version": 1,
//    "entries": [{"name": "Updater*", "location": "crun", "state": "disabled"},
//                {"name": "Backup", "state": "enabled", "delay": 60, "confirm": false},
//                {"signer": "Contoso Ltd", "signerThumbprint": "3f…", "state": "enabled"}],
//    "unlisted": "keep"}
//
// The file's grammar is schema/policy.schema.json; this is its one reader.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/Errors.h"
#include "store/EntryTable.h"

namespace vantorell::policy {

inline constexpr int kPolicyVersion = 1;
// A policy larger than this is refused before it is parsed.
inline constexpr std::size_t kMaxPolicyBytes = 1024 * 1024;
inline constexpr std::size_t kMaxRules = 1000;
// "location" of a rule that matches every place.
inline constexpr std::string_view kAnyLocation = "*";

enum class DesiredState { Enabled, Disabled, Deleted };

// What happens to an entry that no rule matches.
enum class Unlisted {
    Keep,     // nothing
    Report,   // listed in the result; counts as no drift
    Disable,  // switched off: the rules are an allow-list
};

struct Rule {
    std::string name;  // "*" and "?" are wildcards; compared without regard to case
    std::string location{kAnyLocation};
    DesiredState state = DesiredState::Enabled;
    std::optional<int> delay;     // enabled only: seconds after logon, 0 to 240
    std::optional<bool> confirm;  // enabled only: ask before it starts
    // Only entries whose file is verified and signed by this signer (the
    // certificate's common name, matched as the name is) match the rule.
    std::optional<std::string> signer;
    // Pins a signer rule: the SHA-1 or SHA-256 of the signing certificate, in
    // lower-case hex without blanks (the file may give any case and blanks),
    // and the common name of its issuer (matched as the name is). Many
    // certificates may carry one common name; only one has this thumbprint.
    std::optional<std::string> signerThumbprint;
    std::optional<std::string> issuer;
    // "kind": only the entry recorded in the list (true) or only the one in
    // its place (false). Both stand under one name and place when a program
    // put itself back after it was taken out.
    std::optional<bool> recorded;

    // A rule without "name" names every entry its signer signed.
    static constexpr std::string_view kAnyName = "*";

    friend bool operator==(const Rule&, const Rule&) = default;
};

struct Policy {
    std::vector<Rule> rules;
    Unlisted unlisted = Unlisted::Keep;

    friend bool operator==(const Policy&, const Policy&) = default;
};

// A policy that cannot be used: the message names the place of the fault as a
// JSON path ("entries[2].delay: 300 is more than 240").
class PolicyError : public AppError {
public:
    using AppError::AppError;
};

// Reads a policy from the bytes of its file (UTF-8, with or without a byte
// order mark, or UTF-16 with one). Throws PolicyError.
Policy ParsePolicy(std::string_view bytes);
// Reads a policy already parsed as JSON text (as the DSC resource receives it);
// top-level members whose names start with "_" belong to the caller and are
// ignored. Throws PolicyError.
Policy ParsePolicyText(std::string_view json, bool ignoreUnderscored);

// The policy that describes `table` as it is: one rule per entry (of place
// `location` only, when given), with its exact name and place. Names holding
// a wildcard come last, so that the rule of a plain name is the one that
// decides that entry. Windows' own switch counts: an entry it turned off is
// "disabled". A record and an entry in its place under one name (compared
// as `fold` gives it) get a rule each with their "kind". Records of a code
// that names no place are left out: no policy can name them.
Policy DescribeTable(const store::EntryTable& table, const std::optional<std::string>& location,
                     const std::function<std::string(std::string_view)>& fold);

// The policy as JSON, members in the file's order.
nlohmann::ordered_json PolicyJson(const Policy& policy);
// The policy file's text: one rule to a line, "\n" line ends.
std::string PolicyText(const Policy& policy);

std::string_view StateName(DesiredState state);
std::string_view UnlistedName(Unlisted unlisted);

}  // namespace vantorell::policy
