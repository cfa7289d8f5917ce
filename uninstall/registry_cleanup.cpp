#include "uninstall/registry_cleanup.h"

#include <windows.h>
#include <shlobj.h>

#include <initializer_list>

#include "registry/registry.h"
#include "shell/app_registration.h"
#include "shell/archive_types.h"
#include "shell/shell_extension.h"
#include "shell/shortcuts.h"

void CleanUpRegistry() {
  // every flag off: each operation removes what it would otherwise create
  SetupOptions none = {};
  UpdateAssociations(none);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  UpdateShellExtension(none);
  UpdateShortcuts(none, nullptr, 0);

  // the file types that RegisterFileTypes writes
  DeleteRegTree(HKEY_CLASSES_ROOT, "Zobrix");
  DeleteRegTree(HKEY_CLASSES_ROOT, "Zobrix.ZIP");
  DeleteRegTree(HKEY_CLASSES_ROOT, "Zobrix.REV");
  DeleteRegTree(HKEY_CLASSES_ROOT, ".rev");

  DeleteRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver");
  DeleteRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe");

  // whatever an earlier setup on this system registered, whichever version
  // ran it and in whichever view (earlier versions wrote the 32-bit one
  // under WOW64); the product's own key only when nothing else is left in it
  // (on the 9x family RegDeleteKeyA would take its subkeys along)
  for (RegView view : {RegView64, RegView32}) {
    DeleteRegValue(HKEY_LOCAL_MACHINE, RegisteredApplicationsKey, "Zobrix", view);
    DeleteRegTree(HKEY_LOCAL_MACHINE, CapabilitiesKey, view);
    if (RegKeyIsEmpty(HKEY_LOCAL_MACHINE, "Software\\Zobrix", view))
      DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Zobrix", view);
  }

  // the empty text names the product settings key itself
  DeleteRegTree(HKEY_CURRENT_USER, "");
}
