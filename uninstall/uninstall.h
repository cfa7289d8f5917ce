#pragma once

// Uninstall mode: confirmation (none when silent), registry clean-up,
// deletion of the files named in "Uninstall.lst", then self-removal through a
// batch file. Returns only when it stops early; otherwise the process ends
// inside.
void RunUninstall(bool silent);

// The refusal of a folder whose path the program cannot hand to the ANSI
// calls exactly; setup and uninstall show it before they change anything.
void ShowUnsupportedFolder();
