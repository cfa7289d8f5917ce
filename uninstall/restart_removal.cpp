#include "uninstall/restart_removal.h"

#include <windows.h>

#include <cstring>

#include "common/log.h"
#include "common/os_version.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "res/resource.h"
#include "uninstall/wininit_text.h"

namespace {

// The 9x family reads WININIT.INI in real mode, before long names exist;
// the section may name a key more than once, which the profile functions
// cannot write, so the file is rewritten with the line added.
bool AddToWininit(const char* path) {
  char short_path[1024];
  DWORD length = GetShortPathNameA(path, short_path, sizeof(short_path));
  if (length == 0 || length >= sizeof(short_path)) return false;
  char line[1100];
  if (!FormatRenameLine(line, sizeof(line), short_path)) return false;
  char ini_path[1024];
  UINT folder_length = GetWindowsDirectoryA(ini_path, sizeof(ini_path));
  if (folder_length == 0 || folder_length >= sizeof(ini_path) ||
      !AppendBackslash(ini_path, sizeof(ini_path)) ||
      !AppendText(ini_path, sizeof(ini_path), "WININIT.INI"))
    return false;

  HANDLE file = CreateFileA(ini_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool done = false;
  DWORD size = GetFileSize(file, nullptr);
  HANDLE heap = GetProcessHeap();
  // A file of a few lines; a huge one is no WININIT.INI to extend.
  if (size != INVALID_FILE_SIZE && size < (1u << 20)) {
    size_t capacity = size + std::strlen(line) + 32;
    char* old_text = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
    char* new_text = static_cast<char*>(HeapAlloc(heap, 0, capacity));
    DWORD read = 0;
    if (old_text && new_text && ReadFile(file, old_text, size, &read, nullptr) && read == size) {
      size_t new_length = AddRenameLine(old_text, size, line, new_text, capacity);
      DWORD written = 0;
      done = new_length < capacity && SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
             WriteFile(file, new_text, static_cast<DWORD>(new_length), &written, nullptr) &&
             written == new_length && SetEndOfFile(file);
    }
    if (old_text) HeapFree(heap, 0, old_text);
    if (new_text) HeapFree(heap, 0, new_text);
  }
  CloseHandle(file);
  return done;
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool RemoveAtRestart(const char* path) {
  const bool noted = GetNtVersion() != 0 ? MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0
                                         : AddToWininit(path);
  LogLine(noted ? "Left for the restart: " : "Could not leave for the restart: ", path);
  return noted;
}

bool ScheduleLeftovers(const char* data, const ListEntry* entries, size_t count, const char* folder) {
  char path[1024];
  bool noted = false;
  // Files first: a folder goes only once it is empty.
  for (size_t i = 0; i < count; ++i) {
    if (!JoinEntryPath(path, sizeof(path), folder, data + entries[i].Offset, entries[i].Length))
      continue;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && !IsFolder(attributes) && RemoveAtRestart(path))
      noted = true;
  }
  // A folder that stays only for files nobody listed is no held file's.
  if (!noted) return false;
  // Then the folders, the longest path first: a folder inside another has
  // the longer path.
  size_t done_below = static_cast<size_t>(-1);  // folders at least this long are noted
  for (;;) {
    size_t longest = 0;
    for (size_t i = 0; i < count; ++i)
      if (entries[i].Length > longest && entries[i].Length < done_below) longest = entries[i].Length;
    if (longest == 0) break;
    for (size_t i = 0; i < count; ++i) {
      if (entries[i].Length != longest ||
          !JoinEntryPath(path, sizeof(path), folder, data + entries[i].Offset, entries[i].Length))
        continue;
      if (IsFolder(GetFileAttributesA(path)) && RemoveAtRestart(path)) noted = true;
    }
    done_below = longest;
  }
  // The installation folder, without its backslash (a drive root stays).
  if (!CopyText(path, sizeof(path), folder)) return true;
  size_t length = std::strlen(path);
  if (length > 3 && path[length - 1] == '\\' && LastCharPtr(path) == path + length - 1)
    path[length - 1] = '\0';
  if (length > 3) RemoveAtRestart(path);
  return true;
}

bool ScheduleProgramRemoval() {
  char program[1024];
  if (!GetProgramPath(program, sizeof(program))) return false;
  char folder[1024];
  char list[1024];
  if (!ProgramFolderOf(program, folder, sizeof(folder)) || !CopyText(list, sizeof(list), folder) ||
      !AppendBackslash(list, sizeof(list)) || !AppendText(list, sizeof(list), "Uninstall.lst"))
    return false;
  // An installation that was not uninstalled keeps its list: a hand run of
  // the switch must not take it away.
  if (GetFileAttributesA(list) != INVALID_FILE_ATTRIBUTES) return false;
  if (!RemoveAtRestart(program)) return false;
  // A drive root is no folder to remove.
  if (LastCharPtr(folder)[0] == '\\') return true;
  return RemoveAtRestart(folder);
}

RestartNotice::RestartNotice() {
  CopyText(caption_, sizeof(caption_), GetMsgText(MSG_UNINSTALL_CAPTION));
  const char* second_line = GetMsgText(MSG_RESTART_COMPLETES);
  // Should both lines not fit, the second, which says what is left to do,
  // stands alone.
  if (!CopyText(text_, sizeof(text_), GetMsgText(MSG_UNINSTALL_DONE)) ||
      !AppendText(text_, sizeof(text_), "\n") || !AppendText(text_, sizeof(text_), second_line))
    CopyText(text_, sizeof(text_), second_line);
}

void RestartNotice::Show() const {
  MessageBoxA(nullptr, text_, caption_, MB_ICONINFORMATION | MB_SETFOREGROUND);
}
