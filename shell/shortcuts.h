#pragma once
// Desktop and Start-menu shortcuts and the program group.
#include <cstddef>

#include "shell/setup_choice.h"

// Brings every place in line with its flag. When the per-user program group
// is created and group_folder is not null, its path is copied there
// (group_folder_size bytes).
void UpdateShortcuts(const SetupOptions& options, char* group_folder, size_t group_folder_size);

// Writes one shortcut through the shell's link object; true when it was saved.
// A link_file of 260 or more wide characters is not saved.
bool CreateShellLink(const char* target, const char* link_file, const char* description,
                     const char* icon_file, const char* arguments);

// The file-system path of the user's desktop folder (size bytes); false when
// it cannot be had.
bool GetDesktopFolder(char* out, size_t size);

// Deletes a folder with everything in it, without confirmation or undo.
// False when the folder does not exist or the deletion failed, and for a path
// of more than 1022 bytes (the shell's list form needs two terminators).
bool RemoveFolder(const char* path);
