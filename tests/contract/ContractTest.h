// The fixture of the platform contract: one suite per facet
// (RegistryContract.cpp, FilesContract.cpp, LocksContract.cpp,
// LocaleContract.cpp, FileIdentityContract.cpp, ClockContract.cpp,
// ProcessesContract.cpp, ShellContract.cpp), each run natively against the in-memory platform and
// under Wine against the real Win32 platform.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "contract/ContractEnv.h"
#include "platform/Errors.h"
#include "platform/RegistryKey.h"

namespace vantorell::testing {

inline const std::string kAccented = "Caf\xC3\xA9 \xC3\x85ngstr\xC3\xB6m";  // Café Ångström
inline const std::string kCjk = "\xE5\x90\xAF\xE5\x8A\xA8\xE9\xA1\xB9";     // 启动项

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override { env_ = MakeContractEnv(); }
    void TearDown() override {
        reg_.reset();
        env_.reset();
    }
    platform::Platform& P() { return env_->P(); }

    // The scratch key of the current-user hive, opened once.
    platform::RegistryKey& Reg() {
        if (!reg_) reg_ = platform::RegistryKey::Open(P().registry, platform::Hive::CurrentUser, env_->KeyRoot(), true);
        EXPECT_TRUE(reg_.has_value());
        return *reg_;
    }
    void CloseReg() { reg_.reset(); }
    void PutRaw(const std::string& name, std::uint32_t type, const std::string& data) {
        auto key = P().registry.OpenKey(platform::Hive::CurrentUser, env_->KeyRoot(), true, platform::KeyAccess::Full);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->Set(name, platform::RegValue{type, data}));
    }
    std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const AppError& e) {
            return e.what();
        }
        return "(no error)";
    }

    std::unique_ptr<ContractEnv> env_;
    std::optional<platform::RegistryKey> reg_;
};

}  // namespace vantorell::testing
