#include "uninstall/uninstall.h"

#include <windows.h>

#include <cstring>

#include "common/exit_codes.h"
#include "common/list_file.h"
#include "common/path.h"
#include "common/program_path.h"
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

// Makes the program's folder the current folder and gives folder (size
// bytes) that folder with its trailing backslash. The list, the extra files
// and the batch's folder are all taken relative to the current folder;
// another one would have them name other files. False when the folder, or
// a name in it, is too long for the ANSI calls.
bool EnterProgramFolder(const char* program, char* folder, size_t size) {
  if (!ProgramFolderOf(program, folder, size) || !SetCurrentDirectoryA(folder) ||
      !AppendBackslash(folder, size))
    return false;
  return std::strlen(folder) + sizeof(kListName) <= MAX_PATH;
}

}  // namespace

void ShowUnsupportedFolder() {
  MessageBoxA(nullptr, GetMsgText(MSG_FOLDER_UNSUPPORTED), GetMsgText(MSG_UNINSTALL_CAPTION),
              MB_ICONERROR | MB_SETFOREGROUND);
}

int RunUninstall(bool silent) {
  char program[1024];
  char folder[1024];
  // The long form first; the short one when the long one cannot be entered.
  bool short_form = false;
  if (!GetProgramPath(program, sizeof(program)) ||
      !EnterProgramFolder(program, folder, sizeof(folder))) {
    short_form = true;
    if (!GetShortProgramPath(program, sizeof(program)) ||
        !EnterProgramFolder(program, folder, sizeof(folder))) {
      if (!silent) ShowUnsupportedFolder();
      return kExitFailed;
    }
  }

  if (!silent &&
      MessageBoxA(nullptr, GetMsgText(MSG_CONFIRM_UNINSTALL), GetMsgText(MSG_UNINSTALL_CAPTION),
                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    return kExitCancelled;

  char command[512];
  bool restart_completes = false;
  const RestartNotice restart_notice;
  {
    FileList list;
    if (!list.Open(kListName)) {
      if (!silent) ShowListError();
      return kExitFailed;
    }
    // Nothing is deleted unless everything can be: a listed path too long
    // for the ANSI calls would stay behind a half-removed installation.
    if (!EntriesFitPathLimit(list.Text(), list.Entries(), list.Count(), folder, MAX_PATH) &&
        (short_form || !GetShortProgramPath(program, sizeof(program)) ||
         !EnterProgramFolder(program, folder, sizeof(folder)) ||
         !EntriesFitPathLimit(list.Text(), list.Entries(), list.Count(), folder, MAX_PATH))) {
      if (!silent) ShowUnsupportedFolder();
      return kExitFailed;
    }
    if (!silent) AskWhileFilesAreHeld(list.Text(), list.Entries(), list.Count(), folder);
    CleanUpRegistry();
    ProgramLangLibrary.Unload();
    DeleteExtraFile("zobrix.gid");
    DeleteExtraFile("zobrix.fts");
    InstallationFolder installation(program);
    size_t left = 0;
    RunDeletionPasses(list.Text(), list.Entries(), list.Count(), folder, DeleteListedEntry,
                      &installation, &left);
    restart_completes = ScheduleLeftovers(list.Text(), list.Entries(), left, folder);
    list.Close();
    DeleteFileA(kListName);
  }
  if (restart_completes && !silent) restart_notice.Show();
  if (!PrepareSelfRemoval(program, silent, command, sizeof(command))) return kExitFailed;
  StartSelfRemoval(command, restart_completes ? kExitRestartCompletes : kExitDone);
}

bool UninstallWouldAccept(const char* program) {
  // As the uninstall tries them: the long form, then the short one.
  char short_program[1024];
  const bool has_short = GetShortProgramPath(short_program, sizeof(short_program));
  const char* forms[] = {program, has_short ? short_program : nullptr};
  for (const char* form : forms) {
    char folder[1024];
    char list_path[1024];
    if (!form || !ProgramFolderOf(form, folder, sizeof(folder)) ||
        !AppendBackslash(folder, sizeof(folder)) || !CopyText(list_path, sizeof(list_path), folder) ||
        !AppendText(list_path, sizeof(list_path), kListName) || std::strlen(list_path) >= MAX_PATH)
      continue;
    FileList list;
    // Without a list there is nothing to measure yet.
    if (!list.Open(list_path)) return true;
    if (EntriesFitPathLimit(list.Text(), list.Entries(), list.Count(), folder, MAX_PATH)) return true;
  }
  return false;
}
