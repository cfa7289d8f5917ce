#pragma once
// Shared by the uninstall end-to-end tests: an installation folder with a
// copy of the program under test, runs of it, and the wait for the batch
// file that removes the program and its folder after the program has ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/process_driver.h"

namespace uninstall_e2e {

// Temporary folder of this process (ends in a backslash); the program under
// test inherits the environment.
std::string TempPath();
// Whether the program under test runs elevated: on the NT family its token
// is this process's, which under Wine is always the elevated one. The 9x
// family has none.
bool RunsElevated();
// "Uninstall_Kex.Bat" in TempPath(), where a run without elevation writes
// its batch file.
std::string UserBatchFile();
// The Windows folder's "Temp" (ends in a backslash).
std::string SystemTempPath();
// The folders "Uninstall_Kex_*" in SystemTempPath(), where
// an elevated run writes its batch file, each in a folder of its own.
std::vector<std::string> BatchFolders();
// The batch file that the program writes: UserBatchFile(), or for an
// elevated run the "Uninstall_Kex.Bat" in the one folder of BatchFolders()
// (empty when there is not exactly one).
std::string BatchFile();
// True when no batch file is where the program writes it (for an elevated
// run: no folder of one).
bool NothingOfTheBatchLeft();
// Removes what an earlier failed run left of its batch file.
void RemoveBatchLeftovers();

// A folder below the temporary folder, created through CreateDirectoryW so
// that its name may hold characters of the ANSI code page that are not ASCII,
// holding a copy of the program under test as "uninstall.exe". Removed with
// everything in it at the end unless the program removed it.
class Installation {
 public:
  explicit Installation(const std::wstring& name_hint = L"inst");
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Folder() const { return folder_; }  // ANSI, no trailing backslash
  std::string Program() const { return folder_ + "\\uninstall.exe"; }
  std::string operator/(const std::string& relative) const { return folder_ + "\\" + relative; }

  bool AddFile(const std::string& relative, const std::string& bytes = "data");
  bool AddFolder(const std::string& relative);
  bool WriteList(const std::string& text) { return AddFile("Uninstall.lst", text); }

 private:
  std::string folder_;
  bool ready_ = false;
};

// Runs the copied program with arguments, current folder TempPath(); true
// when it ended within timeout_ms, with its exit code in *code.
bool RunProgram(const Installation& installation, const std::string& arguments, DWORD* code,
                DWORD timeout_ms = testenv::kWaitMs);

// Waits for the end of a run that must show nothing; fails when it shows a
// window or does not end within timeout_ms. Its exit code goes to *code.
testing::AssertionResult EndsWithoutAnyWindow(testenv::ProgramRun& run, DWORD* code,
                                              DWORD timeout_ms = 30000);

// Waits until the program file, the installation folder and the batch file
// with its folder are all gone (the batch file has run and deleted itself). On the 9x family
// under Wine, ends the interactive command interpreter that Wine's "start"
// opens for the batch file's first line (see the .cpp). False after
// timeout_ms.
bool WaitForSelfRemoval(const Installation& installation, DWORD timeout_ms = 60000);
// Waits until nothing of the batch file is left, handling the 9x family as above.
bool WaitForBatchFileGone(DWORD timeout_ms = 60000);

// The command line of a running process that the process parent_pid (which
// may have ended) started under the file name exe_name ("cmd.exe"), read
// from that process's own memory; empty when there is none or it cannot be
// read. Under Wine too, this is the line that CreateProcess was given.
std::string ChildCommandLine(DWORD parent_pid, const wchar_t* exe_name);

// A string of the program under test, in the ANSI code page of this process
// (as the program shows it), converted to wide characters.
std::wstring ProgramString(UINT id);

// Every file and folder below root as relative paths, folders ending in a
// backslash and files followed by " = " and their contents (or their size,
// when longer than 64 bytes); sorted by name.
std::vector<std::string> Tree(const std::string& root);
// The program under test as Tree() shows it.
std::string ProgramSummary();
// For a run that must start no self-removal: half a second after the program
// ended (a command interpreter started anyway would be deleting by then),
// the installation holds the program alone. The failure shows the tree.
testing::AssertionResult OnlyTheProgramLeft(const Installation& installation);

// Whether the uninstall moves its program file into the batch's folder of
// its own, and removes the installation folder, before it writes the batch:
// an elevated run on the NT family, unless the file cannot be moved.
bool ProgramMovesToTheBatch();
// What the installation holds for the batch right after a complete
// uninstall: the program file, or nothing (not even the folder) when it
// moved to the batch.
std::vector<std::string> LeftForTheBatch();

// The batch text that the program writes, from the three paths exactly as
// they are to appear in it, after a silent uninstall or not; the first line
// as on the family of this process. When the program file moved to a batch
// in a folder of its own, the batch names "uninstall.exe" in that folder and
// nothing of program's folder.
std::string ExpectedBatchText(std::string program, const std::string& folder, const std::string& batch,
                              bool silent);

// The Unix name of a Windows path, through Wine's own kernel32 export;
// empty when there is none.
std::string UnixPath(const std::string& path);
// Runs a command line of the Unix shell and waits for it; true when it
// succeeded. The test process itself has no call that makes or removes a
// Unix link.
bool RunUnixShell(const std::string& command);
// A Unix symbolic link at link pointing to target (which need not exist).
bool MakeUnixSymbolicLink(const std::string& target, const std::string& link);
// Removes a name itself: under Wine, DeleteFileA of a Unix link deletes
// its target.
bool RemoveUnixName(const std::string& path);

// A visible message box (class "#32770") of any process with this caption;
// null after timeout_ms. Handles the 9x family as WaitForSelfRemoval does.
HWND WaitForMessageBoxWithCaption(const std::wstring& caption, DWORD timeout_ms);

}  // namespace uninstall_e2e
