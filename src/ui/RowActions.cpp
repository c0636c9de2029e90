#include "ui/RowActions.h"

#include "platform/Text.h"
#include "store/Place.h"

namespace vantorell::ui {
namespace {

std::optional<std::string> PlaceRefusal(store::AutostartStore& store, const store::StartupEntry& entry,
                                        store::PlaceChange change) {
    if (!entry.place) return std::nullopt;
    return store::OpenPlace(store, *entry.place)->Refusal(change, entry.name, entry.command);
}

std::optional<std::string> FileRefusal(const RowFile& file) {
    if (file.path.empty()) return std::string("No file can be named for this entry");
    if (!file.exists) return "The file is not there: " + file.path;
    return std::nullopt;
}

// A field of the copied row: one line, no tab of its own.
std::string Field(std::string_view text) {
    std::string field(text);
    for (char& c : field)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return field;
}

// "Software\..." of the 32-bit view, as the 64-bit view names it.
std::string Wow64Path(std::string_view path) {
    constexpr std::string_view kSoftware = "Software\\";
    if (path.size() < kSoftware.size() || !text::EqualsAsciiNoCase(path.substr(0, kSoftware.size()), kSoftware))
        return std::string(path);
    return std::string(path.substr(0, kSoftware.size())) + "WOW6432Node\\" + std::string(path.substr(kSoftware.size()));
}

}  // namespace

std::string RowMenu::Hint(RowAction action) const {
    const auto& why = refused[static_cast<std::size_t>(action)];
    if (why) return *why;
    if (action == RowAction::OpenRegistry && folderEntry) return std::string(kHintOpenFolder);
    return std::string(kRowActionHints[static_cast<std::size_t>(action)]);
}

RowMenu RowMenuOf(store::AutostartStore& store, std::size_t index, const RowFile& file,
                  const std::optional<std::string>& ownMessage) {
    RowMenu menu;
    const auto& entries = store.Table().entries;
    const auto refuse = [&](RowAction action, std::optional<std::string> why) {
        if (why) menu.refused[static_cast<std::size_t>(action)] = std::move(why);
    };
    if (index >= entries.size()) {
        for (auto& why : menu.refused) why = "No entry is selected";
        return menu;
    }
    const store::StartupEntry& e = entries[index];
    menu.switchesOn = e.IsActive() ? e.windowsOff : e.state == store::EntryState::Disabled;
    menu.confirmed = e.confirm == store::ConfirmFlag(true);
    menu.folderEntry = e.place && e.place->isFolder;
    if (ownMessage) {
        for (RowAction action : {RowAction::Switch, RowAction::Confirm, RowAction::Delay, RowAction::Delete})
            refuse(action, ownMessage);
    } else {
        const auto handOver = PlaceRefusal(store, e, store::PlaceChange::HandOver);
        refuse(RowAction::Confirm, handOver);
        refuse(RowAction::Delay, handOver);
        refuse(RowAction::Delete, PlaceRefusal(store, e, store::PlaceChange::Delete));
    }
    refuse(RowAction::OpenLocation, FileRefusal(file));
    refuse(RowAction::Properties, FileRefusal(file));
    if (!e.place) refuse(RowAction::OpenRegistry, "Unknown place \"" + e.location + "\"");
    return menu;
}

std::string RowCopyText(store::AutostartStore& store, std::size_t index, const RowFile& file) {
    const auto& entries = store.Table().entries;
    if (index >= entries.size()) return {};
    const store::StartupEntry& e = entries[index];
    const std::string where = e.place ? store.EntryWhere(index) : e.location;
    return Field(e.name) + '\t' + Field(e.command) + '\t' + Field(file.path) + '\t' + Field(file.publisher) + '\t' +
           Field(where) + "\r\n";
}

std::string RegistryEditorPath(store::AutostartStore& store, std::size_t index) {
    const auto& table = store.Table();
    if (index >= table.entries.size() || !table.entries[index].place || table.entries[index].place->isFolder) return {};
    const store::StartupEntry& e = table.entries[index];
    const store::AutostartLocation& place = *e.place;
    std::string key(place.keyOrFolderValue);
    if (place.Kind() == store::PlaceKind::Services) key.append("\\").append(e.name);
    if (place.Kind() == store::PlaceKind::StubPaths && !e.subKey.empty()) key.append("\\").append(e.subKey);
    if (table.twoViews && place.HasViews() && place.view == platform::RegView::Bits32) key = Wow64Path(key);
    const std::string_view hive =
        place.hive == platform::Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    return std::string(hive) + "\\" + key;
}

}  // namespace vantorell::ui
