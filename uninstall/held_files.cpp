#include "uninstall/held_files.h"

#include <windows.h>
#include <restartmanager.h>

#include <cstring>

#include "common/os_version.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/lang_library.h"
#include "lang/messages.h"
#include "res/resource.h"

namespace {

// The names of the holding programs, one per line; a name that no longer
// fits ends the list with "...".
class NameList {
 public:
  void Add(const char* name) {
    if (full_ || name[0] == '\0') return;
    // The same program or file holding several files is named once.
    for (const char* line = text_; *line;) {
      const char* end = std::strchr(line, '\n');
      size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
      if (length == std::strlen(name) && std::strncmp(line, name, length) == 0) return;
      line = end ? end + 1 : line + length;
    }
    char saved[sizeof(text_)];
    std::memcpy(saved, text_, sizeof(text_));
    bool fits = (text_[0] == '\0' || AppendText(text_, kRoom, "\n")) && AppendText(text_, kRoom, name);
    if (!fits) {
      std::memcpy(text_, saved, sizeof(text_));
      AppendText(text_, sizeof(text_), "\n...");
      full_ = true;
    }
  }
  bool Empty() const { return text_[0] == '\0'; }
  const char* Text() const { return text_; }

 private:
  static const size_t kRoom = 380;  // the rest of the buffer keeps room for "\n..."
  char text_[400] = "";
  bool full_ = false;
};

typedef DWORD(WINAPI* RmStartSessionFunction)(DWORD*, DWORD, WCHAR*);
typedef DWORD(WINAPI* RmRegisterResourcesFunction)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*,
                                                   UINT, LPCWSTR*);
typedef DWORD(WINAPI* RmGetListFunction)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
typedef DWORD(WINAPI* RmEndSessionFunction)(DWORD);

// The files to ask about: the listed entries that fit and stay inside the
// folder, then, with folder_files, the files directly in the folder. Calls
// take(path) for each.
template <typename Take>
void ForEachFile(const char* data, const ListEntry* entries, size_t count, const char* folder,
                 bool folder_files, Take take) {
  char path[1024];
  for (size_t i = 0; i < count; ++i) {
    const char* entry = data + entries[i].Offset;
    if (IsEntryInsideFolder(entry, entries[i].Length) &&
        JoinEntryPath(path, sizeof(path), folder, entry, entries[i].Length))
      take(path);
  }
  char pattern[1024];
  if (!folder_files) return;
  if (!CopyText(pattern, sizeof(pattern), folder) || !AppendText(pattern, sizeof(pattern), "*"))
    return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (CopyText(path, sizeof(path), folder) && AppendText(path, sizeof(path), found.cFileName))
      take(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Restart Manager (Vista and later) names the programs that use any of the
// files, this one aside.
void AskRestartManager(const char* data, const ListEntry* entries, size_t count,
                       const char* folder, NameList* names) {
  if (GetNtVersion() < 6) return;
  char library[1024];
  UINT length = GetSystemDirectoryA(library, sizeof(library));
  if (length == 0 || length >= sizeof(library) || !AppendBackslash(library, sizeof(library)) ||
      !AppendText(library, sizeof(library), "rstrtmgr.dll"))
    return;
  HMODULE module = LoadLibraryA(library);
  if (!module) return;
  RmStartSessionFunction start = reinterpret_cast<RmStartSessionFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "RmStartSession")));
  RmRegisterResourcesFunction register_files = reinterpret_cast<RmRegisterResourcesFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "RmRegisterResources")));
  RmGetListFunction get_list = reinterpret_cast<RmGetListFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "RmGetList")));
  RmEndSessionFunction end = reinterpret_cast<RmEndSessionFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "RmEndSession")));
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (!start || !register_files || !get_list || !end || start(&session, 0, key) != ERROR_SUCCESS) {
    FreeLibrary(module);
    return;
  }
  // A few files per call: the list may be long, and each call adds to the
  // session's set.
  const int kBatch = 16;
  static WCHAR wide[kBatch][1024];
  LPCWSTR batch[kBatch];
  int batched = 0;
  auto take = [&](const char* path) {
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide[batched], 1024) <= 0) return;
    batch[batched] = wide[batched];
    if (++batched < kBatch) return;
    register_files(session, batched, batch, 0, nullptr, 0, nullptr);
    batched = 0;
  };
  ForEachFile(data, entries, count, folder, true, take);
  if (batched > 0) register_files(session, batched, batch, 0, nullptr, 0, nullptr);

  // The list is filled only when all of it fits; it may grow between the
  // calls while programs start.
  UINT needed = 0;
  UINT got = 0;
  DWORD reasons = 0;
  RM_PROCESS_INFO* found = nullptr;
  HANDLE heap = GetProcessHeap();
  DWORD result = get_list(session, &needed, &got, nullptr, &reasons);
  for (int attempt = 0; attempt < 3 && result == ERROR_MORE_DATA && needed > 0 && needed < 1024;
       ++attempt) {
    if (found) HeapFree(heap, 0, found);
    got = needed + 4;
    found = static_cast<RM_PROCESS_INFO*>(HeapAlloc(heap, 0, got * sizeof(RM_PROCESS_INFO)));
    if (!found) break;
    result = get_list(session, &needed, &got, found, &reasons);
  }
  if (result == ERROR_SUCCESS && found) {
    DWORD own = GetCurrentProcessId();
    for (UINT i = 0; i < got; ++i) {
      if (found[i].Process.dwProcessId == own) continue;
      char name[CCH_RM_MAX_APP_NAME * 2 + 2];
      found[i].strAppName[CCH_RM_MAX_APP_NAME] = L'\0';
      if (WideCharToMultiByte(CP_ACP, 0, found[i].strAppName, -1, name, sizeof(name), nullptr,
                              nullptr) > 0)
        names->Add(name);
    }
  }
  if (found) HeapFree(heap, 0, found);
  end(session);
  FreeLibrary(module);
}

bool IsProgramFile(const char* path) {
  const char* name = NamePart(path);
  const char* dot = std::strrchr(name, '.');
  if (!dot) return false;
  static const char* const extensions[] = {".exe", ".dll", ".ocx", ".sys"};
  for (const char* extension : extensions)
    if (CompareTextNoCase(dot, extension) == 0) return true;
  return false;
}

bool HasShortPath(const char* path, const char* short_path) {
  char buffer[1024];
  DWORD length = GetShortPathNameA(path, buffer, sizeof(buffer));
  return short_path[0] != '\0' && length > 0 && length < sizeof(buffer) &&
         CompareTextNoCase(buffer, short_path) == 0;
}

// Where Restart Manager is missing or names nothing: a program or library
// that a process runs or has loaded cannot be opened for writing, and a
// file that a process holds without delete sharing cannot be opened for
// deletion; both fail with a sharing violation (a read-only file is refused
// with another error). Only programs and libraries are tried: the test costs
// about what a deletion does. The 9x family knows neither the right to
// delete nor delete sharing, and refuses a call that asks for them.
void TryProgramFiles(const char* data, const ListEntry* entries, size_t count, const char* folder,
                     NameList* names) {
  char own[1024];
  GetProgramPath(own, sizeof(own));  // empty when it cannot be had
  // The folder may be the short form while the list spells the program's
  // name long, or the long form may not be had at all: the program's own
  // file, which it holds itself, is then known by its short path.
  char own_short[1024];
  GetShortProgramPath(own_short, sizeof(own_short));
  // The language library is loaded by this program, which holds it too.
  char library[1024] = "";
  char library_short[1024] = "";
  if (hLangModule && hLangModule != hOwnModule) {
    DWORD length = GetModuleFileNameA(hLangModule, library, sizeof(library));
    if (length == 0 || length >= sizeof(library)) library[0] = '\0';
    length = GetShortPathNameA(library, library_short, sizeof(library_short));
    if (length == 0 || length >= sizeof(library_short)) library_short[0] = '\0';
  }
  bool nt_family = GetNtVersion() != 0;
  DWORD access = nt_family ? DELETE | FILE_WRITE_DATA : GENERIC_WRITE;
  DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (nt_family ? FILE_SHARE_DELETE : 0);
  auto take = [&](const char* path) {
    if (!IsProgramFile(path) || CompareTextNoCase(path, own) == 0 ||
        (library[0] && CompareTextNoCase(path, library) == 0))
      return;
    HANDLE file = CreateFileA(path, access, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE)
      CloseHandle(file);
    else if (GetLastError() == ERROR_SHARING_VIOLATION && !HasShortPath(path, own_short) &&
             !HasShortPath(path, library_short))
      names->Add(NamePart(path));
  };
  ForEachFile(data, entries, count, folder, false, take);
}

}  // namespace

void AskWhileFilesAreHeld(const char* data, const ListEntry* entries, size_t count,
                          const char* folder) {
  for (;;) {
    NameList names;
    AskRestartManager(data, entries, count, folder, &names);
    if (names.Empty()) TryProgramFiles(data, entries, count, folder, &names);
    if (names.Empty()) return;
    char text[1024];
    const char* format = GetMsgFormat(MSG_FILES_IN_USE);
    // Should even that not fit or not be a format, the text is shown as it stands.
    const char* shown = FormatSingleString(text, sizeof(text), format, names.Text()) ? text : format;
    if (MessageBoxA(nullptr, shown, GetMsgText(MSG_UNINSTALL_CAPTION),
                    MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND) != IDRETRY)
      return;
  }
}
