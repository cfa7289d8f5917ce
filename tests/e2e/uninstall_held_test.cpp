// Files of the installation that running programs hold: the question of an
// interactive run, and their removal at the next restart, which
// "wineboot -r" stands in for.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using uninstall_e2e::Installation;
using uninstall_e2e::ProgramString;
using uninstall_e2e::TempPath;
using uninstall_e2e::Tree;

// The test fixture that stands in for the archiver: with "/stay" it runs
// until it is ended, its file held by its image.
std::string StandInArchiver() {
  char self[1024];
  GetModuleFileNameA(nullptr, self, sizeof(self));
  std::string path = self;
  return path.substr(0, path.rfind('\\')) + "\\trace_program.exe";
}

// Wine carries out the removals noted for the next restart.
bool SimulateRestart() {
  testenv::ProgramRun boot;
  DWORD code = 1;
  return boot.Start("wineboot.exe", "-r", TempPath()) && boot.Wait(60000, &code) && code == 0;
}

std::string WininitPath() {
  char path[1024];
  GetWindowsDirectoryA(path, sizeof(path));
  return std::string(path) + "\\WININIT.INI";
}

std::string ShortPath(const std::string& path) {
  char short_path[1024];
  DWORD length = GetShortPathNameA(path.c_str(), short_path, sizeof(short_path));
  return length > 0 && length < sizeof(short_path) ? short_path : "";
}

// The delayed removals the NT family keeps, as one text.
std::string PendingRemovals() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return "";
  std::wstring value(32768, L'\0');
  DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  LONG result = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&value[0]), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "";
  value.resize(size / sizeof(wchar_t));
  for (wchar_t& c : value)
    if (c == L'\0') c = L'|';
  return testenv::WideToAnsi(value);
}

std::wstring Replace(std::wstring text, const std::wstring& what, const std::wstring& with) {
  size_t at = text.find(what);
  if (at != std::wstring::npos) text.replace(at, what.size(), with);
  return text;
}

// Starts an interactive run and answers its confirmation with Yes.
bool StartConfirmed(const Installation& installation, testenv::ProgramRun* run) {
  if (!run->Start(installation.Program(), "", TempPath())) return false;
  HWND confirmation = testenv::WaitForWindow(run->ProcessId(), 20000);
  return confirmation && testenv::MessageBoxText(confirmation) == ProgramString(MSG_CONFIRM_UNINSTALL) &&
         testenv::PressButton(confirmation, IDYES) && testenv::WaitForWindowGone(confirmation, 10000);
}

// Done, and a restart completes the removal (Windows Installer's 3010).
const DWORD kRestartCompletes = 3010;

class UninstallHeld : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testenv::UninstallExePath().empty()) << "UNINSTALL_EXE is not set";
    uninstall_e2e::RemoveBatchLeftovers();
    // Removals that earlier tests noted must not be taken for this one's.
    ASSERT_TRUE(SimulateRestart());
    DeleteFileA(WininitPath().c_str());
  }
};

TEST_F(UninstallHeld, SilentRunLeavesWhatIsHeldToTheRestartAndNothingElse) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(CopyFileA(StandInArchiver().c_str(), (installation / "Zobrix.exe").c_str(), FALSE));
  ASSERT_TRUE(installation.AddFile("readme.txt"));
  ASSERT_TRUE(installation.AddFile("sub\\held.dat"));
  ASSERT_TRUE(installation.AddFile("sub\\free.dat"));
  const std::string outside = TempPath() + "held_test_outside.txt";
  ASSERT_TRUE(testenv::WriteFileBytes(outside, "not the installation's"));
  ASSERT_TRUE(installation.WriteList("sub\r\nZobrix.exe\r\nreadme.txt\r\nsub\\held.dat\r\n"
                                     "sub\\free.dat\r\n..\\held_test_outside.txt\r\n"));
  testenv::ProgramRun archiver;
  ASSERT_TRUE(archiver.Start(installation / "Zobrix.exe", "/stay", TempPath()));
  // Another process holds a listed file without delete sharing.
  HANDLE held = CreateFileA((installation / "sub\\held.dat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  DWORD code = 1;
  bool ended = uninstall_e2e::RunProgram(installation, "/s", &code);
  bool batch_gone = uninstall_e2e::WaitForBatchFileGone();
  std::vector<std::string> left = Tree(installation.Folder());
  std::string wininit;
  testenv::ReadFileBytes(WininitPath(), &wininit);
  std::string expected_wininit;
  for (const char* name : {"Zobrix.exe", "sub\\held.dat", "sub"})
    expected_wininit += "NUL=" + ShortPath(installation / name) + "\r\n";
  expected_wininit = "[rename]\r\n" + expected_wininit + "NUL=" + ShortPath(installation.Folder()) + "\r\n";
  TerminateProcess(archiver.ProcessHandle(), 0);
  archiver.Wait(10000);
  CloseHandle(held);

  ASSERT_TRUE(ended);
  EXPECT_EQ(code, kRestartCompletes);
  EXPECT_TRUE(batch_gone);
  // The held files stay (with the archiver's trace); everything else went.
  ASSERT_EQ(left.size(), 4u) << testing::PrintToString(left);
  EXPECT_EQ(left[0].rfind("Zobrix.exe = ", 0), 0u);
  EXPECT_EQ(left[1].rfind("Zobrix.exe.trace = ", 0), 0u);
  EXPECT_EQ(left[2], "sub\\");
  EXPECT_EQ(left[3], "sub\\held.dat = data");
  if (testenv::IsWin9xFamily())
    EXPECT_EQ(wininit, expected_wininit);
  else
    EXPECT_EQ(wininit, "");
  // The trace, which the uninstall never knew, keeps the folder at restart.
  ASSERT_TRUE(DeleteFileA((installation / "Zobrix.exe.trace").c_str()));

  ASSERT_TRUE(SimulateRestart());
  if (testenv::IsWin9xFamily()) {
    // Wine's restart deletes the files named in WININIT.INI but no folder
    // (the lines for them were checked above).
    EXPECT_EQ(Tree(installation.Folder()), (std::vector<std::string>{"sub\\"}));
  } else {
    EXPECT_FALSE(testenv::PathExists(installation.Folder())) << testing::PrintToString(Tree(installation.Folder()));
  }
  std::string outside_text;
  EXPECT_TRUE(testenv::ReadFileBytes(outside, &outside_text));
  EXPECT_EQ(outside_text, "not the installation's");
  DeleteFileA(outside.c_str());
}

TEST_F(UninstallHeld, QuestionNamesTheHolderAndRetryFinishesWithNothingNoted) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(CopyFileA(StandInArchiver().c_str(), (installation / "Zobrix.exe").c_str(), FALSE));
  ASSERT_TRUE(installation.AddFile("readme.txt"));
  ASSERT_TRUE(installation.WriteList("Zobrix.exe\r\nreadme.txt\r\nZobrix.exe.trace\r\n"));
  testenv::ProgramRun archiver;
  ASSERT_TRUE(archiver.Start(installation / "Zobrix.exe", "/stay", TempPath()));

  testenv::ProgramRun run;
  ASSERT_TRUE(StartConfirmed(installation, &run));
  HWND question = testenv::WaitForWindow(run.ProcessId(), 20000);
  ASSERT_NE(question, nullptr) << "no question about the running archiver";
  // Wine's Restart Manager names no program: the question names the file.
  EXPECT_EQ(testenv::WindowText(question), ProgramString(MSG_UNINSTALL_CAPTION));
  EXPECT_EQ(testenv::MessageBoxText(question),
            Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"Zobrix.exe"));
  EXPECT_NE(GetDlgItem(question, IDRETRY), nullptr);
  EXPECT_NE(GetDlgItem(question, IDCANCEL), nullptr);
  // Nothing has changed while it asks.
  EXPECT_TRUE(testenv::PathExists(installation / "readme.txt"));

  // Retry while the archiver still runs asks again.
  ASSERT_TRUE(testenv::PressButton(question, IDRETRY));
  ASSERT_TRUE(testenv::WaitForWindowGone(question, 10000));
  question = testenv::WaitForWindow(run.ProcessId(), 20000);
  ASSERT_NE(question, nullptr) << "Retry did not check again";
  TerminateProcess(archiver.ProcessHandle(), 0);
  archiver.Wait(10000);
  ASSERT_TRUE(testenv::PressButton(question, IDRETRY));

  // No notice of a restart: the run ends by itself.
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(30000, &code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(uninstall_e2e::WaitForSelfRemoval(installation));
  EXPECT_EQ(PendingRemovals().find(installation.Folder()), std::string::npos) << PendingRemovals();
  std::string wininit;
  EXPECT_FALSE(testenv::ReadFileBytes(WininitPath(), &wininit)) << wininit;
}

TEST_F(UninstallHeld, ContinueLeavesTheHeldFileToTheRestartAndSaysSo) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(installation.AddFile("kexext.dll"));
  ASSERT_TRUE(installation.WriteList("kexext.dll\r\n"));
  // Another process holds the library without delete sharing, as a loaded one is held.
  HANDLE held = CreateFileA((installation / "kexext.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), "", TempPath()));
  std::vector<std::wstring> texts;
  // Yes to the confirmation, Cancel (go on) to the question, OK to the notice.
  for (int button : {IDYES, IDCANCEL, IDOK}) {
    HWND box = testenv::WaitForWindow(run.ProcessId(), 20000);
    if (!box) break;
    texts.push_back(testenv::MessageBoxText(box));
    testenv::PressButton(box, button);
    testenv::WaitForWindowGone(box, 10000);
  }
  DWORD code = 1;
  bool ended = run.Wait(30000, &code);
  bool batch_gone = uninstall_e2e::WaitForBatchFileGone();
  CloseHandle(held);

  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"kexext.dll"));
  EXPECT_EQ(texts[2], ProgramString(MSG_UNINSTALL_DONE) + L"\n" + ProgramString(MSG_RESTART_COMPLETES));
  EXPECT_TRUE(ended);
  EXPECT_EQ(code, kRestartCompletes);
  EXPECT_TRUE(batch_gone);
  EXPECT_EQ(Tree(installation.Folder()), (std::vector<std::string>{"kexext.dll = data"}));
  ASSERT_TRUE(SimulateRestart());
  if (testenv::IsWin9xFamily()) RemoveDirectoryA(installation.Folder().c_str());  // no folders there
  EXPECT_FALSE(testenv::PathExists(installation.Folder()));
}

// Listed entries too long under the long form of the folder make the
// uninstall enter it by its short form, which spells the program's own
// file otherwise than the list does. The program holds that file itself:
// no question may name it.
TEST_F(UninstallHeld, OwnFileReachedByTheShortFormIsNeverNamed) {
  Installation installation(std::wstring(150, L'l'));
  ASSERT_TRUE(installation.Ready());
  ASSERT_LT(installation.Folder().size(), static_cast<size_t>(MAX_PATH));
  std::string too_long(MAX_PATH + 10 - installation.Folder().size(), 'e');
  ASSERT_TRUE(installation.WriteList("uninstall.exe\r\n" + too_long + "\r\n"));
  testenv::ProgramRun run;
  ASSERT_TRUE(StartConfirmed(installation, &run));
  // The file it cannot delete while it runs is left to the restart, and
  // the notice says so; a question before it would name the program.
  const std::wstring named = Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"uninstall.exe");
  for (HWND box; (box = testenv::WaitForWindow(run.ProcessId(), 5000)) != nullptr;) {
    const std::wstring text = testenv::MessageBoxText(box);
    EXPECT_NE(text, named);
    ASSERT_TRUE(testenv::PressButton(box, text == named ? IDCANCEL : IDOK));
    ASSERT_TRUE(testenv::WaitForWindowGone(box, 10000));
  }
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(30000, &code)) << "the program did not end";
  EXPECT_EQ(code, kRestartCompletes);
  EXPECT_TRUE(uninstall_e2e::WaitForSelfRemoval(installation));
}

}  // namespace
