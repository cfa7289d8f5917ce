#pragma once
// The deletion of one entry of "Uninstall.lst", for RunDeletionPasses.
#include <windows.h>

#include "uninstall/uninstall_list.h"

// The installation folder as the deletions see it. Where the system can say
// which file an open handle names (the NT family from Windows Vista on), an
// entry is deleted only when the file system takes its name to something
// inside the folder: an entry that a link leads elsewhere is refused. The
// folder's own place is asked once, here.
class InstallationFolder {
 public:
  // program: the program's own file, which lies in the installation folder.
  explicit InstallationFolder(const char* program);
  InstallationFolder(const InstallationFolder&) = delete;
  InstallationFolder& operator=(const InstallationFolder&) = delete;

  EntryResult Delete(const char* path) const;

 private:
  typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);
  typedef BOOL(WINAPI* FileInformationFunction)(HANDLE, int, LPVOID, DWORD);
  typedef HANDLE(WINAPI* ReopenFunction)(HANDLE, DWORD, DWORD, DWORD);
  static const DWORD kCapacity = 1024;

  bool Contains(HANDLE entry) const;
  EntryResult DeleteOpened(HANDLE entry) const;
  bool ClearAttributes(HANDLE entry) const;

  FinalPathFunction final_path_ = nullptr;
  FileInformationFunction get_information_ = nullptr;
  FileInformationFunction set_information_ = nullptr;
  ReopenFunction reopen_ = nullptr;
  // The folder's final path with a backslash at its end; empty when the
  // entries are deleted by their names alone.
  WCHAR place_[kCapacity] = {};
  DWORD place_length_ = 0;
};

// A DeleteEntryFunction; context is the InstallationFolder.
EntryResult DeleteListedEntry(const char* path, void* context);
