#include "uninstall/uninstall.h"

#include <windows.h>

#include <cstring>

#include "common/exit_codes.h"
#include "common/list_file.h"
#include "common/log.h"
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

// A file of the folder that is deleted whether listed or not: through the
// same check as the listed entries, as a link may stand at its name.
void DeleteFolderFile(const InstallationFolder& installation, const char* folder, const char* name) {
  char path[1024];
  if (CopyText(path, sizeof(path), folder) && AppendText(path, sizeof(path), name) &&
      installation.Delete(path) == EntryResult::Deleted)
    LogLine("Deleted ", path);
}

// The entries that are never offered to a deletion, and why.
void LogRefusedEntries(const char* data, const ListEntry* entries, size_t count) {
  if (!LogIsOpen()) return;
  char entry[kListPieceLength + 1];
  for (size_t i = 0; i < count; ++i) {
    const char* text = data + entries[i].Offset;
    if (IsEntryInsideFolder(text, entries[i].Length)) continue;
    entry[0] = '\0';
    AppendTextCut(entry, sizeof(entry), text, entries[i].Length);
    LogLine("Refused ", entry,
            std::strpbrk(entry, "*?") ? ": a wildcard would make it a pattern"
                                      : ": it leads out of the installation folder (drive, root or \"..\")");
  }
}

// A deletion as the log tells it. A failure is tried again in the next
// pass: only those of the last pass are told, by LogFailedEntries.
EntryResult DeleteLoggedEntry(const char* path, void* context) {
  const EntryResult result = DeleteListedEntry(path, context);
  if (result == EntryResult::Deleted) LogLine("Deleted ", path);
  if (result == EntryResult::Missing) LogLine("Not found ", path);
  if (result == EntryResult::Refused) LogLine("Refused ", path, ": a link leads out of the installation folder");
  return result;
}

void LogFailedEntries(const char* data, const ListEntry* entries, size_t count, const char* folder) {
  char path[1024];
  for (size_t i = 0; i < count; ++i)
    if (JoinEntryPath(path, sizeof(path), folder, data + entries[i].Offset, entries[i].Length))
      LogLine("Could not delete ", path);
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
      LogLine("Stopped: the system's ANSI calls cannot name the program's folder; nothing was changed");
      if (!silent) ShowUnsupportedFolder();
      return kExitFailed;
    }
  }

  if (!silent &&
      MessageBoxA(nullptr, GetMsgText(MSG_CONFIRM_UNINSTALL), GetMsgText(MSG_UNINSTALL_CAPTION),
                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
    LogLine("Stopped: the uninstall was declined; nothing was changed");
    return kExitCancelled;
  }

  char command[512];
  bool restart_completes = false;
  RestartNotice restart_notice;
  bool prepared = false;
  {
    FileList list;
    if (!list.Open(kListName)) {
      LogLine("Stopped: cannot open ", folder, kListName, "; nothing was changed");
      if (!silent) ShowListError();
      return kExitFailed;
    }
    // Nothing is deleted unless everything can be: a listed path too long
    // for the ANSI calls would stay behind a half-removed installation.
    if (!EntriesFitPathLimit(list.Text(), list.Entries(), list.Count(), folder, MAX_PATH) &&
        (short_form || !GetShortProgramPath(program, sizeof(program)) ||
         !EnterProgramFolder(program, folder, sizeof(folder)) ||
         !EntriesFitPathLimit(list.Text(), list.Entries(), list.Count(), folder, MAX_PATH))) {
      LogLine("Stopped: a listed path is too long for the system's ANSI calls; nothing was changed");
      if (!silent) ShowUnsupportedFolder();
      return kExitFailed;
    }
    if (!silent) AskWhileFilesAreHeld(list.Text(), list.Entries(), list.Count(), folder);
    CleanUpRegistry();
    ProgramLangLibrary.Unload();
    InstallationFolder installation(program);
    DeleteFolderFile(installation, folder, "zobrix.gid");
    DeleteFolderFile(installation, folder, "zobrix.fts");
    size_t left = 0;
    LogRefusedEntries(list.Text(), list.Entries(), list.Count());
    RunDeletionPasses(list.Text(), list.Entries(), list.Count(), folder, DeleteLoggedEntry,
                      &installation, &left);
    LogFailedEntries(list.Text(), list.Entries(), left, folder);
    restart_completes = ScheduleLeftovers(list.Text(), list.Entries(), left, folder, program,
                                          &installation, &restart_notice);
    list.Close();
    DeleteFolderFile(installation, folder, kListName);
    prepared = PrepareSelfRemoval(program, &installation, silent, command, sizeof(command));
  }
  if ((restart_completes || restart_notice.HasLeftBehind()) && !silent)
    restart_notice.Show(restart_completes);
  if (!prepared) {
    LogLine("Left behind: the program and its folder (no self-removal batch file could be written)");
    return kExitFailed;
  }
  LogLine("Removal of the program and its folder handed to: ", command);
  // Files that neither went nor could be left to the restart wait for a
  // person: the uninstall is not done.
  int code = kExitDone;
  if (restart_notice.HasLeftBehind())
    code = kExitFailed;
  else if (restart_completes)
    code = kExitRestartCompletes;
  StartSelfRemoval(command, code);
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
