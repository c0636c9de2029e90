// The locale facet of the platform: the system's rules for text, which names
// are equal without regard to case and in which order they sort, and the
// ANSI code page that old files were written in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantorell::platform {

class Locale {
public:
    // Converts bytes in the system's ANSI code page to UTF-8.
    virtual std::string AnsiToUtf8(std::string_view bytes) = 0;
    // Locale-aware comparison without regard to case: <0, 0, >0.
    virtual int CompareNoCase(std::string_view a, std::string_view b) = 0;
    // A case-folded form such that FoldCase(a) == FoldCase(b) exactly when two
    // names are equal without regard to case (used for hashed lookups).
    virtual std::string FoldCase(std::string_view text) = 0;
    // For sorting many names: a key whose bytes, compared as unsigned
    // characters, order texts exactly as CompareNoCase does, and that is equal
    // for two texts exactly when CompareNoCase gives 0. nullopt when the
    // system offers none; callers then compare with CompareNoCase.
    virtual std::optional<std::string> SortKeyNoCase(std::string_view text) = 0;

protected:
    ~Locale() = default;
};

}  // namespace vantorell::platform
