#include "lang/messages.h"

#include <windows.h>

#include "lang/lang_file.h"
#include "lang/lang_library.h"

const char* GetMsgText(int id) {
  static char buffers[8][256];
  static int index = 0;
  if (++index == 8) index = 0;
  char* text = buffers[index];
  text[0] = '\0';
  if (!ProgramLangFile.IsLoaded()) {
    if (LoadStringA(hLangModule, static_cast<UINT>(id), text, sizeof(buffers[0])) <= 0)
      LoadStringA(hOwnModule, static_cast<UINT>(id), text, sizeof(buffers[0]));
  } else {
    // The language file translates the program's own texts, never a
    // language library's.
    LoadStringA(hOwnModule, static_cast<UINT>(id), text, sizeof(buffers[0]));
  }
  ProgramLangFile.Translate(text, text, sizeof(buffers[0]), nullptr, TextKind::Message);
  return text;
}
