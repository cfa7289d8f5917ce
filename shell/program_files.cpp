#include "shell/program_files.h"

#include <windows.h>

#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"

bool ProgramFolderFile(const char* name, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  char path[1024];
  if (!GetProgramPath(path, sizeof(path))) return false;
  *NamePart(path) = '\0';
  if (!AppendText(path, sizeof(path), name)) return false;
  return CopyText(out, size, path);
}

bool ArchiverPath(char* out, size_t size) { return ProgramFolderFile("Zobrix.exe", out, size); }
