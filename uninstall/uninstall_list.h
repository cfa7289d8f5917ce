#pragma once
// The file list "Uninstall.lst" and the deletion passes over it. No
// <windows.h> here: the file system is reached through a function that the
// caller supplies.
#include <cstddef>

#include "common/list_entries.h"

enum class EntryResult {
  Deleted,  // the file or folder was deleted
  Missing,  // nothing of that name exists (and nothing will reappear)
  Failed,   // it exists and could not be deleted now (not empty, in use...)
  Refused,  // the file system takes the name outside the folder (a link)
};

// Deletes one file or empty folder named by a full path.
typedef EntryResult (*DeleteEntryFunction)(const char* path, void* context);

// True when every entry that the passes would offer, joined to folder, makes
// a path of fewer than limit characters: the longest that the ANSI file
// calls take is MAX_PATH - 1.
bool EntriesFitPathLimit(const char* data, const ListEntry* entries, size_t count, const char* folder,
                         size_t limit);

// The deletion passes: each pass offers every entry, in list order, joined to
// folder (which ends in a backslash), to remove; the passes go on while a pass
// deletes something and end with the first pass that deletes nothing. An
// entry outside the folder, or whose joined path does not fit a 1024-byte
// buffer, is never offered: it counts as a failure. An entry that was deleted,
// found missing or refused can only fail in later passes and is not offered
// again. Reorders nothing, but drops finished entries from the array: the
// entries that still failed in the last pass are left at its start, their
// number in *left when left is not null. Returns the number of passes.
int RunDeletionPasses(const char* data, ListEntry* entries, size_t count, const char* folder,
                      DeleteEntryFunction remove, void* context, size_t* left = nullptr);
