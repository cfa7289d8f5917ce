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

// The test language library, built beside this test program.
std::string TestLanguageLibrary() {
  char self[1024];
  GetModuleFileNameA(nullptr, self, sizeof(self));
  std::string path = self;
  return path.substr(0, path.rfind('\\')) + "\\test_kexlng.dll";
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
  HWND confirmation = testenv::WaitForWindow(run->ProcessId(), testenv::kWaitMs);
  return confirmation && testenv::MessageBoxText(confirmation) == ProgramString(MSG_CONFIRM_UNINSTALL) &&
         testenv::PressButton(confirmation, IDYES) && testenv::WaitForWindowGone(confirmation, testenv::kWaitMs);
}

// Done, and a restart completes the removal (Windows Installer's 3010); on
// the NT family a file held without delete sharing can be neither deleted
// nor moved away, and stays for a person to delete: failed (1603).
const DWORD kRestartCompletes = 3010;
const DWORD kFailed = 1603;

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

// What running programs hold goes at the restart under no name of the
// installation: a link put in before the restart cannot lead the removal
// elsewhere, and a new installation keeps its files.
TEST_F(UninstallHeld, SilentRunLeavesWhatIsHeldToTheRestartAndNothingElse) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(CopyFileA(StandInArchiver().c_str(), (installation / "Zobrix.exe").c_str(), FALSE));
  ASSERT_TRUE(installation.AddFile("readme.txt"));
  ASSERT_TRUE(installation.AddFile("sub\\held.dat"));
  ASSERT_TRUE(installation.AddFile("sub\\free.dat"));
  const std::string outside = TempPath() + "held_test_outside.txt";
  ASSERT_TRUE(testenv::WriteFileBytes(outside, "not the installation's"));
  // A folder link to a file that another process holds.
  const bool links = !testenv::IsWin9xFamily();
  testenv::TempFolder linked("held_linked");
  ASSERT_TRUE(testenv::WriteFileBytes(linked / "p1.txt", "p1"));
  if (links) {
    ASSERT_TRUE(uninstall_e2e::MakeUnixSymbolicLink(linked.Path(), installation / "linkdir"));
  }
  struct RemoveLink {
    std::string path;
    bool made;
    ~RemoveLink() {
      if (made) uninstall_e2e::RemoveUnixName(path);
    }
  } remove_link{installation / "linkdir", links};
  ASSERT_TRUE(installation.WriteList("sub\r\nZobrix.exe\r\nreadme.txt\r\nsub\\held.dat\r\n"
                                     "sub\\free.dat\r\n..\\held_test_outside.txt\r\n"
                                     "linkdir\\p1.txt\r\nlinkdir\r\nuninstall.exe\r\n"));
  testenv::ProgramRun archiver;
  ASSERT_TRUE(archiver.Start(installation / "Zobrix.exe", "/stay", TempPath()));
  // Other processes hold listed files without delete sharing.
  HANDLE held = CreateFileA((installation / "sub\\held.dat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE held_outside = CreateFileA((linked / "p1.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held_outside, INVALID_HANDLE_VALUE);

  DWORD code = 1;
  bool ended = uninstall_e2e::RunProgram(installation, "/s", &code);
  bool batch_gone = uninstall_e2e::WaitForBatchFileGone();
  std::vector<std::string> left;
  // The link stays through the restart, which must not follow it.
  for (const std::string& entry : Tree(installation.Folder()))
    if (entry.rfind("linkdir", 0) != 0) left.push_back(entry);
  std::string wininit;
  testenv::ReadFileBytes(WininitPath(), &wininit);
  std::string expected_wininit = "[rename]\r\n";
  // The 9x family's restart deletes files only; the program's own file is
  // the batch's.
  for (const char* name : {"Zobrix.exe", "sub\\held.dat"})
    expected_wininit += "NUL=" + ShortPath(installation / name) + "\r\n";
  const std::string pending = PendingRemovals();
  TerminateProcess(archiver.ProcessHandle(), 0);
  archiver.Wait(10000);
  CloseHandle(held);
  CloseHandle(held_outside);

  ASSERT_TRUE(ended);
  EXPECT_EQ(code, testenv::IsWin9xFamily() ? kRestartCompletes : kFailed);
  EXPECT_TRUE(batch_gone);
  if (testenv::IsWin9xFamily()) {
    // The held files stay (with the archiver's trace); everything else went.
    ASSERT_EQ(left.size(), 4u) << testing::PrintToString(left);
    EXPECT_EQ(left[0].rfind("Zobrix.exe = ", 0), 0u);
    EXPECT_EQ(left[1].rfind("Zobrix.exe.trace = ", 0), 0u);
    EXPECT_EQ(wininit, expected_wininit);
  } else {
    // The running archiver was moved away; the file held without delete
    // sharing could not be, and stays, noted nowhere.
    ASSERT_GE(left.size(), 3u) << testing::PrintToString(left);
    EXPECT_EQ(left.size(), 3u) << testing::PrintToString(left);
    EXPECT_EQ(left[left.size() - 3].rfind("Zobrix.exe.trace = ", 0), 0u);
    EXPECT_EQ(wininit, "");
    EXPECT_EQ(pending.find(installation.Folder()), std::string::npos) << pending;
    EXPECT_EQ(pending.find(linked.Path()), std::string::npos) << pending;
  }
  EXPECT_EQ(left[left.size() - 2], "sub\\");
  EXPECT_EQ(left[left.size() - 1], "sub\\held.dat = data");
  // The trace, which the uninstall never knew, would keep the folder.
  ASSERT_TRUE(DeleteFileA((installation / "Zobrix.exe.trace").c_str()));
  // A new installation before the restart.
  ASSERT_TRUE(installation.AddFile("Zobrix.exe", "new"));
  ASSERT_TRUE(installation.AddFile("uninstall.exe", "new"));

  ASSERT_TRUE(SimulateRestart());
  if (links) remove_link.made = !uninstall_e2e::RemoveUnixName(installation / "linkdir");
  if (testenv::IsWin9xFamily()) {
    // Names are all that family's restart knows.
    EXPECT_EQ(Tree(installation.Folder()), (std::vector<std::string>{"sub\\", "uninstall.exe = new"}));
  } else {
    EXPECT_EQ(Tree(installation.Folder()),
              (std::vector<std::string>{"Zobrix.exe = new", "sub\\", "sub\\held.dat = data",
                                        "uninstall.exe = new"}));
    // The moved archiver went at the restart, and its folder with it.
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
    for (const std::string& name : testenv::ListFolder(std::string(windows) + "\\Temp\\"))
      EXPECT_NE(name.rfind("Zobrix_Restart_", 0), 0u) << name;
  }
  EXPECT_EQ(Tree(linked.Path()), (std::vector<std::string>{"p1.txt = p1"}));
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
  // The program loads the language library itself: never named, it never
  // keeps the question up.
  ASSERT_TRUE(CopyFileA(TestLanguageLibrary().c_str(), (installation / "kexlng.dll").c_str(), FALSE));
  ASSERT_TRUE(installation.WriteList("Zobrix.exe\r\nreadme.txt\r\nZobrix.exe.trace\r\nkexlng.dll\r\n"));
  testenv::ProgramRun archiver;
  ASSERT_TRUE(archiver.Start(installation / "Zobrix.exe", "/stay", TempPath()));

  testenv::ProgramRun run;
  ASSERT_TRUE(StartConfirmed(installation, &run));
  HWND question = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs);
  ASSERT_NE(question, nullptr) << "no question about the running archiver";
  // Wine's Restart Manager names no program: the question names the file.
  EXPECT_EQ(testenv::WindowText(question), L"Library caption");
  EXPECT_EQ(testenv::MessageBoxText(question),
            Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"Zobrix.exe"));
  EXPECT_NE(GetDlgItem(question, IDRETRY), nullptr);
  EXPECT_NE(GetDlgItem(question, IDCANCEL), nullptr);
  // Nothing has changed while it asks.
  EXPECT_TRUE(testenv::PathExists(installation / "readme.txt"));

  // Retry while the archiver still runs asks again.
  ASSERT_TRUE(testenv::PressButton(question, IDRETRY));
  ASSERT_TRUE(testenv::WaitForWindowGone(question, testenv::kWaitMs));
  question = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs);
  ASSERT_NE(question, nullptr) << "Retry did not check again";
  TerminateProcess(archiver.ProcessHandle(), 0);
  archiver.Wait(10000);
  ASSERT_TRUE(testenv::PressButton(question, IDRETRY));

  // No notice of a restart: the run ends by itself.
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(uninstall_e2e::WaitForSelfRemoval(installation));
  EXPECT_EQ(PendingRemovals().find(installation.Folder()), std::string::npos) << PendingRemovals();
  std::string wininit;
  EXPECT_FALSE(testenv::ReadFileBytes(WininitPath(), &wininit)) << wininit;
}

// Held without delete sharing, the file cannot be moved out of the
// installation on the NT family: the notice names it, and nothing is noted.
TEST_F(UninstallHeld, ContinueLeavesTheHeldFileToTheRestartOrToTheUserAndSaysSo) {
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
    HWND box = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs);
    if (!box) break;
    texts.push_back(testenv::MessageBoxText(box));
    testenv::PressButton(box, button);
    testenv::WaitForWindowGone(box, testenv::kWaitMs);
  }
  DWORD code = 1;
  bool ended = run.Wait(testenv::kWaitMs, &code);
  bool batch_gone = uninstall_e2e::WaitForBatchFileGone();
  CloseHandle(held);

  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"kexext.dll"));
  const bool nt_family = !testenv::IsWin9xFamily();
  EXPECT_EQ(texts[2], ProgramString(MSG_UNINSTALL_DONE) + L"\n" +
                          (nt_family ? Replace(ProgramString(MSG_DELETE_BY_HAND), L"%s",
                                               testenv::AnsiToWide(installation / "kexext.dll"))
                                     : ProgramString(MSG_RESTART_COMPLETES)));
  EXPECT_TRUE(ended);
  EXPECT_EQ(code, testenv::IsWin9xFamily() ? kRestartCompletes : kFailed);
  EXPECT_TRUE(batch_gone);
  EXPECT_EQ(Tree(installation.Folder()), (std::vector<std::string>{"kexext.dll = data"}));
  ASSERT_TRUE(SimulateRestart());
  EXPECT_EQ(Tree(installation.Folder()),
            nt_family ? std::vector<std::string>{"kexext.dll = data"} : std::vector<std::string>{});
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
  // The file it cannot delete while it runs is the batch file's to remove,
  // and nothing is left to the restart; a question would name the program.
  const std::wstring named = Replace(ProgramString(MSG_FILES_IN_USE), L"%s", L"uninstall.exe");
  for (HWND box; (box = testenv::WaitForWindow(run.ProcessId(), 5000)) != nullptr;) {
    const std::wstring text = testenv::MessageBoxText(box);
    EXPECT_NE(text, named);
    ASSERT_TRUE(testenv::PressButton(box, text == named ? IDCANCEL : IDOK));
    ASSERT_TRUE(testenv::WaitForWindowGone(box, testenv::kWaitMs));
  }
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(uninstall_e2e::WaitForSelfRemoval(installation));
}

}  // namespace
