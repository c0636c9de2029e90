// What the platform contract tests need besides the Platform itself: a scratch
// folder and registry key, and ways to make files the platform has no call for
// (hidden, system, folders). One implementation per platform.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace vantorell::testing {

class ContractEnv {
public:
    virtual ~ContractEnv() = default;
    virtual platform::Platform& P() = 0;
    // An empty folder of its own, removed at the end.
    virtual std::string Scratch() = 0;
    // A registry key path under the current user's hive, removed at the end.
    virtual std::string KeyRoot() = 0;
    virtual void PutFile(const std::string& path, const std::string& bytes, bool hidden = false,
                         bool system = false) = 0;
    virtual void MakeFolder(const std::string& path) = 0;
    // From now on, writing a file fails after `bytes` bytes reached the disk.
    virtual void FailWritesAfter(std::size_t bytes) = 0;
    // A file that cannot be opened for reading while this env lives.
    virtual void LockAgainstReading(const std::string& path) = 0;
    // Lets `ms` milliseconds of the platform's clock pass on this thread, its
    // timers firing as they fall due (the virtual clock moved, or the real
    // thread's messages served meanwhile).
    virtual void Pass(unsigned ms) = 0;
    // Sets (or with nullopt removes) a variable of this process's environment.
    virtual void SetVariable(const std::string& name, const std::optional<std::string>& value) = 0;
};

// Defined once per test executable.
std::unique_ptr<ContractEnv> MakeContractEnv();

}  // namespace vantorell::testing
