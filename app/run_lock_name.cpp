#include "app/run_lock_name.h"

#include <cstring>

bool FormatRunLockName(char* name, size_t name_size, const void* folder_key, size_t size,
                       bool global) {
  // A hash keeps the name within the length of object names whatever the
  // folder's length; two folders meeting by chance is out of reach in 64 bits.
  unsigned long long hash = 14695981039346656037ull;
  const unsigned char* bytes = static_cast<const unsigned char*>(folder_key);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ull;
  }
  const char* prefix = global ? "Global\\Zobrix.Setup." : "Zobrix.Setup.";
  size_t prefix_length = std::strlen(prefix);
  if (name_size < prefix_length + 16 + 1) return false;
  std::memcpy(name, prefix, prefix_length);
  static const char digits[] = "0123456789ABCDEF";
  for (int i = 15; i >= 0; --i, hash >>= 4) name[prefix_length + i] = digits[hash & 0xF];
  name[prefix_length + 16] = '\0';
  return true;
}
