#include "shell/app_registration.h"

#include <windows.h>

#include "common/list_entries.h"
#include "common/list_file.h"
#include "common/os_version.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "res/version.h"
#include "shell/program_files.h"

const char CapabilitiesKey[] = "Software\\Zobrix\\Capabilities";
const char FileAssociationsKey[] = "Software\\Zobrix\\Capabilities\\FileAssociations";
const char RegisteredApplicationsKey[] = "Software\\RegisteredApplications";
const RegView CapabilitiesView = RegView64;

namespace {

const char AppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe";
const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";

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

// The bytes of the files that "Uninstall.lst" in folder (ending in a
// backslash) names, plus the program's own file. False when the list cannot
// be read.
bool InstalledBytes(const char* folder, const char* program, unsigned long long* total) {
  char list_path[1024];
  if (!CopyText(list_path, sizeof(list_path), folder) ||
      !AppendText(list_path, sizeof(list_path), "Uninstall.lst"))
    return false;
  FileList list;
  if (!list.Open(list_path)) return false;
  *total = 0;
  unsigned long long size = 0;
  char path[1024];
  const ListEntry* entries = list.Entries();
  for (size_t i = 0; i < list.Count(); ++i) {
    const char* entry = list.Text() + entries[i].Offset;
    // only what the uninstaller itself would delete; the program is added once below
    if (IsEntryInsideFolder(entry, entries[i].Length) &&
        JoinEntryPath(path, sizeof(path), folder, entry, entries[i].Length) &&
        (!program || CompareTextNoCase(path, program) != 0) && FileSize(path, &size))
      *total += size;
  }
  if (program && FileSize(program, &size)) *total += size;
  return true;
}

// "EstimatedSize" in KiB, rounded up, of the program's own folder, as the
// uninstaller deletes it; removed when the list cannot be read (or there is
// no program path), so that a figure of an earlier installation does not stay.
void WriteEstimatedSize(const char* program, const char* program_folder) {
  char folder[1024];
  unsigned long long bytes = 0;
  if (program && CopyText(folder, sizeof(folder), program_folder) &&
      AppendBackslash(folder, sizeof(folder)) && InstalledBytes(folder, program, &bytes)) {
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
  if (GetCurrentFolder(folder, sizeof(folder)))
    SetRegString(HKEY_LOCAL_MACHINE, AppPathKey, "Path", folder);
}

void RegisterUninstallEntry() {
  // Every text is formed before anything is written: an entry without its
  // command, or with a cut one, would start nothing or another program.
  char program[1024];
  // Quoted: CreateProcess reads an unquoted C:\Program Files\...\uninstall.exe
  // by trying C:\Program.exe first.
  char command[1024];
  char quiet_command[1024];
  char modify_command[1024];
  char icon[1024];
  // the folder the uninstaller removes, wherever setup was started from, as
  // the uninstaller finds it
  char folder[1024];
  if (!GetProgramPath(program, sizeof(program)) || !CopyText(command, sizeof(command), "\"") ||
      !AppendText(command, sizeof(command), program) || !AppendText(command, sizeof(command), "\"") ||
      !CopyText(quiet_command, sizeof(quiet_command), command) ||
      !AppendText(quiet_command, sizeof(quiet_command), " /s") ||
      !CopyText(modify_command, sizeof(modify_command), command) ||
      !AppendText(modify_command, sizeof(modify_command), " /setup") || !ArchiverPath(icon, sizeof(icon)) ||
      !AppendText(icon, sizeof(icon), ",0") || !ProgramFolderOf(program, folder, sizeof(folder)))
    return;

  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName", GetMsgText(MSG_DISPLAY_NAME));
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", command);
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "QuietUninstallString", quiet_command);
  // "Change" in the list runs setup again
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "ModifyPath", modify_command);
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon", icon);
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", folder);
  SetRegString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion", UNINSTALL_VERSION_TEXT);
  WriteEstimatedSize(program, folder);
  // there is no repair mode; an earlier version's "NoModify" would hide "Change"
  DeleteRegValue(HKEY_LOCAL_MACHINE, UninstallKey, "NoModify");
  SetRegDword(HKEY_LOCAL_MACHINE, UninstallKey, "NoRepair", 1);
}

void RegisterCapabilities() {
  if (GetNtVersion() < 6) return;
  // The 64-bit shell opens the path named in RegisteredApplications in its
  // own view; Software\Zobrix is redirected for a 32-bit process.
  SetRegString(HKEY_LOCAL_MACHINE, CapabilitiesKey, "ApplicationName", GetMsgText(MSG_DISPLAY_NAME),
               CapabilitiesView);
  SetRegString(HKEY_LOCAL_MACHINE, CapabilitiesKey, "ApplicationDescription",
               GetMsgText(MSG_SHORTCUT_COMMENT), CapabilitiesView);
  SetRegString(HKEY_LOCAL_MACHINE, RegisteredApplicationsKey, "Zobrix", CapabilitiesKey,
               CapabilitiesView);
}
