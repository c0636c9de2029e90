// The rating name lists: BPL (red), UPL (blue) and GPL (green).
//
// A name is found when an item equals it over its whole length without regard
// to letter case (the platform's FoldCase). Blanks count, including leading and
// trailing ones; '*' and '?' are ordinary characters. A list keeps only a
// sorted table of where each name lies in the compiled-in bytes and searches
// them in place (binary search), folding ASCII letters as it compares: a name
// costs four bytes of the program's memory. Only a name that the platform
// folds otherwise (one with non-ASCII letters) is kept folded in a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Locale.h"
#include "ui/NameListsData.h"

namespace vantorell::ui {

class NameList {
public:
    // Sorts the items once. The locale must outlive the list; so must the
    // bytes of `items` when they are packed names (the compiled-in lists).
    NameList(platform::Locale& locale, std::span<const std::string_view> items);
    NameList(platform::Locale& locale, const PackedNames& items);

    bool Contains(std::string_view name) const { return ContainsFolded(Fold(name)); }
    // The same for a name folded already with Fold: one fold serves every list.
    bool ContainsFolded(std::string_view folded) const;
    std::string Fold(std::string_view name) const;
    // Number of items as given, duplicates included.
    std::size_t Size() const { return size_; }

private:
    // Where a name lies: its length byte in `packed_`, or (kFoldedBit set) in
    // `folded_`, whose names are folded already.
    static constexpr std::uint32_t kFoldedBit = 0x80000000u;
    struct Name {
        std::string_view bytes;
        bool asciiFold;  // compared with its ASCII letters folded on the fly
    };

    void Build(std::size_t count);
    Name At(std::uint32_t slot) const;
    static int Compare(const Name& a, const Name& b);

    platform::Locale* locale_;
    // The items, each after a byte holding its length: the compiled-in bytes,
    // or a copy (own_) when they were given one by one.
    std::string_view Packed() const { return own_.empty() ? packed_ : std::string_view(own_); }
    std::string own_;
    std::string_view packed_;
    std::string folded_;                // the names the platform folds otherwise than ASCII, folded and packed
    std::vector<std::uint32_t> index_;  // sorted by the folded bytes
    std::size_t size_;
    bool asciiAsUpper_ = false;  // the platform folds each ASCII character as AsciiUpper does
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
    static NameLists Builtin(platform::Locale& locale);

    // The rating of a set of keys: green if any key is in GPL, else blue if any
    // is in UPL, else red if any is in BPL, else none.
    std::string_view Rate(std::span<const std::string> keys) const;
};

}  // namespace vantorell::ui
