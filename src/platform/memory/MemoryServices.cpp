// The Service Control Manager of the in-memory platform: it changes the
// services' keys as the real one does, and refuses a standard user.
#include "platform/memory/MemoryPlatform.h"


namespace vantorell::platform {

namespace {

RegValue Dword(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return RegValue{RegType::Dword, bytes};
}

std::string ServiceKey(std::string_view name) {
    return std::string(kServicesKey) + "\\" + std::string(name);
}

constexpr std::string_view kNoService = "The specified service does not exist as an installed service.";
constexpr std::string_view kDenied = "Access is denied.";

}  // namespace

void MemoryPlatform::PutService(std::string_view name, const ServiceScene& service) {
    const std::string key = ServiceKey(name);
    PutValue(Hive::LocalMachine, key, "Type", Dword(service.type));
    PutValue(Hive::LocalMachine, key, "Start", Dword(service.start));
    PutValue(Hive::LocalMachine, key, "ImagePath", RegValue{RegType::ExpandSz, service.imagePath});
    if (service.delayed) PutValue(Hive::LocalMachine, key, "DelayedAutostart", Dword(1));
    if (!service.displayName.empty()) PutString(Hive::LocalMachine, key, "DisplayName", service.displayName);
    if (!service.description.empty()) PutString(Hive::LocalMachine, key, "Description", service.description);
    if (!service.serviceDll.empty())
        PutValue(Hive::LocalMachine, key + "\\Parameters", "ServiceDll",
                 RegValue{RegType::ExpandSz, service.serviceDll});
}

Status MemoryPlatform::SetStartType(std::string_view name, std::uint32_t start, bool delayed) {
    if (standardUser_) {
        ++deniedCount_;
        return Status::Fail(std::string(kDenied));
    }
    const std::string key = ServiceKey(name);
    if (!KeyExists(Hive::LocalMachine, key)) return Status::Fail(std::string(kNoService));
    if (Faulty(Op::SetValue, Hive::LocalMachine, key)) return Status::Fail("The service could not be changed.");
    PutValue(Hive::LocalMachine, key, "Start", Dword(start));
    if (start == ServiceStart::Automatic) PutValue(Hive::LocalMachine, key, "DelayedAutostart", Dword(delayed ? 1 : 0));
    return Status::Ok();
}

Status MemoryPlatform::DeleteService(std::string_view name) {
    if (standardUser_) {
        ++deniedCount_;
        return Status::Fail(std::string(kDenied));
    }
    const std::string key = ServiceKey(name);
    if (!KeyExists(Hive::LocalMachine, key)) return Status::Fail(std::string(kNoService));
    if (Faulty(Op::DeleteValue, Hive::LocalMachine, key)) return Status::Fail("The service could not be deleted.");
    RemoveKey(Hive::LocalMachine, key);
    return Status::Ok();
}

}  // namespace vantorell::platform
