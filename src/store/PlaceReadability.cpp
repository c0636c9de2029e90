// Which places could not be read: the scan takes a key that does not open as
// one that is not there, which is right for a scan to show and wrong for a
// check to judge by.
#include <algorithm>

#include "platform/RegistryKey.h"
#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::store {
namespace {

using platform::Platform;
using platform::RegKey;

std::unique_ptr<RegKey> OpenToRead(Platform& platform, platform::Hive hive, platform::RegView view,
                                   std::string_view path) {
    return platform.registry.OpenKey(hive, path, false, platform::KeyAccess::Read, view);
}

bool Lists(Platform& platform, const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return platform.locale.CompareNoCase(n, name) == 0; });
}

// Whether key `path` is there though it does not open: the first part of the
// path that does not open is one its parent lists (or whose parent cannot be
// listed). A key of the hive's top level that does not open counts as missing.
bool ThereButClosed(Platform& platform, platform::Hive hive, platform::RegView view, std::string_view path) {
    std::unique_ptr<RegKey> parent;
    std::size_t end = 0;
    while (end != std::string_view::npos) {
        end = path.find('\\', end + 1);
        const std::string_view part = path.substr(0, end);
        auto key = OpenToRead(platform, hive, view, part);
        if (!key) {
            if (!parent) return false;
            const auto names = parent->SubKeyNames();
            const std::string_view child = part.substr(part.find_last_of('\\') + 1);
            return !names || Lists(platform, *names, child);
        }
        parent = std::move(key);
    }
    return false;
}

// Whether value `name` of `key` is listed but cannot be read.
bool ValueClosed(Platform& platform, RegKey& key, const std::vector<std::string>& names, std::string_view name) {
    return Lists(platform, names, name) && !key.Query(name);
}

bool Readable(Platform& platform, const AutostartLocation& place) {
    if (place.isFolder) {
        auto key = platform.registry.OpenKey(place.hive, kShellFoldersKey, false, platform::KeyAccess::Read);
        if (!key) return !ThereButClosed(platform, place.hive, platform::RegView::Bits64, kShellFoldersKey);
        const auto names = key->ValueNames();
        if (!names || ValueClosed(platform, *key, *names, place.keyOrFolderValue)) return false;
        const auto value = key->Query(place.keyOrFolderValue);
        const auto folder = value ? platform::StringData(*value) : std::nullopt;
        return !folder || folder->empty() || platform.files.FolderListable(*folder);
    }
    auto key = OpenToRead(platform, place.hive, place.view, place.keyOrFolderValue);
    if (!key) return !ThereButClosed(platform, place.hive, place.view, place.keyOrFolderValue);
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
                                         [&](const std::string& n) { return ValueClosed(platform, *key, *again, n); });
        }
        case PlaceKind::StubPaths: {
            const auto components = key->SubKeyNames();
            if (!components) return false;
            for (const std::string& c : *components) {
                auto component =
                    OpenToRead(platform, place.hive, place.view, text::JoinPath(place.keyOrFolderValue, c));
                if (!component) return false;
                const auto values = component->ValueNames();
                if (!values || ValueClosed(platform, *component, *values, place.valueName)) return false;
            }
            return true;
        }
        default: return !ValueClosed(platform, *key, *names, place.valueName);
    }
}

}  // namespace

std::vector<std::string> UnreadablePlaces(Platform& platform) {
    std::vector<std::string> places;
    for (const auto& place : Locations()) {
        if (!PlaceExists(platform, place) || Readable(platform, place)) continue;
        const std::string hive = place.hive == platform::Hive::CurrentUser ? "CURRENT_USER" : "LOCAL_MACHINE";
        const std::string where = place.isFolder
                                      ? "the folder named by HKEY_" + hive + "\\" + std::string(kShellFoldersKey) +
                                            ", value " + std::string(place.keyOrFolderValue)
                                      : PlaceDescription(platform, place, {});
        places.push_back(std::string(place.code) + " (" + where + ")");
    }
    return places;
}

}  // namespace vantorell::store
