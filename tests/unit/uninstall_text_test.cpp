#include "uninstall/uninstall_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/list_entries.h"
#include "common/path.h"
#include "tests/unit/lead_table.h"

namespace {

// --- TrimLineEnd -----------------------------------------------------------

struct TrimCase {
  const char* text;
  const char* expected;
};

TEST(UninstallTrimLineEnd, RemovesTrailingLineEndsBlanksAndTabsOnly) {
  const TrimCase cases[] = {
      {"file.txt\r\n", "file.txt"},
      {"file.txt\n", "file.txt"},
      {"file.txt \t \r\n", "file.txt"},
      {"file.txt\n\r \n", "file.txt"},
      {"  leading.txt", "  leading.txt"},
      {"\tleading.txt\n", "\tleading.txt"},
      {"a b\tc", "a b\tc"},
      {"inner\rcr\r", "inner\rcr"},
      {" \t\r\n", ""},
      {"", ""},
      {"x", "x"},
  };
  for (const TrimCase& c : cases) {
    std::string buffer = c.text;
    char* result = TrimLineEnd(&buffer[0]);
    EXPECT_EQ(result, &buffer[0]) << "returns its argument";
    EXPECT_STREQ(result, c.expected) << "text: \"" << c.text << "\"";
  }
}

TEST(UninstallTrimLineEnd, TrimmedLengthStopsAtTheGivenLength) {
  EXPECT_EQ(TrimmedLength("ab \r\ncd", 4), 2u);
  EXPECT_EQ(TrimmedLength("ab", 0), 0u);
  EXPECT_EQ(TrimmedLength("  ", 2), 0u);
}

// --- IsEntryInsideFolder ---------------------------------------------------

struct EntryCase {
  const char* entry;
  bool inside;
};

TEST(UninstallEntrySafety, AcceptsRelativeEntriesAndRefusesAnyWayOut) {
  const EntryCase cases[] = {
      {"file.txt", true},
      {"sub\\file.txt", true},
      {"sub/file.txt", true},
      {"sub\\deeper\\", true},
      {".\\file.txt", true},
      {"sub\\.\\file.txt", true},
      {"  leading blank.txt", true},
      {" \\file.txt", true},
      {"a..b", true},
      {"..a", true},
      {"a.", true},
      {"sub\\..name\\x", true},
      {"file.txt:stream", true},
      // Outside the folder.
      {"..\\outside.txt", false},
      {"../outside.txt", false},
      {"..", false},
      {"sub\\..", false},
      {"sub\\..\\..\\outside.txt", false},
      {"sub/../x", false},
      {"...\\x", false},
      {"sub\\...\\x", false},
      {". .\\x", false},
      {".. \\x", false},
      {"C:\\Windows\\x", false},
      {"c:x", false},
      {"C:", false},
      {"\\x", false},
      {"/x", false},
      {"\\\\server\\share\\x", false},
      {"\\\\?\\C:\\x", false},
      // Patterns: the 9x family's deletion takes them as such.
      {"*.*", false},
      {"?.txt", false},
      {"sub\\*", false},
      {"sub*\\a.txt", false},
      // The folder itself.
      {".", false},
      {".\\", false},
      {"./.", false},
      {"", false},
  };
  for (const EntryCase& c : cases)
    EXPECT_EQ(IsEntryInsideFolder(c.entry, std::string(c.entry).size()), c.inside)
        << "entry: " << c.entry;
}

TEST(UninstallEntrySafety, LooksOnlyAtTheGivenLength) {
  EXPECT_TRUE(IsEntryInsideFolder("sub\\..", 4));
  EXPECT_FALSE(IsEntryInsideFolder("..\\x", 2));
}

TEST(UninstallEntrySafety, TrailByteBackslashDoesNotStartAComponent) {
  auto gbk = Gbk();  // "\x81\x5C" (乗) has the backslash as its trail byte
  // 乗.. is one name, not "\x81" followed by a ".." component.
  EXPECT_TRUE(IsEntryInsideFolder("\x81\x5C..", 4));
  EXPECT_TRUE(IsEntryInsideFolder("sub\\\x81\x5C..\\x", 10));
  EXPECT_FALSE(IsEntryInsideFolder("\x81\x5C\\..\\x", 7));
}

// Found by the list fuzzer: "\x81/" is no valid character; Windows may read
// the lead byte alone and the "/" as a separator, and then "\x81/.." is the
// folder itself.
TEST(UninstallEntrySafety, LeadByteBeforeAByteThatIsNoTrailByteStandsAlone) {
  auto gbk = Gbk();
  EXPECT_FALSE(IsEntryInsideFolder("\x81/..", 4));
  EXPECT_FALSE(IsEntryInsideFolder("\x81 ..\x81/..", 8));
  EXPECT_TRUE(IsEntryInsideFolder("\x81/x", 3));
  EXPECT_FALSE(IsEntryInsideFolder("\x81*", 2));
  EXPECT_FALSE(IsEntryInsideFolder("\x81:x", 3));
}

TEST(UninstallEntrySafety, WithoutLeadBytesTheSameBytesHoldADotDotComponent) {
  EXPECT_FALSE(IsEntryInsideFolder("\x81\x5C..", 4));
}

// --- JoinEntryPath and BatchFilePath ---------------------------------------

TEST(UninstallJoinEntryPath, FolderAndEntryWithNothingBetween) {
  char path[64];
  ASSERT_TRUE(JoinEntryPath(path, sizeof(path), "C:\\Zobrix\\", "sub\\a.txt\r\n", 9));
  EXPECT_STREQ(path, "C:\\Zobrix\\sub\\a.txt");
}

TEST(UninstallJoinEntryPath, ExactFitAndOneByteTooLong) {
  const char* folder = "C:\\F\\";  // 5 bytes
  char path[10];
  EXPECT_TRUE(JoinEntryPath(path, 10, folder, "abcd", 4));
  EXPECT_STREQ(path, "C:\\F\\abcd");
  EXPECT_FALSE(JoinEntryPath(path, 10, folder, "abcde", 5));
  EXPECT_FALSE(JoinEntryPath(path, 0, folder, "a", 1));
}

TEST(UninstallBatchFilePath, TempFolderAndFixedName) {
  char path[64];
  ASSERT_TRUE(BatchFilePath(path, sizeof(path), "C:\\TEMP\\"));
  EXPECT_STREQ(path, "C:\\TEMP\\Uninstall_Kex.Bat");
  std::string expected = "C:\\TEMP\\Uninstall_Kex.Bat";
  std::vector<char> exact(expected.size() + 1);
  EXPECT_TRUE(BatchFilePath(exact.data(), exact.size(), "C:\\TEMP\\"));
  EXPECT_FALSE(BatchFilePath(exact.data(), exact.size() - 1, "C:\\TEMP\\"));
}

// The elevated run's folder: a fixed prefix and the 64-bit number in
// sixteen upper-case hexadecimal digits, leading zeros kept; exact fit.
TEST(UninstallBatchFolderPath, NumberInSixteenHexDigits) {
  char path[64];
  ASSERT_TRUE(BatchFolderPath(path, sizeof(path), "C:\\W\\Temp\\", 0x1ABull));
  EXPECT_STREQ(path, "C:\\W\\Temp\\Uninstall_Kex_00000000000001AB");
  EXPECT_TRUE(BatchFolderPath(path, 41, "C:\\W\\Temp\\", 0xFEDCBA9876543210ull));
  EXPECT_STREQ(path, "C:\\W\\Temp\\Uninstall_Kex_FEDCBA9876543210");
  EXPECT_FALSE(BatchFolderPath(path, 40, "C:\\W\\Temp\\", 0xFEDCBA9876543210ull));
}

// --- The protected folder's security descriptor ----------------------------

// Administrators (BA) and SYSTEM (SY) alone may write, delete or change the
// folder's contents: read from the text form, a protected list ("P", nothing
// passed down from the temporary folder) of allowing entries for those two
// only, each with full access that the batch file inherits; owned by one of
// them, since an owner may always rewrite the list.
TEST(UninstallProtectedFolder, OnlySystemAndAdministratorsAndNothingInherited) {
  const std::string text = ProtectedFolderSecurity();
  std::smatch whole;
  ASSERT_TRUE(std::regex_match(text, whole, std::regex(R"(O:(BA|SY)D:([A-Z]*)((\([^)]*\))+))")))
      << text << ": another owner, or more than an owner and an access list";
  EXPECT_NE(whole[2].str().find('P'), std::string::npos) << "the list is not protected";
  std::string entries = whole[3];
  const std::regex entry(R"(\(([^;]*);([^;]*);([^;]*);[^;]*;[^;]*;([^)]*)\))");
  std::vector<std::string> full;
  for (std::sregex_iterator it(entries.begin(), entries.end(), entry), end; it != end; ++it) {
    const std::smatch& e = *it;
    SCOPED_TRACE(e.str());
    EXPECT_TRUE(e[4] == "BA" || e[4] == "SY");
    EXPECT_EQ(e[1], "A");
    std::string flags = e[2];
    if ((e[3] == "FA" || e[3] == "GA") && flags.find("OI") != std::string::npos &&
        flags.find("CI") != std::string::npos && flags.find("IO") == std::string::npos)
      full.push_back(e[4]);
  }
  std::sort(full.begin(), full.end());
  EXPECT_EQ(full, (std::vector<std::string>{"BA", "SY"}));
}

// --- The batch file --------------------------------------------------------

// The whole batch text as the program writes it: the wait line, the removal
// block five times, the closing block.
std::string BatchText(bool nt_family, const char* program, const char* folder, const char* batch,
                      bool silent = false) {
  char wait_line[1024], removal[1024], closing[1024];
  EXPECT_TRUE(FormatWaitLine(wait_line, sizeof(wait_line), nt_family, program));
  EXPECT_TRUE(FormatRemovalBlock(removal, sizeof(removal), program, folder));
  EXPECT_TRUE(FormatClosingBlock(closing, sizeof(closing), program, folder, batch, silent));
  std::string text = wait_line;
  for (int i = 0; i < 5; ++i) text += removal;
  return text + closing;
}

const char kNtBatch[] =
    "\"C:\\Program Files\\Zobrix\\uninstall.exe\" /wait\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "del \"C:\\Program Files\\Zobrix\\uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Zobrix\"\r\n"
    "if not exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" goto done\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "del \"C:\\Program Files\\Zobrix\\uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Zobrix\"\r\n"
    "if not exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" goto done\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "del \"C:\\Program Files\\Zobrix\\uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Zobrix\"\r\n"
    "if not exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" goto done\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "del \"C:\\Program Files\\Zobrix\\uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Zobrix\"\r\n"
    "if not exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" goto done\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "del \"C:\\Program Files\\Zobrix\\uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Zobrix\"\r\n"
    "if not exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" goto done\r\n"
    ":done\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\Uninstall.lst\" goto kept\r\n"
    "if exist \"C:\\Program Files\\Zobrix\\uninstall.exe\" \"C:\\Program Files\\Zobrix\\uninstall.exe\" /restart /warning\r\n"
    ":kept\r\n"
    "del \"C:\\TEMP\\Uninstall_Kex.Bat\"";

TEST(UninstallBatchText, NtFamilyByteForByte) {
  EXPECT_EQ(BatchText(true, "C:\\Program Files\\Zobrix\\uninstall.exe", "C:\\Program Files\\Zobrix",
                      "C:\\TEMP\\Uninstall_Kex.Bat"),
            kNtBatch);
}

TEST(UninstallBatchText, NineXFamilyDiffersOnlyInTheFirstLine) {
  std::string expected = std::string("start /wait ") + kNtBatch;
  EXPECT_EQ(BatchText(false, "C:\\Program Files\\Zobrix\\uninstall.exe", "C:\\Program Files\\Zobrix",
                      "C:\\TEMP\\Uninstall_Kex.Bat"),
            expected);
}

// The program file moved into the batch's own folder: no line names the
// installation folder.
TEST(UninstallBatchText, MovedProgramAloneWithoutAFolder) {
  const char attempt[] =
      "del \"C:\\W\\Temp\\K\\uninstall.exe\"\r\n"
      "if not exist \"C:\\W\\Temp\\K\\uninstall.exe\" goto done\r\n";
  std::string expected = "\"C:\\W\\Temp\\K\\uninstall.exe\" /wait\r\n";
  for (int i = 0; i < 5; ++i) expected += attempt;
  expected +=
      ":done\r\n"
      "if exist \"C:\\W\\Temp\\K\\uninstall.exe\" \"C:\\W\\Temp\\K\\uninstall.exe\" /restart /warning /s\r\n"
      ":kept\r\n"
      "del \"C:\\W\\Temp\\K\\Uninstall_Kex.Bat\"";
  EXPECT_EQ(BatchText(true, "C:\\W\\Temp\\K\\uninstall.exe", nullptr, "C:\\W\\Temp\\K\\Uninstall_Kex.Bat", true),
            expected);
}

// After a silent uninstall nobody answers the notice: the run says /s.
TEST(UninstallBatchText, SilentUninstallRunsTheProgramSilently) {
  std::string expected = kNtBatch;
  const std::string warning = "/restart /warning\r\n";
  expected.replace(expected.find(warning), warning.size(), "/restart /warning /s\r\n");
  EXPECT_EQ(BatchText(true, "C:\\Program Files\\Zobrix\\uninstall.exe", "C:\\Program Files\\Zobrix",
                      "C:\\TEMP\\Uninstall_Kex.Bat", true),
            expected);
}

TEST(UninstallBatchText, DriveRootInstallationByteForByte) {
  std::string removal =
      "if exist \"C:\\Uninstall.lst\" goto kept\r\n"
      "del \"C:\\uninstall.exe\"\r\n"
      "rd \"C:\\\"\r\n"
      "if not exist \"C:\\uninstall.exe\" goto done\r\n";
  std::string expected = "\"C:\\uninstall.exe\" /wait\r\n";
  for (int i = 0; i < 5; ++i) expected += removal;
  expected +=
      ":done\r\n"
      "if exist \"C:\\Uninstall.lst\" goto kept\r\n"
      "if exist \"C:\\uninstall.exe\" \"C:\\uninstall.exe\" /restart /warning\r\n"
      ":kept\r\n"
      "del \"C:\\WINDOWS\\TEMP\\Uninstall_Kex.Bat\"";
  EXPECT_EQ(BatchText(true, "C:\\uninstall.exe", "C:\\", "C:\\WINDOWS\\TEMP\\Uninstall_Kex.Bat"),
            expected);
}

TEST(UninstallBatchText, EndsWithoutALineBreak) {
  std::string text = BatchText(false, "D:\\Z\\uninstall.exe", "D:\\Z", "D:\\T\\Uninstall_Kex.Bat");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '"');
  EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(UninstallBatchText, PercentInPathsIsDoubled) {
  char text[256];
  ASSERT_TRUE(FormatWaitLine(text, sizeof(text), true, "C:\\100% Tools\\uninstall.exe"));
  EXPECT_STREQ(text, "\"C:\\100%% Tools\\uninstall.exe\" /wait\r\n");
  ASSERT_TRUE(FormatRemovalBlock(text, sizeof(text), "C:\\%PATH%\\u.exe", "C:\\%PATH%"));
  EXPECT_STREQ(text,
               "if exist \"C:\\%%PATH%%\\Uninstall.lst\" goto kept\r\n"
               "del \"C:\\%%PATH%%\\u.exe\"\r\nrd \"C:\\%%PATH%%\"\r\n"
               "if not exist \"C:\\%%PATH%%\\u.exe\" goto done\r\n");
  ASSERT_TRUE(FormatClosingBlock(text, sizeof(text), "C:\\%\\u.exe", "C:\\%", "C:\\T%%\\Uninstall_Kex.Bat",
                                 false));
  EXPECT_STREQ(text,
               ":done\r\nif exist \"C:\\%%\\Uninstall.lst\" goto kept\r\n"
               "if exist \"C:\\%%\\u.exe\" \"C:\\%%\\u.exe\" /restart /warning\r\n"
               ":kept\r\ndel \"C:\\T%%%%\\Uninstall_Kex.Bat\"");
}

TEST(UninstallBatchText, GbkTrailBytesPassUnchanged) {
  auto gbk = Gbk();  // "\x81\x5C" (乗) has the backslash as its trail byte
  char text[128];
  ASSERT_TRUE(FormatRemovalBlock(text, sizeof(text), "C:\\\x81\x5C\\u.exe", "C:\\\x81\x5C"));
  // the folder ends in a double-byte character, not in a backslash
  EXPECT_STREQ(text,
               "if exist \"C:\\\x81\x5C\\Uninstall.lst\" goto kept\r\n"
               "del \"C:\\\x81\x5C\\u.exe\"\r\nrd \"C:\\\x81\x5C\"\r\n"
               "if not exist \"C:\\\x81\x5C\\u.exe\" goto done\r\n");
}

// Each piece either fits whole or is refused: exact fit, one byte short.
TEST(UninstallBatchText, PiecesFitExactlyOrAreRefused) {
  struct Piece {
    const char* name;
    std::string expected;
    bool (*format)(char*, size_t);
  };
  const Piece pieces[] = {
      {"wait NT", "\"C:\\a%%\\u.exe\" /wait\r\n",
       [](char* t, size_t s) { return FormatWaitLine(t, s, true, "C:\\a%\\u.exe"); }},
      {"wait 9x", "start /wait \"C:\\a\\u.exe\" /wait\r\n",
       [](char* t, size_t s) { return FormatWaitLine(t, s, false, "C:\\a\\u.exe"); }},
      {"removal",
       "if exist \"C:\\a\\Uninstall.lst\" goto kept\r\ndel \"C:\\a\\u.exe\"\r\nrd \"C:\\a\"\r\nif not exist \"C:\\a\\u.exe\" goto done\r\n",
       [](char* t, size_t s) { return FormatRemovalBlock(t, s, "C:\\a\\u.exe", "C:\\a"); }},
      {"closing",
       ":done\r\nif exist \"C:\\a\\Uninstall.lst\" goto kept\r\n"
       "if exist \"C:\\a\\u.exe\" \"C:\\a\\u.exe\" /restart /warning /s\r\n:kept\r\ndel \"C:\\T\\%%.Bat\"",
       [](char* t, size_t s) {
         return FormatClosingBlock(t, s, "C:\\a\\u.exe", "C:\\a", "C:\\T\\%.Bat", true);
       }},
      {"command", "C:\\cmd.exe /c \"C:\\T\\%.Bat\"",
       [](char* t, size_t s) { return FormatCommandLine(t, s, "C:\\cmd.exe", "C:\\T\\%.Bat"); }},
      // No AutoRun, no delayed expansion: the system's cmd.exe runs elevated.
      {"command with folder", "C:\\cmd.exe /D /V:OFF /c \"\"C:\\T\\F\\U.Bat\" & rd \"C:\\T\\F\"\"",
       [](char* t, size_t s) {
         return FormatCommandLine(t, s, "C:\\cmd.exe", "C:\\T\\F\\U.Bat", "C:\\T\\F");
       }},
  };
  for (const Piece& piece : pieces) {
    SCOPED_TRACE(piece.name);
    std::vector<char> exact(piece.expected.size() + 1, 'x');
    EXPECT_TRUE(piece.format(exact.data(), exact.size()));
    EXPECT_EQ(std::string(exact.data()), piece.expected);
    std::vector<char> short_by_one(piece.expected.size(), 'x');
    EXPECT_FALSE(piece.format(short_by_one.data(), short_by_one.size()));
  }
}

TEST(UninstallBatchText, PiecesOfLongPathsDoNotFitTheirBuffer) {
  // A 400-character program path: the removal block holds it twice plus the
  // folder and does not fit 1024 bytes; the wait line does.
  std::string folder = "C:\\" + std::string(380, 'f');
  std::string program = folder + "\\uninstall.exe";
  char text[1024];
  EXPECT_TRUE(FormatWaitLine(text, sizeof(text), true, program.c_str()));
  EXPECT_FALSE(FormatRemovalBlock(text, sizeof(text), program.c_str(), folder.c_str()));
}

// --- The command line ------------------------------------------------------

TEST(UninstallCommandLine, ComspecThenQuotedBatchFile) {
  char text[512];
  ASSERT_TRUE(FormatCommandLine(text, sizeof(text), "C:\\windows\\system32\\cmd.exe",
                                "C:\\users\\me\\Temp\\Uninstall_Kex.Bat"));
  EXPECT_STREQ(text, "C:\\windows\\system32\\cmd.exe /c \"C:\\users\\me\\Temp\\Uninstall_Kex.Bat\"");
  ASSERT_TRUE(FormatCommandLine(text, sizeof(text), "C:\\WINDOWS\\COMMAND.COM", "C:\\TEMP\\Uninstall_Kex.Bat"));
  EXPECT_STREQ(text, "C:\\WINDOWS\\COMMAND.COM /c \"C:\\TEMP\\Uninstall_Kex.Bat\"");
}

// On the interpreter's own command line "%" cannot be written literally.
TEST(UninstallCommandLine, BatchFolderWithPercentIsRefused) {
  char text[512];
  EXPECT_FALSE(FormatCommandLine(text, sizeof(text), "cmd", "C:\\%T%\\F\\U.Bat", "C:\\%T%\\F"));
  EXPECT_FALSE(FormatCommandLine(text, sizeof(text), "cmd", "C:\\T\\F\\U.Bat", "C:\\T\\100%"));
}

TEST(UninstallCommandLine, MissingComspecLeavesTheSwitchFirst) {
  char text[512];
  ASSERT_TRUE(FormatCommandLine(text, sizeof(text), "", "C:\\T\\Uninstall_Kex.Bat"));
  EXPECT_STREQ(text, " /c \"C:\\T\\Uninstall_Kex.Bat\"");
}

TEST(UninstallCommandLine, LongComspecIsRefusedNotCut) {
  std::string comspec = "C:\\" + std::string(490, 'c') + "\\cmd.exe";
  char text[512];
  EXPECT_FALSE(FormatCommandLine(text, sizeof(text), comspec.c_str(), "C:\\T\\Uninstall_Kex.Bat"));
}

}  // namespace
