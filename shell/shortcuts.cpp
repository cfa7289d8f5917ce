#include "shell/shortcuts.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "common/os_version.h"
#include "common/path.h"
#include "common/text.h"
#include "lang/messages.h"
#include "res/resource.h"
#include "shell/program_files.h"

namespace {

// The shell's link object and its interfaces, named here so that the program
// needs no GUID library.
const CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const char kLinkFile[] = "Zobrix.lnk";
const char kGroupFolder[] = "Zobrix";
const char kLinkExtension[] = ".lnk";

// IPersistFile::Save takes the shortcut's path in a buffer of this many
// wide characters, terminator included.
const int kWidePathLength = 260;

// A program-group shortcut: its file name without ".lnk" and its target's
// name in the program's folder.
struct GroupRow {
  const char* name;
  const char* target;
};
const int kGroupRowCount = 3;

// The file-system path of a special folder; false when the shell cannot
// locate it or the path does not fit.
bool SpecialFolderPath(IMalloc* allocator, int folder, char* out, size_t size) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &items)) || items == nullptr) return false;
  char path[MAX_PATH];
  bool found = SHGetPathFromIDListA(items, path) && CopyText(out, size, path);
  allocator->Free(items);
  return found;
}

// folder, a backslash, name and extension; false when they do not fit.
bool JoinPath(char* out, size_t size, const char* folder, const char* name, const char* extension) {
  return CopyText(out, size, folder) && AppendBackslash(out, size) && AppendText(out, size, name) &&
         AppendText(out, size, extension);
}

// Zobrix.lnk directly in folder, to the archiver or not at all.
void UpdateLink(const char* folder, bool wanted, const char* archiver, const char* description) {
  char link[1024];
  if (!JoinPath(link, sizeof(link), folder, kLinkFile, "")) return;
  if (!wanted)
    DeleteFileA(link);
  else if (archiver[0] != '\0')
    CreateShellLink(archiver, link, description, nullptr, nullptr);
}

// The folder Zobrix in a Programs folder with its shortcuts, or no such
// folder at all. The group's path goes to out when out is not null.
void UpdateGroup(const char* programs, bool wanted, const GroupRow* rows, const char* description,
                 char* out, size_t out_size) {
  char group[1024];
  if (!JoinPath(group, sizeof(group), programs, kGroupFolder, "")) return;
  if (!wanted) {
    RemoveFolder(group);
    return;
  }
  // left as the caller had it when the path does not fit
  if (out != nullptr) CopyText(out, out_size, group);
  // an existing folder fails here and is used as it is
  CreateDirectoryA(group, nullptr);
  for (int row = 0; row < kGroupRowCount; ++row) {
    char link[1024];
    char target[1024];
    if (JoinPath(link, sizeof(link), group, rows[row].name, kLinkExtension) &&
        ProgramFolderFile(rows[row].target, target, sizeof(target)))
      CreateShellLink(target, link, description, nullptr, nullptr);
  }
}

}  // namespace

void UpdateShortcuts(const SetupOptions& options, char* group_folder, size_t group_folder_size) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return;
  char archiver[1024];
  ArchiverPath(archiver, sizeof(archiver));
  // At most five of the eight rotating message buffers; nothing below asks
  // for another message, so all stay valid. A translated name that would
  // leave the group folder, or name no file, gives way to the program's own.
  const char* description = GetMsgText(MSG_SHORTCUT_COMMENT);
  const GroupRow rows[kGroupRowCount] = {
      {"Zobrix", "Zobrix.exe"},
      {GetMsgTextIf(MSG_HELP_SHORTCUT, IsPlainFileName), "Zobrix.hlp"},
      {GetMsgTextIf(MSG_MANUAL_SHORTCUT, IsPlainFileName), "Kex.txt"}};
  char folder[1024];
  if (GetDesktopFolder(folder, sizeof(folder)))
    UpdateLink(folder, options.Desktop, archiver, description);
  if (SpecialFolderPath(allocator, CSIDL_STARTMENU, folder, sizeof(folder)))
    UpdateLink(folder, options.StartMenu, archiver, description);
  if (SpecialFolderPath(allocator, CSIDL_PROGRAMS, folder, sizeof(folder)))
    UpdateGroup(folder, options.Programs, rows, description, group_folder, group_folder_size);
  // The 9x family has no all-users Start menu of its own.
  if (GetNtVersion() != 0 &&
      SpecialFolderPath(allocator, CSIDL_COMMON_PROGRAMS, folder, sizeof(folder)))
    UpdateGroup(folder, options.Programs, rows, description, nullptr, 0);
  allocator->Release();
}

bool CreateShellLink(const char* target, const char* link_file, const char* description,
                     const char* icon_file, const char* arguments) {
  // A path longer than the buffer leaves it without a terminator: such a
  // shortcut is not saved rather than saved under another name.
  WCHAR wide_path[kWidePathLength];
  if (MultiByteToWideChar(CP_ACP, 0, link_file, -1, wide_path, kWidePathLength) == 0) return false;

  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                              reinterpret_cast<void**>(&link))))
    return false;
  link->SetPath(target);
  if (description != nullptr) link->SetDescription(description);
  if (icon_file != nullptr) link->SetIconLocation(icon_file, 0);
  if (arguments != nullptr) link->SetArguments(arguments);
  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(kPersistFileInterface, reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(file->Save(wide_path, TRUE));
    file->Release();
  }
  link->Release();
  return saved;
}

bool GetDesktopFolder(char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return false;
  bool found = SpecialFolderPath(allocator, CSIDL_DESKTOPDIRECTORY, out, size);
  allocator->Release();
  return found;
}

bool RemoveFolder(const char* path) {
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
  // SHFileOperationA reads a list of names that ends in an empty one: the
  // path needs room for a second terminator, else the shell would read on
  // into whatever follows it.
  char list[1024];
  size_t length = strlen(path);
  if (length + 2 > sizeof(list)) return false;
  memcpy(list, path, length);
  list[length] = '\0';
  list[length + 1] = '\0';
  SHFILEOPSTRUCTA operation;
  memset(&operation, 0, sizeof(operation));
  operation.wFunc = FO_DELETE;
  operation.pFrom = list;
  // deleted outright: no Recycle Bin, no question, no progress window
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationA(&operation) == 0;
}
