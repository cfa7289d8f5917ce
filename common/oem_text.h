#pragma once
// ANSI text in the OEM code page, which the command interpreter reads batch
// files in and WININIT.EXE, under DOS, takes file names in.
#include <cstddef>

// False when a character has no exact OEM form: WideCharToMultiByte would
// put in the default character or a best-fit look-alike, which names
// another file.
bool AnsiToOemExactly(const char* text, char* out, size_t size);
