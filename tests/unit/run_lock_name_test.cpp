#include "app/run_lock_name.h"

#include <gtest/gtest.h>

namespace {

// The published FNV-1a 64-bit values of "" and "a"; a name one byte too
// long for its buffer is refused.
TEST(RunLockName, HashOfTheFolderKeyInSixteenDigits) {
  char name[64];
  ASSERT_TRUE(FormatRunLockName(name, sizeof(name), "", 0, false));
  EXPECT_STREQ(name, "Zobrix.Setup.CBF29CE484222325");
  const char expected[] = "Global\\Zobrix.Setup.AF63DC4C8601EC8C";
  char exact[sizeof(expected)];
  ASSERT_TRUE(FormatRunLockName(exact, sizeof(exact), "a", 1, true));
  EXPECT_STREQ(exact, expected);
  EXPECT_FALSE(FormatRunLockName(exact, sizeof(exact) - 1, "a", 1, true));
}

}  // namespace
