#include "lang/messages.h"

#include <windows.h>

#include "lang/lang_library.h"

const char* GetMsgText(int id) {
  static char buffers[8][256];
  static int index = 0;
  if (++index >= 8) index = 0;
  char* text = buffers[index];
  text[0] = '\0';
  if (LoadStringA(hLangModule, static_cast<UINT>(id), text, 256) <= 0)
    LoadStringA(hOwnModule, static_cast<UINT>(id), text, 256);
  return text;
}
