// Installation folders whose names the command interpreter must read right
// from the batch file: characters beyond ASCII (in the ANSI code page, while
// the interpreter reads the OEM code page) and "%".
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using uninstall_e2e::BatchFile;
using uninstall_e2e::ExpectedBatchText;
using uninstall_e2e::Installation;
using uninstall_e2e::RunProgram;
using uninstall_e2e::TempPath;
using uninstall_e2e::Tree;
using uninstall_e2e::WaitForBatchFileGone;
using uninstall_e2e::WaitForSelfRemoval;

std::string Oem(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(length > 0 ? length : 1, '\0');
  WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), -1, &out[0], length, nullptr, nullptr);
  out.resize(length > 0 ? length - 1 : 0);
  return out;
}

bool MakeFolderW(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool MakeFileW(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, "data", 4, &written, nullptr);
  CloseHandle(file);
  return written == 4;
}

enum class BatchSpelling {
  Unchanged,  // ANSI and OEM code page are the same
  Oem,        // the paths in OEM bytes
  ShortName,  // the OEM code page lacks a character: short names
};

struct NameCase {
  const wchar_t* folder;
  const wchar_t* subfolder;
  const wchar_t* file;
  BatchSpelling spelling;
};

// Makes an installation named case.folder holding subfolder\file, all made
// through the W functions, lists both in ANSI, runs the program with /s and
// expects everything removed, program file and folder included.
void RunNameCase(const NameCase& c) {
  Installation installation(c.folder);
  ASSERT_TRUE(installation.Ready()) << "folder name not in the ANSI code page";
  std::wstring folder = testenv::AnsiToWide(installation.Folder());
  ASSERT_TRUE(MakeFolderW(folder + L"\\" + c.subfolder));
  ASSERT_TRUE(MakeFileW(folder + L"\\" + c.subfolder + L"\\" + c.file));
  std::wstring list = std::wstring(c.subfolder) + L"\r\n" + c.subfolder + L"\\" + c.file + L"\r\n";
  ASSERT_EQ(testenv::AnsiToWide(testenv::WideToAnsi(list)), list);
  ASSERT_TRUE(installation.WriteList(testenv::WideToAnsi(list)));

  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  // The batch waits 2 s for its copy of the program before it deletes.
  std::string batch;
  EXPECT_TRUE(testenv::ReadFileBytes(BatchFile(), &batch));
  std::wstring program = folder + L"\\uninstall.exe";
  switch (c.spelling) {
    case BatchSpelling::Unchanged:
      EXPECT_EQ(batch, ExpectedBatchText(installation.Program(), installation.Folder(), BatchFile(), true));
      break;
    case BatchSpelling::Oem:
      EXPECT_EQ(batch, ExpectedBatchText(Oem(program), Oem(folder), Oem(testenv::AnsiToWide(BatchFile())), true));
      break;
    case BatchSpelling::ShortName:
      EXPECT_EQ(batch.find(installation.Folder()), std::string::npos) << "ANSI bytes in the batch";
      EXPECT_EQ(batch.find(Oem(program)), std::string::npos) << "look-alike OEM bytes in the batch";
      break;
  }
  EXPECT_EQ(Tree(installation.Folder()), uninstall_e2e::LeftForTheBatch());
  EXPECT_TRUE(WaitForSelfRemoval(installation)) << "program file, folder or batch file still there";
}

class UninstallNonAsciiFolder : public testing::Test {
 protected:
  void SetUp() override { uninstall_e2e::RemoveBatchLeftovers(); }
  void RequireCodePages(UINT ansi, UINT oem) {
    if (GetACP() != ansi || GetOEMCP() != oem)
      GTEST_SKIP() << "needs ANSI code page " << ansi << " and OEM " << oem << "; this run has "
                   << GetACP() << "/" << GetOEMCP();
  }
};

// 乗 is 81 5C in GBK: its trail byte is the backslash value, and the folder
// name ends in it.
TEST_F(UninstallNonAsciiFolder, ChineseWithBackslashTrailByteUnderCodePage936) {
  RequireCodePages(936, 936);
  if (IsSkipped()) return;
  RunNameCase({L"\u5378\u8f7d\u4e57", L"\u5b50\u76ee\u5f55\u4e57", L"\u6587\u4ef6\u4e57.txt",
               BatchSpelling::Unchanged});
}

TEST_F(UninstallNonAsciiFolder, GermanUnderCodePage1252WithOem850) {
  RequireCodePages(1252, 850);
  if (IsSkipped()) return;
  RunNameCase({L"Zubeh\u00f6r", L"Gr\u00f6\u00dfe", L"\u00dcbersicht.txt", BatchSpelling::Oem});
}

// "™" is in code page 1252 but not in 850: the batch names the folder and
// the program by their short names.
TEST_F(UninstallNonAsciiFolder, CharacterMissingFromTheOemCodePageUnderCodePage1252) {
  RequireCodePages(1252, 850);
  if (IsSkipped()) return;
  RunNameCase({L"Zubeh\u00f6r\u2122", L"Ma\u00dfe", L"Caf\u00e9.txt", BatchSpelling::ShortName});
}

// --- "%" in the folder name ------------------------------------------------

// Whether the command interpreter of this system reads "%%" in a batch file
// as one "%". Wine 8's cmd.exe expands a batch line twice, so "%%" ends up
// as a lone "%", which is dropped.
bool InterpreterReadsDoubledPercent() {
  static int answer = -1;
  if (answer >= 0) return answer == 1;
  answer = 0;
  testenv::TempFolder probe("pct%probe");
  std::string batch = probe / "probe.bat";
  std::string doubled;
  for (char c : probe.Path()) doubled += c == '%' ? "%%" : std::string(1, c);
  if (!testenv::WriteFileBytes(probe / "a%b.txt", "x") ||
      !testenv::WriteFileBytes(batch, "@del \"" + doubled + "\\a%%b.txt\"\r\n"))
    return false;
  char comspec[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("COMSPEC", comspec, sizeof(comspec));
  if (length == 0 || length >= sizeof(comspec)) return false;
  testenv::ProgramRun run;
  DWORD code = 0;
  if (!run.Start(comspec, "/c \"" + batch + "\"") || !run.Wait(testenv::kWaitMs, &code)) return false;
  answer = testenv::PathExists(probe / "a%b.txt") ? 0 : 1;
  return answer == 1;
}

TEST(UninstallPercentFolder, PercentIsWrittenDoubledAndTheFolderRemoved) {
  const wchar_t* names[] = {L"100% Tools", L"%PATH% & more%"};
  for (const wchar_t* name : names) {
    SCOPED_TRACE(testenv::Utf8(name));
    uninstall_e2e::RemoveBatchLeftovers();
    Installation installation(name);
    ASSERT_TRUE(installation.Ready());
    ASSERT_TRUE(installation.AddFile("sub\\a.txt"));
    ASSERT_TRUE(installation.WriteList("sub\r\nsub\\a.txt\r\n"));
    DWORD code = 1;
    ASSERT_TRUE(RunProgram(installation, "/s", &code));
    EXPECT_EQ(code, 0u);
    std::string batch;
    EXPECT_TRUE(testenv::ReadFileBytes(BatchFile(), &batch));
    auto doubled = [](const std::string& path) {
      std::string out;
      for (char c : path) out += c == '%' ? "%%" : std::string(1, c);
      return out;
    };
    EXPECT_EQ(batch, ExpectedBatchText(doubled(installation.Program()), doubled(installation.Folder()),
                                       doubled(BatchFile()), true));
    EXPECT_EQ(Tree(installation.Folder()), uninstall_e2e::LeftForTheBatch());
    if (InterpreterReadsDoubledPercent()) {
      EXPECT_TRUE(WaitForSelfRemoval(installation));
    } else {
      EXPECT_TRUE(WaitForBatchFileGone());
    }
  }
  if (!InterpreterReadsDoubledPercent())
    GTEST_SKIP() << "this cmd.exe expands %% in a batch file twice, so no batch text can name a "
                    "folder with % here; the batch text was checked, the folder's removal cannot be";
}

}  // namespace
