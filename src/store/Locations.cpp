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
constexpr std::string_view kPoliciesRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr std::string_view kWindowsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr std::string_view kWinlogonKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::string_view kEnvironmentKey = "Environment";
constexpr std::string_view kActiveSetupKey = "Software\\Microsoft\\Active Setup\\Installed Components";
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
        // Places that start programs at logon without being Run keys.
        {.code = "cprun",
         .hive = Hive::CurrentUser,
         .isFolder = false,
         .keyOrFolderValue = kPoliciesRunKey,
         .policy = true},
        {.code = "lprun",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = kPoliciesRunKey,
         .oneView = true,
         .policy = true},
        {.code = "cload",
         .hive = Hive::CurrentUser,
         .isFolder = false,
         .keyOrFolderValue = kWindowsKey,
         .valueKind = PlaceKind::ListItems,
         .valueName = "Load",
         .blankSeparated = true},
        {.code = "cwinrun",
         .hive = Hive::CurrentUser,
         .isFolder = false,
         .keyOrFolderValue = kWindowsKey,
         .valueKind = PlaceKind::ListItems,
         .valueName = "Run",
         .blankSeparated = true},
        {.code = "luserinit",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = kWinlogonKey,
         .valueKind = PlaceKind::ListItems,
         .valueName = "Userinit",
         .windowsItem = "system32\\userinit.exe",
         .oneView = true,
         .reportComebacks = true},
        {.code = "lshell",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = kWinlogonKey,
         .valueKind = PlaceKind::DefaultValue,
         .valueName = "Shell",
         .windowsItem = "explorer.exe",
         .windowsDefault = "explorer.exe",
         .oneView = true,
         .reportComebacks = true},
        {.code = "cshell",
         .hive = Hive::CurrentUser,
         .isFolder = false,
         .keyOrFolderValue = kWinlogonKey,
         .valueKind = PlaceKind::DefaultValue,
         .valueName = "Shell",
         .windowsItem = "explorer.exe",
         .reportComebacks = true},
        {.code = "clogonscript",
         .hive = Hive::CurrentUser,
         .isFolder = false,
         .keyOrFolderValue = kEnvironmentKey,
         .valueKind = PlaceKind::DefaultValue,
         .valueName = "UserInitMprLogonScript"},
        {.code = "lactive",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = kActiveSetupKey,
         .valueKind = PlaceKind::StubPaths,
         .valueName = "StubPath",
         .reportComebacks = true},
        {.code = "lactive32",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = kActiveSetupKey,
         .view = RegView::Bits32,
         .valueKind = PlaceKind::StubPaths,
         .valueName = "StubPath",
         .reportComebacks = true},
        // The services that start with Windows, before anyone logs on.
        {.code = "lsvc",
         .hive = Hive::LocalMachine,
         .isFolder = false,
         .keyOrFolderValue = platform::kServicesKey,
         .valueKind = PlaceKind::Services,
         .oneView = true},
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

bool PlaceExists(platform::Registry& registry, const AutostartLocation& location) {
    // On a 32-bit Windows the 32-bit view is the only one: reading it again
    // would list every machine entry twice.
    return location.view != RegView::Bits32 || registry.HasTwoRegistryViews();
}

std::string_view ViewName(platform::Registry& registry, const AutostartLocation& location) {
    if (!location.HasViews() || !registry.HasTwoRegistryViews()) return {};
    return location.view == RegView::Bits32 ? "32" : "64";
}

std::string_view ViewName(const EntryTable& table, const StartupEntry& entry) {
    if (!entry.place || !entry.place->HasViews() || !table.twoViews) return {};
    return entry.place->view == RegView::Bits32 ? "32" : "64";
}

std::string PlaceWhere(const AutostartLocation& location, std::string_view item, bool twoViews) {
    if (location.isFolder) {
        if (!item.empty()) return std::string(item);
        return location.IsMachineWide() ? "the common Startup folder" : "the user's Startup folder";
    }
    std::string text = location.hive == Hive::CurrentUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\";
    text += location.keyOrFolderValue;
    if (location.Kind() == PlaceKind::StubPaths) text.append("\\").append(item.empty() ? "{ID}" : item);
    if (location.Kind() == PlaceKind::Services && !item.empty()) text.append("\\").append(item);
    if (!location.valueName.empty()) text.append(", value ").append(location.valueName);
    if (twoViews && location.HasViews() && location.view == RegView::Bits32) text += " (32-bit)";
    return text;
}

}  // namespace vantorell::store
