#pragma once
// Removal at the next restart of what the uninstall could not delete because
// a running program held it.
#include <cstddef>

#include "common/list_entries.h"

// Asks the system to delete path (a file, or a folder that is empty by then)
// at its next start: MoveFileExA on the NT family, a line in the [rename]
// section of WININIT.INI on the 9x family. True when it was noted.
bool RemoveAtRestart(const char* path);

// After the deletion passes, given the entries that failed as
// RunDeletionPasses leaves them (inside folder, which ends in a backslash,
// and free of wildcards): the files among them that still exist are
// noted for removal at restart; when there are any, so are then the folders
// among them, deeper ones first, and last folder itself, whose removal by
// the batch file the held files prevent. True when anything was noted.
bool ScheduleLeftovers(const char* data, const ListEntry* entries, size_t count, const char* folder);

// For the self-removal batch file, when its attempts to delete the program
// file failed: notes the running program's file and then its folder. Only
// after an uninstall, which deleted the folder's "Uninstall.lst". True when
// both were noted.
bool ScheduleProgramRemoval();

// Tells the user that the uninstall is complete and that a restart completes
// the removal. The texts are taken when the object is made: the uninstall
// releases the language library before it knows whether it needs them.
class RestartNotice {
 public:
  RestartNotice();
  void Show() const;

 private:
  char text_[512] = "";
  char caption_[256] = "";
};
