#pragma once
#include <windows.h>

// Dialog procedure of "SETUPDLG": ends the dialog with 1 when the user
// confirms and with 0 when it is closed otherwise.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
