#include "common/path.h"

#include <cstring>

const char* NextCharPtr(const LeadBytes& table, const char* text) {
  if (*text == '\0') return text;
  if (table.Lead[static_cast<unsigned char>(*text)] && text[1] != '\0') return text + 2;
  return text + 1;
}

const char* StepChar(const char* text) {
  if (*text == '\0') return text;
  return LeadByteTable.MultiByte ? NextCharPtr(LeadByteTable, text) : text + 1;
}

size_t NameCharLength(const char* text, size_t length) {
  if (length < 2 || !LeadByteTable.MultiByte) return 1;
  bool lead = LeadByteTable.Lead[static_cast<unsigned char>(text[0])];
  return lead && static_cast<unsigned char>(text[1]) >= 0x40 ? 2 : 1;
}

const char* NamePart(const char* path) {
  const char* name = nullptr;
  for (const char* p = path; *p; p = StepChar(p))
    if (IsPathSeparator(static_cast<unsigned char>(*p))) name = p + 1;
  if (name) return name;
  if (*path == '\0') return path;
  if (IsDriveColon(path[1]) && StepChar(path) == path + 1) return path + 2;
  return path;
}

char* NamePart(char* path) {
  return const_cast<char*>(NamePart(static_cast<const char*>(path)));
}

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The part of a name before its first dot, blanks at its end ignored.
bool IsDeviceName(const char* stem, size_t length) {
  while (length > 0 && stem[length - 1] == ' ') --length;
  char upper[5] = "";
  if (length < 3 || length > 4) return false;
  for (size_t i = 0; i < length; ++i) upper[i] = UpperAscii(stem[i]);
  upper[length] = '\0';
  if (length == 3)
    return std::strcmp(upper, "CON") == 0 || std::strcmp(upper, "PRN") == 0 ||
           std::strcmp(upper, "AUX") == 0 || std::strcmp(upper, "NUL") == 0;
  return (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const char* name) {
  if (*name == '\0') return false;
  const char* end = name + std::strlen(name);
  const char* first_dot = nullptr;
  const char* last = name;
  size_t step = 1;
  for (const char* p = name; p < end; p += step) {
    last = p;
    step = NameCharLength(p, static_cast<size_t>(end - p));
    if (step == 2) continue;  // a trail byte is never a separator
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) return false;
    if (c == '.' && p[1] == '.') return false;
    if (c == '.' && !first_dot) first_dot = p;
  }
  if (*last == '.' || *last == ' ') return false;
  return !IsDeviceName(name, first_dot ? static_cast<size_t>(first_dot - name) : std::strlen(name));
}

bool ProgramFolderOf(const char* program_path, char* folder, size_t size) {
  const char* last_backslash = nullptr;
  for (const char* p = program_path; *p; p = NextCharPtr(LeadByteTable, p))
    if (*p == '\\') last_backslash = p;
  if (!last_backslash) return false;
  size_t folder_length = static_cast<size_t>(last_backslash - program_path);
  // "C:\" keeps its backslash: "C:" alone would name the current folder of drive C.
  if (folder_length > 0 && IsDriveColon(last_backslash[-1])) ++folder_length;
  if (folder_length >= size) return false;
  std::memcpy(folder, program_path, folder_length);
  folder[folder_length] = '\0';
  return true;
}

bool HasPartEndingInBlankOrDot(const char* path) {
  const char* part = path;
  char last = '\0';
  for (const char* p = path;; p = StepChar(p)) {
    if (*p == '\0' || IsPathSeparator(*p)) {
      const size_t length = static_cast<size_t>(p - part);
      const bool step = (length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.');
      if (length > 0 && !step && (last == ' ' || last == '.')) return true;
      if (*p == '\0') return false;
      part = p + 1;
      last = '\0';
    } else {
      // only a single-byte character can be the blank or the dot
      last = StepChar(p) == p + 1 ? *p : '\0';
    }
  }
}

const char* LastCharPtr(const char* text) {
  const char* last = text;
  for (const char* p = text; *p; p = StepChar(p)) last = p;
  return last;
}

bool AppendBackslash(char* path, size_t size) {
  const char* last = LastCharPtr(path);
  if (*last == '\0' || *last == '\\') return true;
  size_t length = std::strlen(path);
  if (length + 2 > size) return false;
  path[length] = '\\';
  path[length + 1] = '\0';
  return true;
}
