#include "uninstall/self_removal.h"

#include <windows.h>

#include <cstring>

#include "common/exit_codes.h"
#include "common/log.h"
#include "common/oem_text.h"
#include "common/os_version.h"
#include "common/path.h"
#include "common/text.h"
#include "uninstall/listed_entry.h"
#include "uninstall/protected_folder.h"
#include "uninstall/restart_removal.h"
#include "uninstall/uninstall_text.h"

namespace {

// A path of an existing file or folder as the command interpreter must read
// it from a batch file: it reads batch files in the OEM code page, the paths
// are ANSI. A path that the OEM code page cannot spell is written by its
// short name.
bool BatchPathText(const char* path, char* out, size_t size) {
  if (GetACP() == GetOEMCP()) return CopyText(out, size, path);
  if (AnsiToOemExactly(path, out, size)) return true;
  char short_path[1024];
  DWORD length = GetShortPathNameA(path, short_path, sizeof(short_path));
  if (length == 0 || length >= sizeof(short_path)) return false;
  return AnsiToOemExactly(short_path, out, size);
}

bool WriteText(HANDLE file, const char* text) {
  DWORD length = static_cast<DWORD>(std::strlen(text));
  DWORD written = 0;
  return WriteFile(file, text, length, &written, nullptr) && written == length;
}

// The batch text: the wait, five attempts to delete the program file and
// remove its folder (the current folder; none once the program file was
// moved out of it), the notice while the program file stays (none after a
// silent uninstall), and the batch file's own deletion. Nothing is written
// unless every piece fits.
bool WriteBatchFile(HANDLE file, const char* program, bool moved, const char* batch, bool silent) {
  char current[1024];
  DWORD length = GetCurrentDirectoryA(sizeof(current), current);
  if (length == 0 || length >= sizeof(current)) return false;
  char program_text[1024];
  char folder_text[1024];
  char batch_text[1024];
  if (!BatchPathText(program, program_text, sizeof(program_text)) ||
      (!moved && !BatchPathText(current, folder_text, sizeof(folder_text))) ||
      !BatchPathText(batch, batch_text, sizeof(batch_text)))
    return false;
  const char* folder = moved ? nullptr : folder_text;
  char wait_line[1024];
  char removal[1024];
  char closing[1024];
  if (!FormatWaitLine(wait_line, sizeof(wait_line), GetNtVersion() != 0, program_text) ||
      !FormatRemovalBlock(removal, sizeof(removal), program_text, folder) ||
      !FormatClosingBlock(closing, sizeof(closing), program_text, folder, batch_text, silent))
    return false;
  if (!WriteText(file, wait_line)) return false;
  for (int attempt = 0; attempt < 5; ++attempt)
    if (!WriteText(file, removal)) return false;
  return WriteText(file, closing);
}

// Both exist from Windows Vista on; before it there are no symbolic links
// to files, and a plain deletion cannot reach another file.
typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);
typedef BOOL(WINAPI* SetFileInformationFunction)(HANDLE, int, LPVOID, DWORD);
const int kFileDispositionInfo = 4;  // FILE_INFO_BY_HANDLE_CLASS
struct FileDisposition {
  BOOLEAN Delete;
};

// The path that an open handle really names; false when it does not fit.
bool FinalPath(FinalPathFunction final_path, HANDLE handle, char* path, DWORD size) {
  DWORD length = final_path(handle, path, size, 0);
  return length > 0 && length < size;
}

// Deletes whatever file stands at the batch file's name, unless the name
// leads elsewhere. Windows opens a symbolic link's target, and Wine deletes
// the target of a Unix link even through DeleteFileA; the final path of the
// opened file tells the two apart. True when the name is free.
bool ClearBatchName(const char* temp, const char* batch) {
  if (GetFileAttributesA(batch) == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    // A link to nothing reads as missing too; CREATE_NEW still refuses it.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FinalPathFunction final_path = reinterpret_cast<FinalPathFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetFinalPathNameByHandleA")));
  SetFileInformationFunction set_information = reinterpret_cast<SetFileInformationFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetFileInformationByHandle")));
  if (!final_path || !set_information) return DeleteFileA(batch) != 0;

  // Without FILE_SHARE_DELETE nobody can put another file under the name
  // between the test and the deletion.
  HANDLE folder = CreateFileA(temp, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  char expected[1024];
  bool named = FinalPath(final_path, folder, expected, sizeof(expected));
  CloseHandle(folder);
  if (!named || !AppendBackslash(expected, sizeof(expected)) ||
      !AppendText(expected, sizeof(expected), NamePart(batch)))
    return false;
  // A folder at the name is not opened (no backup semantics) and stays.
  HANDLE file = CreateFileA(batch, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char actual[1024];
  FileDisposition disposition = {TRUE};
  bool deleted = FinalPath(final_path, file, actual, sizeof(actual)) &&
                 CompareTextNoCase(actual, expected) == 0 &&
                 set_information(file, kFileDispositionInfo, &disposition, sizeof(disposition));
  CloseHandle(file);
  return deleted;
}

// True when the process runs with an elevated token (UAC's full token):
// then the user's processes without elevation must not reach the batch
// file. Neither call exists on the 9x family; before Vista (NT 6) there is
// no elevation, so the token is not asked: Windows 2000 and XP take the
// user's temporary folder and COMSPEC.
bool ProcessIsElevated() {
  if (GetNtVersion() < 6) return false;
  typedef BOOL(WINAPI * OpenTokenFunction)(HANDLE, DWORD, PHANDLE);
  typedef BOOL(WINAPI * TokenInformationFunction)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                                   PDWORD);
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (!advapi) return false;
  OpenTokenFunction open_token = reinterpret_cast<OpenTokenFunction>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "OpenProcessToken")));
  TokenInformationFunction token_information = reinterpret_cast<TokenInformationFunction>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "GetTokenInformation")));
  HANDLE token = nullptr;
  if (!open_token || !token_information || !open_token(GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  TOKEN_ELEVATION elevation = {};
  DWORD length = 0;
  bool elevated = token_information(token, TokenElevation, &elevation, sizeof(elevation), &length) &&
                  elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

// The system's own command interpreter, for an elevated run: the user sets
// the environment ("COMSPEC" in HKEY_CURRENT_USER\Environment reaches the
// elevated process too), so it must not choose the program that runs with
// these rights. Returns the length, 0 on failure, or a length of at least
// size when the path does not fit.
DWORD SystemInterpreter(char* path, DWORD size) {
  UINT length = GetSystemDirectoryA(path, size);
  if (length == 0 || length >= size) return length == 0 ? 0 : size;
  if (!AppendBackslash(path, size) || !AppendText(path, size, "cmd.exe")) return size;
  return static_cast<DWORD>(std::strlen(path));
}

// Moves the running program's file (Windows renames a running image), through
// the handle that passed the link check, into the batch's own folder, and
// removes the installation folder through the check: the batch, which runs
// with these rights after this process, then names nothing that a user could
// swap for a link. moved receives the new path. False, with the file where
// it was, when it cannot be moved (another volume, a handle without delete
// sharing) or when the check would not know the folder again for its
// removal afterwards (then the batch's removal by name must do it).
bool MoveProgramAway(InstallationFolder* installation, const char* program, const char* own,
                     char* moved, size_t size) {
  const char* name = NamePart(program);
  WCHAR wide_name[MAX_PATH];
  char folder[1024];
  DWORD length = GetCurrentDirectoryA(sizeof(folder), folder);
  if (length == 0 || length >= sizeof(folder) || !CopyText(moved, size, own) ||
      !AppendBackslash(moved, size) || !AppendText(moved, size, name) ||
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide_name, MAX_PATH) <= 0)
    return false;
  const bool root = LastCharPtr(folder)[0] == '\\';
  if (!root && !installation->KnowsItself(folder)) return false;
  HANDLE target = CreateFileA(own, FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  const bool done = installation->MoveInto(program, target, wide_name) == EntryResult::Deleted;
  CloseHandle(target);
  if (!done) return false;
  LogLine("Moved ", program, " to ", moved);
  // A process's current folder cannot be removed. A drive root is no
  // folder to remove; unlisted files keep the folder, as they should.
  SetCurrentDirectoryA(own);
  if (!root && installation->DeleteItself(folder) == EntryResult::Deleted)
    LogLine("Deleted ", folder);
  return true;
}

}  // namespace

// Writes the batch file and builds the command line that runs it. False
// (and no batch file left behind) when something does not fit or fails.
// An elevated run writes it into a protected folder of its own, removed
// after the batch; the others into the user's temporary folder, where the
// user's other processes hold no right that this one lacks.
bool PrepareSelfRemoval(const char* program, InstallationFolder* installation, bool silent,
                        char* command, size_t command_size) {
  char temp[1024];  // the folder of the batch file, ending in a backslash
  char own[1024];   // the elevated run's own folder
  char batch[1024];
  char moved[1024];  // the program file in the elevated run's own folder
  bool program_moved = false;
  bool own_folder = ProcessIsElevated();
  ProtectedSecurity security;
  SECURITY_ATTRIBUTES* attributes = nullptr;
  if (own_folder) {
    // Without a protected place the batch is not written at all: in the
    // user's folder the user's other processes could change it.
    attributes = security.Attributes();
    if (!attributes || !SystemTempFolder(temp, sizeof(temp)) ||
        !MakeProtectedFolder(attributes, temp, "Uninstall_Kex_", own, sizeof(own)))
      return false;
    if (!CopyText(temp, sizeof(temp), own) || !AppendBackslash(temp, sizeof(temp)) ||
        !BatchFilePath(batch, sizeof(batch), temp)) {
      RemoveDirectoryA(own);
      return false;
    }
    program_moved = installation->ChecksLinks() &&
                    MoveProgramAway(installation, program, own, moved, sizeof(moved));
    if (program_moved) program = moved;
  } else {
    DWORD length = GetTempPathA(sizeof(temp), temp);
    if (length == 0 || length >= sizeof(temp)) return false;
    if (!BatchFilePath(batch, sizeof(batch), temp)) return false;
    // The file is only ever made new: opening an existing name would write
    // through a link planted there with this process's rights. If the name
    // cannot be cleared, nothing is started.
    if (!ClearBatchName(temp, batch)) return false;
  }
  HANDLE file = CreateFileA(batch, GENERIC_WRITE, 0, attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  bool written = false;
  if (file != INVALID_HANDLE_VALUE) {
    written = WriteBatchFile(file, program, program_moved, batch, silent);
    CloseHandle(file);
  }

  char comspec[1024];
  DWORD length = own_folder ? SystemInterpreter(comspec, sizeof(comspec))
                            : GetEnvironmentVariableA("COMSPEC", comspec, sizeof(comspec));
  if (length == 0) comspec[0] = '\0';
  if (!written || length >= sizeof(comspec) ||
      !FormatCommandLine(command, command_size, comspec, batch, own_folder ? own : nullptr)) {
    if (file != INVALID_HANDLE_VALUE) DeleteFileA(batch);
    // The moved program file goes at the restart, and its folder with it.
    if (program_moved && RemoveAtRestart(moved)) RemoveAtRestart(own);
    if (own_folder && !program_moved) RemoveDirectoryA(own);
    return false;
  }
  return true;
}

// Hands the batch file to the command interpreter and ends the process, so
// that the batch can delete the program file once this process is gone.
void StartSelfRemoval(char* command, int exit_code) {
  bool nt_family = GetNtVersion() != 0;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  HANDLE nul = INVALID_HANDLE_VALUE;
  if (nt_family) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  } else {
    startup.dwFlags = STARTF_USESTDHANDLES;
    nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
  }
  // The interpreter inherits the current folder; it must not hold the
  // folder it is to remove.
  SetCurrentDirectoryA("..");
  PROCESS_INFORMATION process = {};
  bool started = CreateProcessA(nullptr, command, nullptr, nullptr, TRUE,
                                nt_family ? 0 : DETACHED_PROCESS, nullptr, nullptr, &startup,
                                &process) != 0;
  if (started) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (!nt_family && nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  // Without the batch the program file and its folder stay: not done.
  if (!started) LogLine("Left behind: the program and its folder (the command interpreter did not start)");
  const int code = started ? exit_code : kExitFailed;
  LogExit(code);
  ExitProcess(static_cast<UINT>(code));
}

