// The rating name lists: BPL (red), UPL (blue) and GPL (green).
//
// A name is found when an item equals it over its whole length without regard
// to letter case (the platform's FoldCase). Blanks count, including leading and
// trailing ones; '*' and '?' are ordinary characters. Lookups are O(1): each
// list is a hash set of folded names, built once.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/Platform.h"

namespace vantorell::ui {

class NameList {
public:
    // Folds and hashes the items once. The platform must outlive the list.
    NameList(platform::Platform& platform, std::span<const std::string_view> items);

    bool Contains(std::string_view name) const;
    // Number of items as given, duplicates included.
    std::size_t Size() const { return size_; }

private:
    platform::Platform* platform_;
    std::unordered_set<std::string> folded_;
    std::size_t size_;
};

// Rating codes, as held in the grid's rating column.
inline constexpr std::string_view kRatingNone = "0";   // in no list: default colour
inline constexpr std::string_view kRatingRed = "1";    // BPL: useless or dangerous
inline constexpr std::string_view kRatingBlue = "2";   // UPL: not needed
inline constexpr std::string_view kRatingGreen = "3";  // GPL: good, should stay enabled

struct NameLists {
    NameList BPL;  // red
    NameList UPL;  // blue
    NameList GPL;  // green

    // The lists compiled into the program.
    static NameLists Builtin(platform::Platform& platform);

    // The rating of a set of keys: green if any key is in GPL, else blue if any
    // is in UPL, else red if any is in BPL, else none.
    std::string_view Rate(std::span<const std::string> keys) const;
};

}  // namespace vantorell::ui
