#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "common/text.h"
#include "tests/unit/lead_table.h"

namespace {

// A buffer with guard bytes behind the size the function is given.
struct GuardedBuffer {
  explicit GuardedBuffer(size_t size, const char* initial = "") : size(size) {
    std::memset(bytes, '#', sizeof(bytes));
    std::strcpy(bytes, initial);
  }
  bool GuardsIntact() const {
    for (size_t i = size; i < sizeof(bytes); ++i)
      if (bytes[i] != '#') return false;
    return true;
  }
  char bytes[64];
  size_t size;
};

struct CopyCase {
  const char* src;
  size_t size;
  bool copied;
};

TEST(CopyText, ExactFitAndOneByteTooLong) {
  const CopyCase cases[] = {
      {"", 1, true}, {"abc", 4, true}, {"abc", 3, false}, {"abc", 1, false},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(std::string(c.src) + " in " + std::to_string(c.size));
    GuardedBuffer out(c.size, "");
    EXPECT_EQ(CopyText(out.bytes, c.size, c.src), c.copied);
    EXPECT_STREQ(out.bytes, c.copied ? c.src : "");
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST(CopyText, ZeroSizeWritesNothing) {
  char byte = '#';
  EXPECT_FALSE(CopyText(&byte, 0, ""));
  EXPECT_EQ(byte, '#');
}

TEST(AppendText, ExactFitAndOneByteTooLong) {
  GuardedBuffer fits(7, "abc");
  EXPECT_TRUE(AppendText(fits.bytes, fits.size, "def"));
  EXPECT_STREQ(fits.bytes, "abcdef");
  GuardedBuffer short_by_one(6, "abc");
  EXPECT_FALSE(AppendText(short_by_one.bytes, short_by_one.size, "def"));
  EXPECT_STREQ(short_by_one.bytes, "abc");
  EXPECT_TRUE(short_by_one.GuardsIntact());
}

struct CutCase {
  const char* initial;
  const char* src;
  size_t length;
  size_t size;
  bool complete;
  const char* result;
};

TEST(AppendTextCut, SingleByteCodePage) {
  const CutCase cases[] = {
      {"ab", "cdef", 4, 7, true, "abcdef"},    // exact fit
      {"ab", "cdef", 4, 6, false, "abcde"},    // one byte short
      {"ab", "cdef", 2, 7, true, "abcd"},      // length limits the source
      {"ab", "cd", 9, 7, true, "abcd"},        // the source ends first
      {"abcdef", "x", 1, 7, false, "abcdef"},  // already full
      {"", "", 0, 1, true, ""},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(std::string(c.initial) + "+" + c.src + " in " + std::to_string(c.size));
    GuardedBuffer out(c.size, c.initial);
    EXPECT_EQ(AppendTextCut(out.bytes, c.size, c.src, c.length), c.complete);
    EXPECT_STREQ(out.bytes, c.result);
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST(AppendTextCut, NeverSplitsADoubleByteCharacter) {
  auto gbk = Gbk();
  const CutCase cases[] = {
      {"a", "\xD6\xD0\xCE\xC4", 4, 6, true, "a\xD6\xD0\xCE\xC4"},
      {"a", "\xD6\xD0\xCE\xC4", 4, 5, false, "a\xD6\xD0"},  // the second character would need 2
      {"a", "\xD6\xD0\xCE\xC4", 4, 4, false, "a\xD6\xD0"},
      {"a", "\xD6\xD0\xCE\xC4", 4, 3, false, "a"},
      {"a", "b\xD6\xD0", 3, 3, false, "ab"},
      {"", "\xD6\xD0", 1, 8, false, ""},  // the bound falls inside a character
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.size));
    GuardedBuffer out(c.size, c.initial);
    EXPECT_EQ(AppendTextCut(out.bytes, c.size, c.src, c.length), c.complete);
    EXPECT_STREQ(out.bytes, c.result);
    EXPECT_TRUE(out.GuardsIntact());
  }
}

struct FormatCheckCase {
  const char* format;
  bool safe;
};

TEST(IsSafeStringFormat, AcceptsAtMostOnePercentSAndNoOtherConversion) {
  const FormatCheckCase cases[] = {
      {"%s", true},
      {"delete %s by hand", true},
      {"100%% sure: %s", true},
      {"%s%%", true},
      {"\xC4\xE3 %s", true},
      {"", true},
      {"no conversion", true},
      {"100%%", true},
      {"%%s", true},  // a literal percent and an s
      {"%s %s", false},
      {"%d", false},
      {"%s %n", false},
      {"%s %x", false},
      {"%5s", false},
      {"%-s", false},
      {"%ls", false},
      {"%S", false},
      {"%s %", false},  // a lone percent at the end
      {"%", false},
      {"%p%s", false},
  };
  for (const FormatCheckCase& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(IsSafeStringFormat(c.format), c.safe);
  }
}

struct FormatCase {
  const char* format;
  const char* arg;
  size_t size;
  bool formatted;
  const char* result;
};

TEST(FormatSingleString, ReplacesThePercentSAndLiteralPercents) {
  const FormatCase cases[] = {
      {"delete %s now", "C:\\x", 64, true, "delete C:\\x now"},
      {"%s", "", 64, true, ""},
      {"%% %s %%", "p", 64, true, "% p %"},
      {"a%sb", "xyz", 6, true, "axyzb"},   // exact fit
      {"a%sb", "xyz", 5, false, "old"},    // one byte short
      {"%s %d", "x", 64, false, "old"},    // not a safe string format
      {"100%% done", "x", 64, true, "100% done"},  // the argument left out
      {"%s", "%d%n", 64, true, "%d%n"},    // the argument is never a format
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.format);
    GuardedBuffer out(c.size, "old");
    EXPECT_EQ(FormatSingleString(out.bytes, c.size, c.format, c.arg), c.formatted);
    EXPECT_STREQ(out.bytes, c.result);
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST(IsWebAddress, TakesOnlyHttpAndHttpsAddresses) {
  const std::pair<const char*, bool> cases[] = {
      {"https://www.example.com/", true}, {"HTTP://a", true}, {"http://", false}, {"https:///x", false},
      {"C:\\Windows\\notepad.exe", false}, {"file:///C:/x.exe", false}, {"httpx://a", false},
      {"http://a b", false}, {"http://a\"b", false}, {"http://a\tb", false}, {" https://a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.first), c.second) << c.first;
}

}  // namespace
