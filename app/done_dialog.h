#pragma once
#include <windows.h>

// Dialog procedure of "DONEDLG", the completion dialog after a confirmed
// setup: shows the installation folder (the current directory) and starts
// the archiver or opens its help, licence, price list and home page. Every
// way of closing it ends it with 1; in silent mode it closes itself.
INT_PTR CALLBACK DoneDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Starts command_line as a new process in the current directory without
// waiting for it; true when the process was created.
bool RunProgram(const char* command_line);
