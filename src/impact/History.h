// The costs of each entry at the last logons, kept in "StartupImpact.txt"
// beside the other files of the program.
//
// The file is a text of its own: a first line naming it and its version,
// then a line of the last logons, a line of the newest logon as a whole, and
// a line for each entry. Fields are tab-separated, text fields escaped
// (base/Fields.h), numbers in hex. Every line but the first ends in a tab and
// the checksum of what comes before it, so that a cut or damaged line is
// known and skipped while the others are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "impact/Impact.h"

namespace vantorell::impact {

inline constexpr std::string_view kHistoryFile = "StartupImpact.txt";
inline constexpr std::size_t kLogonsKept = 10;
inline constexpr std::size_t kEntriesKept = 2000;  // the file stays bounded

// The key of an entry's history: its location code, its name and a hash of
// its command, so that an entry whose command changes starts a new history.
std::string HistoryKey(std::string_view location, std::string_view name, std::string_view command);

// One logon of an entry. `logon` is a time stamp (system file time) naming the
// logon; `cost` is nullopt when the entry was not measured that time.
struct LogonCost {
    std::uint64_t logon = 0;
    std::optional<Cost> cost;
    friend bool operator==(const LogonCost&, const LogonCost&) = default;
};

// The newest logon as a whole: when the machine became quiet, and the CPU
// time all startup programs used.
struct LastLogon {
    std::uint64_t logon = 0;
    std::uint64_t quietAfterMs = 0;
    std::uint64_t programsCpuMs = 0;
    friend bool operator==(const LastLogon&, const LastLogon&) = default;
};

class History {
public:
    // Adds one logon's results: every key of `results` gets a LogonCost for
    // `logon` (the newest kLogonsKept of a key are kept), and `whole` becomes
    // the last logon. Other keys stay as they are, but a key not seen in any
    // of the last kLogonsKept logons is dropped, and of more than
    // kEntriesKept keys those seen longest ago go.
    void AddLogon(std::uint64_t logon, const std::map<std::string, std::optional<Cost>>& results,
                  const LastLogon& whole);

    // A key's logons, newest last; nullptr when it has none.
    const std::vector<LogonCost>* Of(std::string_view key) const;
    std::optional<LastLogon> Last() const { return last_; }
    // Replaces the last logon as a whole (its quiet time is known only later).
    void SetLast(const LastLogon& last) { last_ = last; }

    std::string Serialise() const;
    // Reads what Serialise wrote. A damaged or cut line is skipped and the
    // rest kept; bytes that are no history at all give an empty history.
    static History Parse(std::string_view bytes);

private:
    void DropUnseen();

    std::map<std::string, std::vector<LogonCost>, std::less<>> entries_;
    std::vector<std::uint64_t> logons_;  // the last kLogonsKept logons, oldest first
    std::optional<LastLogon> last_;
};

}  // namespace vantorell::impact
