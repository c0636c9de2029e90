#include "identity/FieldText.h"

namespace vantorell::identity {

std::string Escape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i >= field.size()) return false;
        switch (field[i]) {
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: return false;
        }
    }
    return true;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = line.find(separator, start);
        parts.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

void AppendVerdict(std::string& line, const Identity& id) {
    line += StateWord(id.state);
    for (const std::string* field : {&id.signer, &id.company, &id.description, &id.fileVersion, &id.issuer,
                                     &id.thumbprintSha1, &id.thumbprintSha256})
        line.append("\t").append(Escape(*field));
}

bool ReadVerdict(std::span<const std::string_view> fields, Identity& id) {
    if (fields.size() != kVerdictFields) return false;
    id.state = StateOfWord(fields[0]);
    if (StateWord(id.state) != fields[0]) return false;
    std::string* into[] = {&id.signer, &id.company,        &id.description,     &id.fileVersion,
                           &id.issuer, &id.thumbprintSha1, &id.thumbprintSha256};
    for (std::size_t i = 0; i < std::size(into); ++i)
        if (!Unescape(fields[i + 1], *into[i])) return false;
    return true;
}

}  // namespace vantorell::identity
