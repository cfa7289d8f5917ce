#pragma once
// The uninstaller's removal of its own program file and folder: a batch file
// that a command interpreter runs once this process has ended.
#include <cstddef>

class InstallationFolder;

// Writes the batch file for the program file at program, whose folder is the
// current folder, and builds the command line that runs it; after a silent
// uninstall the batch's run of the program is silent too. Where the batch
// goes into a protected folder of its own and installation checks links,
// the program file is first moved into that folder and the installation
// folder removed through installation; the batch then names the moved file
// alone. Else, or when the move fails, the batch removes the program file
// and its folder by name. False, with no batch file (or folder of its own)
// left behind, when something does not fit or fails; a program file moved
// already is then left to the restart.
bool PrepareSelfRemoval(const char* program, InstallationFolder* installation, bool silent,
                        char* command, size_t command_size);

// Starts the command line that PrepareSelfRemoval built and ends the process
// with exit_code, or with kExitFailed when the start failed.
[[noreturn]] void StartSelfRemoval(char* command, int exit_code);
