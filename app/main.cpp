#include <windows.h>

#include "app/state.h"
#include "lang/lang_library.h"
#include "uninstall/uninstall.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  ProgramLangLibrary.Load(instance, nullptr);
  int counted = 0;
  for (const char* p = command_line; *p; ++p) {
    if (*p != '/' && *p != '-') continue;
    if ((p[1] == 's' || p[1] == 'S') && !IsCharAlphaA(p[2]))
      SilentMode = true;
    else
      ++counted;
  }
  if (counted == 0) RunUninstall();
  return 0;
}
