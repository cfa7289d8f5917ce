#pragma once
// The entries of the installation's file list "Uninstall.lst": splitting its
// text into entries, and the rule that keeps an entry inside the
// installation folder. The uninstaller deletes what they name; the uninstall
// entry adds up their sizes. No <windows.h> here.
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

// Length of text[0..length) without its trailing CR, LF, blanks and tabs.
size_t TrimmedLength(const char* text, size_t length);

// True when a list entry of length bytes names something inside the
// installation folder: not empty, no leading backslash or slash (root or UNC
// path), no drive, no ".." component (Windows also reads "..." and ". ." as
// a step up), not the folder itself ("." components alone), and no wildcard
// ("*" or "?"), which would make the entry a pattern. Characters are
// stepped by NameCharLength.
bool IsEntryInsideFolder(const char* entry, size_t length);

// folder (ending in a backslash) followed by the entry of entry_length bytes.
// False when the path and its terminator do not fit size bytes.
bool JoinEntryPath(char* path, size_t size, const char* folder, const char* entry,
                   size_t entry_length);
