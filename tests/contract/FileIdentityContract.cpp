// The file identity facet's contract: what a path is, read without opening
// the file (a file, a folder, nothing, a file in a folder that is not there),
// and the stamp of a held file, which other bytes of the same size never share.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using FileIdentityContract = PlatformContract;

TEST_F(FileIdentityContract, WhatAPathIsWithoutOpeningIt) {
    const std::string folder = env_->Scratch();
    const std::string file = folder + "\\" + kAccented + ".exe";
    env_->PutFile(file, "MZ file");
    auto& identity = P().fileIdentity;

    const auto facts = identity.StatFile(file);
    EXPECT_TRUE(facts.exists);
    EXPECT_FALSE(facts.directory);
    EXPECT_FALSE(facts.network);
    EXPECT_EQ(facts.size, 7u);
    const auto there = identity.StatFile(folder);
    EXPECT_TRUE(there.exists);
    EXPECT_TRUE(there.directory);
    EXPECT_FALSE(identity.StatFile(folder + "\\gone.exe").exists);
    EXPECT_FALSE(identity.StatFile(folder + "\\gone\\x.exe").exists);
    EXPECT_TRUE(identity.StatFile(folder + "\\gone\\..\\" + kAccented + ".exe").exists);
}

TEST_F(FileIdentityContract, AHeldFilesStampNamesItsBytes) {
    const std::string file = env_->Scratch() + "\\app.exe";
    env_->PutFile(file, "MZ first");
    auto& identity = P().fileIdentity;
    std::string first;
    {
        const auto hold = identity.HoldFile(file);
        ASSERT_TRUE(hold);
        first = hold->Stamp();
        EXPECT_FALSE(first.empty());
        EXPECT_EQ(hold->Stamp(), first);
    }
    env_->PutFile(file, "MZ other");  // the same size, other bytes
    const auto hold = identity.HoldFile(file);
    ASSERT_TRUE(hold);
    EXPECT_NE(hold->Stamp(), first);
    EXPECT_FALSE(identity.HoldFile(file + ".gone"));
}

}  // namespace
}  // namespace vantorell::testing
