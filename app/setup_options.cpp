#include "app/setup_options.h"

#include <cstring>

#include "registry/registry.h"

namespace {

// The primary extension of each archive type: the key text "Setup\" + it
// holds the type's flag in the value "Set".
const char* const TypeExtensions[ArchiveTypeCount] = {
    ".kex", ".zip", ".cab", ".arj", ".lzh", ".ace", ".tar", ".gz", ".uue", ".bz2", ".jar", ".iso"};

const char SetupKey[] = "Setup";
const char LinksKey[] = "Setup\\Links";

// "Setup\" + extension; every extension above is short enough for the buffer.
void FormTypeKey(const char* extension, char (&key)[16]) {
  memcpy(key, "Setup\\", 6);
  strcpy(key + 6, extension);
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (UpperAscii(*a) != UpperAscii(*b)) return false;
  return *a == *b;
}

}  // namespace

void LoadSetupOptions(SetupOptions& options) {
  char key[16];
  for (int i = 0; i < ArchiveTypeCount; ++i) {
    FormTypeKey(TypeExtensions[i], key);
    options.Assoc[i] = GetUserRegDword(key, "Set", 1) != 0;
  }
  // Another program's ".iso" is not taken over unless the user asks again.
  // The file type is read whole: a long name is another program's too.
  const WholeRegString iso_type(HKEY_CLASSES_ROOT, ".iso", "");
  const char* type = iso_type.Text();
  if (!EqualIgnoringCase(type, "Zobrix") && !EqualIgnoringCase(type, "Zobrix.ZIP") && type[0] != '\0')
    options.Assoc[IsoTypeIndex] = false;
  options.Desktop = GetUserRegDword(LinksKey, "Desktop", 0) != 0;
  options.StartMenu = GetUserRegDword(LinksKey, "StartMenu", 0) != 0;
  options.Programs = GetUserRegDword(LinksKey, "Programs", 1) != 0;
  options.ShellExt = GetUserRegDword(SetupKey, "ShellExt", 1) != 0;
  options.CascadedMenu = GetUserRegDword(SetupKey, "CascadedMenu", 0) != 0;
  options.MenuIcons = GetUserRegDword(SetupKey, "MenuIcons", 1) != 0;
}

void SaveSetupOptions(const SetupOptions& options) {
  char key[16];
  // ISO's flag is not stored: the next setup decides it again by its owner.
  for (int i = 0; i < ArchiveTypeCount; ++i) {
    if (i == IsoTypeIndex) continue;
    FormTypeKey(TypeExtensions[i], key);
    SetUserRegDword(key, "Set", options.Assoc[i] ? 1 : 0);
  }
  SetUserRegDword(LinksKey, "Desktop", options.Desktop ? 1 : 0);
  SetUserRegDword(LinksKey, "StartMenu", options.StartMenu ? 1 : 0);
  SetUserRegDword(LinksKey, "Programs", options.Programs ? 1 : 0);
  SetUserRegDword(SetupKey, "ShellExt", options.ShellExt ? 1 : 0);
  SetUserRegDword(SetupKey, "CascadedMenu", options.CascadedMenu ? 1 : 0);
  SetUserRegDword(SetupKey, "MenuIcons", options.MenuIcons ? 1 : 0);
}
