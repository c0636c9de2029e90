// The delay range rule shared by the delay dialog and the setters.
#include <gtest/gtest.h>

#include "store/StartupRecord.h"

namespace vantorell::control {
namespace {

TEST(DelayRange, TextToSeconds) {
    struct Case {
        const char* text;
        int seconds;
    };
    const Case cases[] = {
        {"0", 0},
        {"30", 30},
        {"240", 240},
        {"241", 240},
        {"300", 240},
        {"-5", 0},
        {"+7", 7},
        {" 12 ", 12},
        {"007", 7},
        {"", 0},
        {"-", 0},
        {"abc", 0},
        {"1e2", 0},
        {"12a", 0},
        {"1 2", 0},
        {"3.5", 0},
        {"99999999999999999999", 240},
        {"-99999999999999999999", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(store::DelayFromText(c.text), c.seconds) << '"' << c.text << '"';
}

}  // namespace
}  // namespace vantorell::control
