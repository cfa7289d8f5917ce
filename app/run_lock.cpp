#include "app/run_lock.h"

#include <windows.h>

#include "app/run_lock_name.h"
#include "common/os_version.h"

namespace {

// Held for the rest of the process; not inheritable, so the command
// interpreter of the self-removal does not keep it alive.
HANDLE RunLock = nullptr;

const DWORD kWideCapacity = 32768;

// The program's folder in one form, whatever form the program was started
// by (long or 8.3 names, letter case): its long path in capitals. On the NT
// family in UTF-16, where every name has one exact form; the 9x family has
// ANSI paths only. Returns the number of bytes in key, 0 on failure.
size_t FolderKey(void* key, size_t capacity) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (GetNtVersion() != 0) {
    WCHAR* path = static_cast<WCHAR*>(key);
    DWORD count = static_cast<DWORD>(capacity / sizeof(WCHAR));
    DWORD length = GetModuleFileNameW(nullptr, path, count);
    if (length == 0 || length >= count) return 0;
    WCHAR* last = nullptr;
    for (WCHAR* p = path; *p; ++p)
      if (*p == L'\\') last = p;
    if (!last) return 0;
    *last = L'\0';
    // From Windows 2000 on; NT 4 keeps the path as it came.
    typedef DWORD(WINAPI * LongPathFunction)(LPCWSTR, LPWSTR, DWORD);
    LongPathFunction long_path = reinterpret_cast<LongPathFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameW")));
    if (long_path) {
      // The call may write in place when the result fits.
      length = long_path(path, path, count);
      if (length == 0 || length >= count) return 0;
    }
    length = lstrlenW(path);
    CharUpperBuffW(path, length);
    return length * sizeof(WCHAR);
  }
  char* path = static_cast<char*>(key);
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) return 0;
  // The 9x family's code pages put no backslash in a trail byte.
  char* last = nullptr;
  for (char* p = path; *p; p = CharNextA(p))
    if (*p == '\\') last = p;
  if (!last) return 0;
  *last = '\0';
  // From Windows 98 on.
  typedef DWORD(WINAPI * LongPathFunction)(LPCSTR, LPSTR, DWORD);
  LongPathFunction long_path = reinterpret_cast<LongPathFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameA")));
  if (long_path) {
    length = long_path(path, path, static_cast<DWORD>(capacity));
    if (length == 0 || length >= capacity) return 0;
  }
  length = lstrlenA(path);
  CharUpperBuffA(path, length);
  return length;
}

}  // namespace

bool TakeRunLock() {
  const size_t capacity = kWideCapacity * sizeof(WCHAR);
  void* key = HeapAlloc(GetProcessHeap(), 0, capacity);
  if (!key) return true;
  char name[64];
  // "Global\" exists from Windows 2000 on; the 9x family takes no backslash.
  bool named = false;
  size_t size = FolderKey(key, capacity);
  if (size > 0) named = FormatRunLockName(name, sizeof(name), key, size, GetNtVersion() >= 5);
  HeapFree(GetProcessHeap(), 0, key);
  if (!named) return true;
  HANDLE lock = CreateMutexA(nullptr, FALSE, name);
  // A run of another user (SYSTEM under a deployment tool) holds it with
  // its own access list.
  if (!lock) return GetLastError() != ERROR_ACCESS_DENIED;
  DWORD taken = WaitForSingleObject(lock, 0);
  // WAIT_ABANDONED: a run that held it ended without letting go.
  if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
    RunLock = lock;
    return true;
  }
  CloseHandle(lock);
  return false;
}
