#include "tests/support/process_driver.h"

#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <set>

#include "common/exit_codes.h"
#include "tests/support/temp_folder.h"

namespace testenv {

namespace {

// The watchdog thread reads what the test thread writes.
struct WaitNote {
  WaitNote() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::string text;
};

WaitNote& CurrentWaitNote() {
  static WaitNote note;
  return note;
}

std::string Exchange(const std::string& text) {
  WaitNote& note = CurrentWaitNote();
  EnterCriticalSection(&note.lock);
  std::string previous = note.text;
  note.text = text;
  LeaveCriticalSection(&note.lock);
  return previous;
}

std::string ProcessDescription(DWORD pid) {
  return "process " + std::to_string(pid);
}

std::string ExitCodeDescription(DWORD code) {
  std::string text = "exit code " + std::to_string(code);
  if (code == kExitFailed) text += " (failed: the program could not do what it was started for)";
  return text;
}

// Processes started through ProgramRun since the last test ended.
std::vector<DWORD>& StartedProcesses() {
  static std::vector<DWORD> started;
  return started;
}

// Processes of the prefix that Wine starts for itself; a process id of a
// test's program that ended may have been reused by one of them.
bool IsSystemProcess(const wchar_t* name) {
  static const wchar_t* const names[] = {L"explorer.exe", L"services.exe", L"winedevice.exe",
                                         L"plugplay.exe", L"svchost.exe",  L"rpcss.exe",
                                         L"wineboot.exe", L"winemenubuilder.exe"};
  for (const wchar_t* system : names)
    if (lstrcmpiW(name, system) == 0) return true;
  return false;
}

}  // namespace

WaitingFor::WaitingFor(const std::string& what) : previous_(Exchange(what)) {}

WaitingFor::~WaitingFor() { Exchange(previous_); }

std::string CurrentWait() {
  WaitNote& note = CurrentWaitNote();
  EnterCriticalSection(&note.lock);
  std::string text = note.text;
  LeaveCriticalSection(&note.lock);
  return text;
}

ProgramRun::~ProgramRun() {
  if (process_) {
    if (Running()) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
}

bool ProgramRun::Start(const std::string& exe, const std::string& arguments, const std::string& cwd) {
  std::string command_line = "\"" + exe + "\"";
  if (!arguments.empty()) command_line += " " + arguments;
  std::vector<char> buffer(command_line.begin(), command_line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  started_ = GetTickCount();
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &startup, &info))
    return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  StartedProcesses().push_back(pid_);
  return true;
}

bool ProgramRun::Wait(DWORD timeout_ms, DWORD* code) {
  if (!process_) return false;
  WaitingFor note("the end of " + ProcessDescription(pid_));
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    // short polls stay quiet
    if (timeout_ms >= 1000)
      std::fprintf(stderr, "%s still runs after %lu ms\n", ProcessDescription(pid_).c_str(),
                   static_cast<unsigned long>(timeout_ms));
    return false;
  }
  if (elapsed_ms_ == 0) elapsed_ms_ = GetTickCount() - started_;
  if (code) GetExitCodeProcess(process_, code);
  return true;
}

bool ProgramRun::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::vector<std::string> EndProcessesStartedByTest() {
  std::vector<std::string> ended;
  std::vector<DWORD>& started = StartedProcesses();
  if (started.empty()) return ended;
  // A process that ends may leave its children behind, so each round takes
  // a new snapshot until no process of the tree is left.
  std::set<DWORD> tree(started.begin(), started.end());
  for (int round = 0; round < 20; ++round) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) break;
    std::map<DWORD, PROCESSENTRY32W> processes;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
      processes[entry.th32ProcessID] = entry;
    CloseHandle(snapshot);
    for (bool grown = true; grown;) {
      grown = false;
      for (const auto& process : processes)
        if (!tree.count(process.first) && tree.count(process.second.th32ParentProcessID) &&
            !IsSystemProcess(process.second.szExeFile))
          grown = tree.insert(process.first).second || grown;
    }
    bool any = false;
    for (DWORD pid : tree) {
      auto process = processes.find(pid);
      if (process == processes.end() || pid == GetCurrentProcessId() ||
          IsSystemProcess(process->second.szExeFile))
        continue;
      HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (!handle) continue;
      if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT && TerminateProcess(handle, 1)) {
        WaitForSingleObject(handle, 5000);
        char line[400];
        std::snprintf(line, sizeof(line), "%ls (pid %lu)", process->second.szExeFile,
                      static_cast<unsigned long>(pid));
        ended.push_back(line);
        any = true;
      }
      CloseHandle(handle);
    }
    if (!any) break;
  }
  started.clear();
  return ended;
}

namespace {

struct EnumState {
  DWORD pid;
  std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  EnumState* state = reinterpret_cast<EnumState*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == state->pid && IsWindowVisible(window)) state->windows->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD pid) {
  std::vector<HWND> windows;
  EnumState state = {pid, &windows};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return windows;
}

HWND WaitForWindow(DWORD pid, DWORD timeout_ms, const std::wstring& class_name) {
  const std::string what = "window" + (class_name.empty() ? std::string() : " of class " + Utf8(class_name)) +
                           " of " + ProcessDescription(pid);
  WaitingFor note("a " + what);
  DWORD start = GetTickCount();
  HANDLE process = pid == GetCurrentProcessId() ? nullptr : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  HWND found = nullptr;
  for (;;) {
    for (HWND window : TopLevelWindows(pid))
      if (!found && (class_name.empty() || ClassName(window) == class_name)) found = window;
    if (found) break;
    if (GetTickCount() - start > timeout_ms) {
      std::fprintf(stderr, "WaitForWindow: no %s within %lu ms\n", what.c_str(),
                   static_cast<unsigned long>(timeout_ms));
      break;
    }
    // a window shown just before the end was looked for above
    if (process && WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process, &code);
      std::fprintf(stderr, "WaitForWindow: process %lu ended with %s before it showed a window\n",
                   static_cast<unsigned long>(pid), ExitCodeDescription(code).c_str());
      break;
    }
    if (!process) Sleep(50);
  }
  if (process) CloseHandle(process);
  return found;
}

bool WaitForWindowGone(HWND window, DWORD timeout_ms) {
  char what[80];
  std::snprintf(what, sizeof(what), "window %p to close", static_cast<void*>(window));
  WaitingFor note(what);
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeout_ms) {
      std::fprintf(stderr, "WaitForWindowGone: %s still shown after %lu ms\n", what,
                   static_cast<unsigned long>(timeout_ms));
      return false;
    }
    Sleep(50);
  }
  return true;
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer)) {
    std::fprintf(stderr, "window %p did not answer message 0x%X within %u ms\n",
                 static_cast<void*>(window), message, kSendTimeoutMs);
    return false;
  }
  if (result) *result = static_cast<LRESULT>(answer);
  return true;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  // WM_GETTEXT is marshalled across processes, so this reads another
  // program's controls too.
  LRESULT length = 0;
  if (!SendWithTimeout(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                       reinterpret_cast<LPARAM>(buffer), &length))
    return std::wstring();
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, length > 0 ? length : 0);
}

namespace {

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  std::vector<ControlInfo>* controls = reinterpret_cast<std::vector<ControlInfo>*>(param);
  ControlInfo info;
  info.hwnd = child;
  info.id = static_cast<int>(static_cast<short>(GetDlgCtrlID(child)));
  info.class_name = ClassName(child);
  info.text = WindowText(child);
  info.style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
  controls->push_back(info);
  return TRUE;
}

}  // namespace

std::vector<ControlInfo> ChildControls(HWND dialog) {
  std::vector<ControlInfo> controls;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? WindowText(control) : std::wstring();
}

bool IsChecked(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  LRESULT state = 0;
  return control && SendWithTimeout(control, BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
}

bool PressButton(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  // a user cannot click what is disabled or not shown
  if (!control || !IsWindowEnabled(control) || !IsWindowVisible(control)) return false;
  return PostMessageW(control, BM_CLICK, 0, 0) != 0;
}

bool PressCloseBox(HWND window) {
  return PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

bool PressKey(HWND window, WORD virtual_key) {
  // Right after a dialog that the window owned has closed, the focus may
  // still name that dialog's control for a moment: a key posted there is
  // lost. Wait until the focus is back inside the window, else give the key
  // to the window itself (the dialog manager reads keys of the whole dialog).
  HWND target = window;
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  for (DWORD waited = 0; waited < 5000; waited += 50, Sleep(50)) {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus &&
        (gui.hwndFocus == window || IsChild(window, gui.hwndFocus))) {
      target = gui.hwndFocus;
      break;
    }
  }
  UINT scan = MapVirtualKeyW(virtual_key, 0);
  return PostMessageW(target, WM_KEYDOWN, virtual_key, 1 | (scan << 16)) &&
         PostMessageW(target, WM_KEYUP, virtual_key, 1 | (scan << 16) | 0xC0000000u);
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

HICON MessageBoxIcon(HWND box) {
  HWND icon = GetDlgItem(box, 0x440);
  LRESULT handle = 0;
  if (!icon || !SendWithTimeout(icon, STM_GETICON, 0, 0, &handle)) return nullptr;
  return reinterpret_cast<HICON>(handle);
}

namespace {

// 32-bit pixels of a memory bitmap.
class Pixels {
 public:
  Pixels(HDC reference, int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(reference);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Pixels() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  bool Valid() const { return bits_ != nullptr; }
  HDC Dc() const { return dc_; }
  DWORD At(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }
  void Fill(DWORD color) {
    GdiFlush();
    for (int i = 0; i < width_ * height_; ++i) bits_[i] = color;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};

// The icon control as it is on the screen against the system icon drawn
// here on the same background.
bool IconControlLooksLike(HWND control, HICON icon) {
  RECT rect;
  if (!GetWindowRect(control, &rect)) return false;
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || !icon) return false;
  HDC screen = GetDC(nullptr);
  Pixels shown(screen, width, height), expected(screen, width, height);
  if (shown.Valid()) BitBlt(shown.Dc(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  if (!shown.Valid() || !expected.Valid()) return false;
  GdiFlush();
  expected.Fill(shown.At(0, 0));
  DrawIconEx(expected.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  GdiFlush();
  int differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (shown.At(x, y) != expected.At(x, y)) ++differing;
  return differing * 20 < width * height;  // a few blended edge pixels may differ
}

}  // namespace

bool MessageBoxHasIcon(HWND box, LPCWSTR system_icon) {
  HICON shown = MessageBoxIcon(box);
  HICON wanted = LoadIconW(nullptr, system_icon);
  if (!shown || !wanted) return false;
  if (shown == wanted) return true;
  // Icon handles belong to their process (under Wine), so the icon of
  // another program's message box is compared by its look; the box must be
  // on the screen and painted.
  HWND control = GetDlgItem(box, 0x440);
  for (int attempt = 0; attempt < 5; ++attempt) {  // it may not be painted yet
    if (IconControlLooksLike(control, wanted)) return true;
    Sleep(100);
  }
  return false;
}

HICON WindowBigIcon(HWND window) {
  LRESULT handle = 0;
  if (!SendWithTimeout(window, WM_GETICON, ICON_BIG, 0, &handle)) return nullptr;
  return reinterpret_cast<HICON>(handle);
}

bool ProcessRuns(const wchar_t* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    found = lstrcmpiW(entry.szExeFile, name) == 0;
  CloseHandle(snapshot);
  return found;
}

}  // namespace testenv
