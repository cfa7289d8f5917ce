#include <gtest/gtest.h>

#include "common/path.h"

TEST(NamePart, BareName) { EXPECT_STREQ(NamePart("file"), "file"); }
