#pragma once

// Major Windows version on the NT family, 0 on the 9x family. The system is
// asked once per process.
int GetNtVersion();

// Case-insensitive comparison in the user's locale: below zero, zero or above
// zero; -2 when the comparison itself fails.
int CompareTextNoCase(const char* a, const char* b);

// True when this process is a 32-bit one on 64-bit Windows.
bool RunsUnderWow64();

// 1 when the process runs with UAC's full (elevated) token, 0 when not, -1
// where there is no elevation (the 9x family, NT before 6) or the system
// cannot tell. Looked up at run time: the program still loads where the
// calls are missing.
int ProcessElevation();
