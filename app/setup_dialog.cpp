#include "app/setup_dialog.h"

#include "app/common_dialog.h"
#include "app/state.h"
#include "shell/app_registration.h"

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  HandleCommonDlgMessage(dialog, message, wparam, lparam, "SETUPDLG", 4288);
  switch (message) {
    case WM_INITDIALOG:
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          RegisterUninstallEntry();
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      break;
  }
  return FALSE;
}
