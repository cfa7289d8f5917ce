#pragma once
// Drives a real program from a test: starts it with a command line and a
// current directory, finds its top-level windows (dialogs and message boxes),
// reads their texts as Unicode, presses their buttons and waits for its exit.
#include <windows.h>

#include <string>
#include <vector>

namespace testenv {

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
  ~ProgramRun();  // ends the process if it still runs
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // exe and arguments form the command line "exe" args; cwd may be empty.
  bool Start(const std::string& exe, const std::string& arguments, const std::string& cwd = "");
  // True when the process ended within timeout_ms; its exit code goes to *code.
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

// Visible top-level windows of a process.
std::vector<HWND> TopLevelWindows(DWORD pid);
// Waits until the process shows a visible top-level window (and, when
// class_name is not empty, one of that class, "#32770" for dialogs and
// message boxes); null after timeout_ms.
HWND WaitForWindow(DWORD pid, DWORD timeout_ms, const std::wstring& class_name = L"#32770");
// Waits until the window is gone (destroyed or hidden).
bool WaitForWindowGone(HWND window, DWORD timeout_ms);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
std::vector<ControlInfo> ChildControls(HWND dialog);
std::wstring ControlText(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);

// Clicks a button the way the user does: the dialog receives WM_COMMAND with
// BN_CLICKED from that control.
bool PressButton(HWND dialog, int id);
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
