#include "platform/JsonText.h"

#include <nlohmann/json.hpp>

#include "platform/Text.h"

namespace vantorell::text {

std::string JsonString(std::string_view s) {
    // nlohmann/json escapes runs of valid UTF-8; each byte outside such a run
    // is written as one \ufffd, so a damaged name still shows where it broke.
    std::string out = "\"";
    out.reserve(s.size() + 2);
    for (std::size_t i = 0; i < s.size();) {
        std::size_t end = i;
        while (end < s.size()) {
            const auto c = static_cast<unsigned char>(s[end]);
            const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (c >= 0x80 && (len == 1 || end + len > s.size() || !IsValidUtf8(s.substr(end, len)))) break;
            end += len;
        }
        if (end == i) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        const std::string run = nlohmann::json(std::string(s.substr(i, end - i))).dump();
        out.append(run, 1, run.size() - 2);
        i = end;
    }
    out += '"';
    return out;
}

std::string JsonRows(const nlohmann::ordered_json& rows) {
    if (rows.empty()) return "[]\n";
    std::string out = "[\n";
    for (std::size_t n = 0; n < rows.size(); ++n) {
        out += "  {";
        bool first = true;
        for (const auto& [key, value] : rows[n].items()) {
            if (!first) out += ", ";
            first = false;
            out += JsonString(key) + ": ";
            out += value.is_string() ? JsonString(value.get_ref<const std::string&>())
                                     : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        }
        out += n + 1 < rows.size() ? "},\n" : "}\n";
    }
    out += "]\n";
    return out;
}

}  // namespace vantorell::text
