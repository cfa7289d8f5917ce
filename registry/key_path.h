#pragma once
// Forming full registry key paths from a hive and a key text. No <windows.h>
// here: hives are passed as the numeric values of their predefined handles.
#include <cstddef>
#include <cstdint>

// The predefined root keys the program uses. On 64-bit Windows the handles
// are these values sign-extended; only their low 32 bits are compared.
const uint32_t HiveClassesRoot = 0x80000000u;
const uint32_t HiveCurrentUser = 0x80000001u;
const uint32_t HiveLocalMachine = 0x80000002u;

// Below HKEY_CURRENT_USER: the product settings key.
extern const char ProductSettingsKey[];

// Every key path of the layer is formed in a buffer of this size; key texts
// may be up to RegKeyPathSize - 20 characters long.
const size_t RegKeyPathSize = 256;
const size_t RegKeyPathReserve = 20;

// Forms the full key path of a key text into out (size bytes):
// - HKEY_CURRENT_USER: below the product settings key ("" names the key
//   itself); a text beginning with a backslash is a path directly below the
//   hive, without that backslash;
// - any other hive: the text unchanged.
// False (out untouched) when the text is longer than size - 20 characters.
bool MakeRegKeyPath(uintptr_t hive, const char* text, char* out, size_t size);

// Forms "path\name" into out (size bytes); false (out untouched) when it
// does not fit.
bool JoinKeyPath(const char* path, const char* name, char* out, size_t size);

// True when a formed path names the root of its hive itself (empty, or
// nothing but backslashes): such a path is never deleted.
bool IsHiveRootPath(const char* path);
