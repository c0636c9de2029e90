// The rating name lists: BPL (red), UPL (blue) and GPL (green).
//
// A name is found when an item equals it over its whole length without regard
// to letter case (the platform's FoldCase). Blanks count, including leading and
// trailing ones; '*' and '?' are ordinary characters. Each list holds its
// folded names in one string, with a sorted table of where each one lies, and
// is searched in place (binary search): a few tens of kilobytes for thousands
// of names, where one string object per name took several times that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "ui/NameListsData.h"

namespace vantorell::ui {

class NameList {
public:
    // Folds and sorts the items once. The platform must outlive the list.
    NameList(platform::Platform& platform, std::span<const std::string_view> items);
    NameList(platform::Platform& platform, const PackedNames& items);

    bool Contains(std::string_view name) const;
    // Number of items as given, duplicates included.
    std::size_t Size() const { return size_; }

private:
    template <typename Names>
    void Build(const Names& items, std::size_t bytes);
    std::string_view At(const std::pair<std::uint32_t, std::uint32_t>& slot) const {
        return std::string_view(folded_).substr(slot.first, slot.second);
    }

    platform::Platform* platform_;
    std::string folded_;                                        // the folded names, one after another
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index_;  // offset and length, sorted by the bytes
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
