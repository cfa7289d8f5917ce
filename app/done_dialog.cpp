#include "app/done_dialog.h"

#include <shellapi.h>

#include "app/common_dialog.h"
#include "app/state.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "res/resource.h"

namespace {

// F1 opens nothing here; the help button 5103 opens the contents instead.
const DWORD DoneHelpContext = 0;

// A file of the installation: in setup mode the current directory is the
// installation folder. False, with out empty, when the path does not fit.
bool InstallationFile(const char* name, char* out, size_t size) {
  if (!GetCurrentFolder(out, size) || !AppendBackslash(out, size) || !AppendText(out, size, name)) {
    out[0] = '\0';
    return false;
  }
  return true;
}

void RunArchiver() {
  char path[1024];
  if (!InstallationFile("Zobrix.exe", path, sizeof(path))) return;
  // Quoted: in a folder with blanks such as C:\Program Files\Zobrix an
  // unquoted command line makes Windows try C:\Program.exe first.
  char command_line[sizeof(path) + 2] = "\"";
  if (AppendText(command_line, sizeof(command_line), path) &&
      AppendText(command_line, sizeof(command_line), "\""))
    RunProgram(command_line);
}

void OpenDocument(const char* target) {
  ShellExecuteA(nullptr, "open", target, nullptr, "", SW_SHOWNORMAL);
}

void OpenInstallationFile(const char* name) {
  char path[1024];
  if (InstallationFile(name, path, sizeof(path))) OpenDocument(path);
}

void InitDoneDialog(HWND dialog) {
  // sent, not posted: the dialog ends before it is ever shown, so it gets
  // none of its looks
  if (SilentMode) {
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
  SendDlgItemMessageA(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont), FALSE);
  char folder[1024];
  if (GetCurrentFolder(folder, sizeof(folder))) SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
}

void OnDoneCommand(HWND dialog, int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL:  // Esc and the close box end it like the finish button
      EndDialog(dialog, 1);
      break;
    case IDC_RUN_ARCHIVER:
      RunArchiver();
      break;
    case IDC_READ_HELP:
      WinHelpA(dialog, HelpFileName, HELP_FINDER, 0);
      break;
    case IDC_VIEW_LICENSE:
      OpenInstallationFile("license.txt");
      break;
    case IDC_PRICE_LIST:
      OpenInstallationFile("order.txt");
      break;
    case IDC_HOME_PAGE:
      // a translation names a web page, never a program or file to start
      OpenDocument(GetMsgTextIf(MSG_HOME_PAGE, IsWebAddress));
      break;
  }
}

}  // namespace

bool RunProgram(const char* command_line) {
  // CreateProcessA may write into the command line it is given
  char line[2048];
  if (!CopyText(line, sizeof(line), command_line)) return false;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

INT_PTR CALLBACK DoneDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  HandleCommonDlgMessage(dialog, message, wparam, lparam, DLG_DONE, DoneHelpContext);
  switch (message) {
    case WM_INITDIALOG:
      InitDoneDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      OnDoneCommand(dialog, LOWORD(wparam));
      return TRUE;
  }
  return FALSE;
}
