#include "selection/FitSize.h"

#include <gtest/gtest.h>

namespace pictrove {
namespace {

struct FitCase {
    int iw, ih, bw, bh;
    QSize expected;
};

class FitSizeTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitSizeTest, FitsTheBoxKeepingTheAspect)
{
    const FitCase c = GetParam();
    EXPECT_EQ(FitSize(c.iw, c.ih, c.bw, c.bh), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitSizeTest,
    testing::Values(FitCase{100, 80, 400, 300, {100, 80}},     // never enlarged
                    FitCase{400, 300, 400, 300, {400, 300}},   // exact fit
                    FitCase{1600, 1200, 400, 200, {267, 200}}, // height bound
                    FitCase{300, 900, 400, 300, {100, 300}},
                    FitCase{1000, 100, 400, 300, {400, 40}},   // width bound
                    // 5 * (1/2) = 2.5 and 7 * (1/2) = 3.5: halves go to even
                    FitCase{5, 4, 4, 2, {2, 2}}, FitCase{7, 4, 8, 2, {4, 2}},
                    FitCase{4, 5, 2, 8, {2, 2}},
                    FitCase{0, 0, 10, 10, {0, 0}}, FitCase{10, 10, 0, 0, {0, 0}}));

} // namespace
} // namespace pictrove
