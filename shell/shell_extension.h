#pragma once
// Registration of the shell extension library "kexext.dll" for its handler
// kinds, or its removal.
#include "shell/setup_choice.h"

// Registers when ShellExt is set, removes otherwise.
void UpdateShellExtension(const SetupOptions& options);
