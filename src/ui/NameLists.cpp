#include "ui/NameLists.h"

#include <algorithm>

#include "ui/NameListsData.h"

namespace vantorell::ui {

NameList::NameList(platform::Platform& platform, std::span<const std::string_view> items)
    : platform_(&platform), size_(items.size()) {
    folded_.reserve(items.size());
    for (const std::string_view item : items) folded_.insert(platform.FoldCase(item));
}

bool NameList::Contains(std::string_view name) const {
    return folded_.contains(platform_->FoldCase(name));
}

NameLists NameLists::Builtin(platform::Platform& platform) {
    return NameLists{NameList(platform, RedListNames()), NameList(platform, BlueListNames()),
                     NameList(platform, GreenListNames())};
}

std::string_view NameLists::Rate(std::span<const std::string> keys) const {
    const auto anyIn = [&keys](const NameList& list) {
        return std::any_of(keys.begin(), keys.end(), [&list](const std::string& key) { return list.Contains(key); });
    };
    if (anyIn(GPL)) return kRatingGreen;
    if (anyIn(UPL)) return kRatingBlue;
    if (anyIn(BPL)) return kRatingRed;
    return kRatingNone;
}

}  // namespace vantorell::ui
