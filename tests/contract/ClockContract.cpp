// The clock facet's contract: a clock that only goes forward, repeating timers
// that fire on this thread as their time comes and never once they are stopped.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using ClockContract = PlatformContract;

TEST_F(ClockContract, TimeGoesForwardAndTimersFireUntilStopped) {
    auto& clock = P().clock;
    const std::uint64_t start = clock.TickMs();
    int fast = 0, once = 0, never = 0;
    const platform::TimerId fastId = clock.StartTimer(50, [&] { ++fast; });
    platform::TimerId onceId = 0;
    onceId = clock.StartTimer(50, [&] {
        ++once;
        clock.StopTimer(onceId);  // from inside its own callback
    });
    const platform::TimerId neverId = clock.StartTimer(50, [&] { ++never; });
    clock.StopTimer(neverId);
    EXPECT_EQ(fast + once, 0) << "nothing fires before the thread lets time pass";

    env_->Pass(400);
    EXPECT_GE(clock.TickMs() - start, 400u);
    EXPECT_GE(fast, 2);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(never, 0);

    clock.StopTimer(fastId);
    clock.StopTimer(fastId);  // a second stop does nothing
    const int fired = fast;
    const std::uint64_t before = clock.TickMs();
    env_->Pass(200);
    EXPECT_GE(clock.TickMs(), before);
    EXPECT_EQ(fast, fired);
}

}  // namespace
}  // namespace vantorell::testing
