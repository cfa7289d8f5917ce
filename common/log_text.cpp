#include "common/log_text.h"

#include "common/text.h"

namespace {

// The registry's type numbers, which this file cannot take from <windows.h>.
enum : unsigned long {
  kNone = 0, kString = 1, kExpandString = 2, kBinary = 3, kDword = 4, kMultiString = 7
};

const size_t kShownTextBytes = 80;
const size_t kShownBinaryBytes = 16;

const char* TypeName(unsigned long type) {
  switch (type) {
    case kNone: return "REG_NONE";
    case kString: return "REG_SZ";
    case kExpandString: return "REG_EXPAND_SZ";
    case kBinary: return "REG_BINARY";
    case kDword: return "REG_DWORD";
    case kMultiString: return "REG_MULTI_SZ";
  }
  return nullptr;
}

void FormatHex(char* out, unsigned long value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i, value >>= 4) out[i] = kDigits[value & 15];
  out[digits] = '\0';
}

// A text value in double quotes: up to its first NUL (between the strings
// of a REG_MULTI_SZ, "|"), and at most kShownTextBytes of it.
bool AppendQuotedText(char* out, size_t size, const char* text, size_t length, bool multi) {
  char shown[kShownTextBytes + 1] = "";
  bool whole = true;
  for (size_t start = 0; start < length && text[start] != '\0';) {
    size_t end = start;
    while (end < length && text[end] != '\0') ++end;
    if (start > 0 && !AppendText(shown, sizeof(shown), "|")) whole = false;
    if (!whole || !AppendTextCut(shown, sizeof(shown), text + start, end - start)) {
      whole = false;
      break;
    }
    if (!multi) break;
    start = end + 1;
  }
  return AppendText(out, size, "\"") && AppendText(out, size, shown) &&
         AppendText(out, size, whole ? "\"" : "...\"");
}

}  // namespace

bool FormatLogRegName(char* out, size_t size, uintptr_t hive, const char* path, bool with_value,
                      const char* name) {
  // A 64-bit process sees the predefined handles sign-extended.
  const uint32_t low = static_cast<uint32_t>(hive);
  const char* hive_name = low == 0x80000000u   ? "HKCR"
                          : low == 0x80000001u ? "HKCU"
                          : low == 0x80000002u ? "HKLM"
                          : low == 0x80000003u ? "HKU"
                                               : "(another hive)";
  char work[1024];
  if (!CopyText(work, sizeof(work), hive_name) || !AppendText(work, sizeof(work), "\\") ||
      !AppendText(work, sizeof(work), path))
    return false;
  if (with_value) {
    if (!name || name[0] == '\0') {
      if (!AppendText(work, sizeof(work), " (default)")) return false;
    } else if (!AppendText(work, sizeof(work), " \"") || !AppendText(work, sizeof(work), name) ||
               !AppendText(work, sizeof(work), "\"")) {
      return false;
    }
  }
  return CopyText(out, size, work);
}

void FormatLogNumber(char* out, size_t size, unsigned long value) {
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (count + 1 > size) {
    if (size > 0) out[0] = '\0';
    return;
  }
  for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  out[count] = '\0';
}

bool FormatLogRegData(char* out, size_t size, unsigned long type, const void* data, size_t length) {
  char work[256];
  const char* name = TypeName(type);
  char number[24];
  if (name) {
    if (!CopyText(work, sizeof(work), name)) return false;
  } else {
    FormatLogNumber(number, sizeof(number), type);
    if (!CopyText(work, sizeof(work), "type ") || !AppendText(work, sizeof(work), number)) return false;
  }
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes) length = 0;
  bool fits = true;
  if (type == kString || type == kExpandString || type == kMultiString) {
    fits = AppendText(work, sizeof(work), " ") &&
           AppendQuotedText(work, sizeof(work), reinterpret_cast<const char*>(bytes), length,
                            type == kMultiString);
  } else if (type == kDword && length == 4) {
    unsigned long value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                          (static_cast<unsigned long>(bytes[3]) << 24);
    char hex[12] = "0x";
    FormatHex(hex + 2, value, 8);
    FormatLogNumber(number, sizeof(number), value);
    fits = AppendText(work, sizeof(work), " ") && AppendText(work, sizeof(work), hex) &&
           AppendText(work, sizeof(work), " (") && AppendText(work, sizeof(work), number) &&
           AppendText(work, sizeof(work), ")");
  } else if (length == 0) {
    fits = AppendText(work, sizeof(work), " (no data)");
  } else {
    char hex[4] = " ";
    for (size_t i = 0; fits && i < length && i < kShownBinaryBytes; ++i) {
      FormatHex(hex + 1, bytes[i], 2);
      fits = AppendText(work, sizeof(work), hex);
    }
    if (fits && length > kShownBinaryBytes) fits = AppendText(work, sizeof(work), " ...");
  }
  return fits && CopyText(out, size, work);
}
