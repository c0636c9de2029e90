#include "policy/Policy.h"

#include <algorithm>
#include <iterator>
#include <set>

#include <nlohmann/json.hpp>

#include "base/JsonText.h"
#include "platform/Text.h"
#include "store/AutostartStore.h"
#include "store/StartupRecord.h"

namespace vantorell::policy {
namespace {

// One kind of document for reading and writing: each kind brings its own parser and writer.
using json = nlohmann::ordered_json;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
    throw PolicyError(path.empty() ? problem : path + ": " + problem);
}

std::string KindOf(const json& value) {
    switch (value.type()) {
        case json::value_t::string: return "a string";
        case json::value_t::boolean: return "true or false";
        case json::value_t::null: return "null";
        case json::value_t::object: return "an object";
        case json::value_t::array: return "an array";
        case json::value_t::number_float: return "a number with a fraction";
        default: return "a number";
    }
}

void Expect(const json& value, bool ok, const std::string& path, std::string_view wanted) {
    if (!ok) Fail(path, "expected " + std::string(wanted) + ", found " + KindOf(value));
}

const std::string& StringAt(const json& value, const std::string& path) {
    Expect(value, value.is_string(), path, "a string");
    return value.get_ref<const std::string&>();
}

// One of `names`, whose index is returned.
template <std::size_t N>
std::size_t OneOf(const json& value, const std::string& path, const std::string_view (&names)[N],
                  std::string_view what) {
    const std::string& word = StringAt(value, path);
    for (std::size_t i = 0; i < N; ++i)
        if (word == names[i]) return i;
    std::string known;
    for (std::size_t i = 0; i < N; ++i) known += (i ? ", " : "") + std::string(names[i]);
    Fail(path, text::JsonString(word) + " is not " + std::string(what) + " (" + known + ")");
}

constexpr std::string_view kStates[] = {"enabled", "disabled", "deleted"};
constexpr std::string_view kUnlisted[] = {"keep", "report", "disable"};
constexpr std::string_view kKinds[] = {"active", "recorded"};

std::string LocationCodes() {
    std::string codes;
    for (const auto& place : store::Locations())
        if (codes.find(std::string(place.code) + ",") == std::string::npos) codes += std::string(place.code) + ", ";
    return codes + std::string(kAnyLocation);
}

Rule ReadRule(const json& item, const std::string& path) {
    Expect(item, item.is_object(), path, "an object");
    Rule rule;
    bool named = false, stated = false;
    for (const auto& [key, value] : item.items()) {
        const std::string at = path + "." + key;
        if (key == "name") {
            rule.name = StringAt(value, at);
            if (rule.name.empty()) Fail(at, "a name cannot be empty");
            named = true;
        } else if (key == "signer") {
            rule.signer = StringAt(value, at);
            if (rule.signer->empty()) Fail(at, "a signer cannot be empty");
        } else if (key == "signerThumbprint") {
            std::string hex;
            for (char c : StringAt(value, at))
                if (c != ' ') hex += c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
            const bool isHex = hex.find_first_not_of("0123456789abcdef") == std::string::npos;
            if (!isHex || (hex.size() != 40 && hex.size() != 64))
                Fail(at, text::JsonString(value.get<std::string>()) +
                             " is not the SHA-1 (40 hex digits) or SHA-256 (64) of a certificate");
            rule.signerThumbprint = std::move(hex);
        } else if (key == "issuer") {
            rule.issuer = StringAt(value, at);
            if (rule.issuer->empty()) Fail(at, "an issuer cannot be empty");
        } else if (key == "kind") {
            rule.recorded = OneOf(value, at, kKinds, "a kind of entry") == 1;
        } else if (key == "location") {
            rule.location = StringAt(value, at);
            if (rule.location != kAnyLocation && !store::FindLocation(rule.location))
                Fail(at, text::JsonString(rule.location) + " is not a location code (" + LocationCodes() + ")");
        } else if (key == "state") {
            rule.state = static_cast<DesiredState>(OneOf(value, at, kStates, "a state"));
            stated = true;
        } else if (key == "delay") {
            Expect(value, value.is_number_integer(), at, "a whole number of seconds");
            const auto seconds =
                value.is_number_unsigned()
                    ? static_cast<long long>(std::min<std::uint64_t>(value.get<std::uint64_t>(), 1u << 30))
                    : value.get<long long>();
            if (seconds < store::kMinDelay) Fail(at, text::ToDecimal(seconds) + " is less than 0");
            if (seconds > store::kMaxDelay) Fail(at, value.dump() + " is more than 240");
            rule.delay = static_cast<int>(seconds);
        } else if (key == "confirm") {
            Expect(value, value.is_boolean(), at, "true or false");
            rule.confirm = value.get<bool>();
        } else {
            Fail(at,
                 "unknown field (a rule has name, signer, signerThumbprint, issuer, location, kind, state, delay "
                 "and confirm)");
        }
    }
    if (!named && !rule.signer && !rule.signerThumbprint)
        Fail(path, "a rule needs a \"name\", a \"signer\" or a \"signerThumbprint\"");
    if (!named) rule.name = Rule::kAnyName;
    if (!stated) Fail(path, "a rule needs a \"state\"");
    if (rule.state != DesiredState::Enabled && (rule.delay || rule.confirm))
        Fail(path + (rule.delay ? ".delay" : ".confirm"), "only an enabled entry starts with a delay or a question");
    return rule;
}

Policy ReadPolicy(const json& root, bool ignoreUnderscored) {
    Expect(root, root.is_object(), "", "a JSON object");
    Policy policy;
    bool versioned = false, listed = false;
    for (const auto& [key, value] : root.items()) {
        if (ignoreUnderscored && !key.empty() && key[0] == '_') continue;
        if (key == "version") {
            Expect(value, value.is_number_integer(), key, "a whole number");
            if (value != kPolicyVersion) Fail(key, value.dump() + " is not a version this program reads (1)");
            versioned = true;
        } else if (key == "entries") {
            Expect(value, value.is_array(), key, "an array");
            if (value.size() > kMaxRules)
                Fail(key, text::ToDecimal(static_cast<long long>(value.size())) + " rules are more than " +
                              text::ToDecimal(kMaxRules));
            policy.rules.reserve(value.size());
            for (std::size_t i = 0; i < value.size(); ++i)
                policy.rules.push_back(
                    ReadRule(value[i], "entries[" + text::ToDecimal(static_cast<long long>(i)) + "]"));
            listed = true;
        } else if (key == "unlisted") {
            policy.unlisted = static_cast<Unlisted>(OneOf(value, key, kUnlisted, "a choice for unlisted entries"));
        } else {
            Fail(key, "unknown field (a policy has version, entries and unlisted)");
        }
    }
    if (!versioned) Fail("", "the policy needs \"version\": 1");
    if (!listed) Fail("", "the policy needs \"entries\"");
    return policy;
}

// UTF-16 with a byte order mark (as Windows PowerShell 5 redirects output) to UTF-8.
std::optional<std::string> FromUtf16(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE, big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big) return std::nullopt;
    if (bytes.size() % 2) Fail("", "the policy file is UTF-16 with an odd number of bytes");
    auto text = text::Utf16ToUtf8(text::Utf16Units(bytes.substr(2), big));
    if (!text) Fail("", "the policy file is not valid UTF-16");
    return text;
}

}  // namespace

Policy ParsePolicyText(std::string_view text, bool ignoreUnderscored) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 9: ..." without its tag;
        // a number too large for a double ("1e999") is an out_of_range error of the parser.
        std::string why = e.what();
        if (const auto tag = why.find("] "); tag != std::string::npos) why.erase(0, tag + 2);
        Fail("", "not valid JSON: " + why);
    }
    return ReadPolicy(root, ignoreUnderscored);
}

Policy ParsePolicy(std::string_view bytes) {
    if (bytes.size() > kMaxPolicyBytes)
        Fail("", "the policy file is " + text::ToDecimal(static_cast<long long>(bytes.size())) +
                     " bytes; a policy may have at most " + text::ToDecimal(kMaxPolicyBytes));
    const auto converted = FromUtf16(bytes);
    std::string_view body = converted ? std::string_view(*converted) : bytes;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) Fail("", "the policy file is empty");
    return ParsePolicyText(body, false);
}

Policy DescribeTable(const store::EntryTable& table, const std::optional<std::string>& location,
                     const std::function<std::string(std::string_view)>& fold) {
    std::vector<const store::StartupEntry*> entries;
    for (const auto& e : table.entries)
        if (e.place && (!location || e.location == *location)) entries.push_back(&e);
    std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return a->position < b->position; });
    std::stable_partition(entries.begin(), entries.end(),
                          [](const auto* e) { return e->name.find_first_of("*?") == std::string::npos; });
    // Name and place of the entries that stand both recorded and in their place.
    std::set<std::pair<std::string, std::string>> recorded, active, twins;
    for (const auto* e : entries) (e->IsActive() ? active : recorded).emplace(fold(e->name), e->location);
    std::set_intersection(recorded.begin(), recorded.end(), active.begin(), active.end(),
                          std::inserter(twins, twins.end()));
    Policy policy;
    for (const auto* e : entries) {
        Rule rule;
        rule.name = e->name;
        rule.location = e->location;
        rule.state = DesiredState::Disabled;
        if (twins.count({fold(e->name), e->location})) rule.recorded = !e->IsActive();
        const bool starts = e->IsActive() ? !e->windowsOff : e->state == store::EntryState::Deferred;
        if (starts) {
            rule.state = DesiredState::Enabled;
            rule.confirm = e->confirm.Number() > 0;
            rule.delay = std::clamp(e->delay.Number(), store::kMinDelay, store::kMaxDelay);
        }
        policy.rules.push_back(std::move(rule));
    }
    return policy;
}

nlohmann::ordered_json PolicyJson(const Policy& policy) {
    auto rows = nlohmann::ordered_json::array();
    for (const auto& rule : policy.rules) {
        nlohmann::ordered_json row = {{"name", rule.name}};
        if (rule.signer) row["signer"] = *rule.signer;
        if (rule.signerThumbprint) row["signerThumbprint"] = *rule.signerThumbprint;
        if (rule.issuer) row["issuer"] = *rule.issuer;
        row["location"] = rule.location;
        if (rule.recorded) row["kind"] = kKinds[*rule.recorded ? 1 : 0];
        row["state"] = StateName(rule.state);
        if (rule.delay) row["delay"] = *rule.delay;
        if (rule.confirm) row["confirm"] = *rule.confirm;
        rows.push_back(std::move(row));
    }
    return {{"version", kPolicyVersion}, {"entries", std::move(rows)}, {"unlisted", UnlistedName(policy.unlisted)}};
}

std::string PolicyText(const Policy& policy) {
    const auto json = PolicyJson(policy);
    std::string entries = text::JsonRows(json["entries"]);
    entries.pop_back();  // its last line end: the object goes on after it
    return "{\"version\": " + text::ToDecimal(kPolicyVersion) + ",\n\"entries\": " + entries +
           ",\n\"unlisted\": " + text::JsonString(UnlistedName(policy.unlisted)) + "}\n";
}

std::string_view StateName(DesiredState state) {
    return kStates[static_cast<std::size_t>(state)];
}

std::string_view UnlistedName(Unlisted unlisted) {
    return kUnlisted[static_cast<std::size_t>(unlisted)];
}

}  // namespace vantorell::policy
