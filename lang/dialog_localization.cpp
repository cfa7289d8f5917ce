#include "lang/dialog_localization.h"

#include <cctype>
#include <cstring>

#include "common/os_version.h"
#include "lang/lang_file.h"

namespace {

const int kMaxChildren = 512;
// Percentages are read as far as this, so that the products stay within
// 32 bits for any window size Windows allows.
const long kPercentLimit = 10000;

// The standard string-to-integer reading (white space, sign, digits; no
// digits give 0), saturating at the limit instead of overflowing.
int ReadPercent(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > kPercentLimit) value = kPercentLimit;
  }
  return static_cast<int>(negative ? -value : value);
}

int Scaled(int value, int percent) { return value * percent / 100; }

// Only a translated text is written back: any other stays as the window has
// it, a text longer than the buffer (a language library's rich-edit text,
// say) uncut. Such a text has no key of its own either.
void TranslateWindowText(HWND window, const char* dialog_name) {
  char text[1024];
  const int length = GetWindowTextA(window, text, sizeof(text));
  if (length <= 0 || length >= static_cast<int>(sizeof(text)) - 1) return;
  if (ProgramLangFile.Translate(text, text, sizeof(text), dialog_name, TextKind::Window))
    SetWindowTextA(window, text);
}

// A drop-down or drop-down-list combo box is sized with its list.
int DroppedListHeight(HWND child) {
  char class_name[1024];
  if (GetClassNameA(child, class_name, sizeof(class_name)) <= 0) return 0;
  if (CompareTextNoCase(class_name, "COMBOBOX") != 0) return 0;
  if ((GetWindowLongA(child, GWL_STYLE) & 3) == CBS_SIMPLE) return 0;
  RECT dropped = {};
  SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  return dropped.bottom - dropped.top + 1;
}

}  // namespace

bool GetDialogScale(const char* dialog_name, int* width_percent, int* height_percent) {
  char entry[512];
  ProgramLangFile.Translate("", entry, sizeof(entry), dialog_name, TextKind::Window);
  const char* star = std::strchr(entry, '*');
  *width_percent = star ? ReadPercent(entry) : 100;
  *height_percent = star ? ReadPercent(star + 1) : 100;
  return *width_percent != 100 || *height_percent != 100;
}

void LocalizeDialog(HWND dialog, const char* dialog_name) {
  int width_percent = 100, height_percent = 100;
  bool scale = GetDialogScale(dialog_name, &width_percent, &height_percent);
  RECT window = {}, client = {};
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  // one more than the non-client width and height
  int frame_width = (window.right - window.left + 1) - client.right;
  int frame_height = (window.bottom - window.top + 1) - client.bottom;
  if (scale) {
    SetWindowPos(dialog, nullptr, 0, 0, Scaled(client.right, width_percent) + frame_width,
                 Scaled(client.bottom, height_percent) + frame_height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
  }
  TranslateWindowText(dialog, dialog_name);
  frame_height -= GetSystemMetrics(SM_CYDLGFRAME);

  // A mirrored dialog places its children from the right edge of its client
  // area, which moved with the new width: positions are measured from there.
  bool mirrored = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  RECT resized = window;
  if (scale && mirrored) GetWindowRect(dialog, &resized);

  HWND first = GetWindow(dialog, GW_CHILD);
  HWND child = first;
  for (int count = 0; child && count < kMaxChildren; ++count) {
    TranslateWindowText(child, dialog_name);
    if (scale) {
      RECT rect = {};
      GetWindowRect(child, &rect);
      int from_edge = mirrored ? resized.right - frame_width / 2 - rect.right
                               : rect.left - window.left - frame_width / 2;
      int x = Scaled(from_edge, width_percent);
      int y = Scaled(rect.top - window.top - frame_height, height_percent);
      int width = Scaled(rect.right - rect.left + 1, width_percent);
      int height = Scaled(rect.bottom - rect.top + 1, height_percent);
      int list_height = DroppedListHeight(child);
      if (list_height) height += Scaled(list_height, height_percent);
      SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    child = GetWindow(child, GW_HWNDNEXT);
    if (child == first) break;
  }
}

void SetRtlLayout(HWND window) {
  if (!ProgramLangFile.RightToLeft) return;
  SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
}
