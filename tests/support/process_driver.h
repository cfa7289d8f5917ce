#pragma once
// Drives a real program from a test: starts it with a command line and a
// current directory, finds its top-level windows (dialogs and message boxes),
// reads their texts as Unicode, presses their buttons and waits for its exit.
#include <windows.h>

#include <string>
#include <vector>

namespace testenv {

// How long a test waits for what a program does (a window, its end, a
// file): what a 2-core machine meets with several Wine suites running side
// by side. Only a failing test waits this long.
const DWORD kWaitMs = 60000;

// What the running test waits for, for the watchdog's report: set for the
// life of the object, then the text before it is back.
class WaitingFor {
 public:
  explicit WaitingFor(const std::string& what);
  ~WaitingFor();
  WaitingFor(const WaitingFor&) = delete;
  WaitingFor& operator=(const WaitingFor&) = delete;

 private:
  std::string previous_;
};
// The text of the innermost WaitingFor that lives, empty when none.
std::string CurrentWait();

struct ControlInfo {
  int id = 0;
  std::wstring class_name;
  std::wstring text;
  DWORD style = 0;
  HWND hwnd = nullptr;
};

class ProgramRun {
 public:
  ProgramRun() = default;
  // Ends the process if it still runs. What it started (a command
  // interpreter, a copy of itself) runs on until the test ends: see
  // EndProcessesStartedByTest.
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // exe and arguments form the command line "exe" args; cwd may be empty.
  bool Start(const std::string& exe, const std::string& arguments, const std::string& cwd = "");
  // True when the process ended within timeout_ms; its exit code goes to *code.
  // A wait that runs out says so on the error stream.
  bool Wait(DWORD timeout_ms, DWORD* code = nullptr);
  bool Running() const;
  DWORD ProcessId() const { return pid_; }
  HANDLE ProcessHandle() const { return process_; }
  // Milliseconds from Start to the end observed by Wait.
  DWORD ElapsedMs() const { return elapsed_ms_; }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  DWORD started_ = 0;
  DWORD elapsed_ms_ = 0;
};

// Ends every process that the current test started through ProgramRun and
// every process those started in turn (the command interpreter of a batch
// file, the copies it runs, their consoles), and returns one line per
// process it had to end ("cmd.exe (pid 123)"). The per-test listener calls it
// after each test and reports what it ended.
std::vector<std::string> EndProcessesStartedByTest();

// Visible top-level windows of a process.
std::vector<HWND> TopLevelWindows(DWORD pid);
// True while a process of that file name (no folder) runs.
bool ProcessRuns(const wchar_t* name);

// Waits until the process shows a visible top-level window (and, when
// class_name is not empty, one of that class, "#32770" for dialogs and
// message boxes); null after timeout_ms, or as soon as the process has
// ended; either is reported on the error stream (the end with its exit code).
HWND WaitForWindow(DWORD pid, DWORD timeout_ms, const std::wstring& class_name = L"#32770");
// Waits until the window is gone (destroyed or hidden).
bool WaitForWindowGone(HWND window, DWORD timeout_ms);

// Messages to another program's windows give up after this long, so that a
// hung program fails the test that waits on it instead of stalling the run.
const UINT kSendTimeoutMs = 5000;
// SendMessageTimeoutW with that limit; false when the window did not answer.
bool SendWithTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
std::vector<ControlInfo> ChildControls(HWND dialog);
std::wstring ControlText(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);

// Clicks a button the way the user does, with BM_CLICK: a disabled or
// hidden button is not pressed (false). The click is posted, so a button
// that opens a modal dialog does not hold up the caller.
bool PressButton(HWND dialog, int id);
// Clicks the window's close box (the setup dialog has no Cancel button).
bool PressCloseBox(HWND window);
// Sends a key to the focused control of the window's thread (VK_ESCAPE, VK_F1...).
bool PressKey(HWND window, WORD virtual_key);

// Message boxes: their text (static 0xFFFF) and their icon (static 0x440).
std::wstring MessageBoxText(HWND box);
HICON MessageBoxIcon(HWND box);
// Compares a message box icon with a system icon (IDI_INFORMATION, ...): by
// handle, else, for another process's box, by its look on the screen. Pass
// the icon as MAKEINTRESOURCEW(32516) and so on: the IDI_ names are narrow
// in ANSI builds.
bool MessageBoxHasIcon(HWND box, LPCWSTR system_icon);

// Large icon set with WM_SETICON, as the window holds it.
HICON WindowBigIcon(HWND window);

}  // namespace testenv
