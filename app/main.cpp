#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "app/done_dialog.h"
#include "app/setup_dialog.h"
#include "app/state.h"
#include "app/switches.h"
#include "app/uninstall_notice.h"
#include "common/log.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/lang_file.h"
#include "lang/lang_library.h"
#include "res/resource.h"
#include "uninstall/restart_removal.h"
#include "uninstall/uninstall.h"

namespace {

// The lead-byte table lives in a library member of its own, filled by its
// static initialiser; this reference links it in ahead of the text and path
// helpers that read it.
__attribute__((used)) const LeadBytes* const ProgramLeadBytes = &LeadByteTable;

// Held only so that the window class "RICHEDIT" of the setup dialog exists.
HMODULE RichEditLibrary = nullptr;

// Set by /restart, which the self-removal batch file puts before /warning.
bool ProgramRemovedAtRestart = false;

// A system DLL by its full path, so that a DLL of the same name in the
// program's or the current folder is never loaded in its stead.
HMODULE LoadSystemLibrary(const char* name) {
  char path[1024];
  UINT length = GetSystemDirectoryA(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return nullptr;
  if (!AppendBackslash(path, sizeof(path)) || !AppendText(path, sizeof(path), name)) return nullptr;
  return LoadLibraryA(path);
}

// The first /log= decides; a name too long for a path opens no log.
void OpenLogNamed(const char* word) {
  const SwitchName name = LogSwitchName(word);
  char path[1024] = "";
  if (AppendTextCut(path, sizeof(path), name.Text, name.Length)) OpenLog(path);
}

void ActOnSwitch(SwitchWord word, const char* text, void*) {
  switch (word) {
    case SwitchWord::Silent:
      SilentMode = true;
      break;
    case SwitchWord::Wait:
      Sleep(2000);
      break;
    case SwitchWord::Restart:
      // the self-removal batch file could not delete the program file
      ProgramRemovedAtRestart = ScheduleProgramRemoval();
      break;
    case SwitchWord::Warning:
      if (ProgramRemovedAtRestart)
        RestartNotice().Show();
      else
        ShowUninstallNotice();
      break;
    case SwitchWord::Log:
      OpenLogNamed(text);
      break;
    case SwitchWord::Setup:
    case SwitchWord::Other:
      break;
  }
}

// After a confirmed setup: the completion dialog, then the new program group.
void FinishSetup() {
  DialogBoxParamA(hLangModule, DLG_DONE, nullptr, DoneDlgProc, 0);
  if (LaunchFolder[0] != '\0' && !SilentMode)
    ShellExecuteA(nullptr, "open", LaunchFolder, nullptr, "", SW_SHOWNORMAL);
}

void RunSetup() {
  // Every path that setup writes is formed from the program's own.
  char program[1024];
  if (!GetProgramPath(program, sizeof(program))) {
    if (!SilentMode) ShowUnsupportedFolder();
    return;
  }
  // DialogBoxParamA gives -1 when the dialog cannot be created (no rich-edit
  // class, say): that is no confirmation.
  if (DialogBoxParamA(hLangModule, DLG_SETUP, nullptr, SetupDlgProc, 0) > 0) FinishSetup();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  ProgramLangLibrary.Load(instance, nullptr);
  ProgramLangFile.Load("uninstall.lng");
  OleInitialize(nullptr);
  RichEditLibrary = LoadSystemLibrary("riched32.dll");

  // The service switches /wait and /warning act during the scan.
  SwitchScan scan = ScanSwitches(command_line ? command_line : "", ActOnSwitch, nullptr);
  // Only dialogs that are shown use them: a silent run shows none.
  if (!SilentMode) {
    AppIcon = LoadIconA(hLangModule, ICON_APP);
    BoldFont = CreateFontA(-12, 0, 0, 0, 700, FALSE, FALSE, FALSE, 134, 0, 0, 0, 0, "MS Sans Serif");
  }
  if (scan.Setup)
    RunSetup();
  else if (scan.Counted == 0)
    RunUninstall(SilentMode);  // ends the process itself when the removal completes

  if (RichEditLibrary) FreeLibrary(RichEditLibrary);
  OleUninitialize();
  if (BoldFont) DeleteObject(BoldFont);
  LogExit(0);
  return 0;
}
