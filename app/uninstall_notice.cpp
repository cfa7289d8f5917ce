#include "app/uninstall_notice.h"

#include <windows.h>

#include "app/notice.h"
#include "common/program_path.h"
#include "lang/messages.h"
#include "res/resource.h"

bool BuildUninstallNotice(char* text, size_t size, const char** caption) {
  char program[1024];
  // a path that cannot be had exactly is left out rather than shown cut
  GetProgramPath(program, sizeof(program));

  *caption = GetMsgText(MSG_UNINSTALL_CAPTION);
  const char* first_line = GetMsgText(MSG_UNINSTALL_DONE);
  // Should even the program's own text not be a format, the notice shows it
  // unformatted.
  const char* second_line = GetMsgFormat(MSG_DELETE_BY_HAND);
  return ComposeUninstallNotice(text, size, first_line, second_line, program);
}

void ShowUninstallNotice() {
  char text[512];
  const char* caption = nullptr;
  BuildUninstallNotice(text, sizeof(text), &caption);
  MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
}
