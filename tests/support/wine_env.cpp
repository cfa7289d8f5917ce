#include "tests/support/wine_env.h"

#include <windows.h>

#include <cstdlib>

namespace testenv {

bool IsWin9xFamily() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

std::string RequestedFamily() {
  const char* family = std::getenv("TEST_FAMILY");
  return family ? family : "nt";
}

std::string UninstallExePath() {
  const char* path = std::getenv("UNINSTALL_EXE");
  return path ? path : "";
}

std::string SourceDir() {
  const char* path = std::getenv("TEST_SOURCE_DIR");
  return path ? path : "";
}

unsigned AnsiCodePage() { return GetACP(); }
unsigned OemCodePage() { return GetOEMCP(); }

}  // namespace testenv
