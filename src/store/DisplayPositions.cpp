#include "store/DisplayPositions.h"

#include <algorithm>
#include <numeric>

namespace vantorell::store {

std::vector<int> OrderByName(platform::Platform& platform, const std::vector<const std::string*>& names) {
    std::vector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string* name : names) {
        auto key = platform.SortKeyNoCase(*name);
        if (!key) break;
        keys.push_back(std::move(*key));
    }
    if (keys.size() == names.size()) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const std::string& x = *names[a];
            const std::string& y = *names[b];
            return x != y && platform.CompareNoCase(x, y) < 0;
        });
    }
    return order;
}

void SortByName(platform::Platform& platform, std::vector<std::string>& names) {
    std::vector<const std::string*> refs;
    refs.reserve(names.size());
    for (const auto& n : names) refs.push_back(&n);
    const auto order = OrderByName(platform, refs);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (int i : order) sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

std::vector<int> DisplayPositions(platform::Platform& platform, const std::vector<const std::string*>& names) {
    const auto order = OrderByName(platform, names);
    std::vector<int> positions(names.size());
    for (std::size_t slot = 0; slot < order.size(); ++slot) positions[order[slot]] = static_cast<int>(slot);
    return positions;
}

void AssignDisplayPositions(platform::Platform& platform, std::vector<StartupEntry>& entries) {
    std::vector<const std::string*> names;
    names.reserve(entries.size());
    for (const auto& e : entries) names.push_back(&e.name);
    const auto positions = DisplayPositions(platform, names);
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i].position = positions[i];
}

}  // namespace vantorell::store
