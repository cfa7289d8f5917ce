#include "app/common_dialog.h"

void HandleCommonDlgMessage(HWND, UINT, WPARAM, LPARAM, const char*, DWORD) {}
