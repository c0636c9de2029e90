// The services facet on Windows: changes through the Service Control Manager.
#pragma once

#include "platform/Services.h"
#include "platform/win32/DeniedWrites.h"

namespace vantorell::platform {

class Win32Services final : public Services {
public:
    explicit Win32Services(win32::DeniedWrites& denied) : denied_(denied) {}

    Status SetStartType(std::string_view name, std::uint32_t start, bool delayed) override;
    Status DeleteService(std::string_view name) override;

private:
    win32::DeniedWrites& denied_;
};

}  // namespace vantorell::platform
