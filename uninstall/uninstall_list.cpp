#include "uninstall/uninstall_list.h"

#include <cstring>

#include "uninstall/uninstall_text.h"

namespace {

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

int RunDeletionPasses(const char* data, ListEntry* entries, size_t count, const char* folder,
                      DeleteEntryFunction remove, void* context) {
  char path[1024];
  // Entries that can never be deleted from here go before the first pass.
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    const char* entry = data + entries[i].Offset;
    if (IsEntryInsideFolder(entry, entries[i].Length) &&
        JoinEntryPath(path, sizeof(path), folder, entry, entries[i].Length))
      entries[kept++] = entries[i];
  }
  count = kept;

  int passes = 0;
  for (;;) {
    ++passes;
    size_t successes = 0;
    kept = 0;
    for (size_t i = 0; i < count; ++i) {
      JoinEntryPath(path, sizeof(path), folder, data + entries[i].Offset, entries[i].Length);
      EntryResult result = remove(path, context);
      if (result == EntryResult::Deleted)
        ++successes;
      else if (result == EntryResult::Failed)
        entries[kept++] = entries[i];
    }
    count = kept;
    if (successes == 0) return passes;
  }
}
