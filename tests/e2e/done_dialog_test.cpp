// The completion dialog and the context help of the dialogs, in the real
// program. What a button starts is seen from outside: a stand-in archiver
// and a stand-in document viewer record how they were started, and a window
// of the help viewer's class receives what WinHelpA asks for.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/control_ids.h"
#include "tests/e2e/setup_e2e_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

const DWORD kTimeoutMs = testenv::kWaitMs;

std::string TraceProgram() {
  char path[MAX_PATH];
  std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return self.substr(0, self.rfind('\\')) + "\\trace_program.exe";
}

// One run of a copy of the trace program: its command line and directory.
struct TraceRun {
  std::string command_line, directory;
};

std::vector<TraceRun> TraceRuns(const std::string& program) {
  std::string bytes;
  std::vector<TraceRun> runs;
  if (!testenv::ReadFileBytes(program + ".trace", &bytes)) return runs;
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(bytes.substr(at, end - at));
  for (size_t i = 0; i + 1 < lines.size(); i += 2) runs.push_back({lines[i], lines[i + 1]});
  return runs;
}

// The runs once there are count of them (fewer after the timeout).
std::vector<TraceRun> WaitForRuns(const std::string& program, size_t count) {
  for (DWORD waited = 0; TraceRuns(program).size() < count && waited < kTimeoutMs; waited += 50)
    Sleep(50);
  return TraceRuns(program);
}

// A window of class "MS_WINHELP" on a thread of its own: WinHelpA finds it
// and hands it each request in WM_COPYDATA instead of starting the viewer.
// The thread ends on WM_QUIT, which reaches it whether or not its window
// was ever created.
class HelpViewerStandIn {
 public:
  struct Request {
    WORD command;
    LONG data;
    std::string file;
  };
  HelpViewerStandIn() {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &thread_id_);
    if (thread_ && WaitForSingleObject(ready_, testenv::kWaitMs) != WAIT_OBJECT_0)
      std::fprintf(stderr, "the help viewer stand-in did not start within %lu ms\n",
                   static_cast<unsigned long>(testenv::kWaitMs));
  }
  ~HelpViewerStandIn() {
    if (thread_) {
      testenv::WaitingFor note("the end of the help viewer stand-in's thread");
      PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
      if (WaitForSingleObject(thread_, 10000) != WAIT_OBJECT_0)
        std::fprintf(stderr, "the help viewer stand-in's thread did not end: left behind\n");
      CloseHandle(thread_);
    }
    CloseHandle(ready_);
  }
  HelpViewerStandIn(const HelpViewerStandIn&) = delete;
  HelpViewerStandIn& operator=(const HelpViewerStandIn&) = delete;
  // Whether its window exists; else why not.
  ::testing::AssertionResult Ready() const {
    if (window_) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the help viewer stand-in has no window (error " << create_error_ << ")";
  }
  std::vector<Request> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<Request> WaitForRequests(size_t count) {
    testenv::WaitingFor note(std::to_string(count) + " requests to the help viewer stand-in");
    for (DWORD waited = 0; Requests().size() < count && waited < kTimeoutMs; waited += 50) Sleep(50);
    return Requests();
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<HelpViewerStandIn*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self) {
      // WORD size, WORD command, LONG data, LONG reserved, WORD offset of the file name
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      const BYTE* record = static_cast<const BYTE*>(copy->lpData);
      if (copy->cbData < 14) return FALSE;
      Request request = {*reinterpret_cast<const WORD*>(record + 2), *reinterpret_cast<const LONG*>(record + 4), ""};
      WORD file_at = *reinterpret_cast<const WORD*>(record + 12);
      if (file_at && file_at < copy->cbData)
        request.file.assign(reinterpret_cast<const char*>(record + file_at), strnlen(reinterpret_cast<const char*>(record + file_at), copy->cbData - file_at));
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->requests_.push_back(request);
      return TRUE;
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }
  static DWORD WINAPI Run(LPVOID param) {
    auto* self = static_cast<HelpViewerStandIn*>(param);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue that WM_QUIT is posted to
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "MS_WINHELP";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("MS_WINHELP", "help viewer stand-in", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, window_class.hInstance, nullptr);
    if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    else self->create_error_ = GetLastError();
    self->window_ = window;
    SetEvent(self->ready_);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    if (window) DestroyWindow(window);
    UnregisterClassA("MS_WINHELP", window_class.hInstance);
    return 0;
  }

  std::mutex mutex_;
  std::vector<Request> requests_;
  HWND window_ = nullptr;
  DWORD create_error_ = 0;
  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
};

::testing::AssertionResult AskedFor(const std::vector<HelpViewerStandIn::Request>& requests,
                                    const std::vector<std::pair<WORD, LONG>>& expected) {
  std::string shown;
  for (const auto& request : requests)
    shown += " (" + std::to_string(request.command) + ", " + std::to_string(request.data) + ", " + request.file + ")";
  bool same = requests.size() == expected.size();
  for (size_t i = 0; same && i < requests.size(); ++i)
    same = requests[i].command == expected[i].first && requests[i].data == expected[i].second &&
           requests[i].file == "zobrix.hlp";
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the help viewer was asked for" << (shown.empty() ? " nothing" : shown);
}

bool SetValue(HKEY hive, const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY handle;
  if (RegCreateKeyExA(hive, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
    return false;
  bool written = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return written;
}

bool SetString(HKEY hive, const std::string& key, const char* name, const std::string& value) {
  return SetValue(hive, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool SetDword(HKEY hive, const std::string& key, const char* name, DWORD value) {
  return SetValue(hive, key, name, REG_DWORD, &value, sizeof(value));
}

// Text files, https addresses and folders open in a stand-in viewer, a copy
// of the trace program; the classes are put back afterwards.
class DocumentViewer {
 public:
  DocumentViewer() {
    ready_ = CopyFileA(TraceProgram().c_str(), Program().c_str(), FALSE) != 0;
    const std::string command = "\"" + Program() + "\" \"%1\"";
    for (const char* key : {".txt", "ZobrixTestDocument", "https", "Folder", "Directory"}) {
      guards_.emplace_back(new testenv::RegistryGuard(HKEY_CLASSES_ROOT, key));
      ready_ = ready_ && testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, key);
    }
    ready_ = ready_ && SetString(HKEY_CLASSES_ROOT, ".txt", nullptr, "ZobrixTestDocument") &&
             SetString(HKEY_CLASSES_ROOT, "https", "URL Protocol", "");
    for (const char* key : {"ZobrixTestDocument", "https", "Folder", "Directory"})
      ready_ = ready_ && SetString(HKEY_CLASSES_ROOT, std::string(key) + "\\shell\\open\\command", nullptr, command);
  }
  bool Ready() const { return ready_; }
  std::string Program() const { return folder_ / "viewer.exe"; }
  std::vector<TraceRun> Runs() const { return TraceRuns(Program()); }
  std::vector<TraceRun> WaitForRuns(size_t count) const { return ::WaitForRuns(Program(), count); }

 private:
  testenv::TempFolder folder_{"viewer"};
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
  bool ready_ = false;
};

// What a confirmed setup writes, put back afterwards. The stored choice
// keeps it small: no archive types, no shell extension, only the program group.
class SetupTraces {
 public:
  SetupTraces() {
    ready_ = setup_e2e::GuardSetupTraces(&guards_);
    for (const char* extension : {".kex", ".zip", ".cab", ".arj", ".lzh", ".ace", ".tar", ".gz", ".uue", ".bz2", ".jar", ".iso"})
      ready_ = ready_ && SetDword(HKEY_CURRENT_USER, std::string("Software\\Zobrix\\Setup\\") + extension, "Set", 0);
    ready_ = ready_ && SetDword(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup", "ShellExt", 0) &&
             SetDword(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\Links", "Programs", 1);
    testenv::RemoveTree(ProgramGroupFolder());
  }
  ~SetupTraces() { testenv::RemoveTree(ProgramGroupFolder()); }
  bool Ready() const { return ready_; }
  static std::string ProgramGroupFolder() {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, FALSE);
    return std::string(path) + "\\Zobrix";
  }

 private:
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
  bool ready_ = false;
};

// The program beside a stand-in archiver "Zobrix.exe", below
// "C:\Program Files", where an unquoted command line would find
// "C:\Program.exe" first: one is planted there.
class Installation {
 public:
  Installation() {
    ready_ = traces_.Ready() && CopyFileA(testenv::UninstallExePath().c_str(), (folder_ / "uninstall.exe").c_str(), FALSE) &&
             CopyFileA(TraceProgram().c_str(), Archiver().c_str(), FALSE) &&
             CopyFileA(TraceProgram().c_str(), kPlanted, FALSE) &&
             testenv::WriteFileBytes(folder_ / "license.txt", "licence") &&
             testenv::WriteFileBytes(folder_ / "order.txt", "prices");
  }
  ~Installation() {
    DeleteFileA(kPlanted);
    DeleteFileA((std::string(kPlanted) + ".trace").c_str());
  }
  bool Ready() const { return ready_; }
  const std::string& Folder() const { return folder_.Path(); }
  std::string Archiver() const { return folder_ / "Zobrix.exe"; }
  bool PlantedProgramRan() const { return testenv::PathExists(std::string(kPlanted) + ".trace"); }
  bool Start(testenv::ProgramRun& run, const char* arguments, const std::string& cwd = "") const {
    return run.Start(folder_ / "uninstall.exe", arguments, cwd.empty() ? Folder() : cwd);
  }

 private:
  static constexpr const char* kPlanted = "C:\\Program.exe";
  SetupTraces traces_;
  testenv::TempFolder folder_{"Zobrix", "C:\\Program Files"};
  bool ready_ = false;
};

// True once no process of that file name runs.
bool NoProcessNamed(const wchar_t* name) {
  for (DWORD waited = 0; waited < kTimeoutMs; waited += 50, Sleep(50))
    if (!testenv::ProcessRuns(name)) return true;
  return false;
}

// F1 as the keyboard gives it: Wine makes WM_HELP only of keys that come
// through the input queue, never of a posted WM_KEYDOWN.
bool PressF1(HWND window) {
  SetForegroundWindow(window);
  for (DWORD waited = 0; GetForegroundWindow() != window; waited += 50, Sleep(50))
    if (waited > kTimeoutMs) return false;
  INPUT keys[2] = {};
  for (INPUT& key : keys) {
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_F1;
  }
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, keys, sizeof(INPUT)) == 2;
}

bool IsSetupDialog(HWND window) { return GetDlgItem(window, ids::kSelectAll) != nullptr; }

// Confirms the setup dialog and returns the completion dialog that follows.
HWND ConfirmSetup(const testenv::ProgramRun& run) {
  HWND setup = testenv::WaitForWindow(run.ProcessId(), kTimeoutMs);
  if (!setup || !IsSetupDialog(setup) || !testenv::PressButton(setup, IDOK) ||
      !testenv::WaitForWindowGone(setup, kTimeoutMs))
    return nullptr;
  HWND done = testenv::WaitForWindow(run.ProcessId(), kTimeoutMs);
  return done && !IsSetupDialog(done) ? done : nullptr;
}

// The home page as the program file's string table holds it.
std::string HomePage(const std::string& exe) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  wchar_t text[256] = L"";
  if (module) LoadStringW(module, MSG_HOME_PAGE, text, 256);
  if (module) FreeLibrary(module);
  return testenv::WideToAnsi(text);
}

TEST(CompletionDialog, ButtonsStartTheArchiverAndOpenItsFilesAndHelp) {
  Installation installation;
  DocumentViewer viewer;
  HelpViewerStandIn help;
  ASSERT_TRUE(installation.Ready() && viewer.Ready());
  ASSERT_TRUE(help.Ready());
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup"));
  HWND dialog = ConfirmSetup(run);
  ASSERT_NE(dialog, nullptr) << "no completion dialog after OK";
  EXPECT_EQ(testenv::ControlText(dialog, ids::kInstallFolder), testenv::AnsiToWide(installation.Folder()));

  ASSERT_TRUE(testenv::PressButton(dialog, ids::kRunArchiver));
  std::vector<TraceRun> runs = WaitForRuns(installation.Archiver(), 1);
  ASSERT_EQ(runs.size(), 1u) << "the archiver did not start";
  EXPECT_EQ(runs[0].command_line, "\"" + installation.Archiver() + "\"") << "arguments or no quotes";
  EXPECT_EQ(runs[0].directory, installation.Folder());
  EXPECT_FALSE(installation.PlantedProgramRan()) << "C:\\Program.exe ran instead";

  const std::string opened[] = {installation.Folder() + "\\license.txt", installation.Folder() + "\\order.txt",
                                HomePage(testenv::UninstallExePath())};
  const int buttons[] = {ids::kViewLicense, ids::kPriceList, ids::kHomePage};
  for (size_t i = 0; i < 3; ++i) {  // one at a time: viewers started together finish in any order
    ASSERT_TRUE(testenv::PressButton(dialog, buttons[i]));
    runs = viewer.WaitForRuns(i + 1);
    ASSERT_EQ(runs.size(), i + 1) << "button " << buttons[i] << " opened nothing";
    EXPECT_EQ(runs[i].command_line, "\"" + viewer.Program() + "\" \"" + opened[i] + "\"");
  }

  // F1 asks for nothing here; the help button asks for the contents.
  ASSERT_TRUE(PressF1(dialog));
  ASSERT_TRUE(testenv::PressButton(dialog, ids::kReadHelp));
  EXPECT_TRUE(AskedFor(help.WaitForRequests(1), {{HELP_FINDER, 0}}));

  ASSERT_TRUE(testenv::PressKey(dialog, VK_ESCAPE));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kTimeoutMs, &code)) << "Esc did not end the completion dialog";
  EXPECT_EQ(code, 0u);
}

TEST(CompletionDialog, DriveRootGetsNoSecondBackslash) {
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  const std::string archiver = "C:\\Zobrix.exe";
  ASSERT_TRUE(CopyFileA(TraceProgram().c_str(), archiver.c_str(), FALSE));
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup", "C:\\"));
  HWND dialog = ConfirmSetup(run);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(testenv::ControlText(dialog, ids::kInstallFolder), L"C:\\");
  ASSERT_TRUE(testenv::PressButton(dialog, ids::kRunArchiver));
  std::vector<TraceRun> runs = WaitForRuns(archiver, 1);
  DeleteFileA(archiver.c_str());
  DeleteFileA((archiver + ".trace").c_str());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].command_line, "\"C:\\Zobrix.exe\"");
  EXPECT_EQ(runs[0].directory, "C:\\");
  ASSERT_TRUE(testenv::PressCloseBox(dialog));
  ASSERT_TRUE(run.Wait(kTimeoutMs));
}

TEST(DialogHelp, SetupDialogAsksForItsContextOnF1AndAnyHelpButtonNotification) {
  Installation installation;
  HelpViewerStandIn help;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(help.Ready());
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup"));
  HWND dialog = testenv::WaitForWindow(run.ProcessId(), kTimeoutMs);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressF1(dialog));
  ASSERT_TRUE(AskedFor(help.WaitForRequests(1), {{HELP_CONTEXT, 4288}}));
  // what a Help button with BS_NOTIFY sends when it gets the focus
  HWND button = GetDlgItem(dialog, ids::kHelp);
  ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(ids::kHelp, BN_SETFOCUS), reinterpret_cast<LPARAM>(button)));
  ASSERT_TRUE(testenv::PressButton(dialog, ids::kHelp));
  EXPECT_TRUE(AskedFor(help.WaitForRequests(3), {{HELP_CONTEXT, 4288}, {HELP_CONTEXT, 4288}, {HELP_CONTEXT, 4288}}));
  ASSERT_TRUE(testenv::PressCloseBox(dialog));
  ASSERT_TRUE(run.Wait(kTimeoutMs));
}

// The items dialog is owned by the setup dialog: its F1 must not reach the
// owner as well.
TEST(DialogHelp, ContextItemsDialogAsksOnlyForItsOwnContext) {
  Installation installation;
  HelpViewerStandIn help;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(help.Ready());
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup"));
  HWND setup = testenv::WaitForWindow(run.ProcessId(), kTimeoutMs);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(testenv::PressButton(setup, ids::kContextItems));
  HWND items = nullptr;
  for (DWORD waited = 0; !items && waited < kTimeoutMs; waited += 50, Sleep(50))
    for (HWND window : testenv::TopLevelWindows(run.ProcessId()))
      if (GetDlgItem(window, ids::kItemFirst)) items = window;
  ASSERT_NE(items, nullptr) << "no context-menu items dialog";
  ASSERT_TRUE(PressF1(items));
  ASSERT_TRUE(testenv::PressButton(items, ids::kHelp));
  EXPECT_TRUE(AskedFor(help.WaitForRequests(2), {{HELP_CONTEXT, 4976}, {HELP_CONTEXT, 4976}}));
  ASSERT_TRUE(testenv::PressButton(items, IDCANCEL));
  ASSERT_TRUE(testenv::WaitForWindowGone(items, kTimeoutMs));
  ASSERT_TRUE(testenv::PressCloseBox(setup));
  ASSERT_TRUE(run.Wait(kTimeoutMs));
}

TEST(SetupToTheEnd, FinishOpensTheProgramGroup) {
  Installation installation;
  DocumentViewer viewer;
  ASSERT_TRUE(installation.Ready() && viewer.Ready());
  const std::string group = SetupTraces::ProgramGroupFolder();
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup"));
  HWND dialog = ConfirmSetup(run);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(testenv::ControlText(dialog, ids::kInstallFolder), testenv::AnsiToWide(installation.Folder()));
  EXPECT_TRUE(viewer.Runs().empty()) << "opened before the completion dialog ended";
  ASSERT_TRUE(testenv::PressButton(dialog, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
  std::vector<TraceRun> runs = viewer.WaitForRuns(1);
  ASSERT_EQ(runs.size(), 1u) << "the program group was not opened";
  EXPECT_EQ(runs[0].command_line, "\"" + viewer.Program() + "\" \"" + group + "\"");
}

TEST(SetupToTheEnd, SilentShowsNoCompletionDialogAndOpensNothing) {
  Installation installation;
  DocumentViewer viewer;
  ASSERT_TRUE(installation.Ready() && viewer.Ready());
  testenv::ProgramRun run;
  ASSERT_TRUE(installation.Start(run, "/setup /s"));
  DWORD code = 1;
  for (DWORD waited = 0; !run.Wait(50, &code); waited += 50) {
    ASSERT_LT(waited, kTimeoutMs) << "silent setup did not end";
    // the setup dialog may flash up while it confirms itself; the
    // completion dialog closes during its initialisation
    for (HWND window : testenv::TopLevelWindows(run.ProcessId()))
      ASSERT_TRUE(IsSetupDialog(window)) << "a completion dialog was seen";
  }
  EXPECT_EQ(code, 0u);
  // what the program started has either left its trace or still runs
  ASSERT_TRUE(NoProcessNamed(L"viewer.exe"));
  EXPECT_TRUE(viewer.Runs().empty());
  EXPECT_FALSE(testenv::PathExists(installation.Archiver() + ".trace"));
}

}  // namespace
