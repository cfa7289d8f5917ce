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
