#include "common/text.h"

#include <cstring>

#include "common/path.h"

bool CopyText(char* dst, size_t size, const char* src) {
  size_t length = std::strlen(src);
  if (length >= size) return false;
  std::memmove(dst, src, length + 1);
  return true;
}

bool AppendText(char* dst, size_t size, const char* src) {
  size_t used = std::strlen(dst);
  if (used >= size) return false;
  return CopyText(dst + used, size - used, src);
}

bool AppendTextCut(char* dst, size_t size, const char* src, size_t length) {
  size_t used = std::strlen(dst);
  if (used >= size) return false;
  size_t room = size - used - 1;
  size_t taken = 0;
  const char* p = src;
  while (static_cast<size_t>(p - src) < length && *p) {
    const char* next = StepChar(p);
    size_t end = static_cast<size_t>(next - src);
    if (end > length || end > room) break;
    taken = end;
    p = next;
  }
  std::memcpy(dst + used, src, taken);
  dst[used + taken] = '\0';
  return static_cast<size_t>(p - src) >= length || *p == '\0';
}

bool IsSafeStringFormat(const char* format) {
  int strings = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == 's')
      ++strings;
    else if (*p != '%')
      return false;  // any other conversion, flag, width or a trailing '%'
  }
  return strings <= 1;
}

namespace {

// The text after prefix when text begins with it, ASCII letter case ignored.
const char* AfterPrefix(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    const char c = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *prefix) return nullptr;
  }
  return text;
}

}  // namespace

bool IsWebAddress(const char* text) {
  const char* rest = AfterPrefix(text, "http://");
  if (!rest) rest = AfterPrefix(text, "https://");
  if (!rest || *rest == '\0' || *rest == '/') return false;
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c == '"' || c == 0x7F) return false;
  }
  return true;
}

bool FormatSingleString(char* dst, size_t size, const char* format, const char* arg) {
  if (!IsSafeStringFormat(format)) return false;
  size_t arg_length = std::strlen(arg);
  size_t length = 0;
  for (const char* p = format; *p; ++p) {
    if (*p == '%') length += *++p == 's' ? arg_length : 1;
    else ++length;
  }
  if (length >= size) return false;
  char* out = dst;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      *out++ = *p;
    } else if (*++p == '%') {
      *out++ = '%';
    } else {
      std::memcpy(out, arg, arg_length);
      out += arg_length;
    }
  }
  *out = '\0';
  return true;
}
