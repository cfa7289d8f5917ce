#include "tests/support/process_driver.h"

namespace testenv {

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
  return true;
}

bool ProgramRun::Wait(DWORD timeout_ms, DWORD* code) {
  if (!process_) return false;
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  if (elapsed_ms_ == 0) elapsed_ms_ = GetTickCount() - started_;
  if (code) GetExitCodeProcess(process_, code);
  return true;
}

bool ProgramRun::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
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
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND window : TopLevelWindows(pid))
      if (class_name.empty() || ClassName(window) == class_name) return window;
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(50);
  }
}

bool WaitForWindowGone(HWND window, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(50);
  }
  return true;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  // WM_GETTEXT is marshalled across processes, so this reads another
  // program's controls too.
  LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                                reinterpret_cast<LPARAM>(buffer));
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
  return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool PressButton(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control)) != 0;
}

bool PressKey(HWND window, WORD virtual_key) {
  HWND target = window;
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus) target = gui.hwndFocus;
  UINT scan = MapVirtualKeyW(virtual_key, 0);
  return PostMessageW(target, WM_KEYDOWN, virtual_key, 1 | (scan << 16)) &&
         PostMessageW(target, WM_KEYUP, virtual_key, 1 | (scan << 16) | 0xC0000000u);
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

HICON MessageBoxIcon(HWND box) {
  HWND icon = GetDlgItem(box, 0x440);
  return icon ? reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) : nullptr;
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
  return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
}

}  // namespace testenv
