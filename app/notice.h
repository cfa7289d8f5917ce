#pragma once
// The text of the notice that the switch /warning shows. No <windows.h> here.
#include <cstddef>

// Writes first_line, a line feed and second_line into out (size bytes).
// second_line is used as a format with path as its one argument only when it
// is a safe string format; otherwise it is shown as it stands. Whatever
// does not fit is left out at a character boundary. False when the text was
// shortened.
bool ComposeUninstallNotice(char* out, size_t size, const char* first_line,
                            const char* second_line, const char* path);
