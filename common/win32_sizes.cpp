// Sizes and layouts of the structures the program hands to Windows, as the
// system's own DLLs read them on each architecture. The i686 build cannot be
// run everywhere it is built; a header or packing change shows here instead.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

#ifdef _WIN64
// CreateProcessA (the self-removal batch file, the program started from the
// completion dialog) checks cb.
static_assert(sizeof(STARTUPINFOA) == 104, "STARTUPINFOA");
static_assert(sizeof(PROCESS_INFORMATION) == 24, "PROCESS_INFORMATION");
// SHFileOperationA (folder removal) reads it naturally aligned here.
static_assert(sizeof(SHFILEOPSTRUCTA) == 56, "SHFILEOPSTRUCTA");
static_assert(offsetof(SHFILEOPSTRUCTA, fAnyOperationsAborted) == 36, "SHFILEOPSTRUCTA packing");
#else
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(PROCESS_INFORMATION) == 16, "PROCESS_INFORMATION");
// shell32 of 32-bit Windows reads this one packed to single bytes.
static_assert(sizeof(SHFILEOPSTRUCTA) == 30, "SHFILEOPSTRUCTA");
static_assert(offsetof(SHFILEOPSTRUCTA, fAnyOperationsAborted) == 18, "SHFILEOPSTRUCTA packing");
#endif
// FindFirstFileA (file sizes for the uninstall entry), the same on both.
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "WIN32_FIND_DATAA");
