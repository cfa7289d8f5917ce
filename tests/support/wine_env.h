#pragma once
// What a test needs to know about the system it runs on.
#include <string>

namespace testenv {

// True when this process was started as the 9x family (GetVersionExA
// reports platform 1); wine-test.sh arranges that with --family 9x.
bool IsWin9xFamily();

// The family that wine-test.sh asked for ("nt" or "9x"), so a test can check
// that the system really reports it.
std::string RequestedFamily();

// Full Windows path of the uninstall.exe under test (empty when unknown).
std::string UninstallExePath();

// The repository's root as a Windows path, for test data.
std::string SourceDir();

// ANSI code page and OEM code page of this process.
unsigned AnsiCodePage();
unsigned OemCodePage();

}  // namespace testenv
