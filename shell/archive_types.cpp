#include "shell/archive_types.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "common/log.h"
#include "common/os_version.h"
#include "common/text.h"
#include "lang/messages.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "shell/app_registration.h"
#include "shell/new_menu.h"
#include "shell/program_files.h"

const char* const ArchiveExtensionTable[ArchiveTypeCount] = {
    ".kex", ".zip", ".cab", ".arj", ".lzh.lha", ".ace",
    ".tar", ".gz.tgz", ".uue.xxe.uu", ".bz2.tbz2.bz.tbz", ".jar", ".iso"};

namespace {

const int KexRow = 0;
const int ZipRow = 1;

const char OwnFileType[] = "Zobrix";
const char OwnZipFileType[] = "Zobrix.ZIP";
const char ContentTypeValue[] = "Content Type";
// In the owner record: the take-over created "<e>\OpenWithProgids".
const char OpenWithCreatedValue[] = "OpenWithProgids";
// In the owner record: the previous default value and "Content Type" as
// they were, type and whole data, each missing when it was. "Exact" 1 says
// that the record holds them; a record without it (an earlier version's)
// is given back from its texts "Type" and "Content".
const char ExactMarkerValue[] = "Exact";
const char SavedTypeValue[] = "PreviousType";
const char SavedContentValue[] = "PreviousContentType";

// ".k00" onwards: a take-over registers 30 on the NT family and 100 on the
// 9x family; a give-back walks all 100, whichever family took them over.
const int NtVolumeCount = 30;
const int AllVolumeCount = 100;

// The key texts of one extension, each formed whole or not at all.
struct ExtensionKeys {
  char extension[32];
  char shell_new[48];    // "<e>\ShellNew" below HKEY_CLASSES_ROOT
  char open_with[56];    // "<e>\OpenWithProgids" below HKEY_CLASSES_ROOT
  char record[48];       // "Setup\<e>" below the product settings key
  char record_copy[64];  // "Setup\<e>\ShellNew": the previous owner's ShellNew values
};

bool FormExtensionKeys(const char* extension, size_t length, ExtensionKeys& keys) {
  keys.extension[0] = '\0';
  return AppendTextCut(keys.extension, sizeof(keys.extension), extension, length) &&
         FormatSingleString(keys.shell_new, sizeof(keys.shell_new), "%s\\ShellNew", keys.extension) &&
         FormatSingleString(keys.open_with, sizeof(keys.open_with), "%s\\OpenWithProgids",
                            keys.extension) &&
         FormatSingleString(keys.record, sizeof(keys.record), "Setup\\%s", keys.extension) &&
         FormatSingleString(keys.record_copy, sizeof(keys.record_copy), "Setup\\%s\\ShellNew",
                            keys.extension);
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (UpperAscii(*a) != UpperAscii(*b)) return false;
  return *a == *b;
}

bool IsOwnTypeName(const char* type) {
  return EqualIgnoringCase(type, OwnFileType) || EqualIgnoringCase(type, OwnZipFileType);
}

// ".k%02d" of 0 to 99.
void FormVolumeExtension(int number, char (&volume)[8]) {
  volume[0] = '.';
  volume[1] = 'k';
  volume[2] = static_cast<char>('0' + number / 10);
  volume[3] = static_cast<char>('0' + number % 10);
  volume[4] = '\0';
}

// The rows whose ShellNew key the New-menu entry replaces.
bool HasNewMenuEntry(int row) { return row == KexRow || row == ZipRow; }

void SavePreviousOwner(const ExtensionKeys& keys, int row) {
  const char* e = keys.extension;
  char type[512] = "";
  char content[512] = "";
  char template_name[1024] = "";
  char null_file[10];
  bool has_null_file = false;
  // A key that is not there has no values and no ShellNew key to read: on a
  // first setup most are not, and every read would ask the registry again.
  const bool existed = RegKeyExists(HKEY_CLASSES_ROOT, e);
  if (existed) {
    GetRegString(HKEY_CLASSES_ROOT, e, "", type, "", sizeof(type));
    GetRegString(HKEY_CLASSES_ROOT, e, ContentTypeValue, content, "", sizeof(content));
    GetRegString(HKEY_CLASSES_ROOT, keys.shell_new, "FileName", template_name, "",
                 sizeof(template_name));
    has_null_file = GetRegString(HKEY_CLASSES_ROOT, keys.shell_new, "NullFile", null_file, "",
                                 sizeof(null_file));
  }
  SetUserRegDword(keys.record, "Exist", existed ? 1 : 0);
  SetUserRegString(keys.record, "Type", type);
  SetUserRegString(keys.record, "Content", content);
  SetUserRegString(keys.record, "ShellNew",
                   template_name[0] == '\0' && has_null_file ? "*" : template_name);
  // The texts above hold what fits 512 bytes of the code page; the copies
  // keep every type and length. The marker goes last and only when both
  // copies are whole, so a record is never taken for exact when it is not.
  DeleteRegValue(HKEY_CURRENT_USER, keys.record, ExactMarkerValue);
  DeleteRegValue(HKEY_CURRENT_USER, keys.record, SavedTypeValue);
  DeleteRegValue(HKEY_CURRENT_USER, keys.record, SavedContentValue);
  if (CopyRegValue(HKEY_CLASSES_ROOT, e, "", HKEY_CURRENT_USER, keys.record, SavedTypeValue) !=
          RegCopyResult::Failed &&
      CopyRegValue(HKEY_CLASSES_ROOT, e, ContentTypeValue, HKEY_CURRENT_USER, keys.record,
                   SavedContentValue) != RegCopyResult::Failed)
    SetUserRegDword(keys.record, ExactMarkerValue, 1);
  // The New-menu entry replaces the whole ShellNew key, and "FileName" and
  // "NullFile" alone cannot bring back an entry made of "Data", "Command" or
  // "ItemName": keep every value, and no copy from an earlier owner.
  if (!HasNewMenuEntry(row)) return;
  DeleteRegKey(HKEY_CURRENT_USER, keys.record_copy);
  if (existed) CopyRegValues(HKEY_CLASSES_ROOT, keys.shell_new, HKEY_CURRENT_USER, keys.record_copy);
}

const char* FileTypeOfRow(int row) { return row == ZipRow ? OwnZipFileType : OwnFileType; }

// From NT 6 on, a type the user once picked in "Open with" outranks the
// default value: the archiver offers itself there and in "Default apps" too.
void OfferInOpenWith(const ExtensionKeys& keys, int row) {
  if (GetNtVersion() < 6) return;
  // recorded before the key exists, so that a cut-off run still removes it
  if (!RegKeyExists(HKEY_CLASSES_ROOT, keys.open_with))
    SetUserRegDword(keys.record, OpenWithCreatedValue, 1);
  SetRegNone(HKEY_CLASSES_ROOT, keys.open_with, FileTypeOfRow(row));
  SetRegString(HKEY_LOCAL_MACHINE, FileAssociationsKey, keys.extension, FileTypeOfRow(row),
               CapabilitiesView);
}

// Whoever owns the extension now and whichever system wrote them: only the
// archiver's own value goes, and the key with it when the take-over created
// it and nothing else is left in it.
void WithdrawFromOpenWith(const ExtensionKeys& keys, int row) {
  DeleteRegValue(HKEY_CLASSES_ROOT, keys.open_with, FileTypeOfRow(row));
  DeleteRegValue(HKEY_LOCAL_MACHINE, FileAssociationsKey, keys.extension, CapabilitiesView);
  if (GetUserRegDword(keys.record, OpenWithCreatedValue, 0) == 0) return;
  if (RegKeyIsEmpty(HKEY_CLASSES_ROOT, keys.open_with)) DeleteRegKey(HKEY_CLASSES_ROOT, keys.open_with);
  DeleteRegValue(HKEY_CURRENT_USER, keys.record, OpenWithCreatedValue);
}

void TakeOver(const ExtensionKeys& keys, int row, const SetupOptions& options) {
  const char* e = keys.extension;
  // A repeated setup must not record the archiver as its own previous owner.
  if (!IsOwnFileType(e)) SavePreviousOwner(keys, row);
  SetRegStringDeleting(HKEY_CLASSES_ROOT, e, "", FileTypeOfRow(row), ContentTypeValue);
  OfferInOpenWith(keys, row);
  if (row == KexRow) {
    const int count = GetNtVersion() != 0 ? NtVolumeCount : AllVolumeCount;
    char volume[8];
    for (int i = 0; i < count; ++i) {
      FormVolumeExtension(i, volume);
      SetRegStringDeleting(HKEY_CLASSES_ROOT, volume, "", OwnFileType, ContentTypeValue);
    }
  }
  if (HasNewMenuEntry(row) && options.ShellExt)
    WriteNewMenuEntry(e, row == KexRow ? NewTemplate::Kex : NewTemplate::Zip);
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A saved file type that names nothing: none, no data, an empty text, or
// the archiver's own type.
bool NamesNoType(const WholeRegString& type) {
  if (!type.Found() || type.Size() == 0) return true;
  return IsTextType(type.Type()) && (type.Text()[0] == '\0' || IsOwnTypeName(type.Text()));
}

// Puts back a value of an exact record; one that was missing is deleted.
void GiveBackValue(const ExtensionKeys& keys, const char* saved, const char* target, const char* name) {
  if (CopyRegValue(HKEY_CURRENT_USER, keys.record, saved, HKEY_CLASSES_ROOT, target, name) ==
      RegCopyResult::Missing)
    DeleteRegValue(HKEY_CLASSES_ROOT, target, name);
}

// The give-back of the default value and "Content Type" of an exact record,
// for e and (KEX row) its volume extensions.
void GiveBackExactly(const ExtensionKeys& keys, int row, bool existed) {
  const char* e = keys.extension;
  const WholeRegString type(HKEY_CURRENT_USER, keys.record, SavedTypeValue);
  const bool own_type = type.Found() && IsTextType(type.Type()) && IsOwnTypeName(type.Text());
  if (existed) {
    // the archiver's own name counts as no type, written empty as ever
    if (own_type)
      SetRegString(HKEY_CLASSES_ROOT, e, "", "");
    else
      GiveBackValue(keys, SavedTypeValue, e, "");
    GiveBackValue(keys, SavedContentValue, e, ContentTypeValue);
  }
  if (row != KexRow) return;
  const bool content = WholeRegString(HKEY_CURRENT_USER, keys.record, SavedContentValue).Found();
  char volume[8];
  for (int i = 0; i < AllVolumeCount; ++i) {
    FormVolumeExtension(i, volume);
    if (existed && !NamesNoType(type)) {
      CopyRegValue(HKEY_CURRENT_USER, keys.record, SavedTypeValue, HKEY_CLASSES_ROOT, volume, "");
      if (content)
        CopyRegValue(HKEY_CURRENT_USER, keys.record, SavedContentValue, HKEY_CLASSES_ROOT, volume,
                     ContentTypeValue);
    } else {
      DeleteRegKey(HKEY_CLASSES_ROOT, volume);
    }
  }
}

void GiveBack(const ExtensionKeys& keys, int row) {
  const char* e = keys.extension;
  WithdrawFromOpenWith(keys, row);
  // Without a record the key counts as one that existed, with no owner.
  const bool existed = GetUserRegDword(keys.record, "Exist", 1) != 0;
  // Another program took the extension meanwhile, or it was never ours.
  if (!IsOwnFileType(e)) {
    // Unless it is the empty key of a take-over that ended between creating
    // the key and writing the file type: the record says there was none.
    if (!existed && RegKeyIsEmpty(HKEY_CLASSES_ROOT, e)) DeleteRegKey(HKEY_CLASSES_ROOT, e);
    return;
  }
  LogLine("Giving back ", e, existed ? " to its previous owner" : ", which had no owner before");
  const bool exact = GetUserRegDword(keys.record, ExactMarkerValue, 0) != 0;
  char type[512];
  char content[512];
  GetUserRegString(keys.record, "Type", type, "", sizeof(type));
  if (IsOwnTypeName(type)) type[0] = '\0';
  GetUserRegString(keys.record, "Content", content, "", sizeof(content));
  if (exact) GiveBackExactly(keys, row, existed);
  if (existed) {
    if (!exact) {
      SetRegString(HKEY_CLASSES_ROOT, e, "", type);
      if (content[0] != '\0')
        SetRegString(HKEY_CLASSES_ROOT, e, ContentTypeValue, content);
      else
        DeleteRegValue(HKEY_CLASSES_ROOT, e, ContentTypeValue);
    }
    // Any other ShellNew key was never replaced: rewriting it from the code
    // page's copy could only lose text. Older records hold a copy for every
    // extension; only these two are read.
    if (HasNewMenuEntry(row)) {
      char template_name[1024];
      GetUserRegString(keys.record, "ShellNew", template_name, "", sizeof(template_name));
      DeleteRegValue(HKEY_CLASSES_ROOT, keys.shell_new, "FileName");
      if (template_name[0] == '*')
        SetRegString(HKEY_CLASSES_ROOT, keys.shell_new, "NullFile", "");
      else if (template_name[0] != '\0')
        SetRegString(HKEY_CLASSES_ROOT, keys.shell_new, "FileName", template_name);
      // the exact copy last: it puts back whatever the code page's texts lost
      CopyRegValues(HKEY_CURRENT_USER, keys.record_copy, HKEY_CLASSES_ROOT, keys.shell_new);
    }
  } else {
    DeleteRegKey(HKEY_CLASSES_ROOT, keys.shell_new);
    DeleteRegKey(HKEY_CLASSES_ROOT, e);
  }
  if (row == KexRow && !exact) {
    char volume[8];
    for (int i = 0; i < AllVolumeCount; ++i) {
      FormVolumeExtension(i, volume);
      if (existed && type[0] != '\0') {
        SetRegString(HKEY_CLASSES_ROOT, volume, "", type);
        if (content[0] != '\0') SetRegString(HKEY_CLASSES_ROOT, volume, ContentTypeValue, content);
      } else {
        DeleteRegKey(HKEY_CLASSES_ROOT, volume);
      }
    }
  }
}

}  // namespace

void UpdateAssociations(const SetupOptions& options) {
  CompleteNewTemplates();
  for (int row = 0; row < ArchiveTypeCount; ++row) {
    // ".gz.tgz" is .gz, then .tgz: each extension runs to the next full stop.
    for (const char* start = ArchiveExtensionTable[row]; *start != '\0';) {
      const char* next = strchr(start + 1, '.');
      const size_t length = next ? static_cast<size_t>(next - start) : strlen(start);
      ExtensionKeys keys;
      if (FormExtensionKeys(start, length, keys)) {
        if (options.Assoc[row])
          TakeOver(keys, row, options);
        else
          GiveBack(keys, row);
      }
      start += length;
    }
  }
}

bool IsOwnFileType(const char* extension) {
  return IsOwnTypeName(WholeRegString(HKEY_CLASSES_ROOT, extension, "").Text());
}

void RegisterFileTypes() {
  char archiver[1024];
  char command[1040];
  char icon[1040];
  char recovery_icon[1040];
  // An archiver path that does not fit leaves the commands and icons unwritten.
  const bool have_path =
      ArchiverPath(archiver, sizeof(archiver)) && CopyText(command, sizeof(command), "\"") &&
      AppendText(command, sizeof(command), archiver) &&
      AppendText(command, sizeof(command), "\" \"%1\"") &&
      CopyText(icon, sizeof(icon), archiver) && AppendText(icon, sizeof(icon), ",0") &&
      CopyText(recovery_icon, sizeof(recovery_icon), archiver) &&
      AppendText(recovery_icon, sizeof(recovery_icon), ",1");

  SetRegString(HKEY_CLASSES_ROOT, "Zobrix", "", GetMsgText(MSG_ARCHIVE_TYPE));
  if (have_path) {
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix\\shell\\open\\command", "", command);
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix\\DefaultIcon", "", icon);
  }
  SetRegString(HKEY_CLASSES_ROOT, "Zobrix.ZIP", "", GetMsgText(MSG_ZIP_TYPE));
  if (have_path) {
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix.ZIP\\shell\\open\\command", "", command);
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix.ZIP\\DefaultIcon", "", icon);
  }
  SetRegString(HKEY_CLASSES_ROOT, ".rev", "", "Zobrix.REV");
  SetRegString(HKEY_CLASSES_ROOT, "Zobrix.REV", "", GetMsgText(MSG_RECOVERY_TYPE));
  if (have_path) {
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix.REV\\shell\\open\\command", "", command);
    SetRegString(HKEY_CLASSES_ROOT, "Zobrix.REV\\DefaultIcon", "", recovery_icon);
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
