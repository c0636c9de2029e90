#include "store/DisplayPositions.h"

#include "platform/Text.h"

namespace vantorell::store {

std::vector<int> DisplayPositions(platform::Locale& locale, const std::vector<const std::string*>& names) {
    const auto order = text::OrderNoCase(locale, names);
    std::vector<int> positions(names.size());
    for (std::size_t slot = 0; slot < order.size(); ++slot) positions[order[slot]] = static_cast<int>(slot);
    return positions;
}

void AssignDisplayPositions(platform::Locale& locale, std::vector<StartupEntry>& entries) {
    std::vector<const std::string*> names;
    names.reserve(entries.size());
    for (const auto& e : entries) names.push_back(&e.name);
    const auto positions = DisplayPositions(locale, names);
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i].position = positions[i];
}

}  // namespace vantorell::store
