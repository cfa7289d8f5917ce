#pragma once
#include <windows.h>

// The optional resource library "kexlng.dll" beside the program, which
// replaces the program's dialogs, icon and strings.
class LangLibrary {
 public:
  ~LangLibrary();
  // Looks for the library in the folder of path (null: the program's own folder).
  void Load(HINSTANCE instance, const char* path);
  void Unload();
  bool Loaded = false;
};

extern LangLibrary ProgramLangLibrary;
// Module for dialog templates, the icon and strings: the library while it is
// loaded, else the program itself.
extern HINSTANCE hLangModule;
extern HINSTANCE hOwnModule;
