#include "ui/NameLists.h"

#include <algorithm>

namespace vantorell::ui {

NameList::NameList(platform::Platform& platform, std::span<const std::string_view> items)
    : platform_(&platform), size_(items.size()) {
    std::size_t bytes = 0;
    for (const std::string_view item : items) bytes += item.size();
    Build(items, bytes);
}

NameList::NameList(platform::Platform& platform, const PackedNames& items)
    : platform_(&platform), size_(items.size()) {
    Build(items, items.NameBytes());
}

template <typename Names>
void NameList::Build(const Names& items, std::size_t bytes) {
    folded_.reserve(bytes + bytes / 16);  // folding rarely changes a length
    index_.reserve(size_);
    for (const std::string_view item : items) {
        const std::string folded = platform_->FoldCase(item);
        index_.emplace_back(static_cast<std::uint32_t>(folded_.size()), static_cast<std::uint32_t>(folded.size()));
        folded_ += folded;
    }
    folded_.shrink_to_fit();
    std::sort(index_.begin(), index_.end(), [this](const auto& a, const auto& b) { return At(a) < At(b); });
}

bool NameList::Contains(std::string_view name) const {
    const std::string folded = platform_->FoldCase(name);
    const auto it = std::lower_bound(index_.begin(), index_.end(), std::string_view(folded),
                                     [this](const auto& slot, std::string_view key) { return At(slot) < key; });
    return it != index_.end() && At(*it) == folded;
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
