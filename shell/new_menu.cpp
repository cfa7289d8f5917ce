#include "shell/new_menu.h"

#include <windows.h>

#include <cstdio>

#include "common/text.h"
#include "registry/registry.h"
#include "shell/program_files.h"

// An empty KEX archive: the format marker, then a main archive header that
// describes no files (check value CF 90, type 73, no flags, size 13).
unsigned char KexNewTemplate[KexTemplateSize] = {
    0x00, 0x65, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
    0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// An empty ZIP archive: the end-of-central-directory record, every field zero.
unsigned char ZipNewTemplate[ZipTemplateSize] = {0x00, 0x4B, 0x05, 0x06};

void CompleteNewTemplates() {
  KexNewTemplate[0] = 0x4B;  // 'K'
  ZipNewTemplate[0] = 0x50;  // 'P'
}

namespace {

// Windows Me, 2000 and later copy a template file; 95, 98 and NT 4.0 only
// know the "Data" value.
bool ShellTakesTemplateFile() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return false;
  return info.dwMajorVersion > 4 || info.dwMinorVersion > 10;
}

// Creates the template file unless one is there already, whatever it holds.
void CreateTemplateFile(const char* path, const unsigned char* bytes, size_t size) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return;
  FILE* file = fopen(path, "wb");
  if (!file) return;
  fwrite(bytes, 1, size, file);
  fclose(file);
}

}  // namespace

void WriteNewMenuEntry(const char* extension, NewTemplate which) {
  char key[64];
  if (!FormatSingleString(key, sizeof(key), "%s\\ShellNew", extension)) return;
  const bool kex = which == NewTemplate::Kex;
  const unsigned char* bytes = kex ? KexNewTemplate : ZipNewTemplate;
  const size_t size = kex ? KexTemplateSize : ZipTemplateSize;

  if (ShellTakesTemplateFile()) {
    char path[1024];
    // without a whole path there is no entry to write: the old one stays
    if (!ProgramFolderFile(kex ? "kexnew.dat" : "zipnew.dat", path, sizeof(path))) return;
    DeleteRegKey(HKEY_CLASSES_ROOT, key);
    CreateTemplateFile(path, bytes, size);
    SetRegString(HKEY_CLASSES_ROOT, key, "FileName", path);
  } else {
    DeleteRegKey(HKEY_CLASSES_ROOT, key);
    SetRegBinary(HKEY_CLASSES_ROOT, key, "Data", bytes, static_cast<DWORD>(size));
  }
}
