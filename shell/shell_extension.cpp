#include "shell/shell_extension.h"

#include <windows.h>

#include "registry/registry.h"
#include "shell/program_files.h"

namespace {

#define EXTENSION_CLASS_ID "{5E0C7A12-3B9D-4F61-A8E2-71C4D09B6F35}"

const char ClassKey[] = "CLSID\\" EXTENSION_CLASS_ID;
const char ServerKey[] = "CLSID\\" EXTENSION_CLASS_ID "\\InProcServer32";
const char ApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

struct HandlerKey {
  const char* key;
  const char* value;  // the key's default value
};

// Handlers named by the class identifier: removed as whole keys.
const HandlerKey OwnHandlerKeys[] = {
    {"Zobrix\\shellex\\ContextMenuHandlers\\" EXTENSION_CLASS_ID, ""},
    {"Zobrix\\shellex\\PropertySheetHandlers\\" EXTENSION_CLASS_ID, ""},
    {"Zobrix.ZIP\\shellex\\ContextMenuHandlers\\" EXTENSION_CLASS_ID, ""},
    {"Zobrix.ZIP\\shellex\\PropertySheetHandlers\\" EXTENSION_CLASS_ID, ""},
    {"exefile\\shellex\\PropertySheetHandlers\\" EXTENSION_CLASS_ID, ""},
    {"Zobrix\\shellex\\DropHandler", EXTENSION_CLASS_ID},
    {"Zobrix.ZIP\\shellex\\DropHandler", EXTENSION_CLASS_ID},
};

// Handlers named "Zobrix" below the shell's own classes: only their default
// value goes at removal, the keys stay.
const char* const SharedHandlerKeys[] = {
    "*\\shellex\\ContextMenuHandlers\\Zobrix",
    "Folder\\shellex\\ContextMenuHandlers\\Zobrix",
    "Folder\\shellex\\DragDropHandlers\\Zobrix",
    "Drive\\shellex\\DragDropHandlers\\Zobrix",
    "Directory\\shellex\\ContextMenuHandlers\\Zobrix",
    "Directory\\shellex\\DragDropHandlers\\Zobrix",
};

void RegisterExtensionClass() {
  char library[1024];
  // A library path that does not fit is not registered at all: a cut path
  // would make the shell load some other file.
  if (!ProgramFolderFile("kexext.dll", library, sizeof(library))) return;
  if (GetFileAttributesA(library) == INVALID_FILE_ATTRIBUTES) return;
  SetRegString(HKEY_CLASSES_ROOT, ClassKey, "", "Zobrix");
  SetRegString(HKEY_CLASSES_ROOT, ServerKey, "", library);
  SetRegString(HKEY_CLASSES_ROOT, ServerKey, "ThreadingModel", "Apartment");
}

void Register() {
  RegisterExtensionClass();
  for (const HandlerKey& handler : OwnHandlerKeys)
    SetRegString(HKEY_CLASSES_ROOT, handler.key, "", handler.value);
  for (const char* key : SharedHandlerKeys)
    SetRegString(HKEY_CLASSES_ROOT, key, "", EXTENSION_CLASS_ID);
  SetRegString(HKEY_LOCAL_MACHINE, ApprovedKey, EXTENSION_CLASS_ID, "Zobrix shell extension");
}

void Remove() {
  // on NT RegDeleteKey refuses a key that still has subkeys
  DeleteRegKey(HKEY_CLASSES_ROOT, ServerKey);
  DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey);
  for (const HandlerKey& handler : OwnHandlerKeys) DeleteRegKey(HKEY_CLASSES_ROOT, handler.key);
  for (const char* key : SharedHandlerKeys) DeleteRegValue(HKEY_CLASSES_ROOT, key, "");
  DeleteRegValue(HKEY_LOCAL_MACHINE, ApprovedKey, EXTENSION_CLASS_ID);
}

}  // namespace

void UpdateShellExtension(const SetupOptions& options) {
  if (options.ShellExt)
    Register();
  else
    Remove();
}
