#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "common/path.h"
#include "tests/unit/lead_table.h"

namespace {

// A GBK character whose trail byte is the backslash.
const char kTrailBackslash[] = "\x95\x5C";

struct NamePartCase {
  const char* path;
  const char* name;
};

TEST(NamePart, SingleByteCodePage) {
  const NamePartCase cases[] = {
      {"C:\\dir\\file.txt", "file.txt"},
      {"dir/file", "file"},
      {"C:file", "file"},
      {"file", "file"},
      {"", ""},
      {"C:\\dir\\", ""},
      {"C:", ""},
      {"\\", ""},
      {"a\\b/c", "c"},
      {"C:\\dir/sub\\name", "name"},
  };
  for (const NamePartCase& c : cases) {
    SCOPED_TRACE(c.path);
    const char* name = NamePart(c.path);
    EXPECT_STREQ(name, c.name);
    // the result lies inside the argument, never in a copy
    EXPECT_GE(name, c.path);
    EXPECT_LE(name, c.path + std::strlen(c.path));
  }
}

// Windows drops a trailing blank or dot of a name, so such a part names
// another file; the steps "." and ".." are no names.
TEST(HasPartEndingInBlankOrDot, AnyPartCounts) {
  const std::pair<const char*, bool> cases[] = {
      {"C:\\T2\\Zobrix\\uninstall.exe", false},
      {"C:\\T2\\Zobrix \\uninstall.exe", true},
      {"C:\\T2\\Zobrix.\\uninstall.exe", true},
      {"C:\\T2\\Zobrix\\uninstall.exe.", true},
      {"C:\\T2\\Zobrix\\uninstall.exe ", true},
      {"C:\\T2 \\Zobrix\\uninstall.exe", true},
      {"C:\\T2/Zobrix ./a", true},
      {"C:\\Program Files\\Zobrix 2\\.hidden\\a.b.exe", false},
      {"C:\\T2\\..\\.\\Zobrix\\", false},
      {"C:\\T2\\...\\a", true},
      {"\\\\server\\share\\a", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(HasPartEndingInBlankOrDot(c.first), c.second) << c.first;
}

// A trail byte that equals the blank or dot value is part of its character.
TEST(HasPartEndingInBlankOrDot, TrailBytesAreNotBlanksOrDots) {
  auto gbk = Gbk();
  EXPECT_FALSE(HasPartEndingInBlankOrDot("C:\\a\x81\x20\\b"));
  EXPECT_FALSE(HasPartEndingInBlankOrDot("C:\\a\x81\x2E\\b"));
  EXPECT_TRUE(HasPartEndingInBlankOrDot("C:\\a\x81\x41 \\b"));
}

TEST(NamePart, EmptyPathGivesThatPath) {
  const char* empty = "";
  EXPECT_EQ(NamePart(empty), empty);
}

TEST(NamePart, TrailByteEqualToBackslashIsNotASeparator) {
  auto gbk = Gbk();
  std::string path = std::string("C:\\dir\\a") + kTrailBackslash + "b";
  EXPECT_STREQ(NamePart(path.c_str()), (std::string("a") + kTrailBackslash + "b").c_str());
  std::string folder_only = std::string("x") + kTrailBackslash;
  EXPECT_STREQ(NamePart(folder_only.c_str()), folder_only.c_str());
}

TEST(NamePart, SingleByteTableSplitsAtThatByte) {
  // the same bytes in a single-byte code page: 0x5C is a backslash
  std::string path = std::string("a") + kTrailBackslash + "b";
  EXPECT_STREQ(NamePart(path.c_str()), "b");
}

TEST(NamePart, DriveColonAfterLeadByteIsNotADrive) {
  auto gbk = Gbk();
  // 0x95 starts a double-byte character, so "\x95:" is one character
  EXPECT_STREQ(NamePart("\x95:name"), "\x95:name");
  EXPECT_STREQ(NamePart("C:name"), "name");
}

TEST(NamePart, MutableOverloadPointsIntoTheBuffer) {
  char path[] = "C:\\dir\\old.exe";
  char* name = NamePart(path);
  std::strcpy(name, "new.dll");
  EXPECT_STREQ(path, "C:\\dir\\new.dll");
}

TEST(NextCharPtr, StepsOverDoubleByteCharacters) {
  auto gbk = Gbk();
  const char text[] = "a\x95\x5C" "b";
  const char* p = text;
  p = NextCharPtr(LeadByteTable, p);
  EXPECT_EQ(p, text + 1);
  p = NextCharPtr(LeadByteTable, p);
  EXPECT_EQ(p, text + 3);
  p = NextCharPtr(LeadByteTable, p);
  EXPECT_EQ(p, text + 4);
  EXPECT_EQ(NextCharPtr(LeadByteTable, p), p);  // the terminator stays put
}

TEST(NextCharPtr, LeadByteBeforeTerminatorCountsAsOneByte) {
  auto gbk = Gbk();
  const char text[] = "\x95";
  EXPECT_EQ(NextCharPtr(LeadByteTable, text), text + 1);
  EXPECT_EQ(StepChar(text), text + 1);
}

TEST(StepChar, SingleByteTableStepsByOne) {
  const char text[] = "\x95\x5C";
  EXPECT_EQ(StepChar(text), text + 1);
  EXPECT_EQ(StepChar(text + 2), text + 2);
}

TEST(PathCharacters, SeparatorsAndColon) {
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_FALSE(IsPathSeparator(':'));
  EXPECT_FALSE(IsPathSeparator('\0'));
  EXPECT_FALSE(IsPathSeparator(0x5C + 0x100));
  EXPECT_TRUE(IsDriveColon(':'));
  EXPECT_FALSE(IsDriveColon(';'));
}

struct LastCharCase {
  const char* text;
  size_t offset;  // of the last character
};

TEST(LastCharPtr, SingleByteCodePage) {
  const LastCharCase cases[] = {{"", 0}, {"a", 0}, {"abc", 2}, {"C:\\dir\\", 6}};
  for (const LastCharCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LastCharPtr(c.text), c.text + c.offset);
  }
}

TEST(LastCharPtr, DoubleByteCharacterCountsAsOne) {
  auto gbk = Gbk();
  const LastCharCase cases[] = {
      {"a\x95\x5C", 1},
      {"\x95\x5C", 0},
      {"\x95\x5C" "b", 2},
      {"\x95\x5C\x95\x5C", 2},
      {"ab\x95", 2},  // a lone lead byte at the end
  };
  for (const LastCharCase& c : cases) {
    SCOPED_TRACE(c.offset);
    EXPECT_EQ(LastCharPtr(c.text), c.text + c.offset);
  }
}

struct AppendCase {
  const char* path;
  const char* result;
};

TEST(AppendBackslash, SingleByteCodePage) {
  const AppendCase cases[] = {
      {"", ""},
      {"C:\\dir\\", "C:\\dir\\"},
      {"C:\\dir", "C:\\dir\\"},
      {"C:\\dir/", "C:\\dir/\\"},
      {"C:", "C:\\"},
      {"\\", "\\"},
  };
  for (const AppendCase& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[64];
    std::strcpy(buffer, c.path);
    EXPECT_TRUE(AppendBackslash(buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, c.result);
  }
}

TEST(AppendBackslash, TrailByteEqualToBackslashIsNotATrailingBackslash) {
  auto gbk = Gbk();
  char buffer[16] = "C:\\a\x95\x5C";
  EXPECT_TRUE(AppendBackslash(buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "C:\\a\x95\x5C\\");
  // a real backslash after the character is seen
  EXPECT_TRUE(AppendBackslash(buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "C:\\a\x95\x5C\\");
}

struct AppendFitCase {
  const char* path;
  size_t size;  // of the buffer
  bool appended;
  const char* result;
};

TEST(AppendBackslash, ExactFitAndOneByteShort) {
  const AppendFitCase cases[] = {
      {"C:\\d", 6, true, "C:\\d\\"},   // backslash and NUL fill the buffer exactly
      {"C:\\d", 5, false, "C:\\d"},      // one byte short: refused, unchanged
      {"C:\\dd", 6, false, "C:\\dd"},
      {"C:\\", 4, true, "C:\\"},         // full, but nothing to add
      {"", 1, true, ""},
  };
  for (const AppendFitCase& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + std::to_string(c.size));
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    std::strcpy(buffer, c.path);
    EXPECT_EQ(AppendBackslash(buffer, c.size), c.appended);
    EXPECT_STREQ(buffer, c.result);
    // nothing written past the given size
    for (size_t i = c.size; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], '#') << i;
  }
}

// Names that a translation gives shortcuts: only a name that stays in its
// folder and names a file passes.
TEST(IsPlainFileName, RefusesWhatLeavesTheFolderOrNamesADevice) {
  const std::pair<const char*, bool> cases[] = {
      {"Zobrix help", true}, {"a.b c", true}, {"com10", true}, {"CONSOLE", true}, {"NUL", false},
      {"con.txt", false}, {"Lpt9 .x", false}, {"COM0", true}, {"", false}, {"..\\up", false},
      {"a/b", false}, {"C:name", false}, {"..", false}, {"a..b", false}, {"name.", false},
      {"name ", false}, {"tab\there", false}, {"what?", false}, {"\"q\"", false}, {"a|b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainFileName(c.first), c.second) << c.first;
  auto gbk = Gbk();
  // A lead byte before a byte below 0x40 stands alone, as in the list
  // entries: Windows may read the "/", ":" or "*" after it.
  const std::pair<std::string, bool> gbk_cases[] = {
      {std::string("a") + kTrailBackslash, true}, {"\x81/x", false}, {"\x81:stream", false},
      {"\x81*", false}, {"\x81.", false}, {"\x81\x40.txt", true}, {"a\x81", true},
  };
  for (const auto& c : gbk_cases) EXPECT_EQ(IsPlainFileName(c.first.c_str()), c.second) << c.first;
}

// --- ProgramFolderOf -------------------------------------------------------

struct FolderCase {
  const char* program;
  bool ok;
  const char* folder;
};

TEST(ProgramFolderOf, CutsAtTheLastBackslash) {
  const FolderCase cases[] = {
      {"C:\\Program Files\\Zobrix\\uninstall.exe", true, "C:\\Program Files\\Zobrix"},
      {"C:\\Zobrix\\uninstall.exe", true, "C:\\Zobrix"},
      {"\\\\server\\share\\uninstall.exe", true, "\\\\server\\share"},
      {"uninstall.exe", false, ""},
      {"C:uninstall.exe", false, ""},
      {"", false, ""},
  };
  for (const FolderCase& c : cases) {
    char folder[64] = "unchanged";
    EXPECT_EQ(ProgramFolderOf(c.program, folder, sizeof(folder)), c.ok) << c.program;
    if (c.ok) {
      EXPECT_STREQ(folder, c.folder) << c.program;
    }
  }
}

TEST(ProgramFolderOf, DriveRootKeepsItsBackslash) {
  char folder[16];
  ASSERT_TRUE(ProgramFolderOf("C:\\uninstall.exe", folder, sizeof(folder)));
  EXPECT_STREQ(folder, "C:\\");
  ASSERT_TRUE(ProgramFolderOf("d:\\x", folder, sizeof(folder)));
  EXPECT_STREQ(folder, "d:\\");
}

TEST(ProgramFolderOf, TrailByteBackslashIsNotASeparator) {
  auto gbk = Gbk();  // "\x81\x5C" (乗) has the backslash as its trail byte
  char folder[32];
  // C:\乗\u.exe: the separator is the backslash after the character.
  ASSERT_TRUE(ProgramFolderOf("C:\\\x81\x5C\\u.exe", folder, sizeof(folder)));
  EXPECT_STREQ(folder, "C:\\\x81\x5C");
  // C:\ab乗u.exe: the only separator is the one after the drive.
  ASSERT_TRUE(ProgramFolderOf("C:\\ab\x81\x5Cu.exe", folder, sizeof(folder)));
  EXPECT_STREQ(folder, "C:\\");
}

TEST(ProgramFolderOf, WithoutLeadBytesTheSameBytesSplitAtTheLastBackslash) {
  char folder[32];
  ASSERT_TRUE(ProgramFolderOf("C:\\ab\x81\x5Cu.exe", folder, sizeof(folder)));
  EXPECT_STREQ(folder, "C:\\ab\x81");
}

TEST(ProgramFolderOf, ExactFitAndOneByteTooLong) {
  const char* program = "C:\\abc\\u.exe";  // folder "C:\abc": 6 characters
  char folder[7];
  EXPECT_TRUE(ProgramFolderOf(program, folder, 7));
  EXPECT_STREQ(folder, "C:\\abc");
  char small[6] = "xxxxx";
  EXPECT_FALSE(ProgramFolderOf(program, small, 6));
}

}  // namespace
