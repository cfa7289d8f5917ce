// The real uninstall.exe in a temporary installation: the deletion passes
// over "Uninstall.lst", the confirmation and the error box, and the batch file
// that removes the program file and its folder after the program has ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using uninstall_e2e::BatchFile;
using uninstall_e2e::Installation;
using uninstall_e2e::ProgramString;
using uninstall_e2e::ProgramSummary;
using uninstall_e2e::RunProgram;
using uninstall_e2e::TempPath;
using uninstall_e2e::Tree;
using uninstall_e2e::WaitForBatchFileGone;
using uninstall_e2e::WaitForMessageBoxWithCaption;
using uninstall_e2e::WaitForSelfRemoval;

// The system icons of the three message boxes (IDI_QUESTION, IDI_HAND,
// IDI_ASTERISK in their wide form).
const LPCWSTR kQuestionIcon = MAKEINTRESOURCEW(32514);
const LPCWSTR kErrorIcon = MAKEINTRESOURCEW(32513);
const LPCWSTR kInformationIcon = MAKEINTRESOURCEW(32516);

// Windows Installer's codes, which deployment tools read.
const DWORD kCancelled = 1602;
const DWORD kFailed = 1603;
const DWORD kAlreadyRunning = 1618;

bool SetReadOnly(const std::string& path) {
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

// The batch text for an installation whose paths the command interpreter
// reads unchanged (ANSI and OEM code page alike, no "%").
std::string ExpectedBatchText(const Installation& installation, bool silent) {
  return uninstall_e2e::ExpectedBatchText(installation.Program(), installation.Folder(), BatchFile(),
                                          silent);
}

// A product settings value that the registry clean-up removes; while it is
// there, the clean-up has not run. Removed again at the end.
class SettingsMarker {
 public:
  SettingsMarker() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Zobrix", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
      return;
    created_key_ = disposition == REG_CREATED_NEW_KEY;
    written_ = RegSetValueExA(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~SettingsMarker() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zobrix", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kValue);
      RegCloseKey(key);
    }
    if (created_key_) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Zobrix");
  }
  bool Written() const { return written_; }
  bool Present() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zobrix", 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    bool present = RegQueryValueExA(key, kValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return present;
  }

 private:
  static constexpr const char* kValue = "UninstallTestMarker";
  bool created_key_ = false;
  bool written_ = false;
};

// An installation whose list names every file and folder in it: folders
// before their contents, blank lines, trailing blanks and tabs, CR LF and LF
// endings, entries that do not exist, a last line without a line end.
void FillCompleteInstallation(Installation* installation) {
  ASSERT_TRUE(installation->Ready());
  ASSERT_TRUE(installation->AddFile("Zobrix.exe"));
  ASSERT_TRUE(installation->AddFile("readme.txt"));
  ASSERT_TRUE(installation->AddFile("sub\\a.dll"));
  ASSERT_TRUE(installation->AddFile("sub\\deep\\b.dat"));
  ASSERT_TRUE(installation->AddFile("sub\\deep\\deeper\\c.dat"));
  ASSERT_TRUE(installation->AddFile("docs\\help.txt"));
  ASSERT_TRUE(installation->AddFile("zobrix.gid"));
  ASSERT_TRUE(installation->AddFile("zobrix.fts"));
  ASSERT_TRUE(SetReadOnly(*installation / "Zobrix.exe"));
  ASSERT_TRUE(SetReadOnly(*installation / "sub\\deep\\b.dat"));
  ASSERT_TRUE(installation->WriteList(
      "sub\r\n"
      "sub\\deep\r\n"
      "sub\\deep\\deeper\n"
      "\r\n"
      "readme.txt  \t\r\n"
      "Zobrix.exe\n"
      "   \t \r\n"
      "\n"
      "sub\\a.dll\r\n"
      "sub\\deep\\b.dat\t\n"
      "sub\\deep\\deeper\\c.dat\r\n"
      "missing.txt\r\n"
      "gone\\missing.dat\n"
      "docs\r\n"
      "docs\\help.txt"));
}

// Runs the program on a complete installation, answering the confirmation
// with Yes unless silent; checks the state right after it ended and the
// batch file it left.
void RunCompleteUninstall(const Installation& installation, bool silent) {
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), silent ? "/s" : "", TempPath()));
  if (!silent) {
    HWND box = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs, L"#32770");
    ASSERT_NE(box, nullptr) << "no confirmation box";
    EXPECT_EQ(testenv::WindowText(box), ProgramString(MSG_UNINSTALL_CAPTION));
    EXPECT_EQ(testenv::MessageBoxText(box), ProgramString(MSG_CONFIRM_UNINSTALL));
    EXPECT_TRUE(testenv::MessageBoxHasIcon(box, kQuestionIcon));
    ASSERT_TRUE(testenv::PressButton(box, IDYES));
  }
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
  // The batch file first runs a copy of the program with /wait (2 s): it is
  // complete now and still there.
  std::string batch;
  EXPECT_TRUE(testenv::ReadFileBytes(BatchFile(), &batch));
  EXPECT_EQ(batch, ExpectedBatchText(installation, silent));
  if (uninstall_e2e::RunsElevated()) {
    // Out of reach of the user's processes without elevation: nothing in
    // the user's temporary folder, a folder of its own that holds only the
    // batch file.
    EXPECT_FALSE(testenv::PathExists(uninstall_e2e::UserBatchFile()));
    std::vector<std::string> folders = uninstall_e2e::BatchFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_NE(folders[0].compare(0, TempPath().size(), TempPath()), 0) << folders[0];
    // The program file waits there beside it for the batch.
    std::vector<std::string> own = {"Uninstall_Kex.Bat = " + std::to_string(batch.size()) + " bytes"};
    if (uninstall_e2e::ProgramMovesToTheBatch()) own.push_back("uninstall.exe = " + ProgramSummary());
    EXPECT_EQ(Tree(folders[0]), own);
  }
  // Everything but the program file is gone already; the folder too where
  // the program file moved to the batch.
  EXPECT_EQ(Tree(installation.Folder()), uninstall_e2e::LeftForTheBatch());
  if (uninstall_e2e::ProgramMovesToTheBatch()) {
    EXPECT_FALSE(testenv::PathExists(installation.Folder()));
    // An installation outside "Program Files" is the user's to change: a link
    // to another folder at the folder's name, put there before the batch's
    // first deletion, must not lead the batch to that folder's program.
    testenv::TempFolder other("other");
    ASSERT_TRUE(testenv::WriteFileBytes(other / "uninstall.exe", "another program"));
    if (testenv::PathExists(installation.Folder()))
      MoveFileA(installation.Folder().c_str(), (installation.Folder() + ".away").c_str());
    ASSERT_TRUE(uninstall_e2e::MakeUnixSymbolicLink(other.Path(), installation.Folder()));
    const bool batch_gone = WaitForBatchFileGone();
    EXPECT_TRUE(uninstall_e2e::RemoveUnixName(installation.Folder()));
    EXPECT_TRUE(batch_gone);
    EXPECT_EQ(Tree(other.Path()), (std::vector<std::string>{"uninstall.exe = another program"}));
  }
  EXPECT_TRUE(WaitForSelfRemoval(installation)) << "program file, folder or batch file still there";
}

class UninstallRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testenv::UninstallExePath().empty()) << "UNINSTALL_EXE is not set";
    // A batch file left by an earlier failed test would be taken for this one's.
    uninstall_e2e::RemoveBatchLeftovers();
  }
};

TEST_F(UninstallRun, SilentRunDeletesTheListThenTheBatchRemovesProgramAndFolder) {
  Installation installation;
  FillCompleteInstallation(&installation);
  RunCompleteUninstall(installation, true);
}

TEST_F(UninstallRun, ConfirmedRunDeletesTheListThenTheBatchRemovesProgramAndFolder) {
  Installation installation;
  FillCompleteInstallation(&installation);
  RunCompleteUninstall(installation, false);
}

TEST_F(UninstallRun, UnlistedFilesStayAndKeepTheirFolders) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(installation.AddFile("listed.txt"));
  ASSERT_TRUE(installation.AddFile("mine.txt", "user data"));
  ASSERT_TRUE(installation.AddFile("sub\\listed.dll"));
  ASSERT_TRUE(installation.AddFile("sub\\notes.txt", "user notes"));
  ASSERT_TRUE(installation.AddFile("zobrix.gid"));
  ASSERT_TRUE(installation.WriteList("sub\r\nlisted.txt\r\nsub\\listed.dll\r\n"));
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  ASSERT_TRUE(WaitForBatchFileGone());
  // The program file is gone; the removal of the folder failed.
  EXPECT_EQ(Tree(installation.Folder()),
            (std::vector<std::string>{"mine.txt = user data", "sub\\", "sub\\notes.txt = user notes"}));
}

// Each entry first gets the deletion its name suggests (a dot: a file);
// these names suggest the wrong one, two of them on read-only files.
TEST_F(UninstallRun, FoldersWithDotsAndFilesWithoutGoAsTheOthers) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(installation.AddFile("LICENSE"));
  ASSERT_TRUE(installation.AddFile("lang.d\\en.lng"));
  ASSERT_TRUE(installation.AddFile("data.d\\INDEX"));
  ASSERT_TRUE(installation.AddFile("data.d\\mine", "user data"));
  ASSERT_TRUE(SetReadOnly(installation / "LICENSE"));
  ASSERT_TRUE(SetReadOnly(installation / "data.d\\INDEX"));
  ASSERT_TRUE(installation.WriteList("lang.d\r\ndata.d\r\nLICENSE\r\nlang.d\\en.lng\r\ndata.d\\INDEX\r\n"));
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  ASSERT_TRUE(WaitForBatchFileGone());
  EXPECT_EQ(Tree(installation.Folder()), (std::vector<std::string>{"data.d\\", "data.d\\mine = user data"}));
}

TEST_F(UninstallRun, EmptyListStillRemovesProgramAndFolder) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(installation.WriteList(""));
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitForSelfRemoval(installation));
}

// --- Stopping before anything changes --------------------------------------

// An installation with a list and the two extra files, which a run that goes
// ahead deletes first.
void FillSmallInstallation(Installation* installation) {
  ASSERT_TRUE(installation->Ready());
  ASSERT_TRUE(installation->AddFile("a.txt"));
  ASSERT_TRUE(installation->AddFile("sub\\b.txt"));
  ASSERT_TRUE(installation->AddFile("zobrix.gid"));
  ASSERT_TRUE(installation->AddFile("zobrix.fts"));
  ASSERT_TRUE(installation->WriteList("a.txt\r\nsub\\b.txt\r\nsub\r\n"));
}

struct DeclineCase {
  const char* name;
  // Ends the confirmation box without Yes.
  void (*answer)(HWND box);
};

TEST_F(UninstallRun, ConfirmationNotAnsweredYesChangesNothing) {
  const DeclineCase cases[] = {
      {"No", [](HWND box) { testenv::PressButton(box, IDNO); }},
      // A Yes/No box ignores Escape and its close button on Windows; the
      // program must not take the box's end for a Yes either way.
      {"closed",
       [](HWND box) {
         PostMessageW(box, WM_CLOSE, 0, 0);
         testenv::PressKey(box, VK_ESCAPE);
         if (!testenv::WaitForWindowGone(box, 1000)) testenv::PressButton(box, IDNO);
       }},
  };
  for (const DeclineCase& c : cases) {
    SCOPED_TRACE(c.name);
    Installation installation;
    FillSmallInstallation(&installation);
    SettingsMarker marker;
    ASSERT_TRUE(marker.Written());
    std::vector<std::string> before = Tree(installation.Folder());
    testenv::ProgramRun run;
    ASSERT_TRUE(run.Start(installation.Program(), "", TempPath()));
    HWND box = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs, L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(testenv::MessageBoxText(box), ProgramString(MSG_CONFIRM_UNINSTALL));
    c.answer(box);
    DWORD code = 1;
    ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code));
    EXPECT_EQ(code, kCancelled);
    EXPECT_EQ(Tree(installation.Folder()), before);
    EXPECT_TRUE(marker.Present()) << "the registry clean-up ran";
    EXPECT_TRUE(uninstall_e2e::NothingOfTheBatchLeft());
  }
}

// A silent run waits for nobody: what it would have said is in its code.
TEST_F(UninstallRun, MissingListShowsTheErrorUnlessSilentAndChangesNothing) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "/s" : "confirmed");
    Installation installation;
    FillSmallInstallation(&installation);
    ASSERT_TRUE(DeleteFileA((installation / "Uninstall.lst").c_str()));
    SettingsMarker marker;
    ASSERT_TRUE(marker.Written());
    std::vector<std::string> before = Tree(installation.Folder());
    testenv::ProgramRun run;
    ASSERT_TRUE(run.Start(installation.Program(), silent ? "/s" : "", TempPath()));
    if (!silent) {
      HWND confirmation = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs, L"#32770");
      ASSERT_NE(confirmation, nullptr);
      ASSERT_EQ(testenv::MessageBoxText(confirmation), ProgramString(MSG_CONFIRM_UNINSTALL));
      testenv::PressButton(confirmation, IDYES);
      ASSERT_TRUE(testenv::WaitForWindowGone(confirmation, testenv::kWaitMs));
      HWND box = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs, L"#32770");
      ASSERT_NE(box, nullptr) << "no error box";
      std::wstring format = ProgramString(MSG_CANNOT_OPEN_LIST);
      std::wstring expected = format;
      size_t at = expected.find(L"%s");
      ASSERT_NE(at, std::wstring::npos) << "message 5108 holds no %s";
      expected.replace(at, 2, L"Uninstall.lst");
      EXPECT_EQ(testenv::WindowText(box), ProgramString(MSG_UNINSTALL_CAPTION));
      EXPECT_EQ(testenv::MessageBoxText(box), expected);
      EXPECT_TRUE(testenv::MessageBoxHasIcon(box, kErrorIcon));
      testenv::PressButton(box, IDOK);
    }
    DWORD code = 1;
    if (silent)
      EXPECT_TRUE(uninstall_e2e::EndsWithoutAnyWindow(run, &code));
    else
      ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code));
    EXPECT_EQ(code, kFailed);
    EXPECT_EQ(Tree(installation.Folder()), before);
    EXPECT_TRUE(marker.Present()) << "the registry was cleaned up without a list";
    EXPECT_TRUE(uninstall_e2e::NothingOfTheBatchLeft());
  }
}

// --- The program file cannot be deleted ------------------------------------

// An installation whose list names its one file "a.txt".
bool ListsOneFile(Installation& installation) {
  return installation.Ready() && installation.AddFile("a.txt") && installation.WriteList("a.txt\r\n");
}


// Interactive, the batch's run of the program says what is left to do; after
// a silent uninstall it shows nothing at all.
TEST_F(UninstallRun, ProgramFileHeldOpenLeadsToTheWarningAndHarmsNothingElse) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "/s" : "confirmed");
    Installation installation;
    ASSERT_TRUE(installation.Ready());
    ASSERT_TRUE(installation.AddFile("a.txt"));
    ASSERT_TRUE(installation.AddFile("mine.txt", "user data"));
    ASSERT_TRUE(installation.WriteList("a.txt\r\n"));
    // Another process's handle without delete sharing: every "del" of the
    // batch file fails while it is open.
    HANDLE held = CreateFileA(installation.Program().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    testenv::ProgramRun run;
    ASSERT_TRUE(run.Start(installation.Program(), silent ? "/s" : "", TempPath()));
    if (!silent) {
      HWND confirmation = testenv::WaitForWindow(run.ProcessId(), testenv::kWaitMs);
      ASSERT_NE(confirmation, nullptr);
      ASSERT_TRUE(testenv::PressButton(confirmation, IDYES));
    }
    DWORD code = 1;
    bool ended = run.Wait(testenv::kWaitMs, &code);
    const std::wstring caption = ProgramString(MSG_UNINSTALL_CAPTION);
    HWND notice = nullptr;
    if (ended && !silent) notice = WaitForMessageBoxWithCaption(caption, 60000);
    // silent: watched until the batch file has ended
    for (DWORD start = GetTickCount(); ended && silent && !notice && GetTickCount() - start < 60000 &&
                                       !uninstall_e2e::NothingOfTheBatchLeft();)
      notice = WaitForMessageBoxWithCaption(caption, 200);
    std::wstring notice_text = notice ? testenv::MessageBoxText(notice) : L"";
    bool information_icon = notice && testenv::MessageBoxHasIcon(notice, kInformationIcon);
    std::vector<std::string> tree_during_notice = Tree(installation.Folder());
    if (notice) testenv::PressButton(notice, IDOK);
    bool batch_gone = WaitForBatchFileGone();
    if (!batch_gone) {
      // A notice that came late holds the batch file: close it, so that the
      // next test starts without it.
      HWND late = WaitForMessageBoxWithCaption(caption, 1000);
      if (late) testenv::PressButton(late, IDOK);
      WaitForBatchFileGone(20000);
    }
    CloseHandle(held);

    ASSERT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    const bool nt_family = !testenv::IsWin9xFamily();
    std::wstring by_hand = ProgramString(MSG_DELETE_BY_HAND);
    by_hand.replace(by_hand.find(L"%s"), 2, testenv::AnsiToWide(installation.Program()));
    EXPECT_TRUE(batch_gone);
    EXPECT_EQ(tree_during_notice,
              (std::vector<std::string>{"mine.txt = user data", "uninstall.exe = " + ProgramSummary()}));
    if (silent) {
      EXPECT_EQ(notice, nullptr) << "a silent uninstall left a notice: " << testenv::WideToAnsi(notice_text);
    } else {
      ASSERT_NE(notice, nullptr) << "no notice from the /warning run";
      // On the 9x family the program file goes at the next restart, which
      // the notice says. On the NT family a file held without delete sharing
      // cannot be moved out of the folder, and is never noted by its own name
      // there: the notice asks the user to delete it.
      EXPECT_EQ(notice_text, ProgramString(MSG_UNINSTALL_DONE) + L"\n" +
                                 (nt_family ? by_hand : ProgramString(MSG_RESTART_COMPLETES)));
      EXPECT_TRUE(information_icon);
    }
    // Wine's restart carries out what was noted; the user's file keeps the folder.
    testenv::ProgramRun boot;
    ASSERT_TRUE(boot.Start("wineboot.exe", "-r", TempPath()) && boot.Wait(60000));
    EXPECT_EQ(Tree(installation.Folder()), nt_family ? tree_during_notice
                                                     : std::vector<std::string>{"mine.txt = user data"});
  }
}

// An upgrade that uninstalls first: the new installation's list appears in
// the folder while the batch file still waits; its program file and folder
// stay, and nothing asks. Where the program file moved to the batch, the
// batch names nothing in the folder at all.
TEST_F(UninstallRun, NewInstallationRightAfterTheUninstallStaysWhole) {
  Installation installation;
  ASSERT_TRUE(ListsOneFile(installation));
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), "/s", TempPath()));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code));
  EXPECT_EQ(code, 0u);
  // the batch's copy of the program waits 2 s before the first deletion
  ASSERT_TRUE(installation.WriteList("new.txt\r\n"));
  ASSERT_TRUE(installation.AddFile("new.txt", "new"));
  EXPECT_TRUE(WaitForBatchFileGone());
  EXPECT_EQ(WaitForMessageBoxWithCaption(ProgramString(MSG_UNINSTALL_CAPTION), 500), nullptr);
  std::vector<std::string> expected = {"Uninstall.lst = new.txt\r\n", "new.txt = new"};
  for (const std::string& program : uninstall_e2e::LeftForTheBatch()) expected.push_back(program);
  EXPECT_EQ(Tree(installation.Folder()), expected);
}

// A silent uninstall started while another waits at its confirmation
// changes nothing and says why in its code; interactive, it says so.
TEST_F(UninstallRun, SecondRunWhileOneWaitsChangesNothing) {
  Installation installation;
  FillSmallInstallation(&installation);
  SettingsMarker marker;
  ASSERT_TRUE(marker.Written());
  const std::vector<std::string> before = Tree(installation.Folder());
  testenv::ProgramRun first;
  ASSERT_TRUE(first.Start(installation.Program(), "", TempPath()));
  HWND confirmation = testenv::WaitForWindow(first.ProcessId(), 20000);
  ASSERT_NE(confirmation, nullptr);

  testenv::ProgramRun silent;
  ASSERT_TRUE(silent.Start(installation.Program(), "/s", TempPath()));
  DWORD code = 1;
  EXPECT_TRUE(uninstall_e2e::EndsWithoutAnyWindow(silent, &code));
  EXPECT_EQ(code, kAlreadyRunning);
  EXPECT_EQ(Tree(installation.Folder()), before);
  EXPECT_TRUE(marker.Present()) << "the registry clean-up ran";

  testenv::ProgramRun second;
  ASSERT_TRUE(second.Start(installation.Program(), "/setup", TempPath()));
  HWND box = testenv::WaitForWindow(second.ProcessId(), 20000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(testenv::MessageBoxText(box), ProgramString(MSG_ALREADY_RUNNING));
  testenv::PressButton(box, IDOK);
  ASSERT_TRUE(second.Wait(20000, &code));
  EXPECT_EQ(code, kAlreadyRunning);

  ASSERT_TRUE(testenv::PressButton(confirmation, IDNO));
  ASSERT_TRUE(first.Wait(20000, &code));
  EXPECT_EQ(code, kCancelled);
  EXPECT_EQ(Tree(installation.Folder()), before);
  EXPECT_TRUE(uninstall_e2e::NothingOfTheBatchLeft());
}

// This process's "COMSPEC", which the program inherits, read when made and
// put back when gone, also when an assertion ends the test early.
class SavedComspec {
 public:
  SavedComspec() {
    DWORD length = GetEnvironmentVariableA("COMSPEC", value_, sizeof(value_));
    saved_ = length > 0 && length < sizeof(value_);
  }
  ~SavedComspec() {
    if (saved_) SetEnvironmentVariableA("COMSPEC", value_);
  }
  SavedComspec(const SavedComspec&) = delete;
  SavedComspec& operator=(const SavedComspec&) = delete;
  bool Saved() const { return saved_; }
  const char* Value() const { return value_; }

 private:
  char value_[1024] = "";
  bool saved_ = false;
};

// --- Texts that do not fit: no self-removal, nothing cut short -------------

// The list is processed; the program file and its folder stay, no batch file
// is left behind, and the program ends with the code of a failure.
void ExpectNoSelfRemoval(const Installation& installation) {
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, kFailed);
  EXPECT_TRUE(uninstall_e2e::NothingOfTheBatchLeft());
  EXPECT_TRUE(uninstall_e2e::OnlyTheProgramLeft(installation));
}

TEST_F(UninstallRun, BatchPieceThatDoesNotFitStartsNoSelfRemoval) {
  // Every "%" is written "%%": the removal block, which names the program
  // twice and the folder once, outgrows its 1024 bytes. A program file
  // moved to the batch's own folder leaves no such name in the batch.
  Installation installation(std::wstring(200, L'%'));
  ASSERT_TRUE(ListsOneFile(installation));
  if (!uninstall_e2e::ProgramMovesToTheBatch()) {
    ExpectNoSelfRemoval(installation);
    return;
  }
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitForSelfRemoval(installation));
}

TEST_F(UninstallRun, CommandLineThatDoesNotFitStartsNoSelfRemoval) {
  if (uninstall_e2e::RunsElevated())
    GTEST_SKIP() << "an elevated run takes the system's interpreter, whose path always fits";
  Installation installation;
  ASSERT_TRUE(ListsOneFile(installation));
  SavedComspec saved;
  ASSERT_TRUE(saved.Saved());
  // The program inherits it: with " /c" and the batch path the command line
  // passes 512 bytes.
  std::string comspec = "C:\\" + std::string(480, 'c') + "\\cmd.exe";
  ASSERT_TRUE(SetEnvironmentVariableA("COMSPEC", comspec.c_str()));
  ExpectNoSelfRemoval(installation);
}

// A text value under HKEY_CURRENT_USER; the key is made when missing.
bool SetUserText(const char* key_path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG set = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return set == ERROR_SUCCESS;
}

// The user's environment reaches an elevated process: "COMSPEC" naming a
// program of the user's must not have it started with those rights. Nor may
// the command interpreter's AutoRun, which the user's processes write into
// HKEY_CURRENT_USER without elevation: the system's cmd.exe gets /D, and
// /V:OFF against the delayed expansion that the same key may switch on.
// Wine's cmd.exe ignores AutoRun, so under Wine only the command line shows
// this; on Windows the trace program would also leave its trace.
TEST_F(UninstallRun, ElevatedRunIgnoresTheInterpreterOfTheEnvironmentAndAutoRun) {
  if (!uninstall_e2e::RunsElevated()) GTEST_SKIP() << "only an elevated run has rights to steal";
  Installation installation;
  ASSERT_TRUE(ListsOneFile(installation));
  testenv::TempFolder planted("comspec");
  ASSERT_FALSE(planted.Path().empty());
  char self[MAX_PATH];
  DWORD self_length = GetModuleFileNameA(nullptr, self, sizeof(self));
  ASSERT_TRUE(self_length > 0 && self_length < sizeof(self));
  std::string tests_folder(self, std::string(self).rfind('\\'));
  std::string interpreter = planted / "cmd.exe";
  ASSERT_TRUE(CopyFileA((tests_folder + "\\trace_program.exe").c_str(), interpreter.c_str(), TRUE));
  const char kProcessorKey[] = "Software\\Microsoft\\Command Processor";
  testenv::RegistryGuard processor(HKEY_CURRENT_USER, kProcessorKey);
  ASSERT_TRUE(SetUserText(kProcessorKey, "AutoRun", interpreter));
  SavedComspec saved;
  ASSERT_TRUE(saved.Saved());
  ASSERT_TRUE(SetEnvironmentVariableA("COMSPEC", interpreter.c_str()));
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), "/s", TempPath()));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code));
  EXPECT_EQ(code, 0u);
  // The interpreter runs on while the batch file waits for the /wait copy.
  std::string command_line = uninstall_e2e::ChildCommandLine(run.ProcessId(), L"cmd.exe");
  std::vector<std::string> folders = uninstall_e2e::BatchFolders();
  ASSERT_EQ(folders.size(), 1u);
  char system[MAX_PATH];
  UINT system_length = GetSystemDirectoryA(system, sizeof(system));
  ASSERT_TRUE(system_length > 0 && system_length < sizeof(system));
  EXPECT_EQ(command_line, std::string(system) + "\\cmd.exe /D /V:OFF /c \"\"" + folders[0] +
                              "\\Uninstall_Kex.Bat\" & rd \"" + folders[0] + "\"\"");
  EXPECT_TRUE(WaitForSelfRemoval(installation));
  EXPECT_FALSE(testenv::PathExists(interpreter + ".trace"));
}

// Before Vista (NT 6) there is no elevation, and the token is not asked:
// Windows 2000 and XP write the batch file into the user's temporary folder
// and run it by COMSPEC. Under Wine every token reads as elevated, so only
// a run that Wine tells it is XP takes this road on the NT family.
TEST_F(UninstallRun, BeforeVistaTheUserTempBatchRunsByComspec) {
  if (testenv::IsWin9xFamily()) GTEST_SKIP() << "the 9x family takes this road in every test";
  const char kDefaultsKey[] = "Software\\Wine\\AppDefaults\\uninstall.exe";
  testenv::RegistryGuard defaults(HKEY_CURRENT_USER, kDefaultsKey);
  ASSERT_TRUE(SetUserText(kDefaultsKey, "Version", "winxp"));
  Installation installation;
  ASSERT_TRUE(ListsOneFile(installation));
  SavedComspec comspec;
  ASSERT_TRUE(comspec.Saved());
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), "/s", TempPath()));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(testenv::kWaitMs, &code));
  EXPECT_EQ(code, 0u);
  std::string batch = uninstall_e2e::UserBatchFile();
  EXPECT_EQ(uninstall_e2e::ChildCommandLine(run.ProcessId(), L"cmd.exe"),
            std::string(comspec.Value()) + " /c \"" + batch + "\"");
  std::string text;
  EXPECT_TRUE(testenv::ReadFileBytes(batch, &text));
  EXPECT_EQ(text, uninstall_e2e::ExpectedBatchText(installation.Program(), installation.Folder(), batch, true));
  EXPECT_TRUE(uninstall_e2e::BatchFolders().empty());
  EXPECT_TRUE(WaitForSelfRemoval(installation));
  for (int wait = 0; wait < 100 && testenv::PathExists(batch); ++wait) Sleep(100);
  EXPECT_FALSE(testenv::PathExists(batch)) << "the batch file did not delete itself";
}

// --- Entries that reach outside the installation folder --------------------

// Links planted in the installation, each leading outside it: a folder link
// that entries go through, links named as an installer's list names its
// folders and files, and one to nothing. Under Wine they are Unix links,
// which only the Linux side can make.
struct PlantedLink {
  const char* name;    // in the installation
  const char* target;  // in the outside folder
};
const PlantedLink kPlantedLinks[] = {
    {"linkdir", "precious"}, {"data", "shared"},       {"readme.txt", "victim.txt"},
    {"plugins", "empty"},    {"dangling", "nothing"},      {"zobrix.gid", "victim.txt"},
};

// One shell run over every planted link: command holds %L and %T for the
// link's and its target's Unix names.
bool ForEachPlantedLink(const Installation& installation, const std::string& outside,
                        const std::string& command) {
  std::string all;
  for (const PlantedLink& link : kPlantedLinks) {
    std::string unix_link = uninstall_e2e::UnixPath(installation / link.name);
    std::string unix_target = uninstall_e2e::UnixPath(outside + "\\" + link.target);
    if (unix_link.empty() || unix_target.empty()) return false;
    std::string one = command;
    for (size_t at = 0; (at = one.find('%', at)) != std::string::npos;) {
      const std::string& name = one[at + 1] == 'L' ? unix_link : unix_target;
      one.replace(at, 2, name);
      at += name.size();
    }
    all += (all.empty() ? "" : " && ") + one;
  }
  return uninstall_e2e::RunUnixShell(all);
}

// Removes the links themselves before the folders are removed, which would
// follow them.
struct RemoveLinksAtEnd {
  const Installation& installation;
  const std::string outside;
  bool planted;
  ~RemoveLinksAtEnd() {
    if (planted) ForEachPlantedLink(installation, outside, "rm -f '%L'");
  }
};

TEST_F(UninstallRun, EntriesOutsideTheFolderDeleteNothingOutsideIt) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  testenv::TempFolder outside("outside");
  ASSERT_FALSE(outside.Path().empty());
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "precious\\p1.txt", "p1"));
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "shared\\core.dat", "core"));
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "victim.txt", "victim"));
  ASSERT_TRUE(testenv::MakeFolders(outside / "empty"));
  // The 9x family has no links (and under Wine follows them as ever).
  const bool links = !testenv::IsWin9xFamily();
  RemoveLinksAtEnd remove_links{installation, outside.Path(), links};
  if (links) {
    ASSERT_TRUE(ForEachPlantedLink(installation, outside.Path(), "ln -s '%T' '%L'"));
    // A read-only hard link: its attributes are its outside twin's too.
    ASSERT_TRUE(testenv::WriteFileBytes(outside / "twin.txt", "twin"));
    ASSERT_TRUE(SetFileAttributesA((outside / "twin.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkA((installation / "hard.txt").c_str(), (outside / "twin.txt").c_str(),
                                nullptr));
  }
  std::string sibling_name = "sibling_" + std::to_string(GetCurrentProcessId()) + ".txt";
  std::string sibling = TempPath() + sibling_name;
  struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { DeleteFileA(path.c_str()); }
  } remove_sibling{sibling};
  ASSERT_TRUE(testenv::WriteFileBytes(sibling, "sibling"));
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "absolute.txt", "absolute"));
  // Where the folder and an entry with a leading separator would meet if
  // the separators ran together.
  ASSERT_TRUE(installation.AddFile("x", "x"));
  ASSERT_TRUE(installation.AddFile("server\\share\\x", "unc"));
  ASSERT_TRUE(installation.AddFile("inside.txt"));
  // Patterns: the 9x family's DeleteFileA would delete every file that
  // matches them, listed or not. Wine's refuses a name with a wildcard on
  // both families, so under Wine this part cannot fail; the entry rule's
  // table in the unit tests guards it there.
  ASSERT_TRUE(installation.AddFile("a.txt", "mine"));
  ASSERT_TRUE(installation.AddFile("keep.dat", "mine"));
  std::string parent_drive_root = TempPath().substr(0, 3);
  ASSERT_TRUE(installation.WriteList(
      "..\\" + sibling_name + "\r\n" +
      "sub\\..\\..\\" + sibling_name + "\r\n" +
      "../" + sibling_name + "\r\n" +
      outside.Path() + "\\absolute.txt\r\n" +
      "C:\\Windows\\x\r\n" +
      "\\x\r\n" +
      "/x\r\n" +
      "\\\\server\\share\\x\r\n" +
      parent_drive_root.substr(0, 2) + "..\\" + sibling_name + "\r\n" +
      ".\r\n" +
      "*.*\r\n" +
      "?.txt\r\n" +
      "inside.txt\r\n" +
      "linkdir\\p1.txt\r\n" +
      "linkdir\r\n" +
      "data\r\n" +
      "readme.txt\r\n" +
      "plugins\r\n" +
      "dangling\r\n" +
      "hard.txt\r\n"));
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitForBatchFileGone());
  std::string bytes;
  EXPECT_TRUE(testenv::ReadFileBytes(sibling, &bytes));
  EXPECT_EQ(bytes, "sibling");
  std::vector<std::string> expected_outside = {"absolute.txt = absolute", "empty\\", "precious\\",
                                                "precious\\p1.txt = p1", "shared\\",
                                                "shared\\core.dat = core", "victim.txt = victim"};
  if (links) {
    expected_outside.insert(expected_outside.end() - 1, "twin.txt = twin");
    EXPECT_FALSE(testenv::PathExists(installation / "hard.txt"));
    EXPECT_EQ(GetFileAttributesA((outside / "twin.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesA((outside / "twin.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  EXPECT_EQ(Tree(outside.Path()), expected_outside);
  // Each link is gone (deleted as a link) or still leads where it did.
  if (links) {
    EXPECT_TRUE(ForEachPlantedLink(installation, outside.Path(),
                                   "{ ! test -L '%L' || readlink '%L' | grep -qxF '%T'; }"));
    ASSERT_TRUE(ForEachPlantedLink(installation, outside.Path(), "rm -f '%L'"));
  }
  EXPECT_EQ(Tree(installation.Folder()),
            (std::vector<std::string>{"a.txt = mine", "keep.dat = mine", "server\\", "server\\share\\",
                                      "server\\share\\x = unc", "x = x"}));
}

}  // namespace
