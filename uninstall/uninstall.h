#pragma once

// Uninstall mode: confirmation (none when silent), registry clean-up,
// deletion of the files named in "Uninstall.lst", then self-removal through a
// batch file. Returns only when it stops early, with the exit code that says
// why; otherwise the process ends inside, with kExitDone, or
// kExitRestartCompletes when files were left to the next restart.
int RunUninstall(bool silent);

// Whether the uninstall of the program at program would take its folder's
// "Uninstall.lst": every listed path fits the ANSI calls under the folder's
// long or short form. True when there is no list. Setup asks before it
// changes anything, so that it never registers what uninstall refuses.
bool UninstallWouldAccept(const char* program);

// The refusal of a folder whose path the program cannot hand to the ANSI
// calls exactly; setup and uninstall show it before they change anything.
void ShowUnsupportedFolder();
