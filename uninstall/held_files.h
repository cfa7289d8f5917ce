#pragma once
// Before an interactive uninstall changes anything: the programs that hold
// files of the installation, named to the user, who may close them and
// check again or go on.
#include <cstddef>

#include "common/list_entries.h"

// Asks while files of the installation (the listed entries inside folder,
// which ends in a backslash, and the files directly in folder) are held by
// other running programs: message box with Retry (check again) and Cancel
// (go on). Returns when nothing is held or the user goes on.
void AskWhileFilesAreHeld(const char* data, const ListEntry* entries, size_t count,
                          const char* folder);
