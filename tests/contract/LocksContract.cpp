// The locks facet's contract.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using LocksContract = PlatformContract;

TEST_F(LocksContract, ALockIsTakenInOneStepByOneHolder) {
    const std::string name = "vantorell-contract-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    bool existed = true;
    auto first = P().locks.CreateLockOnce(name, existed);
    ASSERT_TRUE(first);
    EXPECT_FALSE(existed);
    auto second = P().locks.CreateLockOnce(name, existed);
    EXPECT_FALSE(second);
    EXPECT_TRUE(existed);
    first.reset();
    auto third = P().locks.CreateLockOnce(name, existed);
    EXPECT_TRUE(third);
    EXPECT_FALSE(existed);
}

}  // namespace
}  // namespace vantorell::testing
