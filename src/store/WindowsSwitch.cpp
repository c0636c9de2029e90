#include "store/WindowsSwitch.h"

#include <string>

namespace vantorell::store {
namespace {

constexpr unsigned char kOffBit = 0x01;
constexpr std::size_t kTimeOffset = 4;

}  // namespace

bool IsSwitchedOff(const platform::RegValue& value) {
    return value.type == platform::RegType::Binary && value.data.size() >= kSwitchSize &&
           (static_cast<unsigned char>(value.data[0]) & kOffBit) != 0;
}

platform::RegValue SwitchedOn(platform::RegValue value) {
    if (value.data.size() < kSwitchSize) return value;
    value.data[0] = static_cast<char>(static_cast<unsigned char>(value.data[0]) & ~kOffBit);
    for (std::size_t i = kTimeOffset; i < kSwitchSize; ++i) value.data[i] = '\0';
    return value;
}

std::unique_ptr<platform::RegKey> OpenSwitchKey(platform::Registry& registry, const AutostartLocation& location,
                                                platform::KeyAccess access) {
    if (location.switchKey.empty()) return nullptr;
    std::string path(kStartupApprovedKey);
    path.append("\\").append(location.switchKey);
    return registry.OpenKey(location.hive, path, false, access, platform::RegView::Bits64);
}

bool ClearWindowsSwitch(platform::Registry& registry, const AutostartLocation& location, std::string_view name) {
    auto key = OpenSwitchKey(registry, location, platform::KeyAccess::Full);
    if (!key) {
        // Not writable, or not there: only a switch that reads "off" is a failure.
        auto readable = OpenSwitchKey(registry, location, platform::KeyAccess::Read);
        if (!readable) return true;
        const auto value = readable->Query(name);
        return !value || !IsSwitchedOff(*value);
    }
    const auto value = key->Query(name);
    if (!value || !IsSwitchedOff(*value)) return true;
    if (!key->Set(name, SwitchedOn(*value))) return false;
    key->Flush();
    return true;
}

bool RemoveWindowsSwitch(platform::Registry& registry, const AutostartLocation& location, std::string_view name) {
    auto key = OpenSwitchKey(registry, location, platform::KeyAccess::Full);
    if (!key) {
        auto readable = OpenSwitchKey(registry, location, platform::KeyAccess::Read);
        return !readable || !readable->Query(name);
    }
    if (!key->Query(name)) return true;
    const bool removed = key->Delete(name) || !key->Query(name);
    key->Flush();
    return removed;
}

}  // namespace vantorell::store
