#include "common/oem_text.h"

#include <windows.h>

#include <cstring>

bool AnsiToOemExactly(const char* text, char* out, size_t size) {
  WCHAR wide[1024];
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
  if (count <= 0) return false;
  // A UTF-8 code page takes no default character; the round trip checks.
  BOOL used_default = FALSE;
  int bytes = WideCharToMultiByte(CP_OEMCP, 0, wide, count, out, static_cast<int>(size), nullptr,
                                  GetOEMCP() == CP_UTF8 ? nullptr : &used_default);
  if (bytes <= 0 || used_default) return false;
  WCHAR back[1024];
  int back_count = MultiByteToWideChar(CP_OEMCP, 0, out, bytes, back, 1024);
  return back_count == count && std::memcmp(back, wide, count * sizeof(WCHAR)) == 0;
}
