#pragma once
#include <windows.h>

// Width and height percentages of the dialog's scale entry in the language
// file (100 each without one); true unless both are 100.
bool GetDialogScale(const char* dialog_name, int* width_percent, int* height_percent);

// Rescales the dialog by its scale entry, keeping its top-left corner, and
// translates its caption and every child's text. Called at WM_INITDIALOG.
void LocalizeDialog(HWND dialog, const char* dialog_name);

// Mirrors the window's layout when the language is right to left. Called at
// WM_SETFONT, before the dialog's controls exist, so they are mirrored too.
void SetRtlLayout(HWND window);
