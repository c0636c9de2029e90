#include "ui/EntryTip.h"

#include "store/PlaceKinds.h"

namespace vantorell::ui {

std::string EntryInfoTip(store::AutostartStore& store, std::size_t index) {
    const auto& table = store.Table();
    if (index >= table.entries.size()) return {};
    const auto& e = table.entries[index];
    std::string tip;
    if (e.place) {
        std::string folder = e.place->isFolder ? store.StartupFolderPath(e.place->code) : std::string();
        if (e.place->Kind() == store::PlaceKind::StubPaths)
            folder = e.IsActive() || index >= table.RecordCount()
                         ? e.subKey
                         : store::ParseOrigin(table.storedRecords[index].arguments).where;
        tip = store::PlaceDescription(store.Facets().registry, *e.place, folder);
    } else {
        tip = "Unknown place \"" + e.location + "\"";
    }
    if (!e.IsActive()) {
        tip.append("\n").append(kTipRecorded);
    } else if (e.windowsOff) {
        tip.append("\n").append(kTipWindowsOff);
    }
    return tip;
}

}  // namespace vantorell::ui
