#include "uninstall/listed_entry.h"

#include <cstring>
#include <cwchar>

#include "common/os_version.h"
#include "common/path.h"

namespace {

// FILE_INFO_BY_HANDLE_CLASS values and their records, from Windows Vista on.
const int kFileBasicInfo = 0;
const int kFileDispositionInfo = 4;
struct FileBasic {
  LARGE_INTEGER CreationTime;  // times of 0 are left as they are
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  DWORD FileAttributes;
};
struct FileDisposition {
  BOOLEAN Delete;
};

// Bits that a deletion must not find set: read-only stops it; hidden and
// system go with it, as with SetFileAttributesA(path, 0).
const DWORD kClearable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The deletion by name, where no handle can tell where a name leads.
// Under Wine an attribute query, like a failed call, costs about what a
// deletion does. So the entry first gets the one call that deletes it if it
// is what its name suggests (a last part with a dot: a file; without: a
// folder), and the attributes are read only when that call fails. The entry
// then gets what it would have got with them read first; the call that just
// failed is not made again on an entry whose attributes were left as they
// were.
EntryResult DeleteEntryByName(const char* path) {
  bool tried_folder = !std::strchr(NamePart(path), '.');
  if (tried_folder ? RemoveDirectoryA(path) : DeleteFileA(path)) return EntryResult::Deleted;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return EntryResult::Missing;
  }
  // Clearing the attributes is what lets a read-only file go. Where only bits
  // that never stand in a deletion's way are set (archive, normal, directory)
  // the call is left out: under Wine it costs several times the deletion.
  bool cleared = attributes == INVALID_FILE_ATTRIBUTES || (attributes & kClearable);
  if (cleared) SetFileAttributesA(path, 0);
  // RemoveDirectoryA only removes an empty folder.
  bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (!cleared && folder == tried_folder) return EntryResult::Failed;
  BOOL deleted = folder ? RemoveDirectoryA(path) : DeleteFileA(path);
  return deleted ? EntryResult::Deleted : EntryResult::Failed;
}

template <typename Function>
Function KernelFunction(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

}  // namespace

InstallationFolder::InstallationFolder(const char* program) {
  // The 9x family has no links. Wine offers these calls whatever version
  // it reports.
  if (GetNtVersion() == 0) return;
  final_path_ = KernelFunction<FinalPathFunction>("GetFinalPathNameByHandleW");
  get_information_ = KernelFunction<FileInformationFunction>("GetFileInformationByHandleEx");
  set_information_ = KernelFunction<FileInformationFunction>("SetFileInformationByHandle");
  reopen_ = KernelFunction<ReopenFunction>("ReOpenFile");
  if (!final_path_ || !get_information_ || !set_information_ || !reopen_) return;
  // The folder's own place, wherever links on the way to it lead, is where
  // the program's own file lies. The folder itself is not asked: Wine names
  // a folder whose name ends in a blank without that blank, so it would
  // stand for its neighbour, while the files inside keep the whole name.
  HANDLE handle = CreateFileA(program, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD length = final_path_(handle, place_, kCapacity, 0);
  CloseHandle(handle);
  if (length == 0 || length >= kCapacity) return;
  // The folder is the final path up to its last backslash.
  while (length > 0 && place_[length - 1] != L'\\') --length;
  if (length == 0) return;
  place_[length] = L'\0';
  place_length_ = length;
}

// The names are compared as the file system spells them, so the folder's
// path is the same text in both; an entry must name something below it.
bool InstallationFolder::Contains(HANDLE entry) const {
  WCHAR path[kCapacity];
  DWORD length = final_path_(entry, path, kCapacity, 0);
  return length > place_length_ && length < kCapacity &&
         std::wmemcmp(path, place_, place_length_) == 0;
}

// The attributes are cleared through the open entry: by name they could
// reach another file. Wine changes them through any handle; Windows wants
// the right to write them, which the entry's open leaves out (under Wine it
// would make every open one for writing, which a read-only file refuses),
// so the same file is opened again for it.
bool InstallationFolder::ClearAttributes(HANDLE entry) const {
  FileBasic basic = {};
  if (!get_information_(entry, kFileBasicInfo, &basic, sizeof(basic)) ||
      !(basic.FileAttributes & kClearable))
    return false;
  FileBasic cleared = {};
  cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (set_information_(entry, kFileBasicInfo, &cleared, sizeof(cleared))) return true;
  HANDLE writable =
      reopen_(entry, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (writable == INVALID_HANDLE_VALUE) return false;
  bool changed = set_information_(writable, kFileBasicInfo, &cleared, sizeof(cleared)) != 0;
  CloseHandle(writable);
  return changed;
}

EntryResult InstallationFolder::DeleteOpened(HANDLE entry) const {
  FileDisposition disposition = {TRUE};
  if (set_information_(entry, kFileDispositionInfo, &disposition, sizeof(disposition)))
    return EntryResult::Deleted;
  // A folder goes once the passes have emptied it.
  if (GetLastError() == ERROR_DIR_NOT_EMPTY || !ClearAttributes(entry)) return EntryResult::Failed;
  bool deleted = set_information_(entry, kFileDispositionInfo, &disposition, sizeof(disposition)) != 0;
  return deleted ? EntryResult::Deleted : EntryResult::Failed;
}

EntryResult InstallationFolder::Delete(const char* path) const {
  if (place_length_ == 0) return DeleteEntryByName(path);
  // The entry itself is opened, a link at its name too: Windows then names
  // and deletes the link, never what it leads to. A link on the way to it
  // is followed, and the final path shows where it led. Wine follows every
  // Unix link, so there the final path is the target's. Without
  // FILE_SHARE_DELETE nobody can move the entry between the check and its
  // deletion. The one open serves both, as the deletion by name opens the
  // entry once too.
  HANDLE entry = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) {
    // A link to nothing, which Wine cannot open, reads as missing too.
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryResult::Missing
                                                                           : EntryResult::Failed;
  }
  EntryResult result = Contains(entry) ? DeleteOpened(entry) : EntryResult::Refused;
  CloseHandle(entry);
  return result;
}

EntryResult DeleteListedEntry(const char* path, void* context) {
  return static_cast<const InstallationFolder*>(context)->Delete(path);
}
