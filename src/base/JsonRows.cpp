// JsonRows apart from the rest of JsonText: it is the one part that writes a
// document of the JSON library, whose writer brings the C library's formatted
// output (about 60 KB) into every program that links it; the window writes its
// rows with JsonRowsText alone.
#include <nlohmann/json.hpp>

#include "base/JsonText.h"

namespace vantorell::text {

std::string JsonRows(const nlohmann::ordered_json& rows) {
    JsonRowsText text;
    for (const auto& row : rows) {
        text.BeginRow();
        for (const auto& [key, value] : row.items()) {
            if (value.is_string())
                text.Text(key, value.get_ref<const std::string&>());
            else
                text.Raw(key, value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        }
    }
    return text.Finish();
}

}  // namespace vantorell::text
