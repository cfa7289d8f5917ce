#include "uninstall/uninstall.h"

#include <windows.h>

#include <cstring>

#include "common/list_file.h"
#include "common/path.h"
#include "common/text.h"
#include "lang/lang_library.h"
#include "lang/messages.h"
#include "res/resource.h"
#include "uninstall/held_files.h"
#include "uninstall/listed_entry.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/restart_removal.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstall_list.h"

namespace {

const char kListName[] = "Uninstall.lst";

void DeleteExtraFile(const char* name) {
  SetFileAttributesA(name, 0);
  DeleteFileA(name);
}

void ShowListError() {
  char text[200];
  const char* format = GetMsgFormat(MSG_CANNOT_OPEN_LIST);
  // Should even that not fit or not be a format, the text is shown as it stands.
  const char* shown = FormatSingleString(text, sizeof(text), format, kListName) ? text : format;
  MessageBoxA(nullptr, shown, GetMsgText(MSG_UNINSTALL_CAPTION), MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

void RunUninstall(bool silent) {
  char program[1024];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
  if (length == 0 || length >= sizeof(program)) return;  // a cut path names another file
  char folder[1024];
  if (!ProgramFolderOf(program, folder, sizeof(folder))) return;
  // The list, the extra files and the batch's folder are all taken relative
  // to the current folder; another one would have them name other files.
  if (!SetCurrentDirectoryA(folder)) return;
  if (!AppendBackslash(folder, sizeof(folder))) return;

  if (!silent &&
      MessageBoxA(nullptr, GetMsgText(MSG_CONFIRM_UNINSTALL), GetMsgText(MSG_UNINSTALL_CAPTION),
                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    return;

  char command[512];
  bool restart_completes = false;
  const RestartNotice restart_notice;
  {
    FileList list;
    if (!list.Open(kListName)) {
      ShowListError();
      return;
    }
    if (!silent) AskWhileFilesAreHeld(list.Text(), list.Entries(), list.Count(), folder);
    CleanUpRegistry();
    ProgramLangLibrary.Unload();
    DeleteExtraFile("zobrix.gid");
    DeleteExtraFile("zobrix.fts");
    InstallationFolder installation(folder);
    size_t left = 0;
    RunDeletionPasses(list.Text(), list.Entries(), list.Count(), folder, DeleteListedEntry,
                      &installation, &left);
    restart_completes = ScheduleLeftovers(list.Text(), list.Entries(), left, folder);
    list.Close();
    DeleteFileA(kListName);
  }
  if (restart_completes && !silent) restart_notice.Show();
  if (!PrepareSelfRemoval(program, command, sizeof(command))) return;
  StartSelfRemoval(command);
}
