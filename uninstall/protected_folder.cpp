#include "uninstall/protected_folder.h"

#include <sddl.h>

#include "common/path.h"
#include "common/text.h"
#include "uninstall/uninstall_text.h"

ProtectedSecurity::ProtectedSecurity() {
  typedef BOOL(WINAPI * FromTextFunction)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
  // From Windows 2000 on; the program also starts where it is missing.
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  FromTextFunction from_text =
      advapi ? reinterpret_cast<FromTextFunction>(reinterpret_cast<void*>(
                   GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA")))
             : nullptr;
  if (from_text && from_text(ProtectedFolderSecurity(), SDDL_REVISION_1, &descriptor_, nullptr)) {
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
}

ProtectedSecurity::~ProtectedSecurity() {
  if (descriptor_) LocalFree(descriptor_);
}

bool SystemTempFolder(char* folder, size_t size) {
  typedef UINT(WINAPI * WindowsFolderFunction)(LPSTR, UINT);
  // On a terminal server GetWindowsDirectoryA may give a folder of the user.
  WindowsFolderFunction windows_folder =
      reinterpret_cast<WindowsFolderFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWindowsDirectoryA")));
  if (!windows_folder) return false;
  UINT length = windows_folder(folder, static_cast<UINT>(size));
  return length > 0 && length < size && AppendBackslash(folder, size) &&
         AppendText(folder, size, "Temp\\");
}

bool MakeProtectedFolder(SECURITY_ATTRIBUTES* security, const char* parent, const char* prefix,
                         char* folder, size_t size) {
  // RtlGenRandom; from Windows XP on, so on every system that elevates.
  typedef BOOLEAN(WINAPI * RandomFunction)(PVOID, ULONG);
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  RandomFunction random = advapi ? reinterpret_cast<RandomFunction>(reinterpret_cast<void*>(
                                       GetProcAddress(advapi, "SystemFunction036")))
                                 : nullptr;
  if (!random) return false;
  // 64 random bits: a user who makes names in the parent ahead of time (to
  // stop the removal) cannot guess this one; the tries only cover a chance
  // meeting. Without the random source there is no name: a guessable name
  // is what this replaces.
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned long long number = 0;
    if (!random(&number, sizeof(number))) return false;
    char name[17];
    for (int i = 15; i >= 0; --i, number >>= 4) name[i] = "0123456789ABCDEF"[number & 0xF];
    name[16] = '\0';
    if (!CopyText(folder, size, parent) || !AppendText(folder, size, prefix) ||
        !AppendText(folder, size, name))
      return false;
    if (CreateDirectoryA(folder, security)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}
