#include "platform/win32/Win32Services.h"

#include <windows.h>
#include <winsvc.h>

#include "platform/win32/Utf.h"

namespace vantorell::platform {

namespace {

struct ServiceHandle {
    SC_HANDLE h = nullptr;
    explicit ServiceHandle(SC_HANDLE handle) : h(handle) {}
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (h) CloseServiceHandle(h);
    }
};

}  // namespace

// Opens service `name` with `access`, or says why it did not open (a refusal
// for lack of rights counted).
static SC_HANDLE OpenNamedService(win32::DeniedWrites& denied, std::string_view name, DWORD access, Status& why) {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) {
        why = Status::Fail(win32::ErrorText(denied.Count(GetLastError())));
        return nullptr;
    }
    SC_HANDLE service = OpenServiceW(manager.h, win32::Widen(name).c_str(), access);
    if (!service) why = Status::Fail(win32::ErrorText(denied.Count(GetLastError())));
    return service;
}

Status Win32Services::SetStartType(std::string_view name, std::uint32_t start, bool delayed) {
    Status why;
    ServiceHandle service(OpenNamedService(denied_, name, SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG, why));
    if (!service.h) return why;
    if (!ChangeServiceConfigW(service.h, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr))
        return Status::Fail(win32::ErrorText(denied_.Count(GetLastError())));
    if (start == ServiceStart::Automatic) {
        // Where the manager has no delayed start (Wine answers
        // ERROR_INVALID_LEVEL), the service starts as a plain automatic one.
        SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
        ChangeServiceConfig2W(service.h, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
    }
    return Status::Ok();
}

Status Win32Services::DeleteService(std::string_view name) {
    Status why;
    ServiceHandle service(OpenNamedService(denied_, name, DELETE, why));
    if (!service.h) return why;
    if (!::DeleteService(service.h) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Status::Fail(win32::ErrorText(denied_.Count(GetLastError())));
    return Status::Ok();
}

}  // namespace vantorell::platform
