// The locale facet's contract: names equal and ordered without regard to case.
#include <gtest/gtest.h>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using LocaleContract = PlatformContract;

TEST_F(LocaleContract, ComparisonWithoutRegardToCase) {
    EXPECT_EQ(P().locale.CompareNoCase("QuickTime Task", "quicktime task"), 0);
    EXPECT_LT(P().locale.CompareNoCase("apple", "Banana"), 0);
    EXPECT_GT(P().locale.CompareNoCase("Zeta", "alpha"), 0);
    EXPECT_EQ(P().locale.CompareNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"), 0);  // Été, éTÉ
    EXPECT_NE(P().locale.CompareNoCase(" ctfmon", "ctfmon"), 0);
    EXPECT_EQ(P().locale.FoldCase("MSMSGS"), P().locale.FoldCase("msmsgs"));
    EXPECT_EQ(P().locale.FoldCase("\xC3\x85NGSTR\xC3\x96M"), P().locale.FoldCase("\xC3\xA5ngstr\xC3\xB6m"));
    EXPECT_NE(P().locale.FoldCase("a b"), P().locale.FoldCase("ab"));
    EXPECT_EQ(P().locale.FoldCase(kCjk), kCjk);
}

}  // namespace
}  // namespace vantorell::testing
