#include "platform/Errors.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

std::string NoStubPathMessage(std::string_view name, std::string_view subKey) {
    return "The Active Setup component '" + std::string(name) + "' (" + std::string(subKey) +
           ") has no StubPath: it starts nothing, so there is nothing to take out";
}

std::string ChangedComponentMessage(std::string_view name, std::string_view subKey) {
    return "The Active Setup component '" + std::string(name) + "' (" + std::string(subKey) +
           ") changed meanwhile, try again";
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

std::optional<StubPathsPlace::Component> StubPathsPlace::Find(const ItemRef& item) {
    auto& system = store_.Facets();
    std::vector<Component> named;
    for (Component& c : Components()) {
        if (!item.subKey.empty() && system.locale.CompareNoCase(c.subKey, item.subKey) != 0) continue;
        if (system.locale.CompareNoCase(c.name, item.name) == 0) named.push_back(std::move(c));
    }
    if (!item.subKey.empty()) return named.empty() ? std::nullopt : std::optional(std::move(named.front()));
    // By name alone: the components that start something, and of those the
    // ones that hold the command when one is given.
    std::vector<const Component*> starting;
    for (const Component& c : named) {
        const auto text = c.stubPath ? platform::StringData(*c.stubPath) : std::nullopt;
        if (c.stubPath && (!item.command || text == *item.command)) starting.push_back(&c);
    }
    if (starting.empty())
        for (const Component& c : named) starting.push_back(&c);
    if (starting.size() == 1) return *starting.front();
    if (starting.empty()) return std::nullopt;
    std::string message = "'" + item.name + "' (" + std::string(location_.code) + ") names " +
                          std::to_string(starting.size()) +
                          " Active Setup components; Vantorell changes one only when told which:";
    for (const Component* c : starting) {
        const auto text = c->stubPath ? platform::StringData(*c->stubPath) : std::nullopt;
        message += "\n  " + c->subKey + ": " + text.value_or("(no StubPath)");
    }
    throw AppError(message);
}

void StubPathsPlace::AppendItems(std::vector<StartupEntry>& entries) {
    for (Component& c : Components()) {
        if (!c.stubPath) continue;
        StartupEntry e = ActiveEntry(c.name, location_, platform::StringData(*c.stubPath).value_or(std::string()));
        e.subKey = std::move(c.subKey);
        entries.push_back(std::move(e));
    }
}

std::string StubPathsPlace::CommandOf(const ItemRef& item) {
    const auto c = Find(item);
    return c && c->stubPath ? platform::StringData(*c->stubPath).value_or(std::string()) : std::string();
}

PlaceItem StubPathsPlace::Read(const ItemRef& ref, bool /*presenceOnly*/) {
    PlaceItem item;
    const auto c = Find(ref);
    if (!c) return item;
    if (!c->stubPath) throw AppError(NoStubPathMessage(ref.name, c->subKey));
    const auto text = platform::StringData(*c->stubPath);
    if (!text) throw AppError(platform::InvalidDataTypeMessage(location_.valueName));
    if (ref.command && *text != *ref.command) throw ChangedMeanwhile(ChangedComponentMessage(ref.name, c->subKey));
    item.present = true;
    item.command = *text;
    item.arguments = OriginText({c->stubPath->type, c->subKey});
    return item;
}

void StubPathsPlace::TakeOut(const ItemRef& ref) {
    const auto c = Find(ref);
    if (!c || !c->stubPath) return;
    // The StubPath that was read, or none: another one written meanwhile stays.
    if (ref.command && platform::StringData(*c->stubPath) != *ref.command)
        throw ChangedMeanwhile(ChangedComponentMessage(ref.name, c->subKey));
    auto key = OpenExisting(c->subKey);
    if (!key) throw AppError(DeleteFailedMessage(location_.valueName));
    if (!key->DeleteValue(location_.valueName) && key->Query(location_.valueName))
        throw AppError(DeleteFailedMessage(location_.valueName));
}

void StubPathsPlace::PutBack(const StartupRecord& record) {
    const ValueOrigin origin = ParseOrigin(record.arguments);
    std::string subKey = origin.where;
    if (subKey.empty()) {
        const auto c = Find({record.name, {}, record.command});
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
