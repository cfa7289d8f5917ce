#include "uninstall/wininit_text.h"

#include <cstring>

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the line at text, through its line feed if it has one.
size_t LineLength(const char* text, size_t left) {
  const char* feed = static_cast<const char*>(std::memchr(text, '\n', left));
  return feed ? static_cast<size_t>(feed - text) + 1 : left;
}

// The line begins a section: blanks, then "[".
bool IsSectionHeader(const char* line, size_t length) {
  size_t i = 0;
  while (i < length && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i < length && line[i] == '[';
}

bool IsRenameHeader(const char* line, size_t length) {
  static const char header[] = "[rename]";
  size_t i = 0;
  while (i < length && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (length - i < sizeof(header) - 1) return false;
  for (size_t k = 0; k + 1 < sizeof(header); ++k)
    if (AsciiLower(line[i + k]) != header[k]) return false;
  return true;
}

}  // namespace

bool FormatRenameLine(char* line, size_t size, const char* short_path) {
  size_t length = std::strlen(short_path);
  if (size < length + 7) return false;  // "NUL=", CR LF, NUL
  std::memcpy(line, "NUL=", 4);
  std::memcpy(line + 4, short_path, length);
  std::memcpy(line + 4 + length, "\r\n", 3);
  return true;
}

size_t AddRenameLine(const char* ini, size_t length, const char* line, char* out, size_t size) {
  // Where the line goes: after the last line of the first [rename] section,
  // else at the end behind a new header.
  size_t at = length;
  bool found = false;
  for (size_t pos = 0; pos < length;) {
    size_t line_length = LineLength(ini + pos, length - pos);
    if (found && IsSectionHeader(ini + pos, line_length)) {
      at = pos;
      break;
    }
    if (!found && IsRenameHeader(ini + pos, line_length)) found = true;
    pos += line_length;
  }
  // Blank lines that end the section stay behind the new line.
  if (found && at < length)
    while (at > 0) {
      size_t start = at - 1;  // the line feed that ends the line before
      while (start > 0 && ini[start - 1] != '\n') --start;
      bool blank = true;
      for (size_t i = start; i < at; ++i)
        if (ini[i] != '\r' && ini[i] != '\n' && ini[i] != ' ' && ini[i] != '\t') blank = false;
      if (!blank) break;
      at = start;
    }
  // A last line without a line end gets one before anything follows it.
  bool needs_break = at > 0 && ini[at - 1] != '\n';
  const char* header = found ? "" : "[rename]\r\n";
  size_t line_length = std::strlen(line);
  size_t total = length + (needs_break ? 2 : 0) + std::strlen(header) + line_length;
  if (total >= size) return size;
  size_t written = 0;
  std::memcpy(out, ini, at);
  written = at;
  if (needs_break) {
    std::memcpy(out + written, "\r\n", 2);
    written += 2;
  }
  std::memcpy(out + written, header, std::strlen(header));
  written += std::strlen(header);
  std::memcpy(out + written, line, line_length);
  written += line_length;
  std::memcpy(out + written, ini + at, length - at);
  written += length - at;
  out[written] = '\0';
  return written;
}
