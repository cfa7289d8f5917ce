#include "common/list_file.h"

FileList::~FileList() {
  Close();
  if (entries_) HeapFree(GetProcessHeap(), 0, entries_);
  if (text_) HeapFree(GetProcessHeap(), 0, text_);
}

bool FileList::Open(const char* name) {
  file_ = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(file_, &high);
  // 4 GiB or more (or no size at all) is no list; below that, size + 1 fits.
  if (size == INVALID_FILE_SIZE || high != 0) return false;
  HANDLE heap = GetProcessHeap();
  text_ = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
  if (!text_) return false;
  DWORD read = 0;
  if (size > 0 && (!ReadFile(file_, text_, size, &read, nullptr) || read != size)) return false;
  size_t pieces = CountListPieces(text_, size);
  if (pieces > static_cast<size_t>(-1) / sizeof(ListEntry)) return false;
  entries_ = static_cast<ListEntry*>(HeapAlloc(heap, 0, pieces * sizeof(ListEntry) + 1));
  if (!entries_) return false;
  count_ = SplitList(text_, size, entries_, pieces);
  return true;
}

void FileList::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}
