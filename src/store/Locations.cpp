// The ten autostart places, in the order the scan lists them.
#include "store/AutostartStore.h"

namespace vantorell::store {

using platform::Hive;

const std::vector<AutostartLocation>& Locations() {
    static const std::vector<AutostartLocation> kLocations = {
        {"SUF", Hive::CurrentUser, true, "Startup"},
        {"crun", Hive::CurrentUser, false, "Software\\Microsoft\\Windows\\CurrentVersion\\run"},
        {"crunonce", Hive::CurrentUser, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runonce"},
        {"DSUF", Hive::LocalMachine, true, "Common Startup"},
        {"lrun", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\run"},
        {"lruns", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runservices"},
        {"lrunsex", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runservicesex"},
        {"lrunsonce", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runservicesonce"},
        {"lrunonce", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runonce"},
        {"lrunonceex", Hive::LocalMachine, false, "Software\\Microsoft\\Windows\\CurrentVersion\\runonceex"},
    };
    return kLocations;
}

const AutostartLocation* FindLocation(std::string_view code) {
    for (const auto& location : Locations())
        if (location.code == code) return &location;
    return nullptr;
}

}  // namespace vantorell::store
