#pragma once
// The program's exit codes. They follow Windows Installer's, which
// deployment tools (Intune, Configuration Manager, Chocolatey, winget) read.
// No <windows.h> here.

enum ExitCode : int {
  kExitDone = 0,                // everything asked for was done
  kExitCancelled = 1602,        // the user said No, or left setup with Cancel or Esc
  kExitFailed = 1603,           // refused or failed
  kExitAlreadyRunning = 1618,   // another setup or uninstall of this installation runs
  kExitBadCommandLine = 1639,   // a command line the program does not act on
  kExitRestartCompletes = 3010, // done; the next restart removes what was held
};
