#pragma once
// The file list "Uninstall.lst" and the deletion passes over it. No
// <windows.h> here: the file system is reached through a function that the
// caller supplies.
#include <cstddef>

// Longest piece of a line taken as one entry; a longer line gives several.
constexpr size_t kListPieceLength = 2047;

// One entry of the list: a piece of a line without its line end, trailing
// blanks and tabs, as offset and length in the list's text.
struct ListEntry {
  size_t Offset;
  size_t Length;
};

// The most entries that SplitList can find in size bytes.
size_t CountListPieces(const char* data, size_t size);

// Splits the list text as a reader of lines with a buffer of 2048 bytes sees
// it: each piece runs through its line feed, or is 2047 bytes long, or ends
// at the end of the text; the entry is the piece up to its first NUL, with
// trailing CR, LF, blanks and tabs removed; empty entries are skipped.
// Returns the number of entries stored (at most capacity).
size_t SplitList(const char* data, size_t size, ListEntry* entries, size_t capacity);

enum class EntryResult {
  Deleted,  // the file or folder was deleted
  Missing,  // nothing of that name exists (and nothing will reappear)
  Failed,   // it exists and could not be deleted now (not empty, in use...)
};

// Deletes one file or empty folder named by a full path.
typedef EntryResult (*DeleteEntryFunction)(const char* path, void* context);

// The deletion passes: each pass offers every entry, in list order, joined to
// folder (which ends in a backslash), to remove; the passes go on while a pass
// deletes something and end with the first pass that deletes nothing. An
// entry outside the folder, or whose joined path does not fit a 1024-byte
// buffer, is never offered: it counts as a failure. An entry that was deleted
// or found missing can only fail in later passes and is not offered again.
// Reorders nothing, but drops finished entries from the array. Returns the
// number of passes.
int RunDeletionPasses(const char* data, ListEntry* entries, size_t count, const char* folder,
                      DeleteEntryFunction remove, void* context);
