// The processes facet's contract, as far as it is this process: its
// executable's full path, and its environment read back as it was set.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using ProcessesContract = PlatformContract;

TEST_F(ProcessesContract, TheExecutablesPathIsFull) {
    const std::string exe = P().processes.ExecutablePath();
    ASSERT_GE(exe.size(), 7u) << exe;
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(exe[0])) && exe[1] == ':' && exe[2] == '\\') << exe;
    EXPECT_EQ(P().locale.FoldCase(exe.substr(exe.size() - 4)), P().locale.FoldCase(".exe")) << exe;
}

// Names without regard to case; values in UTF-8 whatever their script; a
// variable set to nothing is set, one removed is not.
TEST_F(ProcessesContract, TheEnvironmentIsReadAsItWasSet) {
    auto& processes = P().processes;
    const struct Case {
        std::string name;
        std::optional<std::string> value;
    } cases[] = {
        {"VANTORELL_CONTRACT_A", "C:\\Tools"},
        {"VANTORELL_CONTRACT_B", kAccented + " " + kCjk},
        {"VANTORELL_CONTRACT_C", ""},
        {"VANTORELL_CONTRACT_D", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        env_->SetVariable(c.name, c.value);
        EXPECT_EQ(processes.EnvironmentVariable(c.name), c.value);
        std::string lower = c.name;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(processes.EnvironmentVariable(lower), c.value);
    }
    env_->SetVariable("VANTORELL_CONTRACT_A", std::nullopt);
    EXPECT_EQ(processes.EnvironmentVariable("VANTORELL_CONTRACT_A"), std::nullopt);
}

}  // namespace
}  // namespace vantorell::testing
