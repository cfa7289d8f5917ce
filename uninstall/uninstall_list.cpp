#include "uninstall/uninstall_list.h"

#include "uninstall/uninstall_text.h"

bool EntriesFitPathLimit(const char* data, const ListEntry* entries, size_t count, const char* folder,
                         size_t limit) {
  char path[1024];
  if (limit > sizeof(path)) return false;
  for (size_t i = 0; i < count; ++i) {
    const char* entry = data + entries[i].Offset;
    // an entry outside the folder is never offered, so its length is of no account
    if (IsEntryInsideFolder(entry, entries[i].Length) &&
        !JoinEntryPath(path, limit, folder, entry, entries[i].Length))
      return false;
  }
  return true;
}

int RunDeletionPasses(const char* data, ListEntry* entries, size_t count, const char* folder,
                      DeleteEntryFunction remove, void* context, size_t* left) {
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
    if (successes == 0) {
      if (left) *left = count;
      return passes;
    }
  }
}
