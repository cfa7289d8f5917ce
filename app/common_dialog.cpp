#include "app/common_dialog.h"

#include "lang/dialog_localization.h"
#include "res/resource.h"

const char HelpFileName[] = "zobrix.hlp";

namespace {

void OpenContextHelp(HWND dialog, DWORD help_context) {
  if (help_context != 0) WinHelpA(dialog, HelpFileName, HELP_CONTEXT, help_context);
}

}  // namespace

void HandleCommonDlgMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM,
                            const char* dialog_name, DWORD help_context) {
  switch (message) {
    case WM_SETFONT:
      // A dialog with its own font gets this while it is created, before its
      // controls exist, so they are created into the mirrored layout.
      SetRtlLayout(dialog);
      break;
    case WM_INITDIALOG:
      // before the procedure's own initialisation: the texts it sets then
      // (the installation folder) stay as they are
      LocalizeDialog(dialog, dialog_name);
      break;
    case WM_HELP:
      OpenContextHelp(dialog, help_context);
      break;
    case WM_COMMAND:
      // any notification of the Help button, not only a click
      if (LOWORD(wparam) == IDC_HELP_BUTTON) OpenContextHelp(dialog, help_context);
      break;
  }
}
