#include "app/setup_dialog.h"

#include <richedit.h>

#include "app/common_dialog.h"
#include "app/context_items_dialog.h"
#include "app/state.h"
#include "res/resource.h"
#include "shell/app_registration.h"
#include "shell/archive_types.h"
#include "shell/shell_extension.h"
#include "shell/shortcuts.h"

namespace {

const DWORD SetupHelpContext = 4288;

// The eighteen check boxes by flag. The record is one byte per flag in the
// order of the boxes 5101..5118, but the fields are named here rather than
// walked as bytes.
struct FlagBox {
  int id;
  bool SetupOptions::*flag;
};
const FlagBox OtherBoxes[] = {
    {IDC_DESKTOP, &SetupOptions::Desktop},           {IDC_START_MENU, &SetupOptions::StartMenu},
    {IDC_PROGRAMS, &SetupOptions::Programs},         {IDC_SHELL_EXT, &SetupOptions::ShellExt},
    {IDC_CASCADED_MENU, &SetupOptions::CascadedMenu}, {IDC_MENU_ICONS, &SetupOptions::MenuIcons},
};

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) != 0; }

void Check(HWND dialog, int id, bool checked) {
  CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ConfirmSetup(HWND dialog) {
  SetupOptions options;
  GetDialogOptions(dialog, options);
  SaveSetupOptions(options);
  ApplySetupOptions(options, LaunchFolder, sizeof(LaunchFolder));
  RegisterUninstallEntry();
  EndDialog(dialog, 1);
}

void InitSetupDialog(HWND dialog) {
  SetupOptions options;
  LoadSetupOptions(options);
  PutDialogOptions(dialog, options);
  // Sent, not posted: the choice is applied before the dialog is ever shown.
  // The dialog's looks are left alone then: activating a window makes Wine
  // wait on every other program's windows, and the icon goes to the X server.
  if (SilentMode) {
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  SetForegroundWindow(dialog);
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
  // the text box takes the dialog's face colour instead of the window colour
  SendDlgItemMessageA(dialog, IDC_SETUP_TEXT, EM_SETBKGNDCOLOR, 0,
                      static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
}

void OnSetupCommand(HWND dialog, int id) {
  switch (id) {
    case IDOK:
      ConfirmSetup(dialog);
      break;
    case IDCANCEL:  // Esc or the close box: nothing stored or applied
      EndDialog(dialog, 0);
      break;
    case IDC_SHELL_EXT: {
      SetupOptions options;
      GetDialogOptions(dialog, options);
      PutDialogOptions(dialog, options);
      break;
    }
    case IDC_SELECT_ALL:
      SelectAllArchiveTypes(dialog);
      break;
    case IDC_CONTEXT_ITEMS:
      ShowContextItemsDialog(dialog);
      break;
  }
}

}  // namespace

void GetDialogOptions(HWND dialog, SetupOptions& options) {
  for (int i = 0; i < ArchiveTypeCount; ++i) options.Assoc[i] = IsChecked(dialog, IDC_ASSOC_FIRST + i);
  for (const FlagBox& box : OtherBoxes) options.*box.flag = IsChecked(dialog, box.id);
}

void PutDialogOptions(HWND dialog, const SetupOptions& options) {
  for (int i = 0; i < ArchiveTypeCount; ++i) Check(dialog, IDC_ASSOC_FIRST + i, options.Assoc[i]);
  for (const FlagBox& box : OtherBoxes) Check(dialog, box.id, options.*box.flag);
  EnableDlgItem(dialog, IDC_CASCADED_MENU, options.ShellExt);
  EnableDlgItem(dialog, IDC_MENU_ICONS, options.ShellExt);
}

void SelectAllArchiveTypes(HWND dialog) {
  for (int id = IDC_ASSOC_FIRST; id <= IDC_ASSOC_LAST; ++id) CheckDlgButton(dialog, id, BST_CHECKED);
}

void EnableDlgItem(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable); }

void ApplySetupOptions(const SetupOptions& options, char* launch_folder, size_t launch_folder_size) {
  RegisterAppPath();
  // may create "Zobrix" and "Zobrix.ZIP" through their handler keys before
  // RegisterFileTypes writes the types themselves
  UpdateShellExtension(options);
  UpdateAssociations(options);
  RegisterFileTypes();
  RegisterCapabilities();
  UpdateShortcuts(options, launch_folder, launch_folder_size);
}

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  HandleCommonDlgMessage(dialog, message, wparam, lparam, DLG_SETUP, SetupHelpContext);
  switch (message) {
    case WM_INITDIALOG:
      InitSetupDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      OnSetupCommand(dialog, LOWORD(wparam));
      return TRUE;
  }
  return FALSE;
}
