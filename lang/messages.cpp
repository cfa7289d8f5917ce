#include "lang/messages.h"

#include <windows.h>

#include "common/text.h"
#include "lang/lang_file.h"
#include "lang/lang_library.h"

namespace {

char MessageBuffers[8][256];
int MessageIndex = 0;

char* NextMessageBuffer() {
  if (++MessageIndex == 8) MessageIndex = 0;
  char* text = MessageBuffers[MessageIndex];
  text[0] = '\0';
  return text;
}

}  // namespace

const char* GetMsgText(int id) {
  char* text = NextMessageBuffer();
  if (!ProgramLangFile.IsLoaded()) {
    if (LoadStringA(hLangModule, static_cast<UINT>(id), text, sizeof(MessageBuffers[0])) <= 0)
      LoadStringA(hOwnModule, static_cast<UINT>(id), text, sizeof(MessageBuffers[0]));
  } else {
    // The language file translates the program's own texts, never a
    // language library's.
    LoadStringA(hOwnModule, static_cast<UINT>(id), text, sizeof(MessageBuffers[0]));
  }
  ProgramLangFile.Translate(text, text, sizeof(MessageBuffers[0]), nullptr, TextKind::Message);
  return text;
}

const char* GetMsgTextIf(int id, bool (*accept)(const char* text)) {
  const char* text = GetMsgText(id);
  if (accept(text)) return text;
  char* own = NextMessageBuffer();
  LoadStringA(hOwnModule, static_cast<UINT>(id), own, sizeof(MessageBuffers[0]));
  return own;
}

const char* GetMsgFormat(int id) {
  // A translation with any other "%" sequence could read or write memory
  // through the format: the program's own text is used instead.
  return GetMsgTextIf(id, IsSafeStringFormat);
}
