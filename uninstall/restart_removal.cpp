#include "uninstall/restart_removal.h"

#include <windows.h>

#include <cstring>

#include "common/log.h"
#include "common/oem_text.h"
#include "common/os_version.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "res/resource.h"
#include "uninstall/listed_entry.h"
#include "uninstall/protected_folder.h"
#include "uninstall/uninstall_list.h"
#include "uninstall/wininit_text.h"

namespace {

// The 9x family reads WININIT.INI in real mode, before long names exist;
// the section may name a key more than once, which the profile functions
// cannot write, so the file is rewritten with the line added.
bool AddToWininit(const char* path) {
  char short_path[1024];
  DWORD length = GetShortPathNameA(path, short_path, sizeof(short_path));
  if (length == 0 || length >= sizeof(short_path)) return false;
  char oem_path[1024];
  char line[1100];
  if (!AnsiToOemExactly(short_path, oem_path, sizeof(oem_path)) ||
      !FormatRenameLine(line, sizeof(line), oem_path))
    return false;
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

bool IsFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The same name as the program's own file, in its long or short form.
bool IsProgramFile(const char* path, const char* program) {
  if (CompareTextNoCase(path, program) == 0) return true;
  char path_short[1024];
  char program_short[1024];
  DWORD path_length = GetShortPathNameA(path, path_short, sizeof(path_short));
  DWORD program_length = GetShortPathNameA(program, program_short, sizeof(program_short));
  return path_length > 0 && path_length < sizeof(path_short) && program_length > 0 &&
         program_length < sizeof(program_short) &&
         CompareTextNoCase(path_short, program_short) == 0;
}

// A new protected folder on the volume of folder, held open: the system's
// temporary folder when it lies on that volume (a rename cannot cross
// volumes), else the volume's root. place receives its path. Invalid when
// it cannot be made; then nothing of it is left.
HANDLE MakeRestartFolder(ProtectedSecurity* security, const char* folder, char* place,
                         size_t size) {
  typedef BOOL(WINAPI * VolumePathFunction)(LPCSTR, LPSTR, DWORD);
  // From Windows 2000 on.
  VolumePathFunction volume_path = reinterpret_cast<VolumePathFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetVolumePathNameA")));
  SECURITY_ATTRIBUTES* attributes = security->Attributes();
  char parent[1024];
  char volume[1024];
  char system_volume[1024];
  if (!volume_path || !attributes || !SystemTempFolder(parent, sizeof(parent)) ||
      !volume_path(folder, volume, sizeof(volume)) || !AppendBackslash(volume, sizeof(volume)))
    return INVALID_HANDLE_VALUE;
  if (!volume_path(parent, system_volume, sizeof(system_volume)) ||
      !AppendBackslash(system_volume, sizeof(system_volume)) ||
      CompareTextNoCase(volume, system_volume) != 0)
    CopyText(parent, sizeof(parent), volume);
  if (!MakeProtectedFolder(attributes, parent, "Zobrix_Restart_", place, size))
    return INVALID_HANDLE_VALUE;
  HANDLE handle = CreateFileA(place, FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) RemoveDirectoryA(place);
  return handle;
}

// The files moved into one protected folder, each under a number of its
// own, every one noted for the restart and then the folder after them.
class RestartFolder {
 public:
  explicit RestartFolder(const char* folder) : folder_(folder) {}
  ~RestartFolder() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!made_) return;
    // The folder goes after the files in it; an empty one goes now.
    if (kept_ > 0)
      RemoveAtRestart(place_);
    else
      RemoveDirectoryA(place_);
  }
  RestartFolder(const RestartFolder&) = delete;
  RestartFolder& operator=(const RestartFolder&) = delete;

  // Moves the file at path into the folder and notes it. Deleted when it
  // was noted; Missing when there was nothing; Failed when it stays where
  // it was. A file moved but not noted is named to notice where it lies
  // now, and counts as missing.
  EntryResult Take(const InstallationFolder& installation, const char* path,
                   RestartNotice* notice) {
    if (!tried_) {
      tried_ = true;
      handle_ = MakeRestartFolder(&security_, folder_, place_, sizeof(place_));
      made_ = handle_ != INVALID_HANDLE_VALUE;
    }
    if (!made_) return EntryResult::Failed;
    char name[16];
    WCHAR wide_name[16];
    wsprintfA(name, "%u", ++number_);
    wsprintfW(wide_name, L"%u", number_);
    EntryResult moved = installation.MoveInto(path, handle_, wide_name);
    if (moved != EntryResult::Deleted) return moved;
    ++kept_;
    char moved_path[1024];
    if (!CopyText(moved_path, sizeof(moved_path), place_) ||
        !AppendBackslash(moved_path, sizeof(moved_path)) ||
        !AppendText(moved_path, sizeof(moved_path), name))
      return EntryResult::Missing;
    LogLine("Moved ", path, " to ", moved_path);
    if (RemoveAtRestart(moved_path)) return EntryResult::Deleted;
    notice->AddLeftBehind(moved_path);
    return EntryResult::Missing;
  }

 private:
  const char* folder_;
  ProtectedSecurity security_;
  char place_[1024] = "";
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool tried_ = false;
  bool made_ = false;
  unsigned number_ = 0;
  unsigned kept_ = 0;  // files moved in, noted or not
};

}  // namespace

bool RemoveAtRestart(const char* path) {
  const bool noted = GetNtVersion() != 0 ? MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0
                                         : AddToWininit(path);
  LogLine(noted ? "Left for the restart: " : "Could not leave for the restart: ", path);
  return noted;
}

bool ScheduleLeftovers(const char* data, ListEntry* entries, size_t count, const char* folder,
                       const char* program, InstallationFolder* installation,
                       RestartNotice* notice) {
  char path[1024];
  bool noted = false;
  {
    RestartFolder restart_folder(folder);
    for (size_t i = 0; i < count; ++i) {
      if (!JoinEntryPath(path, sizeof(path), folder, data + entries[i].Offset, entries[i].Length) ||
          !IsFile(GetFileAttributesA(path)) || IsProgramFile(path, program))
        continue;
      // The 9x family has no links: there the name is noted as it is.
      EntryResult result;
      if (installation->ChecksLinks())
        result = restart_folder.Take(*installation, path, notice);
      else
        result = RemoveAtRestart(path) ? EntryResult::Deleted : EntryResult::Failed;
      if (result == EntryResult::Deleted)
        noted = true;
      else if (result != EntryResult::Missing)
        notice->AddLeftBehind(path);
    }
  }
  // The folders that only the moved files kept go now.
  if (installation->ChecksLinks())
    RunDeletionPasses(data, entries, count, folder, DeleteListedEntry, installation);
  return noted;
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
  InstallationFolder installation(program);
  if (!installation.ChecksLinks()) return RemoveAtRestart(program);
  bool noted = false;
  {
    RestartFolder restart_folder(folder);
    RestartNotice unused;
    noted = restart_folder.Take(installation, program, &unused) == EntryResult::Deleted;
  }
  // Without the program's file the folder may be empty now. A drive root
  // is no folder to remove.
  if (noted && LastCharPtr(folder)[0] != '\\') installation.DeleteItself(folder);
  return noted;
}

RestartNotice::RestartNotice() {
  CopyText(caption_, sizeof(caption_), GetMsgText(MSG_UNINSTALL_CAPTION));
  CopyText(done_, sizeof(done_), GetMsgText(MSG_UNINSTALL_DONE));
  CopyText(by_hand_, sizeof(by_hand_), GetMsgFormat(MSG_DELETE_BY_HAND));
  CopyText(restart_, sizeof(restart_), GetMsgText(MSG_RESTART_COMPLETES));
}

void RestartNotice::AddLeftBehind(const char* path) {
  LogLine("Left behind: ", path);
  if (left_full_) return;
  // A name that no longer fits ends the list with "...".
  const size_t room = sizeof(left_) - 5;
  if ((left_[0] == '\0' || AppendText(left_, room, "\n")) && AppendText(left_, room, path)) return;
  size_t length = std::strlen(left_);
  if (length > 0 && left_[length - 1] == '\n') left_[length - 1] = '\0';
  AppendText(left_, sizeof(left_), left_[0] ? "\n..." : "...");
  left_full_ = true;
}

void RestartNotice::Show(bool noted) const {
  char by_hand[1024] = "";
  if (HasLeftBehind() && !FormatSingleString(by_hand, sizeof(by_hand), by_hand_, left_))
    CopyText(by_hand, sizeof(by_hand), left_);
  char text[1024];
  bool fits = CopyText(text, sizeof(text), done_);
  if (by_hand[0])
    fits = fits && AppendText(text, sizeof(text), "\n") && AppendText(text, sizeof(text), by_hand);
  if (noted)
    fits = fits && AppendText(text, sizeof(text), "\n") && AppendText(text, sizeof(text), restart_);
  // Should the lines not fit together, the one that says what is left to do
  // stands alone.
  if (!fits) CopyText(text, sizeof(text), by_hand[0] ? by_hand : restart_);
  MessageBoxA(nullptr, text, caption_, MB_ICONINFORMATION | MB_SETFOREGROUND);
}
