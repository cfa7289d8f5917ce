#pragma once
#include <windows.h>

#include <cstddef>

#include "common/list_entries.h"

// "Uninstall.lst" read into memory once and split into its entries: every
// deletion pass walks the same entries, and the uninstall entry's size
// counts them. The file stays open until Close or the destructor.
class FileList {
 public:
  FileList() = default;
  ~FileList();
  FileList(const FileList&) = delete;
  FileList& operator=(const FileList&) = delete;

  // False when the list cannot be opened, read or held in memory.
  bool Open(const char* name);
  void Close();

  const char* Text() const { return text_; }
  ListEntry* Entries() { return entries_; }
  size_t Count() const { return count_; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  char* text_ = nullptr;
  ListEntry* entries_ = nullptr;
  size_t count_ = 0;
};
