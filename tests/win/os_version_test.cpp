#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "common/os_version.h"
#include "common/path.h"
#include "tests/support/wine_env.h"

namespace {

TEST(Family, SystemReportsTheRequestedFamily) {
  EXPECT_EQ(testenv::IsWin9xFamily(), testenv::RequestedFamily() == "9x");
}

// Callers only ask whether it is zero.
TEST(GetNtVersion, IsZeroExactlyOnThe9xFamily) {
  EXPECT_EQ(GetNtVersion() == 0, testenv::RequestedFamily() == "9x");
}

struct CompareCase {
  const char* a;
  const char* b;
  int sign;
};

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

TEST(CompareTextNoCase, IgnoresCaseAndOrders) {
  const CompareCase cases[] = {
      {"ComboBox", "COMBOBOX", 0},
      {"RichEdit", "RICHEDIT", 0},
      {"", "", 0},
      {"Button", "ComboBox", -1},
      {"combobox", "Button", 1},
      {"abc", "abcd", -1},
      {"abcd", "ABC", 1},
      {"", "a", -1},
      // "中文" in code page 936 against itself
      {"\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4", 0},
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    int result = CompareTextNoCase(c.a, c.b);
    EXPECT_EQ(Sign(result), c.sign);
    EXPECT_GE(result, -1);  // CSTR_LESS_THAN..CSTR_GREATER_THAN minus 2
    EXPECT_LE(result, 1);
  }
}

TEST(CompareTextNoCase, FailedComparisonGivesMinusTwo) {
  EXPECT_EQ(CompareTextNoCase(nullptr, "a"), -2);
}

TEST(LeadByteTable, FilledFromTheAnsiCodePageBeforeMain) {
  CPINFO info;
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  EXPECT_EQ(LeadByteTable.MultiByte, info.MaxCharSize > 1);
  for (int value = 0; value < 256; ++value)
    EXPECT_EQ(LeadByteTable.Lead[value], IsDBCSLeadByte(static_cast<BYTE>(value)) != FALSE) << value;
  if (GetACP() == 936) {
    EXPECT_TRUE(LeadByteTable.MultiByte);
    EXPECT_TRUE(LeadByteTable.Lead[0x81]);
    EXPECT_TRUE(LeadByteTable.Lead[0xFE]);
    EXPECT_FALSE(LeadByteTable.Lead[0x80]);
    EXPECT_FALSE(LeadByteTable.Lead['\\']);
  }
}

TEST(NamePart, SystemCodePageKeepsDoubleByteCharactersWhole) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936";
  // "\x95\x5C" is one character whose trail byte is the backslash value
  EXPECT_STREQ(NamePart("C:\\dir\\a\x95\x5C" "b"), "a\x95\x5C" "b");
  char path[16] = "C:\\a\x95\x5C";
  EXPECT_TRUE(AppendBackslash(path, sizeof(path)));
  EXPECT_STREQ(path, "C:\\a\x95\x5C\\");
}

}  // namespace
