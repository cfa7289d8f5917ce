#pragma once
// The deletion of one entry of "Uninstall.lst", for RunDeletionPasses, and
// every other change that the uninstall makes to a file of the installation.
#include <windows.h>

#include "uninstall/uninstall_list.h"

// The installation folder as the deletions see it. Each entry is opened once,
// and every change to it goes through that handle, never again through its
// name. Where the system can say which file an open handle names (the NT
// family from Windows Vista on), an entry is changed only when the file
// system takes its name to something inside the folder. Where it cannot
// (Windows 2000 and XP, which have folder junctions), the folders between the
// installation folder and the entry are held open one by one, so that none
// can be swapped, and a path through a folder that is a reparse point is
// refused. The 9x family has no links: there the names are used as they are.
class InstallationFolder {
 public:
  // program: the program's own file, which lies in the installation folder.
  explicit InstallationFolder(const char* program);
  ~InstallationFolder();
  InstallationFolder(const InstallationFolder&) = delete;
  InstallationFolder& operator=(const InstallationFolder&) = delete;

  // False on the 9x family, where nothing can be moved through a handle.
  bool ChecksLinks() const { return mode_ != Mode::ByName; }

  // Deletes a file or empty folder below the folder (a full path in it).
  EntryResult Delete(const char* path) const;

  // Moves the file at path (below the folder) into the open folder target,
  // under name (a plain name), through the handle that passed the check.
  // Deleted: moved; Missing: nothing there; Failed or Refused: it stays.
  EntryResult MoveInto(const char* path, HANDLE target, const WCHAR* name) const;

  // Removes the installation folder itself (folder: its path without a
  // backslash at the end) when it is empty and still the folder that the
  // program's file was found in.
  EntryResult DeleteItself(const char* folder);
  // Whether DeleteItself would take folder for the installation folder.
  // Wine names a folder whose name ends in a blank without it: such a
  // folder is never recognised.
  bool KnowsItself(const char* folder) const;

 private:
  enum class Mode { ByName, FinalPath, HeldFolders };
  class Opened;
  typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);
  typedef HANDLE(WINAPI* ReopenFunction)(HANDLE, DWORD, DWORD, DWORD);
  typedef LONG(WINAPI* SetInformationFunction)(HANDLE, PVOID, PVOID, ULONG, int);
  static const DWORD kCapacity = 1024;

  bool Contains(HANDLE entry) const;
  HANDLE OpenItself(const char* folder, DWORD access, EntryResult* failure) const;
  EntryResult DeleteOpened(HANDLE entry, const char* path) const;
  bool SetAttributes(HANDLE entry, const char* path, DWORD attributes) const;
  LONG SetInformation(HANDLE file, const void* data, ULONG size, int kind) const;

  Mode mode_ = Mode::ByName;
  FinalPathFunction final_path_ = nullptr;
  ReopenFunction reopen_ = nullptr;
  SetInformationFunction set_information_ = nullptr;
  // The folder's final path with a backslash at its end (FinalPath).
  WCHAR place_[kCapacity] = {};
  DWORD place_length_ = 0;
  // The folder's path with a backslash at its end, and the folder held open
  // so that it cannot be renamed or replaced while the uninstall runs
  // (HeldFolders).
  char folder_[kCapacity] = "";
  HANDLE held_folder_ = INVALID_HANDLE_VALUE;
  BY_HANDLE_FILE_INFORMATION held_identity_ = {};
};

// A DeleteEntryFunction; context is the InstallationFolder.
EntryResult DeleteListedEntry(const char* path, void* context);
