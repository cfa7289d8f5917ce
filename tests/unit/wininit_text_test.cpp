#include "uninstall/wininit_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Added(const std::string& ini, const char* line, size_t size = 4096) {
  std::string out(size, '#');
  size_t length = AddRenameLine(ini.data(), ini.size(), line, &out[0], size);
  if (length >= size) return "<refused>";
  EXPECT_EQ(out[length], '\0');
  return out.substr(0, length);
}

struct AddCase {
  const char* name;
  std::string ini;
  std::string expected;
};

// The 9x family carries out the lines of the section in their order and
// allows a key more than once: nothing already there may be lost or
// reordered, and the new line must land inside [rename].
TEST(WininitText, LineJoinsTheEndOfTheRenameSection) {
  const char* line = "NUL=C:\\PROGRA~1\\ZOBRIX\\ZOBRIX.EXE\r\n";
  const std::string added = line;
  const AddCase cases[] = {
      {"no file yet", "", "[rename]\r\n" + added},
      {"other sections only", "[other]\r\na=b\r\n", "[other]\r\na=b\r\n[rename]\r\n" + added},
      {"last line without line end", "[other]\r\na=b", "[other]\r\na=b\r\n[rename]\r\n" + added},
      {"repeated key kept", "[rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\B.TXT\r\n",
       "[rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\B.TXT\r\n" + added},
      {"section in the middle, blank line stays after",
       "[Rename]\r\nNUL=C:\\A.TXT\r\n\r\n[next]\r\nx=y\r\n",
       "[Rename]\r\nNUL=C:\\A.TXT\r\n" + added + "\r\n[next]\r\nx=y\r\n"},
      {"header with blanks, LF endings", "  [RENAME]\nNUL=C:\\A.TXT\n[z]\n",
       "  [RENAME]\nNUL=C:\\A.TXT\n" + added + "[z]\n"},
      {"section at the end without line end", "[rename]\r\nNUL=C:\\A.TXT",
       "[rename]\r\nNUL=C:\\A.TXT\r\n" + added},
      {"[renamed] is another section", "[renamed]\r\n", "[renamed]\r\n[rename]\r\n" + added},
  };
  for (const AddCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Added(c.ini, line), c.expected);
  }
}

TEST(WininitText, TextThatDoesNotFitIsRefused) {
  const std::string ini = "[rename]\r\n";
  const std::string line = "NUL=C:\\A.TXT\r\n";
  size_t exact = ini.size() + line.size() + 1;
  EXPECT_EQ(Added(ini, line.c_str(), exact), ini + line);
  EXPECT_EQ(Added(ini, line.c_str(), exact - 1), "<refused>");

  char buffer[16];
  EXPECT_TRUE(FormatRenameLine(buffer, sizeof(buffer), "C:\\ABCDEF"));  // exactly 16 bytes
  EXPECT_STREQ(buffer, "NUL=C:\\ABCDEF\r\n");
  EXPECT_FALSE(FormatRenameLine(buffer, sizeof(buffer), "C:\\ABCDEFG"));
}

}  // namespace
