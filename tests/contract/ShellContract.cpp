// The shell facet's contract, as far as it can run unattended: what is not
// there is neither opened, nor started, nor raised, and the call returns.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using ShellContract = PlatformContract;

TEST_F(ShellContract, WhatIsNotThereIsNeitherOpenedStartedNorRaised) {
    auto& shell = P().shell;
    const std::string missing = env_->Scratch() + "\\Gone\\tool.exe";
    const std::string missingDocument = env_->Scratch() + "\\readme " + kAccented + ".txt";
    EXPECT_FALSE(shell.ShellStart(missing));
    EXPECT_FALSE(shell.ShellStart(missingDocument));
    EXPECT_FALSE(shell.ShellOpen(missingDocument, ""));
    EXPECT_FALSE(shell.ShellOpen(missing, "open"));
    EXPECT_FALSE(shell.RaiseWindowByTitle("Vantorell contract: no window has this title " + kCjk));
}

}  // namespace
}  // namespace vantorell::testing
