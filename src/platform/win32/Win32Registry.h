// The registry on Windows: RegOpenKeyExW and its kin, each key opened in the
// view asked for.
#pragma once

#include "platform/Registry.h"
#include "platform/win32/DeniedWrites.h"

namespace vantorell::platform {

class Win32Registry final : public Registry {
public:
    explicit Win32Registry(win32::DeniedWrites& denied) : denied_(denied) {}

    std::unique_ptr<RegKey> OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                    RegView view = RegView::Bits64) override;
    bool HasTwoRegistryViews() override;

private:
    win32::DeniedWrites& denied_;
};

}  // namespace vantorell::platform
