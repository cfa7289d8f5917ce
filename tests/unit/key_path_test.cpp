#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "registry/key_path.h"

namespace {

// On 64-bit Windows the predefined handles are sign-extended 32-bit values.
const uintptr_t CurrentUserHandle64 = static_cast<uintptr_t>(static_cast<intptr_t>(
    static_cast<int32_t>(HiveCurrentUser)));

struct PathCase {
  const char* label;
  uintptr_t hive;
  const char* text;
  const char* expected;
};

const PathCase PathCases[] = {
    {"user empty text is the settings key", HiveCurrentUser, "", "Software\\Zobrix"},
    {"user relative text", HiveCurrentUser, "Setup\\.zip", "Software\\Zobrix\\Setup\\.zip"},
    {"user links", HiveCurrentUser, "Setup\\Links", "Software\\Zobrix\\Setup\\Links"},
    {"user leading backslash leaves the settings key", HiveCurrentUser, "\\Software\\Other",
     "Software\\Other"},
    {"user lone backslash is the hive root", HiveCurrentUser, "\\", ""},
    {"only the first backslash is taken off", HiveCurrentUser, "\\\\x", "\\x"},
    {"sign-extended handle is still the current user", CurrentUserHandle64, "Setup",
     "Software\\Zobrix\\Setup"},
    {"classes root unchanged", HiveClassesRoot, ".zip", ".zip"},
    {"classes root empty text", HiveClassesRoot, "", ""},
    {"classes root keeps a leading backslash", HiveClassesRoot, "\\x", "\\x"},
    {"local machine unchanged", HiveLocalMachine,
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe",
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe"},
};

class MakeRegKeyPathTexts : public testing::TestWithParam<PathCase> {};

TEST_P(MakeRegKeyPathTexts, FormsThePath) {
  const PathCase& c = GetParam();
  char out[RegKeyPathSize];
  ASSERT_TRUE(MakeRegKeyPath(c.hive, c.text, out, sizeof(out)));
  EXPECT_STREQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(All, MakeRegKeyPathTexts, testing::ValuesIn(PathCases),
                         [](const testing::TestParamInfo<PathCase>& info) {
                           std::string name;
                           for (const char* p = info.param.label; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

struct LengthCase {
  uintptr_t hive;
  size_t text_length;
  size_t size;
  bool accepted;
};

const LengthCase LengthCases[] = {
    {HiveCurrentUser, 236, 256, true},   // 16 + 236 + 1 = 253 bytes
    {HiveCurrentUser, 237, 256, false},
    {HiveClassesRoot, 236, 256, true},
    {HiveClassesRoot, 237, 256, false},
    {HiveLocalMachine, 237, 256, false},
    {HiveCurrentUser, 0, 20, true},
    {HiveCurrentUser, 1, 20, false},
    {HiveCurrentUser, 30, 50, true},
    {HiveCurrentUser, 31, 50, false},
};

class MakeRegKeyPathLength : public testing::TestWithParam<LengthCase> {};

TEST_P(MakeRegKeyPathLength, AcceptsUpToSizeMinusTwenty) {
  const LengthCase& c = GetParam();
  const std::string text(c.text_length, 'k');
  char out[RegKeyPathSize + 8];
  memset(out, '#', sizeof(out));
  EXPECT_EQ(MakeRegKeyPath(c.hive, text.c_str(), out, c.size), c.accepted);
  if (c.accepted) {
    const std::string expected =
        c.hive == HiveCurrentUser ? (text.empty() ? "Software\\Zobrix" : "Software\\Zobrix\\" + text)
                                  : text;
    EXPECT_EQ(std::string(out), expected);
    EXPECT_LT(strlen(out), c.size);
  } else {
    EXPECT_EQ(out[0], '#') << "a refused text leaves the output untouched";
  }
  // Nothing is ever written past the buffer.
  for (size_t i = c.size; i < sizeof(out); ++i) ASSERT_EQ(out[i], '#') << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(All, MakeRegKeyPathLength, testing::ValuesIn(LengthCases));

// size - 20 wraps around for a buffer below 20 bytes; such a buffer refuses
// every text instead of overflowing.
TEST(MakeRegKeyPath, RegressionSmallBufferDoesNotWrapTheLimit) {
  for (size_t size = 0; size < RegKeyPathReserve; ++size) {
    char out[RegKeyPathReserve];
    memset(out, '#', sizeof(out));
    EXPECT_FALSE(MakeRegKeyPath(HiveCurrentUser, "", out, size)) << "size " << size;
    EXPECT_FALSE(MakeRegKeyPath(HiveClassesRoot, "", out, size)) << "size " << size;
    for (char c : out) ASSERT_EQ(c, '#');
  }
}

TEST(MakeRegKeyPath, RefusesNullText) {
  char out[RegKeyPathSize] = "untouched";
  EXPECT_FALSE(MakeRegKeyPath(HiveClassesRoot, nullptr, out, sizeof(out)));
  EXPECT_STREQ(out, "untouched");
}

struct JoinCase {
  size_t path_length;
  size_t name_length;
  bool fits;
};

// The tree deletion's child paths: 512 bytes, so at most 511 characters.
const JoinCase JoinCases[] = {
    {418, 92, true},    // 511 characters: exact fit
    {418, 93, false},   // 512 characters: no room for the terminator
    {418, 199, false},
    {0, 0, true},
    {252, 199, true},
};

class JoinKeyPathFit : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinKeyPathFit, RefusesAPathThatDoesNotFit) {
  const JoinCase& c = GetParam();
  const std::string path(c.path_length, 'p');
  const std::string name(c.name_length, 'n');
  char out[512 + 8];
  memset(out, '#', sizeof(out));
  EXPECT_EQ(JoinKeyPath(path.c_str(), name.c_str(), out, 512), c.fits);
  if (c.fits)
    EXPECT_EQ(std::string(out), path + "\\" + name);
  else
    EXPECT_EQ(out[0], '#');
  for (size_t i = 512; i < sizeof(out); ++i) ASSERT_EQ(out[i], '#');
}

INSTANTIATE_TEST_SUITE_P(All, JoinKeyPathFit, testing::ValuesIn(JoinCases));

TEST(IsHiveRootPath, EmptyAndBackslashesNameTheRoot) {
  EXPECT_TRUE(IsHiveRootPath(""));
  EXPECT_TRUE(IsHiveRootPath("\\"));
  EXPECT_TRUE(IsHiveRootPath("\\\\\\"));
  EXPECT_TRUE(IsHiveRootPath(nullptr));
  EXPECT_FALSE(IsHiveRootPath("Software"));
  EXPECT_FALSE(IsHiveRootPath("\\Software"));
  EXPECT_FALSE(IsHiveRootPath("Software\\"));
}

}  // namespace
