#pragma once
#include <windows.h>

// What every dialog of the program shares, called first with each message
// its procedure receives: the mirrored layout and translation of the
// dialog, and context help for F1 and the Help button (id 9). It never
// consumes a message.
void HandleCommonDlgMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam,
                            const char* dialog_name, DWORD help_context);

// The help file, named without a folder: WinHelp looks for it itself.
extern const char HelpFileName[];
