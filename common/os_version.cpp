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

namespace {

template <typename Function>
Function SystemFunction(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                : nullptr;
}

}  // namespace

bool RunsUnderWow64() {
  typedef BOOL(WINAPI * IsWow64ProcessCall)(HANDLE, PBOOL);
  // missing on the 9x family and before XP SP2: no WOW64 there
  IsWow64ProcessCall is_wow64 = SystemFunction<IsWow64ProcessCall>("kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}

int ProcessElevation() {
  if (GetNtVersion() < 6) return -1;
  typedef BOOL(WINAPI * OpenTokenCall)(HANDLE, DWORD, PHANDLE);
  typedef BOOL(WINAPI * TokenInformationCall)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
  OpenTokenCall open_token = SystemFunction<OpenTokenCall>("advapi32.dll", "OpenProcessToken");
  TokenInformationCall token_information =
      SystemFunction<TokenInformationCall>("advapi32.dll", "GetTokenInformation");
  HANDLE token = nullptr;
  if (!open_token || !token_information || !open_token(GetCurrentProcess(), TOKEN_QUERY, &token))
    return -1;
  TOKEN_ELEVATION elevation = {};
  DWORD length = 0;
  int result = -1;
  if (token_information(token, TokenElevation, &elevation, sizeof(elevation), &length))
    result = elevation.TokenIsElevated != 0 ? 1 : 0;
  CloseHandle(token);
  return result;
}
