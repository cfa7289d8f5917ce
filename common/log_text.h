#pragma once
// The texts of log lines. No <windows.h> here.
#include <cstddef>
#include <cstdint>

// A key as "HKCR\<path>", with a value as "HKCR\<path> "<name>"" or, for the
// default value (an empty or null name), "HKCR\<path> (default)". False when
// it does not fit size bytes.
bool FormatLogRegName(char* out, size_t size, uintptr_t hive, const char* path, bool with_value,
                      const char* name);

// The decimal digits of value; empty when they do not fit (12 bytes always do).
void FormatLogNumber(char* out, size_t size, unsigned long value);

// The value's type and a short form of its data, as "REG_SZ "text"",
// "REG_DWORD 0x00000001 (1)" or "REG_BINARY 01 02 ...": a text of more
// than 80 bytes shows its first whole characters and "...", binary data its
// first 16 bytes. False when even that does not fit size bytes.
bool FormatLogRegData(char* out, size_t size, unsigned long type, const void* data, size_t length);
