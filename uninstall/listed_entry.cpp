#include "uninstall/listed_entry.h"

#include <cstring>
#include <cwchar>

#include "common/os_version.h"
#include "common/path.h"

namespace {

// NtSetInformationFile's classes and records, the same on every version of
// the NT family (SetFileInformationByHandle, from Vista on, passes them on).
const int kFileBasicInformation = 4;
const int kFileRenameInformation = 10;
const int kFileDispositionInformation = 13;
const LONG kStatusDirectoryNotEmpty = static_cast<LONG>(0xC0000101);
struct IoStatus {
  union {
    LONG Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
};
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
struct FileRename {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;  // the name is taken inside this open folder
  ULONG FileNameLength;  // in bytes
  WCHAR FileName[MAX_PATH];
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
Function SystemFunction(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                : nullptr;
}

// Opens a name itself, a link at it too: Windows then names and changes the
// link, never what it leads to. Without FILE_SHARE_DELETE nobody can rename
// or replace what is open until it is closed.
HANDLE OpenName(const char* path, DWORD access) {
  return CreateFileA(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE OpenWideName(const WCHAR* path, DWORD access) {
  return CreateFileW(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Why an open failed. A link to nothing, which Wine cannot open, reads as
// missing too.
EntryResult OpenFailure() {
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryResult::Missing
                                                                         : EntryResult::Failed;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

// An entry opened for a change. With held folders, each folder between the
// installation folder and the entry is opened (and stays open, so that it
// cannot be swapped) before the next name is looked up in it.
class InstallationFolder::Opened {
 public:
  Opened(const InstallationFolder& folder, const char* path, DWORD access) {
    if (folder.mode_ == Mode::FinalPath) {
      handle_ = OpenName(path, access);
      if (handle_ == INVALID_HANDLE_VALUE) {
        failure_ = OpenFailure();
      } else if (!folder.Contains(handle_)) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        failure_ = EntryResult::Refused;
      }
      return;
    }
    // Walked as Windows reads the ANSI path, in its wide form: a byte that
    // looks like a backslash may be half of a character, and in some code
    // pages a lead byte before a backslash is no character at all.
    WCHAR wide[kCapacity];
    WCHAR wide_folder[kCapacity];
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kCapacity);
    int start = MultiByteToWideChar(CP_ACP, 0, folder.folder_, -1, wide_folder, kCapacity) - 1;
    if (length <= 0 || start <= 0 || std::wcsncmp(wide, wide_folder, start) != 0) {
      failure_ = EntryResult::Refused;
      return;
    }
    for (WCHAR* at = wide + start; *at; ++at) {
      if (*at != L'\\' && *at != L'/') continue;
      if (held_count_ == kMostHeld) {
        failure_ = EntryResult::Refused;
        return;
      }
      WCHAR separator = *at;
      *at = L'\0';
      HANDLE step = OpenWideName(wide, 0);
      *at = separator;
      if (step == INVALID_HANDLE_VALUE) {
        failure_ = OpenFailure();
        return;
      }
      held_[held_count_++] = step;
      BY_HANDLE_FILE_INFORMATION information;
      // A junction is a reparse point; so is any other link to a folder.
      if (!GetFileInformationByHandle(step, &information) ||
          (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
          !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        failure_ = EntryResult::Refused;
        return;
      }
    }
    handle_ = OpenWideName(wide, access);
    if (handle_ == INVALID_HANDLE_VALUE) failure_ = OpenFailure();
  }
  ~Opened() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    while (held_count_ > 0) CloseHandle(held_[--held_count_]);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;

  HANDLE Handle() const { return handle_; }
  // Why there is no handle.
  EntryResult Failure() const { return failure_; }

 private:
  static const int kMostHeld = 64;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  EntryResult failure_ = EntryResult::Failed;
  HANDLE held_[kMostHeld];
  int held_count_ = 0;
};

InstallationFolder::InstallationFolder(const char* program) {
  // The 9x family has no links. Wine offers these calls whatever version
  // it reports.
  if (GetNtVersion() == 0) return;
  set_information_ = SystemFunction<SetInformationFunction>("ntdll.dll", "NtSetInformationFile");
  if (!set_information_) return;
  // Never the names alone on this family: where the final path cannot be
  // had, the folders on the way are held and checked instead.
  mode_ = Mode::HeldFolders;
  final_path_ = SystemFunction<FinalPathFunction>("kernel32.dll", "GetFinalPathNameByHandleW");
  reopen_ = SystemFunction<ReopenFunction>("kernel32.dll", "ReOpenFile");
  if (final_path_ && reopen_) {
    // The folder's own place, wherever links on the way to it lead, is where
    // the program's own file lies. The folder itself is not asked: Wine names
    // a folder whose name ends in a blank without that blank, so it would
    // stand for its neighbour, while the files inside keep the whole name.
    HANDLE handle = CreateFileA(program, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      DWORD length = final_path_(handle, place_, kCapacity, 0);
      CloseHandle(handle);
      // The folder is the final path up to its last backslash.
      if (length > 0 && length < kCapacity) {
        while (length > 0 && place_[length - 1] != L'\\') --length;
        if (length > 0) {
          place_[length] = L'\0';
          place_length_ = length;
          mode_ = Mode::FinalPath;
          return;
        }
      }
    }
  }
  // Windows 2000 and XP: the folder is held from here on, so that nobody
  // renames it and puts a junction in its place.
  if (!ProgramFolderOf(program, folder_, sizeof(folder_))) {
    folder_[0] = '\0';
    return;
  }
  held_folder_ = OpenName(folder_, 0);
  if (held_folder_ != INVALID_HANDLE_VALUE)
    GetFileInformationByHandle(held_folder_, &held_identity_);
  if (!AppendBackslash(folder_, sizeof(folder_))) folder_[0] = '\0';
}

InstallationFolder::~InstallationFolder() {
  if (held_folder_ != INVALID_HANDLE_VALUE) CloseHandle(held_folder_);
}

// The names are compared as the file system spells them, so the folder's
// path is the same text in both; an entry must name something below it.
bool InstallationFolder::Contains(HANDLE entry) const {
  WCHAR path[kCapacity];
  DWORD length = final_path_(entry, path, kCapacity, 0);
  return length > place_length_ && length < kCapacity &&
         std::wmemcmp(path, place_, place_length_) == 0;
}

LONG InstallationFolder::SetInformation(HANDLE file, const void* data, ULONG size, int kind) const {
  IoStatus status = {};
  return set_information_(file, &status, const_cast<void*>(data), size, kind);
}

// The attributes are changed through the open entry: by name they could
// reach another file. Wine changes them through any handle; Windows wants
// the right to write them, which the entry's open leaves out (under Wine it
// would make every open one for writing, which a read-only file refuses),
// so the same file is opened again for it. Before Vista there is no
// reopening; there the name is safe to use again: the folders on its way
// are held, and the entry's own open keeps it from being renamed.
bool InstallationFolder::SetAttributes(HANDLE entry, const char* path, DWORD attributes) const {
  FileBasic basic = {};
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (SetInformation(entry, &basic, sizeof(basic), kFileBasicInformation) >= 0) return true;
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
  HANDLE writable = reopen_ ? reopen_(entry, FILE_WRITE_ATTRIBUTES, sharing, flags)
                            : CreateFileA(path, FILE_WRITE_ATTRIBUTES, sharing, nullptr,
                                          OPEN_EXISTING, flags, nullptr);
  if (writable == INVALID_HANDLE_VALUE) return false;
  bool changed = SetInformation(writable, &basic, sizeof(basic), kFileBasicInformation) >= 0;
  CloseHandle(writable);
  return changed;
}

EntryResult InstallationFolder::DeleteOpened(HANDLE entry, const char* path) const {
  FileDisposition disposition = {TRUE};
  LONG status =
      SetInformation(entry, &disposition, sizeof(disposition), kFileDispositionInformation);
  if (status >= 0) return EntryResult::Deleted;
  // A folder goes once the passes have emptied it.
  BY_HANDLE_FILE_INFORMATION information;
  if (status == kStatusDirectoryNotEmpty || !GetFileInformationByHandle(entry, &information) ||
      !(information.dwFileAttributes & kClearable) || !SetAttributes(entry, path, 0))
    return EntryResult::Failed;
  bool deleted =
      SetInformation(entry, &disposition, sizeof(disposition), kFileDispositionInformation) >= 0;
  // A hard link shares its attributes with the file's other names, which
  // stay: those get theirs back, as does an entry that still stays.
  if (!deleted || information.nNumberOfLinks > 1)
    SetAttributes(entry, path,
                  information.dwFileAttributes & (kClearable | FILE_ATTRIBUTE_ARCHIVE));
  return deleted ? EntryResult::Deleted : EntryResult::Failed;
}

EntryResult InstallationFolder::Delete(const char* path) const {
  if (mode_ == Mode::ByName) return DeleteEntryByName(path);
  Opened entry(*this, path, DELETE);
  if (entry.Handle() == INVALID_HANDLE_VALUE) return entry.Failure();
  return DeleteOpened(entry.Handle(), path);
}

EntryResult InstallationFolder::MoveInto(const char* path, HANDLE target, const WCHAR* name) const {
  size_t length = std::wcslen(name);
  if (mode_ == Mode::ByName || length >= MAX_PATH) return EntryResult::Failed;
  Opened entry(*this, path, DELETE);
  if (entry.Handle() == INVALID_HANDLE_VALUE) return entry.Failure();
  // A folder would take along what nobody listed.
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(entry.Handle(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return EntryResult::Failed;
  FileRename rename = {};
  rename.ReplaceIfExists = FALSE;
  rename.RootDirectory = target;
  rename.FileNameLength = static_cast<ULONG>(length * sizeof(WCHAR));
  std::wmemcpy(rename.FileName, name, length);
  return SetInformation(entry.Handle(), &rename, sizeof(rename), kFileRenameInformation) >= 0
             ? EntryResult::Deleted
             : EntryResult::Failed;
}

HANDLE InstallationFolder::OpenItself(const char* folder, DWORD access, EntryResult* failure) const {
  HANDLE handle = OpenName(folder, access);
  if (handle == INVALID_HANDLE_VALUE) {
    *failure = OpenFailure();
    return handle;
  }
  bool same = false;
  if (mode_ == Mode::FinalPath) {
    WCHAR path[kCapacity];
    DWORD length = final_path_(handle, path, kCapacity, 0);
    same = length + 1 == place_length_ && std::wmemcmp(path, place_, length) == 0;
  } else {
    BY_HANDLE_FILE_INFORMATION information;
    same = held_identity_.nNumberOfLinks != 0 && GetFileInformationByHandle(handle, &information) &&
           SameFile(information, held_identity_);
  }
  if (same) return handle;
  CloseHandle(handle);
  *failure = EntryResult::Refused;
  return INVALID_HANDLE_VALUE;
}

bool InstallationFolder::KnowsItself(const char* folder) const {
  if (mode_ == Mode::ByName) return false;
  EntryResult failure;
  HANDLE handle = OpenItself(folder, 0, &failure);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

EntryResult InstallationFolder::DeleteItself(const char* folder) {
  if (mode_ == Mode::ByName)
    return RemoveDirectoryA(folder) ? EntryResult::Deleted : EntryResult::Failed;
  // The hold on it would stop its own deletion; the identity taken with it
  // still tells whether the folder is the one that was held.
  if (held_folder_ != INVALID_HANDLE_VALUE) {
    CloseHandle(held_folder_);
    held_folder_ = INVALID_HANDLE_VALUE;
  }
  EntryResult result = EntryResult::Failed;
  HANDLE handle = OpenItself(folder, DELETE, &result);
  if (handle == INVALID_HANDLE_VALUE) return result;
  result = DeleteOpened(handle, folder);
  CloseHandle(handle);
  return result;
}

EntryResult DeleteListedEntry(const char* path, void* context) {
  return static_cast<const InstallationFolder*>(context)->Delete(path);
}
