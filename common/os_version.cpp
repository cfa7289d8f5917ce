#include "common/os_version.h"

#include <windows.h>

namespace {
int CachedPlatform = -1;  // -1: not asked yet
int CachedMajorVersion = 0;
}  // namespace

// GetVersionExA of both families takes the original 148-byte record.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA size");

int GetNtVersion() {
  if (CachedPlatform == -1) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExA(&info)) {
      CachedPlatform = static_cast<int>(info.dwPlatformId);
      CachedMajorVersion = static_cast<int>(info.dwMajorVersion);
    } else {
      // no answer: behave as the 9x family
      CachedPlatform = 0;
      CachedMajorVersion = 0;
    }
  }
  return CachedPlatform == VER_PLATFORM_WIN32_NT ? CachedMajorVersion : 0;
}

int CompareTextNoCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}
