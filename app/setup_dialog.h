#pragma once
#include <windows.h>

#include <cstddef>

#include "app/setup_options.h"

// Dialog procedure of "SETUPDLG": ends the dialog with 1 when the user
// confirms and with 0 when it is closed otherwise.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Transfer between the record and the dialog's eighteen check boxes.
void GetDialogOptions(HWND dialog, SetupOptions& options);
// Also enables 5117 and 5118 exactly when ShellExt is set.
void PutDialogOptions(HWND dialog, const SetupOptions& options);
// Checks the twelve archive-type boxes; the others stay as they are.
void SelectAllArchiveTypes(HWND dialog);
void EnableDlgItem(HWND dialog, int id, bool enable);

// Brings the shell in line with a confirmed choice, in a fixed order; the
// program-group folder, when one is made, goes into launch_folder.
void ApplySetupOptions(const SetupOptions& options, char* launch_folder, size_t launch_folder_size);
