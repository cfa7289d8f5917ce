#pragma once
// Files that lie beside the program: the program's own path with another
// name written over its file-name part.
#include <cstddef>

// The program's folder joined with name, into out of size bytes. False, with
// out holding the empty string, when the program path cannot be had or the
// result would not fit: a name is never cut short into another path.
bool ProgramFolderFile(const char* name, char* out, size_t size);

// The archiver beside the program, "Zobrix.exe".
bool ArchiverPath(char* out, size_t size);
