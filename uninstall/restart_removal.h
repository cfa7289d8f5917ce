#pragma once
// Removal at the next restart of what the uninstall could not delete because
// a running program held it. On the NT family nothing is left to the restart
// under a name of the installation, which a link put there before the
// restart could lead elsewhere, and which a new installation may use again:
// each such file is first moved, through the handle that passed the link
// check, into a new protected folder on the same volume, and that name is
// noted.
#include <windows.h>

#include <cstddef>

#include "common/list_entries.h"

class InstallationFolder;

// Asks the system to delete path (a file, or a folder that is empty by then)
// at its next start: MoveFileExA on the NT family, a line in the [rename]
// section of WININIT.INI on the 9x family (files only: the 9x family's
// restart deletes no folder). True when it was noted.
bool RemoveAtRestart(const char* path);

// Tells the user that the uninstall is complete, which files it left
// behind, and whether a restart completes the removal. The texts are taken
// when the object is made: the uninstall releases the language library
// before it knows whether it needs them.
class RestartNotice {
 public:
  RestartNotice();
  // A file of the installation that neither the uninstall nor the restart
  // removes: the user is told to delete it by hand.
  void AddLeftBehind(const char* path);
  bool HasLeftBehind() const { return left_[0] != '\0'; }
  // noted: something was noted for the restart.
  void Show(bool noted = true) const;

 private:
  char done_[256] = "";
  char by_hand_[256] = "";
  char restart_[256] = "";
  char caption_[256] = "";
  char left_[512] = "";
  bool left_full_ = false;
};

// After the deletion passes, given the entries that failed as
// RunDeletionPasses leaves them (inside folder, which ends in a backslash,
// and free of wildcards): the files among them that still exist, the
// program's own file aside (the self-removal batch file deletes it), are
// left to the restart; on the NT family each is moved into a new protected
// folder, the moved name noted and then that folder, and the folders that
// only they kept are deleted now. What cannot be noted so is named to
// notice. Reorders nothing but may drop entries, as RunDeletionPasses does.
// True only when something was noted.
bool ScheduleLeftovers(const char* data, ListEntry* entries, size_t count, const char* folder,
                       const char* program, InstallationFolder* installation,
                       RestartNotice* notice);

// For the self-removal batch file, when its attempts to delete the program
// file failed: the running program's file is left to the restart (on the NT
// family moved as above, after which its folder, if empty, goes now). Only
// after an uninstall, which deleted the folder's "Uninstall.lst". True when
// the file was noted.
bool ScheduleProgramRemoval();
