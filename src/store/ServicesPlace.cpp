// The services that start with Windows. What there is and how it starts is
// read from the services' keys, which is what Windows reads at its next start
// (a start type written there directly counts too); changes go through the
// Service Control Manager (platform::Services), which writes those keys.
#include <set>

#include "base/Text.h"
#include "platform/Errors.h"
#include "platform/RegistryKey.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {

using platform::Hive;
namespace RegType = platform::RegType;
namespace ServiceStart = platform::ServiceStart;
namespace ServiceType = platform::ServiceType;

namespace {

// Driver types sit in the low bits; a Win32 service is a program of its own
// or a shared host's library (also as a per-user service template).
constexpr std::uint32_t kDriverTypes = 0x0F;

struct ServiceKey {
    std::uint32_t type = 0;
    std::uint32_t start = ServiceStart::Disabled;
    std::string imagePath;
    ServiceFacts facts;

    bool Win32() const {
        return (type & (ServiceType::OwnProcess | ServiceType::ShareProcess)) != 0 && (type & kDriverTypes) == 0;
    }
    bool Automatic() const { return Win32() && start == ServiceStart::Automatic; }
};

std::optional<std::uint32_t> DwordOf(const platform::RegValue& value) {
    if (value.type != RegType::Dword || value.data.size() < 4) return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
    return n;
}

std::string PathOf(std::string_view name) {
    std::string path(platform::kServicesKey);
    return path.append("\\").append(name);
}

// Reads the service key `name`; nullopt when it is not there or does not open.
// `withLibrary`: also the "ServiceDll" of its "Parameters" key, which a shared
// host runs.
std::optional<ServiceKey> ReadService(platform::Registry& registry, std::string_view name, bool withLibrary) {
    const auto key = registry.OpenKey(Hive::LocalMachine, PathOf(name), false, platform::KeyAccess::Read);
    if (!key) return std::nullopt;
    const auto values = key->Values();
    if (!values) return std::nullopt;
    ServiceKey service;
    for (const auto& named : *values) {
        const std::string& valueName = named.first;
        const platform::RegValue& value = named.second;
        const auto text = [&value] { return platform::StringData(value).value_or(std::string()); };
        if (text::EqualsAsciiNoCase(valueName, "Type"))
            service.type = DwordOf(value).value_or(0);
        else if (text::EqualsAsciiNoCase(valueName, "Start"))
            service.start = DwordOf(value).value_or(ServiceStart::Disabled);
        else if (text::EqualsAsciiNoCase(valueName, "ImagePath"))
            service.imagePath = text();
        else if (text::EqualsAsciiNoCase(valueName, "DisplayName"))
            service.facts.displayName = text();
        else if (text::EqualsAsciiNoCase(valueName, "Description"))
            service.facts.description = text();
        else if (text::EqualsAsciiNoCase(valueName, "DelayedAutostart"))
            service.facts.delayed = DwordOf(value).value_or(0) != 0;
        else if (text::EqualsAsciiNoCase(valueName, "ServiceDll"))
            service.facts.serviceDll = text();
    }
    if (withLibrary && (service.type & ServiceType::ShareProcess)) {
        if (const auto parameters =
                registry.OpenKey(Hive::LocalMachine, PathOf(name) + "\\Parameters", false, platform::KeyAccess::Read))
            if (const auto dll = parameters->Query("ServiceDll"))
                if (const auto path = platform::StringData(*dll); path && !path->empty()) service.facts.serviceDll = *path;
    }
    return service;
}

std::string SwitchOffFailed(std::string_view name, std::string_view why) {
    return platform::QuotedMessage("Failed to switch off the service", name) + ": " + std::string(why);
}

}  // namespace

std::string ServiceFile(std::string_view text, std::string_view windows) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    std::string path;
    if (!text.empty() && text.front() == '"') {
        const std::size_t close = text.find('"', 1);
        path = std::string(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else {
        // Unquoted, the program ends with its ".exe" (a path may hold blanks),
        // or at the first blank.
        std::string lowered(text);
        for (char& c : lowered) c = text::AsciiLower(c);
        const std::size_t exe = lowered.find(".exe");
        const std::size_t end = exe != std::string::npos ? exe + 4 : text.find(' ');
        path = std::string(text.substr(0, end));
    }
    while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) path.pop_back();
    if (path.empty() || windows.empty()) return {};
    for (std::string_view root : {"%SystemRoot%", "%windir%", "\\SystemRoot"}) {
        if (path.size() > root.size() && text::EqualsAsciiNoCase(std::string_view(path).substr(0, root.size()), root) &&
            path[root.size()] == '\\')
            return std::string(windows) + path.substr(root.size());
    }
    if (path.find('%') != std::string::npos) return {};  // another variable: not known here
    const bool absolute = (path.size() > 2 && path[1] == ':') || path.starts_with("\\\\");
    return absolute ? path : text::JoinPath(windows, path);
}

void ServicesPlace::AppendItems(std::vector<StartupEntry>& entries) {
    auto& registry = store_.Facets().registry;
    auto& locale = store_.Facets().locale;
    const auto root = registry.OpenKey(Hive::LocalMachine, platform::kServicesKey, false, platform::KeyAccess::Read);
    if (!root) return;
    const auto names = root->SubKeyNames();
    if (!names) return;
    // The records of this place get their service's facts too, where it is still there.
    std::map<std::string, std::vector<std::size_t>> recorded;  // by folded name: entry indexes
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].IsActive() && entries[i].place == &location_)
            recorded[locale.FoldCase(entries[i].name)].push_back(i);
    for (const std::string& name : *names) {
        const auto found = recorded.empty() ? recorded.end() : recorded.find(locale.FoldCase(name));
        auto service = ReadService(registry, name, false);
        if (!service || (!service->Automatic() && found == recorded.end())) continue;
        if (service->type & ServiceType::ShareProcess) service = ReadService(registry, name, true);
        if (!service) continue;
        auto facts = std::make_shared<const ServiceFacts>(std::move(service->facts));
        if (found != recorded.end())
            for (std::size_t i : found->second) entries[i].service = facts;
        if (!service->Automatic()) continue;
        StartupEntry e = ActiveEntry(name, location_, std::move(service->imagePath));
        e.service = std::move(facts);
        entries.push_back(std::move(e));
    }
}

std::string ServicesPlace::CommandOf(const ItemRef& item) {
    const auto service = ReadService(store_.Facets().registry, item.name, false);
    return service && service->Automatic() ? service->imagePath : std::string();
}

PlaceItem ServicesPlace::Read(const ItemRef& ref, bool presenceOnly) {
    PlaceItem item;
    const auto service = ReadService(store_.Facets().registry, ref.name, false);
    if (!service || !service->Automatic()) return item;
    item.present = true;
    if (presenceOnly) return item;
    item.command = service->imagePath;
    item.arguments = service->facts.delayed ? kDelayedAutomatic : kAutomatic;
    return item;
}

void ServicesPlace::TakeOut(const ItemRef& ref) {
    if (const auto status = store_.Facets().services.SetStartType(ref.name, ServiceStart::Disabled, false); !status)
        throw AppError(SwitchOffFailed(ref.name, status.message));
}

void ServicesPlace::Delete(const ItemRef& ref) {
    if (const auto status = store_.Facets().services.DeleteService(ref.name); !status)
        throw AppError(DeleteFailedMessage(ref.name) + ": " + status.message);
}

void ServicesPlace::DeleteRecorded(const StartupRecord& record) {
    // A service that was switched off and whose file is gone since: the
    // record goes, and the dead service with it. One that still has its file
    // is left switched off (Refusal keeps the record from being deleted).
    if (ReadService(store_.Facets().registry, record.name, false) && Dead(record.name)) Delete({record.name});
}

void ServicesPlace::PutBack(const StartupRecord& record) {
    const auto service = ReadService(store_.Facets().registry, record.name, false);
    if (!service)
        throw AppError("The service '" + record.name +
                       "' is no longer installed: there is nothing to switch on. Its record can be deleted");
    if (service->Automatic()) return;  // back already
    const bool delayed = record.arguments == kDelayedAutomatic;
    if (const auto status = store_.Facets().services.SetStartType(record.name, ServiceStart::Automatic, delayed);
        !status)
        throw AppError(platform::QuotedMessage("Failed to switch on the service", record.name) + ": " + status.message);
}

bool ServicesPlace::Dead(std::string_view name) const {
    auto& facets = store_.Facets();
    const auto service = ReadService(facets.registry, name, true);
    if (!service) return false;
    const auto windows = facets.files.KnownFolderPath(platform::KnownFolder::Windows);
    if (!windows) return false;
    const std::string file =
        ServiceFile(service->facts.serviceDll.empty() ? service->imagePath : service->facts.serviceDll, *windows);
    return !file.empty() && !file.starts_with("\\\\") && !facets.files.FileExists(file);
}

std::optional<std::string> ServicesPlace::Refusal(PlaceChange change, std::string_view name,
                                                  std::string_view /*command*/) const {
    if (change == PlaceChange::HandOver)
        return "Confirm startup and Startup delay are not available for the service '" + std::string(name) +
               "': a service starts before anyone logs on, where Vantorell cannot start it in its stead. It can be "
               "switched off and on";
    // A service that is gone leaves nothing to refuse: its record may go.
    if (change == PlaceChange::Delete && ReadService(store_.Facets().registry, name, false) && !Dead(name))
        return "The service '" + std::string(name) +
               "' still has its file: Vantorell deletes only a service whose file is missing. It can be switched "
               "off and on";
    return std::nullopt;
}

std::vector<platform::WatchPlace> ServicesPlace::Watched() {
    // A new service writes its key's values after making the key, and an
    // updater sets a start type back with a value: the whole tree is watched.
    auto places = Place::Watched();
    places.back().subtree = true;
    return places;
}

}  // namespace vantorell::store
