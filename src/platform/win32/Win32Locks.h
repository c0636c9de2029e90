// Locks on Windows: named mutexes, and the writers' lock of a file as a
// byte-range lock on a lock file beside it.
#pragma once

#include "platform/Clock.h"
#include "platform/Locks.h"

namespace vantorell::platform {

class Win32Locks final : public Locks {
public:
    // A writer waits for the writers' lock by this clock.
    explicit Win32Locks(Clock& clock) : clock_(clock) {}

    bool LockExists(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLock(std::string_view name) override;
    std::unique_ptr<NamedLock> CreateLockOnce(std::string_view name, bool& existed) override;
    std::unique_ptr<NamedLock> LockForWriting(std::string_view path, unsigned timeoutMs) override;

private:
    Clock& clock_;
};

}  // namespace vantorell::platform
