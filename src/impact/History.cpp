#include "impact/History.h"

#include <algorithm>
#include <charconv>

#include "base/Fields.h"
#include "base/Text.h"

namespace vantorell::impact {
namespace {

constexpr std::string_view kHeader = "Vantorell startup impact 1";
constexpr std::string_view kLogonsTag = "logons";
constexpr std::string_view kLastTag = "last";
constexpr std::string_view kEntryTag = "entry";

using text::Fnv1a;
using text::Hex;

bool HexNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

// A line with its checksum appended, and the line a checksummed one stands
// for: nullopt when it was cut or changed.
std::string Sealed(std::string line) {
    const std::string sum = Hex(Fnv1a(line));
    return line + '\t' + sum;
}
std::optional<std::string_view> Unsealed(std::string_view line) {
    const auto tab = line.rfind('\t');
    if (tab == std::string_view::npos || line.substr(tab + 1) != Hex(Fnv1a(line.substr(0, tab)))) return std::nullopt;
    return line.substr(0, tab);
}

// A logon of an entry: "logon" when it was not measured, else "logon,cpu,disk".
std::string LogonField(const LogonCost& item) {
    std::string field = Hex(item.logon);
    if (item.cost) field += ',' + Hex(item.cost->cpuMs) + ',' + Hex(item.cost->diskBytes);
    return field;
}
bool ReadLogon(std::string_view field, LogonCost& item) {
    const auto parts = text::Split(field, ',');
    if (parts.size() != 1 && parts.size() != 3) return false;
    if (!HexNumber(parts[0], item.logon)) return false;
    if (parts.size() == 1) return true;
    item.cost.emplace();
    return HexNumber(parts[1], item.cost->cpuMs) && HexNumber(parts[2], item.cost->diskBytes);
}

// Drops all but the newest kLogonsKept items (the last ones).
template <typename T>
void KeepNewest(std::vector<T>& items) {
    if (items.size() > kLogonsKept) items.erase(items.begin(), items.end() - kLogonsKept);
}

}  // namespace

std::string HistoryKey(std::string_view location, std::string_view name, std::string_view command) {
    return std::string(location) + '\t' + std::string(name) + '\t' + Hex(Fnv1a(command));
}

void History::AddLogon(std::uint64_t logon, const std::map<std::string, std::optional<Cost>>& results,
                       const LastLogon& whole) {
    std::erase(logons_, logon);
    logons_.push_back(logon);
    KeepNewest(logons_);
    for (const auto& [key, cost] : results) {
        auto& logons = entries_[key];
        std::erase_if(logons, [&](const LogonCost& item) { return item.logon == logon; });
        logons.push_back({logon, cost});
        KeepNewest(logons);
    }
    last_ = whole;
    last_->logon = logon;
    DropUnseen();
}

void History::DropUnseen() {
    // How recently each key was seen: the place of its newest logon among
    // the last logons.
    std::vector<std::pair<std::size_t, decltype(entries_)::iterator>> seen;
    for (auto it = entries_.begin(); it != entries_.end();) {
        std::size_t place = 0;
        for (const LogonCost& item : it->second) {
            const auto at = std::find(logons_.begin(), logons_.end(), item.logon);
            if (at != logons_.end()) place = std::max<std::size_t>(place, at - logons_.begin() + 1);
        }
        if (place == 0) {
            it = entries_.erase(it);
            continue;
        }
        seen.emplace_back(place, it);
        ++it;
    }
    if (seen.size() <= kEntriesKept) return;
    std::stable_sort(seen.begin(), seen.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < seen.size() - kEntriesKept; ++i) entries_.erase(seen[i].second);
}

const std::vector<LogonCost>* History::Of(std::string_view key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

std::string History::Serialise() const {
    std::vector<std::string> lines{std::string(kHeader)};
    std::string line(kLogonsTag);
    for (std::uint64_t logon : logons_) line += '\t' + Hex(logon);
    lines.push_back(Sealed(std::move(line)));
    if (last_)
        lines.push_back(Sealed(std::string(kLastTag) + '\t' + Hex(last_->logon) + '\t' + Hex(last_->quietAfterMs) +
                               '\t' + Hex(last_->programsCpuMs)));
    for (const auto& [key, logons] : entries_) {
        line = std::string(kEntryTag) + '\t' + text::Escape(key);
        for (const LogonCost& item : logons) line += '\t' + LogonField(item);
        lines.push_back(Sealed(std::move(line)));
    }
    return text::JoinLines(lines);
}

History History::Parse(std::string_view bytes) {
    History history;
    const auto lines = text::SplitLines(bytes);
    if (lines.empty() || lines.front() != kHeader) return history;
    bool logonsRead = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto body = Unsealed(lines[i]);
        if (!body) continue;
        const auto fields = text::Split(*body, '\t');
        if (fields[0] == kLogonsTag && fields.size() <= kLogonsKept + 1) {
            std::vector<std::uint64_t> logons(fields.size() - 1);
            bool ok = true;
            for (std::size_t k = 1; k < fields.size(); ++k) ok = ok && HexNumber(fields[k], logons[k - 1]);
            if (!ok) continue;
            history.logons_ = std::move(logons);
            logonsRead = true;
        } else if (fields[0] == kLastTag && fields.size() == 4) {
            LastLogon last;
            if (HexNumber(fields[1], last.logon) && HexNumber(fields[2], last.quietAfterMs) &&
                HexNumber(fields[3], last.programsCpuMs))
                history.last_ = last;
        } else if (fields[0] == kEntryTag && fields.size() >= 3) {
            std::string key;
            std::vector<LogonCost> logons(fields.size() - 2);
            bool ok = text::Unescape(fields[1], key);
            for (std::size_t k = 2; k < fields.size(); ++k) ok = ok && ReadLogon(fields[k], logons[k - 2]);
            if (!ok) continue;
            KeepNewest(logons);
            history.entries_[key] = std::move(logons);
        }
    }
    // Without its line, the last logons are the newest the entries name.
    if (!logonsRead) {
        for (const auto& [key, logons] : history.entries_)
            for (const LogonCost& item : logons) history.logons_.push_back(item.logon);
        std::sort(history.logons_.begin(), history.logons_.end());
        history.logons_.erase(std::unique(history.logons_.begin(), history.logons_.end()), history.logons_.end());
        KeepNewest(history.logons_);
    }
    return history;
}

}  // namespace vantorell::impact
