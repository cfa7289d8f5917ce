#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "app/done_dialog.h"
#include "app/run_lock.h"
#include "app/setup_dialog.h"
#include "app/state.h"
#include "app/switches.h"
#include "app/uninstall_notice.h"
#include "common/exit_codes.h"
#include "common/log.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/lang_file.h"
#include "lang/lang_library.h"
#include "lang/messages.h"
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

// A switch word that is none of the program's: the command line is not one
// that the program acts on.
bool UnknownSwitch = false;

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
      // after a silent uninstall the batch file adds /s: nobody would answer
      if (SilentMode) break;
      if (ProgramRemovedAtRestart)
        RestartNotice().Show();
      else
        ShowUninstallNotice();
      break;
    case SwitchWord::Log:
      OpenLogNamed(text);
      break;
    case SwitchWord::Other:
      UnknownSwitch = true;
      break;
    case SwitchWord::Setup:
      break;
  }
}

// After a confirmed setup: the completion dialog, then the new program group.
void FinishSetup() {
  DialogBoxParamA(hLangModule, DLG_DONE, nullptr, DoneDlgProc, 0);
  if (LaunchFolder[0] != '\0' && !SilentMode)
    ShellExecuteA(nullptr, "open", LaunchFolder, nullptr, "", SW_SHOWNORMAL);
}

int RunSetup() {
  // Every path that setup writes is formed from the program's own; and an
  // installation that uninstall would refuse is not registered.
  char program[1024];
  if (!GetProgramPath(program, sizeof(program)) || !UninstallWouldAccept(program)) {
    if (!SilentMode) ShowUnsupportedFolder();
    return kExitFailed;
  }
  // DialogBoxParamA gives -1 when the dialog cannot be created (no rich-edit
  // class, say), 0 when the user left it with Cancel or Esc.
  INT_PTR result = DialogBoxParamA(hLangModule, DLG_SETUP, nullptr, SetupDlgProc, 0);
  if (result < 0) return kExitFailed;
  if (result == 0) return kExitCancelled;
  FinishSetup();
  return kExitDone;
}

// Another setup or uninstall of this installation is running.
int RefuseSecondRun() {
  if (!SilentMode)
    MessageBoxA(nullptr, GetMsgText(MSG_ALREADY_RUNNING), GetMsgText(MSG_UNINSTALL_CAPTION),
                MB_ICONWARNING | MB_SETFOREGROUND);
  return kExitAlreadyRunning;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  ProgramLangLibrary.Load(instance, nullptr);
  ProgramLangFile.Load("uninstall.lng");
  OleInitialize(nullptr);
  RichEditLibrary = LoadSystemLibrary("riched32.dll");

  const char* tail = command_line ? command_line : "";
  // The silent switch holds wherever it stands: the batch file's
  // "/restart /warning /s" must show no notice.
  SilentMode = ScanSwitches(tail, nullptr, nullptr).Silent;
  // The service switches /wait and /warning act during the scan.
  SwitchScan scan = ScanSwitches(tail, ActOnSwitch, nullptr);
  // Only dialogs that are shown use them: a silent run shows none.
  if (!SilentMode) {
    AppIcon = LoadIconA(hLangModule, ICON_APP);
    BoldFont = CreateFontA(-12, 0, 0, 0, 700, FALSE, FALSE, FALSE, 134, 0, 0, 0, 0, "MS Sans Serif");
  }
  // Service runs (the batch file's /wait, /restart, /warning) end with 0;
  // a word the program does not know leaves it without a mode.
  int exit_code = UnknownSwitch ? kExitBadCommandLine : kExitDone;
  // Only setup and uninstall take the lock: the batch file runs the program
  // again while the uninstall that wrote it may still hold it.
  if ((scan.Setup || scan.Counted == 0) && !TakeRunLock())
    exit_code = RefuseSecondRun();
  else if (scan.Setup)
    exit_code = RunSetup();
  else if (scan.Counted == 0)
    exit_code = RunUninstall(SilentMode);  // ends the process itself when the removal completes

  if (RichEditLibrary) FreeLibrary(RichEditLibrary);
  OleUninitialize();
  if (BoldFont) DeleteObject(BoldFont);
  LogExit(exit_code);
  return exit_code;
}
