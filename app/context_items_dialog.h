#pragma once
#include <windows.h>

// "CONTEXTITEMS": the eleven commands of the shell extension's context menu,
// stored below "Setup\MenuItems" as soon as the dialog is confirmed. Returns
// 1 after OK, 0 after Cancel.
INT_PTR ShowContextItemsDialog(HWND owner);

INT_PTR CALLBACK ContextItemsDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
