#pragma once
// The name of the lock that lets one setup or uninstall of an installation
// run at a time. No <windows.h> here.
#include <cstddef>

// "Zobrix.Setup." and sixteen hexadecimal digits of a 64-bit FNV-1a hash of
// the size bytes of folder_key (the installation folder in one fixed form,
// letter case folded), preceded by "Global\" when global: then every session
// of a terminal server sees the same lock. The 9x family and NT before 5 take
// no namespace and no backslash in the name. False when it does not fit.
bool FormatRunLockName(char* name, size_t name_size, const void* folder_key, size_t size,
                       bool global);
