#include "registry/key_path.h"

#include <cstring>

const char ProductSettingsKey[] = "Software\\Zobrix";

bool MakeRegKeyPath(uintptr_t hive, const char* text, char* out, size_t size) {
  if (!text || !out) return false;
  const size_t length = strlen(text);
  // Written as an addition so that a buffer below 20 bytes refuses every
  // text instead of wrapping around.
  if (length + RegKeyPathReserve > size) return false;

  if (static_cast<uint32_t>(hive) == HiveCurrentUser) {
    if (text[0] == '\\') {
      memcpy(out, text + 1, length);  // the rest and its terminator
      return true;
    }
    const size_t key_length = sizeof(ProductSettingsKey) - 1;
    memcpy(out, ProductSettingsKey, key_length);
    char* end = out + key_length;
    if (length > 0) *end++ = '\\';
    memcpy(end, text, length + 1);
    return true;
  }
  memcpy(out, text, length + 1);
  return true;
}

bool JoinKeyPath(const char* path, const char* name, char* out, size_t size) {
  if (!path || !name || !out) return false;
  const size_t path_length = strlen(path);
  const size_t name_length = strlen(name);
  if (path_length + 1 + name_length >= size) return false;
  memcpy(out, path, path_length);
  out[path_length] = '\\';
  memcpy(out + path_length + 1, name, name_length + 1);
  return true;
}

bool IsHiveRootPath(const char* path) {
  if (!path) return true;
  while (*path == '\\') ++path;
  return *path == '\0';
}
