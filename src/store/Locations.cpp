// The autostart places, in the order the scan lists them.
#include "store/AutostartStore.h"

namespace vantorell::store {

using platform::Hive;
using platform::RegView;

namespace {
constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\run";
constexpr std::string_view kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runonce";
constexpr std::string_view kRunServicesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runservices";
constexpr std::string_view kRunServicesExKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runservicesex";
constexpr std::string_view kRunServicesOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runservicesonce";
constexpr std::string_view kRunOnceExKey = "Software\\Microsoft\\Windows\\CurrentVersion\\runonceex";
constexpr std::string_view kSwitchRun = "Run";
constexpr std::string_view kSwitchRun32 = "Run32";
constexpr std::string_view kSwitchFolder = "StartupFolder";
}  // namespace

const std::vector<AutostartLocation>& Locations() {
    static const std::vector<AutostartLocation> kLocations = {
        {"SUF", Hive::CurrentUser, true, "Startup", RegView::Bits64, kSwitchFolder},
        {"crun", Hive::CurrentUser, false, kRunKey, RegView::Bits64, kSwitchRun},
        {"crunonce", Hive::CurrentUser, false, kRunOnceKey},
        {"DSUF", Hive::LocalMachine, true, "Common Startup", RegView::Bits64, kSwitchFolder},
        {"lrun", Hive::LocalMachine, false, kRunKey, RegView::Bits64, kSwitchRun},
        {"lruns", Hive::LocalMachine, false, kRunServicesKey},
        {"lrunsex", Hive::LocalMachine, false, kRunServicesExKey},
        {"lrunsonce", Hive::LocalMachine, false, kRunServicesOnceKey},
        {"lrunonce", Hive::LocalMachine, false, kRunOnceKey},
        {"lrunonceex", Hive::LocalMachine, false, kRunOnceExKey},
        {"lrun32", Hive::LocalMachine, false, kRunKey, RegView::Bits32, kSwitchRun32},
        {"lruns32", Hive::LocalMachine, false, kRunServicesKey, RegView::Bits32},
        {"lrunsex32", Hive::LocalMachine, false, kRunServicesExKey, RegView::Bits32},
        {"lrunsonce32", Hive::LocalMachine, false, kRunServicesOnceKey, RegView::Bits32},
        {"lrunonce32", Hive::LocalMachine, false, kRunOnceKey, RegView::Bits32},
        {"lrunonceex32", Hive::LocalMachine, false, kRunOnceExKey, RegView::Bits32},
    };
    return kLocations;
}

const AutostartLocation* FindLocation(std::string_view code) {
    for (const auto& location : Locations())
        if (location.code == code) return &location;
    return nullptr;
}

bool IsMachinePlace(std::string_view code) {
    const AutostartLocation* location = FindLocation(code);
    return location && location->IsMachineWide();
}

bool PlaceExists(platform::Platform& platform, const AutostartLocation& location) {
    // On a 32-bit Windows the 32-bit view is the only one: reading it again
    // would list every machine entry twice.
    return location.view != RegView::Bits32 || platform.HasTwoRegistryViews();
}

std::string_view ViewName(platform::Platform& platform, const AutostartLocation& location) {
    if (!location.HasViews() || !platform.HasTwoRegistryViews()) return {};
    return location.view == RegView::Bits32 ? "32" : "64";
}

std::string_view ViewName(const EntryTable& table, const StartupEntry& entry) {
    if (!entry.place || !entry.place->HasViews() || !table.twoViews) return {};
    return entry.place->view == RegView::Bits32 ? "32" : "64";
}

std::string PlaceDescription(platform::Platform& platform, const AutostartLocation& location,
                             std::string_view folder) {
    if (location.isFolder) return std::string(folder);
    std::string text = location.hive == Hive::CurrentUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\";
    text += location.keyOrFolderValue;
    if (ViewName(platform, location) == "32") text += " (32-bit)";
    return text;
}

}  // namespace vantorell::store
