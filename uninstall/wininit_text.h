#pragma once
// The "[rename]" section of WININIT.INI, which the 9x family works through
// at its next start: a line "NUL=<short path>" deletes that file. No
// <windows.h> here.
#include <cstddef>

// "NUL=<short path>" CR LF. False when it does not fit.
bool FormatRenameLine(char* line, size_t size, const char* short_path);

// The text of the file with line (ending in CR LF) added as the last line of
// its "[rename]" section, or in a new such section at the end when it has
// none. The section may repeat a key, so the other lines stay as they are;
// the lines are carried out in their order. Writes out (size bytes, NUL
// after the text); returns the length, or size when the text does not fit.
size_t AddRenameLine(const char* ini, size_t length, const char* line, char* out, size_t size);
