// Walks through the program on a demo installation without a user: starts it
// in each mode, saves a picture of every window it opens (BMP, turned into
// PNG by scripts/demo.sh), prints the windows' texts and answers them.
//   demo_driver UNINSTALL_EXE INSTALL_FOLDER PICTURE_FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"

using namespace testenv;

namespace {

std::string PictureFolder;
int PictureCount = 0;

// Copies the window's screen area into a 24-bit BMP file.
void SaveWindowPicture(HWND window, const std::string& name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(400);
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  int stride = (width * 3 + 3) & ~3;
  std::string pixels(static_cast<size_t>(stride) * height, '\0');
  GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
  bytes += pixels;
  char prefix[8];
  std::snprintf(prefix, sizeof(prefix), "%02d-", ++PictureCount);
  WriteFileBytes(PictureFolder + "\\" + prefix + name + ".bmp", bytes);
}

void Describe(HWND window) {
  std::printf("  window \"%s\"\n", Utf8(WindowText(window)).c_str());
  for (const ControlInfo& control : ChildControls(window)) {
    if (control.text.empty()) continue;
    std::wstring shown = control.text;
    for (wchar_t& c : shown)
      if (c == L'\r' || c == L'\n') c = L' ';
    if (shown.size() > 40) shown = shown.substr(0, 37) + L"...";
    std::string text = Utf8(shown);
    std::printf("    %5d %-8s %s\n", control.id, Utf8(control.class_name).c_str(), text.c_str());
  }
}

// Waits for the next window of the run, pictures it and answers with button.
bool Answer(ProgramRun& run, const std::string& picture, int button) {
  HWND window = WaitForWindow(run.ProcessId(), 15000);
  if (!window) return false;
  Sleep(300);
  Describe(window);
  SaveWindowPicture(window, picture);
  PressButton(window, button);
  WaitForWindowGone(window, 5000);
  return true;
}

DWORD Finish(ProgramRun& run) {
  DWORD code = 0;
  if (!run.Wait(30000, &code)) std::printf("  (still running)\n");
  else std::printf("  exit code %lu\n", static_cast<unsigned long>(code));
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_driver UNINSTALL_EXE INSTALL_FOLDER PICTURE_FOLDER\n");
    return 2;
  }
  const std::string program = argv[1], folder = argv[2];
  PictureFolder = argv[3];
  MakeFolders(PictureFolder);

  std::printf("uninstall.exe /setup, started in %s:\n", folder.c_str());
  {
    ProgramRun run;
    if (!run.Start(program, "/setup", folder)) return 1;
    Answer(run, "setup", IDOK);
    // After a confirmed setup the completion dialog follows, when the program has it.
    HWND next = WaitForWindow(run.ProcessId(), 3000);
    if (next) {
      Describe(next);
      SaveWindowPicture(next, "done");
      PressButton(next, IDOK);
    }
    Finish(run);
  }

  std::printf("uninstall.exe /warning:\n");
  {
    ProgramRun run;
    if (!run.Start(program, "/warning", folder)) return 1;
    Answer(run, "warning", IDOK);
    Finish(run);
  }

  std::printf("uninstall.exe (no switch): the uninstaller\n");
  {
    ProgramRun run;
    if (!run.Start(program, "", folder)) return 1;
    Answer(run, "confirm-uninstall", IDYES);
    Finish(run);
    // The batch file removes the program and the folder after the exit.
    for (int i = 0; i < 300 && PathExists(folder); ++i) Sleep(100);
    std::printf("  installation folder %s\n", PathExists(folder) ? "still there:" : "removed");
    for (const std::string& name : ListFolder(folder)) std::printf("    %s\n", name.c_str());
  }
  return 0;
}
