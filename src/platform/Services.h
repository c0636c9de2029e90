// The services facet of the platform: what the Service Control Manager
// changes. What services there are and how they start is read from their
// registry keys (HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services), where
// the manager keeps it and where Windows reads it at its next start; only the
// changes go through the manager, which writes those keys itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Files.h"

namespace vantorell::platform {

// Start types, numbered as Windows numbers them (the "Start" value).
namespace ServiceStart {
inline constexpr std::uint32_t Boot = 0;
inline constexpr std::uint32_t System = 1;
inline constexpr std::uint32_t Automatic = 2;
inline constexpr std::uint32_t OnDemand = 3;
inline constexpr std::uint32_t Disabled = 4;
}  // namespace ServiceStart

// Service types ("Type"): a program of its own, or one of a shared host.
namespace ServiceType {
inline constexpr std::uint32_t OwnProcess = 0x10;
inline constexpr std::uint32_t ShareProcess = 0x20;
}  // namespace ServiceType

inline constexpr std::string_view kServicesKey = "System\\CurrentControlSet\\Services";

class Services {
public:
    // Sets the start type of service `name`; for an automatic start,
    // `delayed` asks for the delayed automatic start as well, which is left
    // out where the manager does not support it. Never starts or stops the
    // service. A refusal for lack of rights is counted as access denied.
    virtual Status SetStartType(std::string_view name, std::uint32_t start, bool delayed) = 0;
    // Deletes service `name` (marked for deletion; the manager removes it
    // once it is stopped and no handle is open).
    virtual Status DeleteService(std::string_view name) = 0;

protected:
    ~Services() = default;
};

}  // namespace vantorell::platform
