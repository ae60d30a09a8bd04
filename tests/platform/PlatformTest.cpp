#include "platform/ProgramFolder.h"
#include "platform/Rounding.h"

#include <gtest/gtest.h>

namespace pictrove {

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.51), 3);
    EXPECT_EQ(floorToInt(-0.5), -1);
    EXPECT_EQ(roundHalfEven(5e9 + 0.5), 5000000000LL);
}

TEST(ProgramFolder, JoinTakesNoSecondSeparatorAfterTheRoot)
{
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("a")), QStringLiteral("/a"));
    EXPECT_EQ(joinPath(QStringLiteral("/x/y"), QStringLiteral("a")), QStringLiteral("/x/y/a"));
}

} // namespace pictrove
