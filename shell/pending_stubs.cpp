// Empty stand-ins for the shell operations that are built elsewhere, so that
// the program links until they arrive; this file goes when they do.
#include "shell/app_registration.h"
#include "shell/archive_types.h"
#include "shell/shell_extension.h"
#include "shell/shortcuts.h"

void RegisterAppPath() {}
void RegisterUninstallEntry() {}
void UpdateAssociations(const SetupOptions&) {}
void RegisterFileTypes() {}
void UpdateShellExtension(const SetupOptions&) {}
void UpdateShortcuts(const SetupOptions&, char*, size_t) {}
