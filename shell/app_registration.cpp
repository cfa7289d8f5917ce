#include "shell/app_registration.h"

#include <windows.h>

#include "common/os_version.h"
#include "common/path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "res/version.h"
#include "shell/program_files.h"
#include "uninstall/uninstall_list.h"
#include "uninstall/uninstall_text.h"

namespace {

const char AppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe";
const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";

bool CurrentFolder(char* folder, DWORD size) {
  // a folder that does not fit gives the size it would need
  DWORD length = GetCurrentDirectoryA(size, folder);
  return length != 0 && length < size;
}

bool ProgramPath(char* path, DWORD size) {
  // a path of exactly the buffer's size was cut short by the system
  DWORD length = GetModuleFileNameA(nullptr, path, size);
  return length != 0 && length < size;
}

// Size of a file in bytes; false for a folder or anything missing. Found
// through FindFirstFileA, which the first 9x systems have too.
bool FileSize(const char* path, unsigned long long* size) {
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '*' || *p == '?') return false;  // a pattern, no file name
  WIN32_FIND_DATAA data;
  HANDLE found = FindFirstFileA(path, &data);
  if (found == INVALID_HANDLE_VALUE) return false;
  FindClose(found);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

// A file read whole into memory, with room for a terminator.
class FileText {
 public:
  ~FileText() {
    if (text_) HeapFree(GetProcessHeap(), 0, text_);
  }

  bool Read(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    DWORD read = 0;
    bool ok = size != INVALID_FILE_SIZE && high == 0 &&
              (text_ = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1))) != nullptr &&
              (size == 0 || (ReadFile(file, text_, size, &read, nullptr) && read == size));
    CloseHandle(file);
    size_ = size;
    return ok;
  }

  const char* Text() const { return text_; }
  size_t Size() const { return size_; }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
};

// The bytes of the files that "Uninstall.lst" in folder (ending in a
// backslash) names, plus the program's own file. False when the list cannot
// be read.
bool InstalledBytes(const char* folder, const char* program, unsigned long long* total) {
  char list_path[1024];
  if (!CopyText(list_path, sizeof(list_path), folder) ||
      !AppendText(list_path, sizeof(list_path), "Uninstall.lst"))
    return false;
  FileText list;
  if (!list.Read(list_path)) return false;
  size_t pieces = CountListPieces(list.Text(), list.Size());
  if (pieces > static_cast<size_t>(-1) / sizeof(ListEntry) - 1) return false;
  ListEntry* entries =
      static_cast<ListEntry*>(HeapAlloc(GetProcessHeap(), 0, (pieces + 1) * sizeof(ListEntry)));
  if (!entries) return false;
  size_t count = SplitList(list.Text(), list.Size(), entries, pieces);

  *total = 0;
  unsigned long long size = 0;
  char path[1024];
  for (size_t i = 0; i < count; ++i) {
    const char* entry = list.Text() + entries[i].Offset;
    // only what the uninstaller itself would delete; the program is added once below
    if (IsEntryInsideFolder(entry, entries[i].Length) &&
        JoinEntryPath(path, sizeof(path), folder, entry, entries[i].Length) &&
        (!program || CompareTextNoCase(path, program) != 0) && FileSize(path, &size))
      *total += size;
  }
  HeapFree(GetProcessHeap(), 0, entries);
  if (program && FileSize(program, &size)) *total += size;
  return true;
}

// "EstimatedSize" in KiB, rounded up; removed when the list cannot be read,
// so that a figure of an earlier installation does not stay.
void WriteEstimatedSize(const char* program) {
  char folder[1024];
  unsigned long long bytes = 0;
  if (CurrentFolder(folder, sizeof(folder)) && AppendBackslash(folder, sizeof(folder)) &&
      InstalledBytes(folder, program, &bytes)) {
    unsigned long long kib = bytes / 1024 + (bytes % 1024 != 0);
    SetRegDword(HKEY_LOCAL_MACHINE, UninstallKey, "EstimatedSize",
                kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(kib));
  } else {
    DeleteRegValue(HKEY_LOCAL_MACHINE, UninstallKey, "EstimatedSize");
  }
}

}  // namespace

void RegisterAppPath() {
  char archiver[1024];
  if (ArchiverPath(archiver, sizeof(archiver)))
    SetRegString(HKEY_LOCAL_MACHINE, AppPathKey, "", archiver);
  char folder[1024];
  if (CurrentFolder(folder, sizeof(folder)))
    SetRegString(HKEY_LOCAL_MACHINE, AppPathKey, "Path", folder);
}

void RegisterUninstallEntry() {
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName", GetMsgText(MSG_DISPLAY_NAME));

  char program[1024];
  const bool have_program = ProgramPath(program, sizeof(program));
  // Quoted: CreateProcess reads an unquoted C:\Program Files\...\uninstall.exe
  // by trying C:\Program.exe first.
  char command[1024];
  if (have_program && CopyText(command, sizeof(command), "\"") &&
      AppendText(command, sizeof(command), program) && AppendText(command, sizeof(command), "\"")) {
    SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", command);
    if (AppendText(command, sizeof(command), " /s"))
      SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "QuietUninstallString", command);
  }

  char icon[1024];
  if (ArchiverPath(icon, sizeof(icon)) && AppendText(icon, sizeof(icon), ",0"))
    SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon", icon);
  char folder[1024];
  if (CurrentFolder(folder, sizeof(folder)))
    SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", folder);
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion", UNINSTALL_VERSION_TEXT);
  WriteEstimatedSize(have_program ? program : nullptr);
  // there is no change or repair mode: the list offers only removal
  SetRegDword(HKEY_LOCAL_MACHINE, UninstallKey, "NoModify", 1);
  SetRegDword(HKEY_LOCAL_MACHINE, UninstallKey, "NoRepair", 1);
}
