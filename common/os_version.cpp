#include "common/os_version.h"

#include <windows.h>

namespace {
int CachedPlatform = -1;
int CachedMajorVersion = 0;
}  // namespace

int GetNtVersion() {
  if (CachedPlatform == -1) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExA(&info)) {
      CachedPlatform = static_cast<int>(info.dwPlatformId);
      CachedMajorVersion = static_cast<int>(info.dwMajorVersion);
    } else {
      CachedPlatform = 0;
    }
  }
  return CachedPlatform == VER_PLATFORM_WIN32_NT ? CachedMajorVersion : 0;
}

int CompareTextNoCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}
