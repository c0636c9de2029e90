// Which places could not be read: the scan takes a key that does not open as
// one that is not there, which is right for a scan to show and wrong for a
// check to judge by.
#include <algorithm>

#include "platform/RegistryKey.h"
#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::store {
namespace {

using platform::RegKey;

std::unique_ptr<RegKey> OpenToRead(const StoreFacets& system, platform::Hive hive, platform::RegView view,
                                   std::string_view path) {
    return system.registry.OpenKey(hive, path, false, platform::KeyAccess::Read, view);
}

bool Lists(const StoreFacets& system, const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return system.locale.CompareNoCase(n, name) == 0; });
}

// Whether key `path` is there though it does not open: the first part of the
// path that does not open is one its parent lists (or whose parent cannot be
// listed). A key of the hive's top level that does not open counts as missing.
bool ThereButClosed(const StoreFacets& system, platform::Hive hive, platform::RegView view, std::string_view path) {
    std::unique_ptr<RegKey> parent;
    std::size_t end = 0;
    while (end != std::string_view::npos) {
        end = path.find('\\', end + 1);
        const std::string_view part = path.substr(0, end);
        auto key = OpenToRead(system, hive, view, part);
        if (!key) {
            if (!parent) return false;
            const auto names = parent->SubKeyNames();
            const std::string_view child = part.substr(part.find_last_of('\\') + 1);
            return !names || Lists(system, *names, child);
        }
        parent = std::move(key);
    }
    return false;
}

// Whether value `name` of `key` is listed but cannot be read.
bool ValueClosed(const StoreFacets& system, RegKey& key, const std::vector<std::string>& names, std::string_view name) {
    return Lists(system, names, name) && !key.Query(name);
}

bool Readable(const StoreFacets& system, const AutostartLocation& place) {
    if (place.isFolder) {
        auto key = system.registry.OpenKey(place.hive, kShellFoldersKey, false, platform::KeyAccess::Read);
        if (!key) return !ThereButClosed(system, place.hive, platform::RegView::Bits64, kShellFoldersKey);
        const auto names = key->ValueNames();
        if (!names || ValueClosed(system, *key, *names, place.keyOrFolderValue)) return false;
        const auto value = key->Query(place.keyOrFolderValue);
        const auto folder = value ? platform::StringData(*value) : std::nullopt;
        return !folder || folder->empty() || system.files.FolderListable(*folder);
    }
    auto key = OpenToRead(system, place.hive, place.view, place.keyOrFolderValue);
    if (!key) return !ThereButClosed(system, place.hive, place.view, place.keyOrFolderValue);
    const auto names = key->ValueNames();
    if (!names) return false;
    switch (place.Kind()) {
        case PlaceKind::Values: {
            if (std::all_of(names->begin(), names->end(),
                            [&](const std::string& n) { return key->Query(n).has_value(); }))
                return true;
            // A value deleted between the listing and the read is no unreadable one.
            const auto again = key->ValueNames();
            return again && std::none_of(again->begin(), again->end(),
                                         [&](const std::string& n) { return ValueClosed(system, *key, *again, n); });
        }
        case PlaceKind::StubPaths: {
            const auto components = key->SubKeyNames();
            if (!components) return false;
            for (const std::string& c : *components) {
                auto component = OpenToRead(system, place.hive, place.view, text::JoinPath(place.keyOrFolderValue, c));
                if (!component) return false;
                const auto values = component->ValueNames();
                if (!values || ValueClosed(system, *component, *values, place.valueName)) return false;
            }
            return true;
        }
        // Each service's key is read on its own; that the services can be
        // listed is what tells an unreadable place from an empty one.
        case PlaceKind::Services: return key->SubKeyNames().has_value();
        default: return !ValueClosed(system, *key, *names, place.valueName);
    }
}

}  // namespace

std::vector<std::string> UnreadablePlaces(const StoreFacets& system) {
    std::vector<std::string> places;
    for (const auto& place : Locations()) {
        if (!PlaceExists(system.registry, place) || Readable(system, place)) continue;
        const std::string hive = place.hive == platform::Hive::CurrentUser ? "CURRENT_USER" : "LOCAL_MACHINE";
        const std::string where = place.isFolder
                                      ? "the folder named by HKEY_" + hive + "\\" + std::string(kShellFoldersKey) +
                                            ", value " + std::string(place.keyOrFolderValue)
                                      : PlaceWhere(place, {}, system.registry.HasTwoRegistryViews());
        places.push_back(std::string(place.code) + " (" + where + ")");
    }
    return places;
}

}  // namespace vantorell::store
