#include <windows.h>

#include "app/state.h"
#include "lang/lang_library.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ProgramLangLibrary.Load(instance, nullptr);
  return 0;
}
