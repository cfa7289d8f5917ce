#pragma once
// The uninstaller's removal of its own program file and folder: a batch file
// that a command interpreter runs once this process has ended.
#include <cstddef>

// Writes the batch file for the program file at program, whose folder is the
// current folder, and builds the command line that runs it; after a silent
// uninstall the batch's run of the program is silent too. False, with no
// batch file (or folder of its own) left behind, when something does not
// fit or fails.
bool PrepareSelfRemoval(const char* program, bool silent, char* command, size_t command_size);

// Starts the command line that PrepareSelfRemoval built and ends the process
// with exit_code, or with kExitFailed when the start failed.
[[noreturn]] void StartSelfRemoval(char* command, int exit_code);
