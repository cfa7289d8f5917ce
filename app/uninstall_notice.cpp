#include "app/uninstall_notice.h"

#include <windows.h>

#include "app/notice.h"
#include "common/text.h"
#include "lang/lang_library.h"
#include "lang/messages.h"
#include "res/resource.h"

bool BuildUninstallNotice(char* text, size_t size, const char** caption) {
  char program[1024];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
  program[length < sizeof(program) ? length : sizeof(program) - 1] = '\0';

  *caption = GetMsgText(MSG_UNINSTALL_CAPTION);
  const char* first_line = GetMsgText(MSG_UNINSTALL_DONE);
  const char* second_line = GetMsgText(MSG_DELETE_BY_HAND);
  char own_text[256];
  if (!IsSingleStringFormat(second_line)) {
    // A translation with any other '%' sequence is not used as a format:
    // the program's own text is (and if even that is not one, the notice
    // shows it unformatted).
    own_text[0] = '\0';
    LoadStringA(hOwnModule, MSG_DELETE_BY_HAND, own_text, sizeof(own_text));
    second_line = own_text;
  }
  return ComposeUninstallNotice(text, size, first_line, second_line, program);
}

void ShowUninstallNotice() {
  char text[512];
  const char* caption = nullptr;
  BuildUninstallNotice(text, sizeof(text), &caption);
  MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
}
