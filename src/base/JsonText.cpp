#include "base/JsonText.h"

#include "base/Text.h"

namespace vantorell::text {

namespace {

// Bytes written as they are: printable ASCII but the quote and the backslash.
bool Plain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view s) {
    // Runs of valid UTF-8 are escaped as nlohmann/json escapes them; each byte
    // outside such a run is written as one \ufffd, so a damaged name still
    // shows where it broke. Plain ASCII, nearly all of what is written, is
    // copied a run at a time.
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        std::size_t plain = i;
        while (plain < s.size() && Plain(static_cast<unsigned char>(s[plain]))) ++plain;
        if (plain > i) {
            out.append(s.data() + i, plain - i);
            i = plain;
            continue;
        }
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
        // Escaped as nlohmann/json escapes: the short forms, other controls as \u00xx.
        for (; i < end; ++i) {
            const char c = s[i];
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        constexpr char kHex[] = "0123456789abcdef";
                        out += "\\u00";
                        out += kHex[(c >> 4) & 0xF];
                        out += kHex[c & 0xF];
                    } else {
                        out += c;
                    }
            }
        }
    }
    out += '"';
}

std::string JsonString(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    AppendJsonString(out, s);
    return out;
}

void JsonRowsText::BeginRow() {
    out_ += out_.empty() ? "[\n  {" : "},\n  {";
    firstField_ = true;
}

void JsonRowsText::Key(std::string_view key) {
    if (!firstField_) out_ += ", ";
    firstField_ = false;
    AppendJsonString(out_, key);
    out_ += ": ";
}

void JsonRowsText::Text(std::string_view key, std::string_view value) {
    Key(key);
    AppendJsonString(out_, value);
}

void JsonRowsText::Flag(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
}

void JsonRowsText::Number(std::string_view key, long long value) {
    Raw(key, std::to_string(value));
}

void JsonRowsText::Raw(std::string_view key, std::string_view json) {
    Key(key);
    out_ += json;
}

std::string JsonRowsText::Finish() {
    std::string out = out_.empty() ? std::string("[]\n") : std::move(out_) + "}\n]\n";
    out_.clear();
    firstField_ = true;
    return out;
}

}  // namespace vantorell::text
