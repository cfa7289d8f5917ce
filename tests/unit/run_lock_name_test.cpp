#include "app/run_lock_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The published FNV-1a 64-bit values of "" and "a".
TEST(RunLockName, HashOfTheFolderKeyInSixteenDigits) {
  char name[64];
  ASSERT_TRUE(FormatRunLockName(name, sizeof(name), "", 0, false));
  EXPECT_STREQ(name, "Zobrix.Setup.CBF29CE484222325");
  ASSERT_TRUE(FormatRunLockName(name, sizeof(name), "a", 1, true));
  EXPECT_STREQ(name, "Global\\Zobrix.Setup.AF63DC4C8601EC8C");
  // every byte counts, the NUL of a UTF-16 text too
  std::string first, second;
  ASSERT_TRUE(FormatRunLockName(name, sizeof(name), "C\0:\0", 4, false));
  first = name;
  ASSERT_TRUE(FormatRunLockName(name, sizeof(name), "C\0:\0", 3, false));
  second = name;
  EXPECT_NE(first, second);
}

TEST(RunLockName, FitsExactlyOrIsRefused) {
  const std::string expected = "Global\\Zobrix.Setup.AF63DC4C8601EC8C";
  std::vector<char> exact(expected.size() + 1, 'x');
  ASSERT_TRUE(FormatRunLockName(exact.data(), exact.size(), "a", 1, true));
  EXPECT_EQ(std::string(exact.data()), expected);
  std::vector<char> short_by_one(expected.size(), 'x');
  EXPECT_FALSE(FormatRunLockName(short_by_one.data(), short_by_one.size(), "a", 1, true));
}

}  // namespace
