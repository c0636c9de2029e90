#include "platform/Errors.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

std::string NoStubPathMessage(std::string_view name, std::string_view subKey) {
    return "The Active Setup component '" + std::string(name) + "' (" + std::string(subKey) +
           ") has no StubPath: it starts nothing, so there is nothing to take out";
}

}  // namespace

std::vector<StubPathsPlace::Component> StubPathsPlace::Components() {
    std::vector<Component> components;
    auto key = OpenExisting();
    if (!key) return components;
    for (std::string& subKey : key->SubKeyNames()) {
        auto component = OpenExisting(subKey);
        if (!component) continue;
        Component c;
        if (auto shown = component->Query(""); shown && platform::StringData(*shown))
            c.name = *platform::StringData(*shown);
        c.stubPath = component->Query(location_.valueName);
        c.subKey = std::move(subKey);
        if (c.name.empty()) c.name = c.subKey;
        components.push_back(std::move(c));
    }
    return components;
}

std::optional<StubPathsPlace::Component> StubPathsPlace::Find(std::string_view name) {
    auto& platform = store_.Platform();
    std::optional<Component> found;
    for (Component& c : Components()) {
        if (platform.CompareNoCase(c.name, name) != 0) continue;
        const bool better = !found || (c.stubPath && !found->stubPath) ||
                            (c.name == name && found->name != name && (c.stubPath || !found->stubPath));
        if (better) found = std::move(c);
    }
    return found;
}

void StubPathsPlace::AppendItems(std::vector<StartupEntry>& entries) {
    for (Component& c : Components()) {
        if (!c.stubPath) continue;
        StartupEntry e = ActiveEntry(c.name, location_, platform::StringData(*c.stubPath).value_or(std::string()));
        e.subKey = std::move(c.subKey);
        entries.push_back(std::move(e));
    }
}

std::string StubPathsPlace::CommandOf(std::string_view name) {
    const auto c = Find(name);
    return c && c->stubPath ? platform::StringData(*c->stubPath).value_or(std::string()) : std::string();
}

PlaceItem StubPathsPlace::Read(const std::string& name, bool /*presenceOnly*/) {
    PlaceItem item;
    const auto c = Find(name);
    if (!c) return item;
    if (!c->stubPath) throw AppError(NoStubPathMessage(name, c->subKey));
    const auto text = platform::StringData(*c->stubPath);
    if (!text) throw AppError(platform::InvalidDataTypeMessage(location_.valueName));
    item.present = true;
    item.command = *text;
    item.arguments = OriginText({c->stubPath->type, c->subKey});
    return item;
}

void StubPathsPlace::TakeOut(const std::string& name) {
    const auto c = Find(name);
    if (!c || !c->stubPath) return;
    auto key = OpenExisting(c->subKey);
    if (!key) throw AppError(DeleteFailedMessage(location_.valueName));
    if (!key->DeleteValue(location_.valueName) && key->Query(location_.valueName))
        throw AppError(DeleteFailedMessage(location_.valueName));
}

void StubPathsPlace::PutBack(const StartupRecord& record) {
    const ValueOrigin origin = ParseOrigin(record.arguments);
    std::string subKey = origin.where;
    if (subKey.empty()) {
        const auto c = Find(record.name);
        if (c) subKey = c->subKey;
    }
    auto key = subKey.empty() ? std::nullopt : OpenExisting(subKey);
    if (!key)
        throw AppError("The Active Setup component of '" + record.name + "' (" + subKey +
                       ") is gone: its StubPath has no place to go back to");
    if (const auto value = key->Query(location_.valueName)) {
        const auto text = platform::StringData(*value);
        if (!text || *text != record.command)
            throw AppError("The Active Setup component of '" + record.name + "' (" + subKey +
                           ") has another StubPath now: take that out first, so that it is not lost");
    }
    key->Write(location_.valueName, {origin.type, record.command});
}

std::vector<platform::WatchPlace> StubPathsPlace::Watched() {
    // The key itself (components coming and going) and each component's StubPath.
    std::vector<platform::WatchPlace> places = Place::Watched();
    places.push_back(places.front());
    places.back().subtree = true;
    return places;
}

}  // namespace vantorell::store
