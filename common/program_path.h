#pragma once
// The program's own path, and the current folder, as the ANSI calls must be
// given them. The long path (through the wide call) is used when the ANSI
// code page holds it exactly and no part of it ends in a blank or a dot;
// otherwise its short 8.3 form, which is what Windows hands a program that
// cannot take the long name. The 9x family has only ANSI paths.
#include <cstddef>

// False, with path holding the empty string, when neither form exists
// exactly or fits size bytes.
bool GetProgramPath(char* path, size_t size);
// Always the short 8.3 form (on the 9x family: GetShortPathNameA of the
// program path); for a folder whose long form makes paths too long for the
// ANSI calls.
bool GetShortProgramPath(char* path, size_t size);
// The current folder by the same rule as GetProgramPath.
bool GetCurrentFolder(char* folder, size_t size);
