#include "shell/shell_extension.h"

#include <windows.h>

#include "registry/registry.h"
#include "shell/pe_machine.h"
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

// The registry view of the processes that can load the library: the
// 64-bit one for a 64-bit library (64-bit Explorer reads only that view),
// else the 32-bit one, as for a library that cannot be read.
RegView LibraryView(const char* library) {
  HANDLE file = CreateFileA(library, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return RegView32;
  // linkers put the PE header within the first few hundred bytes
  unsigned char head[4096];
  DWORD length = 0;
  const bool read = ReadFile(file, head, sizeof(head), &length, nullptr) != FALSE;
  CloseHandle(file);
  uint16_t machine = 0;
  return read && ReadPeMachine(head, length, &machine) && IsPe64BitMachine(machine) ? RegView64
                                                                                    : RegView32;
}

void RemoveExtensionClass(RegView view) {
  // on NT RegDeleteKey refuses a key that still has subkeys
  DeleteRegKey(HKEY_CLASSES_ROOT, ServerKey, view);
  DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey, view);
}

void RemoveApproval(RegView view) {
  DeleteRegValue(HKEY_LOCAL_MACHINE, ApprovedKey, EXTENSION_CLASS_ID, view);
}

// The view that the Approved entry goes into.
RegView RegisterExtensionClass() {
  char library[1024];
  // A library path that does not fit is not registered at all: a cut path
  // would make the shell load some other file.
  if (!ProgramFolderFile("kexext.dll", library, sizeof(library))) return RegViewOwn;
  if (GetFileAttributesA(library) == INVALID_FILE_ATTRIBUTES) return RegViewOwn;
  const RegView view = LibraryView(library);
  // A registration in the other view (of an earlier library, or an earlier
  // version of this program) would name a library its processes cannot load.
  // Where there is one view only, the other is this one: nothing to remove.
  if (HasTwoRegistryViews()) {
    const RegView other = view == RegView64 ? RegView32 : RegView64;
    RemoveExtensionClass(other);
    RemoveApproval(other);
  }
  SetRegString(HKEY_CLASSES_ROOT, ClassKey, "", "Zobrix", view);
  SetRegString(HKEY_CLASSES_ROOT, ServerKey, "", library, view);
  SetRegString(HKEY_CLASSES_ROOT, ServerKey, "ThreadingModel", "Apartment", view);
  return view;
}

void Register() {
  const RegView view = RegisterExtensionClass();
  // the handler keys below HKEY_CLASSES_ROOT's file classes are shared by both views
  for (const HandlerKey& handler : OwnHandlerKeys)
    SetRegString(HKEY_CLASSES_ROOT, handler.key, "", handler.value);
  for (const char* key : SharedHandlerKeys)
    SetRegString(HKEY_CLASSES_ROOT, key, "", EXTENSION_CLASS_ID);
  SetRegString(HKEY_LOCAL_MACHINE, ApprovedKey, EXTENSION_CLASS_ID, "Zobrix shell extension", view);
}

void Remove() {
  // from both views, whichever library was registered
  RemoveExtensionClass(RegView64);
  RemoveExtensionClass(RegView32);
  for (const HandlerKey& handler : OwnHandlerKeys) DeleteRegKey(HKEY_CLASSES_ROOT, handler.key);
  for (const char* key : SharedHandlerKeys) DeleteRegValue(HKEY_CLASSES_ROOT, key, "");
  RemoveApproval(RegView64);
  RemoveApproval(RegView32);
}

}  // namespace

void UpdateShellExtension(const SetupOptions& options) {
  if (options.ShellExt)
    Register();
  else
    Remove();
}
