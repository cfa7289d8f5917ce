#include "app/context_items_dialog.h"

#include "app/common_dialog.h"
#include "lang/lang_library.h"
#include "registry/registry.h"
#include "res/resource.h"

namespace {

const DWORD ContextItemsHelpContext = 4976;
const char MenuItemsKey[] = "Setup\\MenuItems";

const int ItemCount = IDC_ITEM_LAST - IDC_ITEM_FIRST + 1;
const int ItemIds[ItemCount] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111};
const char* const ItemValueNames[ItemCount] = {"ExtrTo",  "ExtrHere", "Extr",     "ExtrSep",
                                               "OpenSFX", "AddTo",    "AddArc",   "EmailArc",
                                               "EmailOpt", "Test",    "Convert"};
const unsigned char ItemDefaults[ItemCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};

void PutStoredItems(HWND dialog) {
  // the stored number goes to the box as it is
  for (int i = 0; i < ItemCount; ++i)
    CheckDlgButton(dialog, ItemIds[i], GetUserRegDword(MenuItemsKey, ItemValueNames[i], ItemDefaults[i]));
}

void StoreItems(HWND dialog) {
  // a stored number other than 0 or 1 may show as the grey third state,
  // which IsDlgButtonChecked reports as 2: every value is written as 0 or 1
  for (int i = 0; i < ItemCount; ++i)
    SetUserRegDword(MenuItemsKey, ItemValueNames[i],
                    IsDlgButtonChecked(dialog, ItemIds[i]) != BST_UNCHECKED ? 1 : 0);
}

}  // namespace

INT_PTR ShowContextItemsDialog(HWND owner) {
  return DialogBoxParamA(hLangModule, DLG_CONTEXT_ITEMS, owner, ContextItemsDlgProc, 0);
}

INT_PTR CALLBACK ContextItemsDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  HandleCommonDlgMessage(dialog, message, wparam, lparam, DLG_CONTEXT_ITEMS, ContextItemsHelpContext);
  switch (message) {
    case WM_HELP:
      // already answered above; kept from reaching the owning setup dialog
      return TRUE;
    case WM_INITDIALOG:
      PutStoredItems(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          StoreItems(dialog);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
