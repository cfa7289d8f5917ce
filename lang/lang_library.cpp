#include "lang/lang_library.h"

#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"

LangLibrary ProgramLangLibrary;
HINSTANCE hLangModule = nullptr;
HINSTANCE hOwnModule = nullptr;

LangLibrary::~LangLibrary() { Unload(); }

void LangLibrary::Load(HINSTANCE instance, const char* path) {
  Unload();
  char buffer[1024];
  bool named = false;
  if (path) {
    named = CopyText(buffer, sizeof(buffer), path);
  } else {
    named = GetProgramPath(buffer, sizeof(buffer));
  }
  HINSTANCE library = nullptr;
  // A path too long for the buffer names no folder: the program's own
  // resources are used rather than a library found under a cut path.
  if (named) {
    char* name = NamePart(buffer);
    if (CopyText(name, sizeof(buffer) - static_cast<size_t>(name - buffer), "kexlng.dll"))
      library = LoadLibraryA(buffer);
  }
  Loaded = library != nullptr;
  hLangModule = Loaded ? library : instance;
  hOwnModule = instance;
}

void LangLibrary::Unload() {
  if (!Loaded) return;
  FreeLibrary(hLangModule);
  hLangModule = hOwnModule;
  Loaded = false;
}
