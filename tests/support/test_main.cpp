#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"

namespace {

// Exit codes that scripts/wine-test.sh reads.
const int kExitNoWindow = 75;    // the window check failed: no test ran
const int kExitWatchdog = 124;   // a test ran past its limit

// Ends the program when one test runs past its limit, naming the test and
// what it waits for: a test that waits for ever would hold up the whole run.
class Watchdog {
 public:
  void Start() {
    InitializeCriticalSection(&lock_);
    HANDLE thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    if (thread) CloseHandle(thread);
  }
  void Begin(const std::string& name, DWORD limit_seconds) {
    EnterCriticalSection(&lock_);
    name_ = name;
    started_ = GetTickCount();
    limit_ms_ = limit_seconds * 1000;
    LeaveCriticalSection(&lock_);
  }
  void End() { Begin("", 0); }

 private:
  static DWORD WINAPI Watch(LPVOID param) {
    auto* self = static_cast<Watchdog*>(param);
    for (;;) {
      Sleep(500);
      EnterCriticalSection(&self->lock_);
      const std::string name = self->name_;
      const DWORD elapsed = GetTickCount() - self->started_;
      const DWORD limit = self->limit_ms_;
      LeaveCriticalSection(&self->lock_);
      if (name.empty() || elapsed < limit) continue;
      const std::string waits = testenv::CurrentWait();
      std::fprintf(stderr, "[watchdog] %s still running after %lu s: %s\n", name.c_str(),
                   static_cast<unsigned long>(elapsed / 1000),
                   waits.empty() ? "what it waits for is not known" : ("waits for " + waits).c_str());
      std::fflush(stdout);
      std::fflush(stderr);
      // not ExitProcess: the test's thread may hold a lock that the
      // runtime's clean-up would wait for
      TerminateProcess(GetCurrentProcess(), kExitWatchdog);
    }
  }

  CRITICAL_SECTION lock_;
  std::string name_;
  DWORD started_ = 0;
  DWORD limit_ms_ = 0;
};

Watchdog watchdog;
// --watchdog=SECONDS: the limit of one test (the longest, a sweep of setups,
// takes about a minute on a loaded machine)
DWORD test_limit_seconds = 240;

class WatchdogListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& test) override {
    watchdog.Begin(std::string(test.test_suite_name()) + "." + test.name(), test_limit_seconds);
  }
  void OnTestEnd(const testing::TestInfo&) override { watchdog.End(); }
};

// Each test gets a temporary folder of its own, which the programs it starts
// inherit through TEMP and TMP: one test's batch file "Uninstall_Kex.Bat" is
// never another's (an elevated run's goes to a folder of its own under the
// Windows folder's Temp, which the uninstall tests clear). When the test ends, whatever it started and left running
// is ended (and named), then the folder goes.
class PerTestIsolation : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo& test) override {
    std::string root = TempRoot();
    static unsigned counter = 0;
    folder_ = root + "test" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    if (!testenv::MakeFolders(folder_)) {
      std::fprintf(stderr, "%s.%s: cannot create its temporary folder %s\n", test.test_suite_name(),
                   test.name(), folder_.c_str());
      folder_.clear();
      return;
    }
    SetEnvironmentVariableA("TEMP", folder_.c_str());
    SetEnvironmentVariableA("TMP", folder_.c_str());
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    for (const std::string& process : testenv::EndProcessesStartedByTest())
      std::fprintf(stderr, "%s.%s left %s running: ended it\n", test.test_suite_name(), test.name(),
                   process.c_str());
    if (folder_.empty()) return;
    SetEnvironmentVariableA("TEMP", original_temp_.empty() ? nullptr : original_temp_.c_str());
    SetEnvironmentVariableA("TMP", original_tmp_.empty() ? nullptr : original_tmp_.c_str());
    // a process that was just ended may still hold a file for a moment
    for (int attempt = 0; attempt < 20 && testenv::PathExists(folder_); ++attempt) {
      testenv::RemoveTree(folder_);
      if (testenv::PathExists(folder_)) Sleep(100);
    }
    folder_.clear();
  }

 private:
  std::string TempRoot() {
    if (!recorded_) {
      original_temp_ = Variable("TEMP");
      original_tmp_ = Variable("TMP");
      recorded_ = true;
    }
    char buffer[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(buffer), buffer);
    return length == 0 || length >= sizeof(buffer) ? "C:\\" : buffer;
  }

  static std::string Variable(const char* name) {
    char buffer[1024];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return length == 0 || length >= sizeof(buffer) ? "" : buffer;
  }

  bool recorded_ = false;
  std::string folder_;
  std::string original_temp_;
  std::string original_tmp_;
};

DWORD main_thread = 0;

// Names the thread and lists the words on its stack that point into this
// program's code, innermost first: the candidates for the calls that led here
// (for addr2line; a stack scan also finds stale words).
extern "C" void ReportAbort(int) {
  std::fprintf(stderr, "test program: abort() called on thread %lu (main thread %lu)\n",
               static_cast<unsigned long>(GetCurrentThreadId()), static_cast<unsigned long>(main_thread));
  const char* base = reinterpret_cast<const char*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const uintptr_t code_begin = reinterpret_cast<uintptr_t>(base) + nt->OptionalHeader.BaseOfCode;
  const uintptr_t code_end = code_begin + nt->OptionalHeader.SizeOfCode;
  volatile uintptr_t marker = 0;
  // the committed part of the stack above this frame ends at its base
  MEMORY_BASIC_INFORMATION stack = {};
  const uintptr_t* end = const_cast<uintptr_t*>(&marker);
  if (VirtualQuery(end, &stack, sizeof(stack)))
    end = reinterpret_cast<const uintptr_t*>(static_cast<const char*>(stack.BaseAddress) + stack.RegionSize);
  int shown = 0;
  for (const volatile uintptr_t* word = &marker; word < end && shown < 60; ++word)
    if (*word >= code_begin && *word < code_end) {
      std::fprintf(stderr, " %p", reinterpret_cast<void*>(*word));
      ++shown;
    }
  std::fputs("\n", stderr);
}

const char kDialogSwitch[] = "--window-check-dialog";

INT_PTR CALLBACK CheckDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetTimer(dialog, 1, testenv::kWaitMs, nullptr);  // never outlives the check
      return TRUE;
    case WM_CLOSE:
    case WM_TIMER:
      EndDialog(dialog, 1);
      return TRUE;
  }
  return FALSE;
}

// The child's side of the window check: a modal dialog from a template in
// memory, as a program shows its dialogs. Exit code 0 once closed, else the
// error of DialogBoxIndirectParamW (1 when it names none).
int ShowCheckDialog() {
  struct alignas(4) {
    DLGTEMPLATE header;
    WORD menu, window_class;
    wchar_t title[13];
  } dialog = {};
  dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME;
  dialog.header.cx = 120;
  dialog.header.cy = 40;
  std::memcpy(dialog.title, L"window check", sizeof(dialog.title));
  SetLastError(0);
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialog.header, nullptr, CheckDialogProc, 0);
  if (result == 1) return 0;
  DWORD error = GetLastError();
  return error ? static_cast<int>(error) : 1;
}

// Under Wine the first window of a session starts the desktop process
// (explorer.exe /desktop, the 64-bit one in a 64-bit prefix) and waits at
// most 10 s for it, and two programs that make their first window at once
// may each start one. Started here, alone and before any window, it gets
// the longer wait that a loaded machine may need, and says how long it took.
// Empty once it runs, else why it could not start.
std::string StartDesktop() {
  if (testenv::ProcessRuns(L"explorer.exe")) return "";
  wchar_t command_line[] = L"\"C:\\windows\\system32\\explorer.exe\" /desktop";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  PVOID redirection = nullptr;
  const BOOL redirected = Wow64DisableWow64FsRedirection(&redirection);
  const DWORD start = GetTickCount();
  const BOOL started = CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                      L"C:\\windows\\system32", &startup, &info);
  const DWORD error = GetLastError();
  if (redirected) Wow64RevertWow64FsRedirection(redirection);
  if (!started) return "cannot start Wine's desktop process (error " + std::to_string(error) + ")";
  const DWORD idle = WaitForInputIdle(info.hProcess, testenv::kWaitMs);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::fprintf(stderr, "window check: Wine's desktop process %s after %lu ms\n",
               idle == 0 ? "answered" : "did not answer", static_cast<unsigned long>(GetTickCount() - start));
  return "";
}

// A copy of this program shows a dialog, which is found and closed from
// here as the tests do it. Empty when that worked, else what went wrong.
std::string ShowDialogInCopy() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
  testenv::ProgramRun copy;
  if (length == 0 || length >= sizeof(self) || !copy.Start(self, kDialogSwitch))
    return "this test program cannot start a copy of itself (error " + std::to_string(GetLastError()) + ")";
  HWND dialog = testenv::WaitForWindow(copy.ProcessId(), testenv::kWaitMs);
  DWORD code = 0;
  if (dialog) {
    if (testenv::PressCloseBox(dialog) && copy.Wait(testenv::kWaitMs, &code) && code == 0) return "";
    return "a dialog was shown but could not be closed";
  }
  if (copy.Wait(0, &code))
    return "a dialog box of a program of this prefix failed (error " + std::to_string(code) + ")";
  return "a program of this prefix showed no dialog within " + std::to_string(testenv::kWaitMs / 1000) + " s";
}

// Whether a program of this prefix can show a window that the tests find:
// empty when it can, else why not.
std::string CheckWindowCanBeShown() {
  // its own waits are bounded: the desktop's start, the dialog, its end
  watchdog.Begin("window check", 4 * testenv::kWaitMs / 1000);
  // the dialog decides; the desktop's start only explains a failure
  const std::string desktop = StartDesktop();
  std::string reason = ShowDialogInCopy();
  if (!reason.empty()) {
    if (!desktop.empty()) reason += "; " + desktop;
    reason += testenv::ProcessRuns(L"explorer.exe") ? "; Wine's desktop process explorer.exe runs"
                                            : "; Wine's desktop process explorer.exe is not running";
  }
  testenv::EndProcessesStartedByTest();
  watchdog.End();
  return reason;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kDialogSwitch) == 0) return ShowCheckDialog();
  // The 9x family's batch line opens a console through "start", which the
  // tests end; a console event that reaches this process must not end it
  // (the runtime's default for Ctrl+C is to exit with code 3, as abort does).
  main_thread = GetCurrentThreadId();
  SetConsoleCtrlHandler(nullptr, TRUE);
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGABRT, ReportAbort);
  // Piped output is buffered in blocks; a test program that dies would take
  // the names of its last tests with it.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--watchdog=", 11) == 0) test_limit_seconds = std::strtoul(argv[i] + 11, nullptr, 10);
  watchdog.Start();
  testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
  testing::UnitTest::GetInstance()->listeners().Append(new PerTestIsolation);
  if (!testing::GTEST_FLAG(list_tests)) {
    const std::string reason = CheckWindowCanBeShown();
    if (!reason.empty()) {
      std::fprintf(stderr, "no window can be shown in this prefix: %s\n", reason.c_str());
      // wine-test.sh names the reason in its own last line
      char report[MAX_PATH];
      DWORD length = GetEnvironmentVariableA("WINDOW_CHECK_REPORT", report, sizeof(report));
      if (length > 0 && length < sizeof(report)) testenv::WriteFileBytes(report, reason);
      return kExitNoWindow;
    }
  }
  return RUN_ALL_TESTS();
}
