#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/wine_env.h"

TEST(Family, SystemReportsTheRequestedFamily) {
  EXPECT_EQ(testenv::IsWin9xFamily(), testenv::RequestedFamily() == "9x");
}
