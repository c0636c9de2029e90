// The locks facet of the platform: system-wide named locks, and the writers'
// lock of a file.
#pragma once

#include <memory>
#include <string_view>

namespace vantorell::platform {

// The writers' lock of a file "X" is the file "X" + this suffix, beside it.
inline constexpr std::string_view kWriterLockSuffix = ".lock";

// A lock held while this object lives.
class NamedLock {
public:
    virtual ~NamedLock() = default;
};

class Locks {
public:
    // True when a lock of that name is held by some process.
    virtual bool LockExists(std::string_view name) = 0;
    // Takes the lock; nullptr when it cannot be created.
    virtual std::unique_ptr<NamedLock> CreateLock(std::string_view name) = 0;
    // Creates the lock in one step, telling in `existed` whether some process
    // held it already. The lock, or nullptr when it existed already or cannot
    // be created; two processes calling at once never both get it.
    virtual std::unique_ptr<NamedLock> CreateLockOnce(std::string_view name, bool& existed) = 0;
    // The writers' lock of a file: held by one writer at a time, across
    // processes, sessions and users, and only by those who may write the file's
    // folder. Waits until it is this caller's, at most `timeoutMs`; nullptr when
    // it could not be had. A caller that may not write that folder gets a lock
    // that holds nothing (it cannot save there). The holder may take it again
    // while it holds it. Readers need none: writers replace atomically.
    virtual std::unique_ptr<NamedLock> LockForWriting(std::string_view path, unsigned timeoutMs) = 0;

protected:
    ~Locks() = default;
};

}  // namespace vantorell::platform
