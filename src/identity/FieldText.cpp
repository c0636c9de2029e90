#include "identity/FieldText.h"

namespace vantorell::identity {

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
