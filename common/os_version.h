#pragma once

// Major Windows version on the NT family, 0 on the 9x family. The system is
// asked once per process.
int GetNtVersion();

// Case-insensitive comparison in the user's locale: below zero, zero or above
// zero; -2 when the comparison itself fails.
int CompareTextNoCase(const char* a, const char* b);
