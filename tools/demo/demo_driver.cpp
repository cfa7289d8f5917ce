// Walks through the program's whole job on a demo installation without a
// user: pictures of the setup dialog and the context-menu items dialog (BMP,
// turned into PNG by scripts/demo.sh), the silent setup and a report of what
// it changed (registry, shortcuts, New-menu templates), the /warning notice,
// then the uninstaller, asking while the archiver runs, and a report of what
// it gave back and what is left.
// With a language file, the setup dialog is shown once translated by it and
// once mirrored as a right-to-left language would have it.
//   demo_driver UNINSTALL_EXE INSTALL_FOLDER PICTURE_FOLDER [LANGUAGE_FILE]
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/setup_e2e_support.h"
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
    bool box = (control.style & 0x0F) == BS_AUTOCHECKBOX && control.class_name == L"Button";
    std::printf("    %5d %-8s %s%s\n", control.id, Utf8(control.class_name).c_str(),
                box ? (SendMessageW(control.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? "[x] " : "[ ] ") : "",
                text.c_str());
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

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

// Where setup puts shortcuts, by name for the report.
struct Place {
  const char* what;
  std::string folder;
};
std::vector<Place> ShortcutPlaces() {
  return {{"desktop", SpecialFolder(CSIDL_DESKTOPDIRECTORY)},
          {"Start menu", SpecialFolder(CSIDL_STARTMENU)},
          {"program group", SpecialFolder(CSIDL_PROGRAMS) + "\\Zobrix"},
          {"all-users program group", SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Zobrix"}};
}

std::string LinkTarget(const std::string& link) {
  IShellLinkW* shell_link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell_link))))
    return "?";
  std::string target = "?";
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH] = L"";
    if (SUCCEEDED(file->Load(AnsiToWide(link).c_str(), STGM_READ)) &&
        SUCCEEDED(shell_link->GetPath(path, MAX_PATH, nullptr, 0)))
      target = Utf8(path);
    file->Release();
  }
  shell_link->Release();
  return target;
}

void ReportShortcuts() {
  std::printf("  shortcut files:\n");
  bool any = false;
  for (const Place& place : ShortcutPlaces()) {
    if (place.folder.size() < 8 || !PathExists(place.folder)) continue;
    for (const std::string& name : ListFolder(place.folder)) {
      if (name.size() < 4 || lstrcmpiA(name.substr(name.size() - 4).c_str(), ".lnk") != 0) continue;
      if (place.folder.find("\\Zobrix") == std::string::npos && lstrcmpiA(name.c_str(), "Zobrix.lnk") != 0) continue;
      std::printf("    %s: %s -> %s\n", place.what, Utf8(AnsiToWide(name)).c_str(),
                  LinkTarget(place.folder + "\\" + name).c_str());
      any = true;
    }
  }
  if (!any) std::printf("    (none)\n");
}

void ReportTemplates(const std::string& folder) {
  std::printf("  New-menu template files in the installation folder:\n");
  bool any = false;
  for (const char* name : {"kexnew.dat", "zipnew.dat"}) {
    std::string bytes;
    if (!ReadFileBytes(folder + "\\" + name, &bytes)) continue;
    std::string hex;
    char byte[4];
    for (unsigned char c : bytes) {
      std::snprintf(byte, sizeof(byte), "%02X ", c);
      hex += byte;
    }
    std::printf("    %s, %zu bytes: %s\n", name, bytes.size(), hex.c_str());
    any = true;
  }
  if (!any) std::printf("    (none)\n");
}

// The volume extensions .k00 to .k99 as one line per kind of change.
std::string VolumeForm(const std::string& line, std::string* number) {
  size_t at = line.find("HKCR\\.k");
  if (at == std::string::npos || line.size() < at + 8 || !isdigit(static_cast<unsigned char>(line[at + 7])) ||
      !isdigit(static_cast<unsigned char>(line[at + 8])) || (line.size() > at + 9 && line[at + 9] != ' '))
    return "";
  *number = line.substr(at + 7, 2);
  return line.substr(0, at + 7) + "NN" + line.substr(at + 9);
}

// The registry as this process sees it, and under WOW64 as 64-bit programs
// see it too (with this process's own keys below "Wow6432Node" there).
struct Snapshot {
  setup_e2e::Registry own, view64;
};
const bool UnderWow64 = setup_e2e::TestRunsUnderWow64();

Snapshot ReadSnapshot() {
  Snapshot snapshot;
  snapshot.own = setup_e2e::ReadRegistry();
  if (UnderWow64) snapshot.view64 = setup_e2e::ReadRegistry(KEY_WOW64_64KEY);
  return snapshot;
}

std::vector<std::string> Changes(const setup_e2e::Registry& from, const setup_e2e::Registry& to) {
  return setup_e2e::Unexplained(setup_e2e::Differences(from, to, true), setup_e2e::SystemNoise());
}

// Under WOW64 every line names the view it lies in: a key that the 32-bit
// view shows with the same change is one that both views share.
std::vector<std::string> ChangesByView(const Snapshot& from, const Snapshot& to) {
  if (!UnderWow64) return Changes(from.own, to.own);
  const std::vector<std::string> own = Changes(from.own, to.own);
  std::vector<std::string> lines;
  for (const std::string& line : Changes(from.view64, to.view64)) {
    const char* view = "64-bit view";
    if (line.find("\\Wow6432Node") != std::string::npos || line.find("\\WOW6432NODE") != std::string::npos)
      view = "32-bit view";
    else if (std::find(own.begin(), own.end(), line) != own.end())
      view = "both views (shared)";
    lines.push_back("[" + std::string(view) + "] " + line);
  }
  return lines;
}

void ReportRegistry(const char* title, const Snapshot& from, const Snapshot& to) {
  std::vector<std::string> lines = ChangesByView(from, to);
  std::printf("  %s: %zu entries (+ added, - removed, ~ changed; [] is a key's default value)\n", title,
              lines.size());
  for (size_t i = 0; i < lines.size();) {
    std::string first, last;
    if (VolumeForm(lines[i], &first).empty()) {
      std::printf("    %s\n", lines[i++].c_str());
      continue;
    }
    // a run of volume extension lines: each kind of line once, with the range
    std::vector<std::string> forms;
    for (; i < lines.size(); ++i) {
      std::string form = VolumeForm(lines[i], &last);
      if (form.empty()) break;
      if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
    }
    for (const std::string& form : forms)
      std::printf("    %s   (NN = %s to %s)\n", form.c_str(), first.c_str(), last.c_str());
  }
}

// The other programs' extensions that scripts/demo.sh set up, as they are now.
void ReportForeignExtensions() {
  for (const char* extension : {".zip", ".cab", ".tar", ".gz", ".iso", ".kex"}) {
    std::string type = setup_e2e::ReadString(HKEY_CLASSES_ROOT, extension, "");
    std::string content = setup_e2e::ReadString(HKEY_CLASSES_ROOT, extension, "Content Type");
    std::string shell_new = setup_e2e::ReadString(HKEY_CLASSES_ROOT, std::string(extension) + "\\ShellNew", "FileName");
    std::printf("    %-5s type \"%s\", content type \"%s\", New-menu file \"%s\"\n", extension, type.c_str(),
                content.c_str(), shell_new.c_str());
  }
}

// "DONEDLG": its ids are also those of the setup dialog's check boxes, so it
// is told by the missing select-all button.
HWND WaitForCompletionDialog(DWORD pid, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    for (HWND window : TopLevelWindows(pid))
      if (GetDlgItem(window, IDC_THANKS) && !GetDlgItem(window, IDC_SELECT_ALL)) return window;
    Sleep(50);
  }
  return nullptr;
}

// The setup dialog as the language file beside the program shows it; Esc.
void ShowTranslatedSetup(const std::string& program, const std::string& folder, const std::string& picture) {
  ProgramRun run;
  if (!run.Start(program, "/setup", folder)) return;
  HWND setup = setup_e2e::WaitForDialogWith(run.ProcessId(), IDC_SELECT_ALL, 15000);
  if (setup) {
    Sleep(300);
    Describe(setup);
    SaveWindowPicture(setup, picture);
    PressKey(setup, VK_ESCAPE);
  }
  Finish(run);
}

// The direction entry: the key of "LTR" in the context "LTR".
const char kRightToLeftEntry[] = "50a17ae8=\"RTL\"\r\n";

void ShowLanguageFile(const std::string& program, const std::string& folder, const std::string& language_file) {
  std::string text;
  if (!ReadFileBytes(language_file, &text)) {
    std::printf("\n(no language file at %s)\n", language_file.c_str());
    return;
  }
  const std::string beside = folder + "\\uninstall.lng";
  std::printf("\nuninstall.exe /setup with the English uninstall.lng beside it, then Esc\n");
  WriteFileBytes(beside, text);
  ShowTranslatedSetup(program, folder, "setup-english");
  std::printf("\nthe same file declaring a right-to-left language, then Esc\n");
  WriteFileBytes(beside, text + "\r\n" + kRightToLeftEntry);
  ShowTranslatedSetup(program, folder, "setup-right-to-left");
  DeleteFileA(beside.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: demo_driver UNINSTALL_EXE INSTALL_FOLDER PICTURE_FOLDER [LANGUAGE_FILE]\n");
    return 2;
  }
  const std::string program = argv[1], folder = argv[2];
  PictureFolder = argv[3];
  MakeFolders(PictureFolder);
  CoInitialize(nullptr);
  ShortcutPlaces();  // the shell records its folders now, not during the runs

  std::printf("before setup, other programs own these extensions:\n");
  ReportForeignExtensions();
  if (UnderWow64)
    std::printf("under WOW64: the report reads the registry as 64-bit programs do and names each key's view\n");
  Snapshot before = ReadSnapshot();

  std::printf("\nuninstall.exe /setup, started in %s: the dialogs, then Esc\n", folder.c_str());
  {
    ProgramRun run;
    if (!run.Start(program, "/setup", folder)) return 1;
    HWND setup = setup_e2e::WaitForDialogWith(run.ProcessId(), IDC_SELECT_ALL, 15000);
    if (setup) {
      Sleep(300);
      Describe(setup);
      SaveWindowPicture(setup, "setup");
      setup_e2e::Click(setup, IDC_CONTEXT_ITEMS, 300);  // answered when that dialog ends
      HWND items = setup_e2e::WaitForDialogWith(run.ProcessId(), IDC_ITEM_LAST, 15000);
      if (items) {
        Sleep(300);
        Describe(items);
        SaveWindowPicture(items, "context-items");
        setup_e2e::Click(items, IDCANCEL);
        WaitForWindowGone(items, 5000);
      }
      PressKey(setup, VK_ESCAPE);
    }
    Finish(run);
  }

  if (argc == 5) ShowLanguageFile(program, folder, argv[4]);

  std::printf("\nuninstall.exe /setup /s: the silent setup with the first-run choice\n");
  {
    ProgramRun run;
    if (!run.Start(program, "/setup /s", folder)) return 1;
    Finish(run);
  }
  Snapshot after_setup = ReadSnapshot();
  ReportRegistry("registry changed by setup", before, after_setup);
  ReportShortcuts();
  ReportTemplates(folder);
  std::printf("  the other programs' extensions now:\n");
  ReportForeignExtensions();

  // Without the program group the confirmed setup opens no Explorer window,
  // which would end the headless session's desktop when it is closed.
  std::printf("\nuninstall.exe /setup again: the program group unchecked, then OK\n");
  {
    ProgramRun run;
    if (!run.Start(program, "/setup", folder)) return 1;
    HWND setup = setup_e2e::WaitForDialogWith(run.ProcessId(), IDC_SELECT_ALL, 15000);
    if (setup) {
      setup_e2e::Click(setup, IDC_PROGRAMS);
      setup_e2e::Click(setup, IDOK, 300);
    }
    // the completion dialog, in a program that has it
    HWND done = WaitForCompletionDialog(run.ProcessId(), 3000);
    if (done) {
      Sleep(300);
      Describe(done);
      SaveWindowPicture(done, "done");
      setup_e2e::Click(done, IDOK, 300);
    }
    Finish(run);
  }
  Snapshot after_second = ReadSnapshot();
  ReportRegistry("registry changed by the second setup", after_setup, after_second);
  ReportShortcuts();

  std::printf("\nuninstall.exe /warning:\n");
  {
    ProgramRun run;
    if (!run.Start(program, "/warning", folder)) return 1;
    Answer(run, "warning", IDOK);
    Finish(run);
  }

  std::printf("\nuninstall.exe (no switch) while the archiver runs: the uninstaller\n");
  {
    // The archiver's window stays until it is answered; its folder must not
    // be its current one, which would keep the folder.
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof(temp), temp);
    ProgramRun archiver;
    HWND archiver_window = nullptr;
    if (archiver.Start(folder + "\\Zobrix.exe", "", temp))
      archiver_window = WaitForWindow(archiver.ProcessId(), 15000);
    ProgramRun run;
    if (!run.Start(program, "", folder)) return 1;
    Answer(run, "confirm-uninstall", IDYES);
    if (archiver_window) {
      // The question names the archiver; closed, Retry finds nothing held.
      HWND question = WaitForWindow(run.ProcessId(), 15000);
      if (question) {
        Sleep(300);
        Describe(question);
        SaveWindowPicture(question, "files-in-use");
        PressButton(archiver_window, IDOK);
        archiver.Wait(10000);
        PressButton(question, IDRETRY);
        WaitForWindowGone(question, 5000);
      }
    }
    Finish(run);
    // The batch file removes the program and the folder after the exit.
    for (int i = 0; i < 300 && PathExists(folder); ++i) Sleep(100);
    std::printf("  installation folder %s\n", PathExists(folder) ? "still there:" : "removed");
    for (const std::string& name : ListFolder(folder)) std::printf("    %s\n", name.c_str());
  }
  Snapshot after_uninstall = ReadSnapshot();
  ReportRegistry("registry given back by the uninstaller", after_second, after_uninstall);
  ReportRegistry("left against the registry before setup", before, after_uninstall);
  ReportShortcuts();
  std::printf("  the other programs' extensions now:\n");
  ReportForeignExtensions();
  CoUninitialize();
  return 0;
}
