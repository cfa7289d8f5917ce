// Any bytes as "Uninstall.lst": the reader and the deletion passes with the
// entry check. Every path handed to the deletion callback must name
// something strictly inside the installation folder the way Windows reads
// it, without a wildcard, and the reader's entries must be what the list
// format says.
//
// The first byte chooses the ANSI code page's lead bytes (none, GBK, or
// Shift-JIS) and how the simulated files answer; the rest is the list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/path.h"
#include "tests/fuzz/windows_path.h"
#include "uninstall/uninstall_list.h"

namespace {

const char kFolder[] = "C:\\Program Files\\Zobrix\\";

void SetLeadBytes(int layout) {
  LeadByteTable = LeadBytes{};
  if (layout == 1) {
    for (int c = 0x81; c <= 0xFE; ++c) LeadByteTable.Lead[c] = true;
  } else if (layout == 2) {
    for (int c = 0x81; c <= 0x9F; ++c) LeadByteTable.Lead[c] = true;
    for (int c = 0xE0; c <= 0xFC; ++c) LeadByteTable.Lead[c] = true;
  }
  LeadByteTable.MultiByte = layout != 0;
}

[[noreturn]] void Fail(const char* what, const std::string& path, const std::string& detail) {
  std::fprintf(stderr, "%s: \"", what);
  for (unsigned char c : path) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
  std::fprintf(stderr, "\" %s\n", detail.c_str());
  std::abort();
}

// A folder of files that answer each deletion from the path and the number
// of times it was asked: some go at once, some only after failing a few
// times (a folder not yet empty), some are missing.
struct Files {
  unsigned seed = 0;
  std::map<std::string, unsigned> asked;
};

EntryResult Delete(const char* path, void* context) {
  Files* files = static_cast<Files*>(context);
  std::string why;
  if (!IsStrictlyInside(path, kFolder, LeadByteTable, &why)) Fail("outside the folder", path, why);
  if (std::strlen(path) >= 1024) Fail("longer than its buffer", path, "");
  if (std::strpbrk(path, "*?")) Fail("a pattern", path, "");
  unsigned hash = files->seed;
  for (unsigned char c : std::string(path)) hash = hash * 31 + c;
  unsigned attempt = files->asked[path]++;
  switch (hash % 4) {
    case 0: return EntryResult::Missing;
    case 1: return EntryResult::Deleted;
    default: return attempt < (hash >> 4) % 4 ? EntryResult::Failed : EntryResult::Deleted;
  }
}

bool IsLineEndBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

void CheckEntries(const char* text, size_t size, const ListEntry* entries, size_t count) {
  size_t end_of_last = 0;
  for (size_t i = 0; i < count; ++i) {
    const ListEntry& e = entries[i];
    std::string entry(text + e.Offset, e.Length);
    if (e.Length == 0 || e.Length > kListPieceLength || e.Offset + e.Length > size ||
        e.Offset < end_of_last || entry.find('\n') != std::string::npos ||
        entry.find('\0') != std::string::npos || IsLineEndBlank(entry.back()))
      Fail("malformed entry", entry, "");
    end_of_last = e.Offset + e.Length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetLeadBytes(data[0] % 3);
  Files files;
  files.seed = data[0] / 3;
  // The program reads the list into memory of its exact size.
  std::vector<char> text(data + 1, data + size);
  const char* list = text.empty() ? "" : text.data();
  size_t pieces = CountListPieces(list, text.size());
  std::vector<ListEntry> entries(pieces + 1);
  size_t count = SplitList(list, text.size(), entries.data(), pieces);
  if (count > pieces) Fail("more entries than pieces", "", "");
  CheckEntries(list, text.size(), entries.data(), count);
  int passes = RunDeletionPasses(list, entries.data(), count, kFolder, Delete, &files);
  if (passes < 1 || static_cast<size_t>(passes) > count + 1) Fail("pass count", "", std::to_string(passes));
  return 0;
}
