#include "lang/lang_library.h"

#include <cstring>

#include "common/path.h"

LangLibrary ProgramLangLibrary;
HINSTANCE hLangModule = nullptr;
HINSTANCE hOwnModule = nullptr;

LangLibrary::~LangLibrary() { Unload(); }

void LangLibrary::Load(HINSTANCE instance, const char* path) {
  Unload();
  char buffer[1024];
  buffer[0] = '\0';
  if (path) {
    std::strncpy(buffer, path, sizeof(buffer) - 1);
    buffer[sizeof(buffer) - 1] = '\0';
  } else {
    GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  }
  char* name = NamePart(buffer);
  static const char kLibraryName[] = "kexlng.dll";
  HINSTANCE library = nullptr;
  if (static_cast<size_t>(name - buffer) + sizeof(kLibraryName) <= sizeof(buffer)) {
    std::memcpy(name, kLibraryName, sizeof(kLibraryName));
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
