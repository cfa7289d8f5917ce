#include "common/list_entries.h"

#include <cstring>

#include "common/path.h"

namespace {

bool IsLineEndBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// A path component made of dots and blanks only; Windows drops trailing dots
// and blanks from names, so it means the folder itself (one dot, or blanks
// only) or a step up (two dots or more).
bool IsDotsAndBlanks(const char* begin, const char* end, int* dots) {
  *dots = 0;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '.')
      ++*dots;
    else if (*p != ' ')
      return false;
  }
  return true;
}

// Length of the piece that starts at data[0].
size_t PieceLength(const char* data, size_t size) {
  size_t limit = size < kListPieceLength ? size : kListPieceLength;
  const void* line_feed = std::memchr(data, '\n', limit);
  return line_feed ? static_cast<size_t>(static_cast<const char*>(line_feed) - data) + 1 : limit;
}

}  // namespace

size_t CountListPieces(const char* data, size_t size) {
  size_t count = 0;
  for (size_t offset = 0; offset < size; offset += PieceLength(data + offset, size - offset))
    ++count;
  return count;
}

size_t SplitList(const char* data, size_t size, ListEntry* entries, size_t capacity) {
  size_t count = 0;
  size_t offset = 0;
  while (offset < size && count < capacity) {
    size_t piece = PieceLength(data + offset, size - offset);
    const void* nul = std::memchr(data + offset, '\0', piece);
    size_t text = nul ? static_cast<size_t>(static_cast<const char*>(nul) - (data + offset)) : piece;
    size_t length = TrimmedLength(data + offset, text);
    if (length > 0) entries[count++] = ListEntry{offset, length};
    offset += piece;
  }
  return count;
}

size_t TrimmedLength(const char* text, size_t length) {
  while (length > 0 && IsLineEndBlank(text[length - 1])) --length;
  return length;
}

bool IsEntryInsideFolder(const char* entry, size_t length) {
  if (length == 0 || IsPathSeparator(static_cast<unsigned char>(entry[0]))) return false;
  // A colon is never a trail byte (NameCharLength).
  if (length >= 2 && IsDriveColon(entry[1])) return false;
  bool names_something = false;
  const char* end = entry + length;
  const char* component = entry;
  for (const char* p = entry;; ) {
    if (p == end || IsPathSeparator(static_cast<unsigned char>(*p))) {
      int dots = 0;
      if (!IsDotsAndBlanks(component, p, &dots))
        names_something = true;
      else if (dots >= 2)
        return false;
      if (p == end) break;
      component = ++p;
    } else if (*p == '*' || *p == '?') {
      // No file name holds one, and the 9x family's DeleteFileA takes the
      // entry as a pattern (*.* deletes every file of the folder).
      return false;
    } else {
      p += NameCharLength(p, static_cast<size_t>(end - p));
    }
  }
  return names_something;
}

bool JoinEntryPath(char* path, size_t size, const char* folder, const char* entry,
                   size_t entry_length) {
  size_t folder_length = std::strlen(folder);
  if (folder_length >= size || entry_length >= size - folder_length) return false;
  std::memcpy(path, folder, folder_length);
  std::memcpy(path + folder_length, entry, entry_length);
  path[folder_length + entry_length] = '\0';
  return true;
}
