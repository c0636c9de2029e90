#include "store/Place.h"

#include "platform/RegistryKey.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {

std::unique_ptr<Place> OpenPlace(AutostartStore& store, const AutostartLocation& location) {
    switch (location.Kind()) {
        case PlaceKind::Shortcuts: return std::make_unique<ShortcutsPlace>(store, location);
        case PlaceKind::ListItems: return std::make_unique<ListItemsPlace>(store, location);
        case PlaceKind::DefaultValue: return std::make_unique<DefaultValuePlace>(store, location);
        case PlaceKind::StubPaths: return std::make_unique<StubPathsPlace>(store, location);
        case PlaceKind::Services: return std::make_unique<ServicesPlace>(store, location);
        case PlaceKind::Values: break;
    }
    return std::make_unique<ValuesPlace>(store, location);
}

std::vector<platform::WatchPlace> Place::Watched() {
    return {{platform::WatchPlace::Kind::Key, location_.hive, location_.view, std::string(location_.keyOrFolderValue)}};
}

ItemRef ItemOf(const StartupEntry& entry, bool withCommand) {
    ItemRef item{entry.name, entry.subKey};
    if (withCommand) item.command = entry.command;
    return item;
}

StartupEntry ActiveEntry(std::string name, const AutostartLocation& location, std::string command) {
    StartupEntry e;
    e.name = std::move(name);
    e.location = std::string(location.code);
    e.command = std::move(command);
    e.place = &location;
    return e;
}

std::string ReadFailedMessage(std::string_view name) {
    return platform::QuotedMessage("Failed to get data for", name);
}

std::string WriteFailedMessage(std::string_view name) {
    return platform::QuotedMessage("Failed to set data for", name);
}

std::string DeleteFailedMessage(std::string_view what) {
    return platform::QuotedMessage("Failed to delete", what);
}

bool HasEnvironmentReference(std::string_view command) {
    for (std::size_t open = command.find('%'); open != std::string_view::npos;) {
        const std::size_t close = command.find('%', open + 1);
        if (close == std::string_view::npos) return false;
        const std::string_view name = command.substr(open + 1, close - open - 1);
        const bool named = !name.empty() && name.find_first_not_of(
                                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                "0123456789_().{}-#$@") == std::string_view::npos;
        if (named) return true;
        open = close;
    }
    return false;
}

}  // namespace vantorell::store
