// JSON text as Vantorell writes it, through nlohmann/json: a string literal
// that keeps UTF-8 as it is, and an array of objects laid out one to a line.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace vantorell::text {

// A JSON string literal: quotes, backslashes and control characters escaped,
// UTF-8 passed through, each byte that is not part of valid UTF-8 written as
// \ufffd.
std::string JsonString(std::string_view text);
// The same literal, added to the end of `out`.
void AppendJsonString(std::string& out, std::string_view text);

// A JSON array of objects, one object to a line:
// "[\n  {\"key\": value, ...},\n  ...\n]\n", or "[]\n" when empty. Strings,
// keys included, are written by JsonString.
std::string JsonRows(const nlohmann::ordered_json& rows);

// The same layout written field by field, without building a document: for
// thousands of rows. JsonRows writes through it.
class JsonRowsText {
public:
    void BeginRow();
    void Text(std::string_view key, std::string_view value);
    void Flag(std::string_view key, bool value);
    void Number(std::string_view key, long long value);
    // A value written as JSON already.
    void Raw(std::string_view key, std::string_view json);
    // The array, rows ended; the writer is empty afterwards.
    std::string Finish();

private:
    void Key(std::string_view key);
    std::string out_;
    bool firstField_ = true;
};

}  // namespace vantorell::text
