#include "ui/EntryTip.h"

namespace vantorell::ui {

std::string EntryInfoTip(store::AutostartStore& store, std::size_t index) {
    const auto& table = store.Table();
    if (index >= table.entries.size()) return {};
    const auto& e = table.entries[index];
    std::string tip = e.place ? store.EntryWhere(index) : "Unknown place \"" + e.location + "\"";
    if (e.service) {
        if (!e.service->displayName.empty()) tip.append("\n").append(e.service->displayName);
        if (!e.service->description.empty()) tip.append("\n").append(e.service->description);
        if (e.service->delayed) tip.append("\nStarts a while after the other automatic services (delayed).");
    }
    if (e.place && e.place->Kind() == store::PlaceKind::Services) tip.append("\n").append(kTipService);
    if (!e.IsActive()) {
        tip.append("\n").append(kTipRecorded);
    } else if (e.windowsOff) {
        tip.append("\n").append(kTipWindowsOff);
    }
    return tip;
}

}  // namespace vantorell::ui
