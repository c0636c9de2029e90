// The locks of the in-memory platform: named locks and writers' locks held in
// this world; a test plays another holder (HoldLockElsewhere, the lock hook).
#include "platform/memory/MemoryPlatform.h"

namespace vantorell::platform {

class MemoryPlatform::MemLock final : public NamedLock {
public:
    MemLock(std::set<std::string>& locks, std::string name) : locks_(locks), name_(std::move(name)) {
        locks_.insert(name_);
    }
    ~MemLock() override { locks_.erase(name_); }

private:
    std::set<std::string>& locks_;
    std::string name_;
};

bool MemoryPlatform::LockExists(std::string_view name) {
    return locks_.count(std::string(name)) > 0;
}

std::unique_ptr<NamedLock> MemoryPlatform::CreateLock(std::string_view name) {
    return std::make_unique<MemLock>(locks_, std::string(name));
}

std::unique_ptr<NamedLock> MemoryPlatform::CreateLockOnce(std::string_view name, bool& existed) {
    existed = LockExists(name);
    if (existed) return nullptr;  // the other holder's object; this copy holds nothing
    return CreateLock(name);
}

class MemoryPlatform::WriterLock final : public NamedLock {
public:
    WriterLock(std::map<std::string, int>& locks, std::string key) : locks_(locks), key_(std::move(key)) {
        ++locks_[key_];
    }
    ~WriterLock() override {
        if (--locks_[key_] == 0) locks_.erase(key_);
    }

private:
    std::map<std::string, int>& locks_;
    std::string key_;
};

std::unique_ptr<NamedLock> MemoryPlatform::LockForWriting(std::string_view path, unsigned) {
    const std::string key = PathKey(path);
    if (heldElsewhere_.count(key)) return nullptr;
    if (!writerLocks_.count(key)) {
        ++locksTaken_[key];
        if (lockHook_) lockHook_(path);  // another writer finishes just before this one gets the lock
    }
    return std::make_unique<WriterLock>(writerLocks_, key);
}

void MemoryPlatform::HoldLockElsewhere(std::string_view path, bool held) {
    if (held)
        heldElsewhere_.insert(PathKey(path));
    else
        heldElsewhere_.erase(PathKey(path));
}

bool MemoryPlatform::WriterLockHeld(std::string_view path) const {
    return writerLocks_.count(PathKey(path)) > 0;
}

std::size_t MemoryPlatform::WritesWithoutLock(std::string_view path) const {
    const auto it = unlockedWrites_.find(PathKey(path));
    return it == unlockedWrites_.end() ? 0 : it->second;
}

std::size_t MemoryPlatform::WriterLocksTaken(std::string_view path) const {
    const auto it = locksTaken_.find(PathKey(path));
    return it == locksTaken_.end() ? 0 : it->second;
}

}  // namespace vantorell::platform
