#pragma once
#include <windows.h>

// Translates the caption and every control text of a dialog from the
// language file, and rescales it when the language gives it a scale. Called
// once, while the dialog handles WM_INITDIALOG.
void LocalizeDialog(HWND dialog, const char* dialog_name);

// Mirrors the window's layout when the language reads right to left.
void SetRtlLayout(HWND window);
