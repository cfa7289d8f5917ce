#include <windows.h>

#include <cstring>

#include "lang/lang_file.h"
#include "lang/lang_library.h"

LangFile ProgramLangFile;

void LangFile::Load(const char* /*name*/) {
  // The section itself is read from disk through the file object, which is
  // not part of the program yet: every text stays as its source.
  DecideLayoutDirection();
}

void LangFile::DecideLayoutDirection() {
  // A language library declares a right-to-left language by carrying a
  // dialog resource named "RTL".
  if (FindResourceA(hLangModule, "RTL", MAKEINTRESOURCEA(5))) {
    RightToLeft = true;
    return;
  }
  char direction[1024];
  Translate("LTR", direction, sizeof(direction), "LTR", TextKind::Window);
  RightToLeft = std::strcmp(direction, "RTL") == 0;
}
