// Windows' own startup switches: the values Task Manager and Settings write
// under kStartupApprovedKey to turn an entry off without moving it.
#pragma once

#include <memory>
#include <string_view>

#include "platform/Registry.h"
#include "store/AutostartStore.h"

namespace vantorell::store {

// Whether a switch value says "off": binary, at least 12 bytes, byte 0 bit 0
// set. Anything else (a missing value, another type, a shorter value) is "on".
bool IsSwitchedOff(const platform::RegValue& value);
// The value switched on again: bit 0 of byte 0 cleared, its other bits kept,
// the time in bytes 4 to 11 zeroed, and any bytes past the twelfth kept.
platform::RegValue SwitchedOn(platform::RegValue value);

// The switch key of a place, opened without creating it in the 64-bit view;
// nullptr for a place without switches or when the key is not there.
std::unique_ptr<platform::RegKey> OpenSwitchKey(platform::Registry& registry, const AutostartLocation& location,
                                                platform::KeyAccess access);

// Turns Windows' switch of the entry `name` back on. True when nothing is left
// to do (no switch, or it was on already, or it is on now).
bool ClearWindowsSwitch(platform::Registry& registry, const AutostartLocation& location, std::string_view name);
// Deletes the switch value of the entry `name`. True when no value is left.
bool RemoveWindowsSwitch(platform::Registry& registry, const AutostartLocation& location, std::string_view name);

}  // namespace vantorell::store
