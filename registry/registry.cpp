#include "registry/registry.h"

#include <cstring>

#include "common/log.h"
#include "common/log_text.h"
#include "common/os_version.h"
#include "common/text.h"
#include "registry/key_path.h"

namespace {

// The tree deletion's pass counter: keys deleted by the current pass.
int PassCounter = 0;

bool FormPath(HKEY hive, const char* text, char (&path)[RegKeyPathSize]) {
  return MakeRegKeyPath(reinterpret_cast<uintptr_t>(hive), text, path, sizeof(path));
}

// The access bit that selects a view. Only on 64-bit Windows: older systems
// and the 9x family do not know these bits.
REGSAM ViewAccess(RegView view) {
  if (view == RegViewOwn || !HasTwoRegistryViews()) return 0;
  return view == RegView64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// RegDeleteKeyA acts on the process's own view only; RegDeleteKeyExA, which
// reaches the other one, is missing before XP x64.
LONG DeleteKeyIn(HKEY hive, const char* path, RegView view) {
  const REGSAM access = ViewAccess(view);
  if (access == 0) return RegDeleteKeyA(hive, path);
  typedef LONG(WINAPI * DeleteKeyEx)(HKEY, LPCSTR, REGSAM, DWORD);
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  DeleteKeyEx delete_key_ex = advapi ? reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
                                           GetProcAddress(advapi, "RegDeleteKeyExA")))
                                     : nullptr;
  if (delete_key_ex) return delete_key_ex(hive, path, access, 0);
  // only a 32-bit process can lack it; its own view is the 32-bit one
  return view == RegView32 ? RegDeleteKeyA(hive, path) : ERROR_CALL_NOT_IMPLEMENTED;
}

// The log names a key by hive and full path, and by the view it was reached
// in when one was chosen; with_value adds the value's name.
bool LogName(HKEY hive, const char* path, RegView view, bool with_value, const char* name,
             char (&out)[1100]) {
  if (!FormatLogRegName(out, sizeof(out), reinterpret_cast<uintptr_t>(hive), path, with_value, name))
    return false;
  return ViewAccess(view) == 0 ||
         AppendText(out, sizeof(out), view == RegView64 ? " [64-bit view]" : " [32-bit view]");
}

void LogKey(const char* action, HKEY hive, const char* path, RegView view) {
  char key[1100];
  if (LogIsOpen() && LogName(hive, path, view, false, nullptr, key)) LogLine(action, " key ", key);
}

// A write is logged with its data; a value that was not there to delete is not.
void LogValue(LONG result, const char* done, const char* failed, HKEY hive, const char* path,
              RegView view, const char* name, const DWORD* type = nullptr, const void* data = nullptr,
              DWORD size = 0) {
  if (!LogIsOpen() || result == ERROR_FILE_NOT_FOUND) return;
  char value[1100];
  char shown[300] = "";
  if (!LogName(hive, path, view, true, name, value)) return;
  if (type && FormatLogRegData(shown + 3, sizeof(shown) - 3, *type, data, size))
    std::memcpy(shown, " = ", 3);
  LogLine(result == ERROR_SUCCESS ? done : failed, " value ", value, shown);
}

// Forms the path into path, which the log names the key by, and creates
// the key.
HKEY CreateRegKey(HKEY hive, const char* text, RegView view, char (&path)[RegKeyPathSize]) {
  if (!FormPath(hive, text, path)) return nullptr;
  HKEY key = nullptr;
  if (RegCreateKeyExA(hive, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | ViewAccess(view),
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

HKEY OpenRegKey(HKEY hive, const char* text, RegView view = RegViewOwn) {
  char path[RegKeyPathSize];
  if (!FormPath(hive, text, path)) return nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewAccess(view),
                    &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

bool CloseRegKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

bool KeyOpens(HKEY hive, const char* path, RegView view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE | ViewAccess(view), &key) != ERROR_SUCCESS)
    return false;
  CloseRegKey(key);
  return true;
}

bool SetValue(HKEY hive, const char* text, const char* name, DWORD type, const void* data,
              DWORD size, RegView view = RegViewOwn) {
  char path[RegKeyPathSize] = "";
  HKEY key = CreateRegKey(hive, text, view, path);
  if (!key) {
    if (path[0] != '\0') LogKey("Could not create", hive, path, view);
    return false;
  }
  LONG result = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  CloseRegKey(key);
  LogValue(result, "Set", "Could not set", hive, path, view, name, &type, data, size);
  return true;
}

// Makes the bytes that a query stored (length of size) a terminated string.
// Values from other programs may lack the terminator, and REG_BINARY data
// never has one: a value that fills the whole buffer without ending in a NUL
// does not fit.
bool TerminateValue(char* out, DWORD length, DWORD size) {
  if (length < size) {
    out[length] = '\0';
    return true;
  }
  return length == size && out[size - 1] == '\0';
}

void CopyDefault(char* out, const char* default_value, DWORD size) {
  const size_t length = default_value ? strlen(default_value) : 0;
  if (length < size)
    memcpy(out, default_value ? default_value : "", length + 1);
  else
    out[0] = '\0';  // never a cut-off default
}

}  // namespace

bool HasTwoRegistryViews() {
#ifdef _WIN64
  // Only the test stand-in runs a 64-bit process as the 9x family, which has
  // one registry.
  return GetNtVersion() != 0;
#else
  return RunsUnderWow64();
#endif
}

bool SetRegString(HKEY hive, const char* text, const char* name, const char* value, RegView view) {
  return SetValue(hive, text, name, REG_SZ, value, static_cast<DWORD>(strlen(value) + 1), view);
}

bool SetRegStringDeleting(HKEY hive, const char* text, const char* name, const char* value,
                          const char* stale_name) {
  char path[RegKeyPathSize];
  HKEY key = CreateRegKey(hive, text, RegViewOwn, path);
  if (!key) return false;
  const DWORD type = REG_SZ;
  const DWORD size = static_cast<DWORD>(strlen(value) + 1);
  LONG set = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value), size);
  LONG deleted = RegDeleteValueA(key, stale_name);
  CloseRegKey(key);
  LogValue(set, "Set", "Could not set", hive, path, RegViewOwn, name, &type, value, size);
  LogValue(deleted, "Deleted", "Could not delete", hive, path, RegViewOwn, stale_name);
  return true;
}

bool SetUserRegString(const char* text, const char* name, const char* value) {
  return SetRegString(HKEY_CURRENT_USER, text, name, value);
}

bool SetRegDword(HKEY hive, const char* text, const char* name, DWORD value) {
  return SetValue(hive, text, name, REG_DWORD, &value, sizeof(value));
}

bool SetUserRegDword(const char* text, const char* name, DWORD value) {
  return SetRegDword(HKEY_CURRENT_USER, text, name, value);
}

bool SetRegBinary(HKEY hive, const char* text, const char* name, const void* data, DWORD size) {
  return SetValue(hive, text, name, REG_BINARY, data, size);
}

bool SetRegNone(HKEY hive, const char* text, const char* name) {
  return SetValue(hive, text, name, REG_NONE, nullptr, 0);
}

bool GetRegString(HKEY hive, const char* text, const char* name, char* out,
                  const char* default_value, DWORD size, RegView view) {
  if (!out || size == 0) return false;
  bool found = false;
  HKEY key = OpenRegKey(hive, text, view);
  if (key) {
    DWORD length = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &length) ==
        ERROR_SUCCESS)
      found = TerminateValue(out, length, size);
    CloseRegKey(key);
  }
  if (!found) CopyDefault(out, default_value, size);
  return found;
}

bool GetUserRegString(const char* text, const char* name, char* out, const char* default_value,
                      DWORD size) {
  return GetRegString(HKEY_CURRENT_USER, text, name, out, default_value, size);
}

bool QueryRegDword(HKEY hive, const char* text, const char* name, DWORD* out,
                   DWORD default_value) {
  // A value of fewer than 4 bytes fills only the low bytes of this.
  DWORD value = 0;
  bool found = false;
  HKEY key = OpenRegKey(hive, text);
  if (key) {
    DWORD length = sizeof(value);
    found = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &length) == ERROR_SUCCESS;
    CloseRegKey(key);
  }
  *out = found ? value : default_value;
  return found;
}

DWORD GetRegDword(HKEY hive, const char* text, const char* name, DWORD default_value) {
  DWORD value;
  QueryRegDword(hive, text, name, &value, default_value);
  return value;
}

DWORD GetUserRegDword(const char* text, const char* name, DWORD default_value) {
  return GetRegDword(HKEY_CURRENT_USER, text, name, default_value);
}

void DeleteRegKey(HKEY hive, const char* text, RegView view) {
  char path[RegKeyPathSize];
  if (!FormPath(hive, text, path)) return;
  // On the 9x family RegDeleteKeyA with an empty path would empty the hive.
  if (IsHiveRootPath(path)) return;
  LONG result = DeleteKeyIn(hive, path, view);
  if (result != ERROR_FILE_NOT_FOUND)
    LogKey(result == ERROR_SUCCESS ? "Deleted" : "Could not delete", hive, path, view);
}

void DeleteRegValue(HKEY hive, const char* text, const char* name, RegView view) {
  char path[RegKeyPathSize];
  if (!FormPath(hive, text, path)) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_WRITE | ViewAccess(view), &key) != ERROR_SUCCESS) return;
  LONG result = RegDeleteValueA(key, name);
  CloseRegKey(key);
  LogValue(result, "Deleted", "Could not delete", hive, path, view, name);
}

void DeleteRegTree(HKEY hive, const char* text, RegView view) {
  char path[RegKeyPathSize];
  if (!FormPath(hive, text, path)) return;
  DeleteKeyTree(hive, path, view);
}

void DeleteKeyTree(HKEY hive, const char* path, RegView view) {
  // The root of a hive is never deleted; on the 9x family the single call
  // below would otherwise take every key of the hive with it.
  if (IsHiveRootPath(path)) return;
  // On the 9x family RegDeleteKeyA removes a key together with its subkeys.
  if (GetNtVersion() == 0 && RegDeleteKeyA(hive, path) == ERROR_SUCCESS) {
    LogKey("Deleted", hive, path, view);
    return;
  }
  // On NT it refuses a key that still has subkeys: delete depth first, and
  // repeat, since a pass skips the sibling after each key that it deletes.
  int deleted = 0;
  do {
    PassCounter = 0;
    DeleteKeyTreePass(hive, path, view);
    deleted += PassCounter;
  } while (PassCounter != 0);
  if (LogIsOpen() && (deleted > 0 || KeyOpens(hive, path, view)))
    LogKey(KeyOpens(hive, path, view) ? "Could not delete all of" : "Deleted", hive, path, view);
}

void DeleteKeyTreePass(HKEY hive, const char* path, RegView view) {
  if (IsHiveRootPath(path)) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_READ | ViewAccess(view), &key) != ERROR_SUCCESS) return;
  char name[200];
  char child[512];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    // Fails at the end of the list and on a name of 200 or more characters.
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    // A child whose path does not fit is left in place, and so are its parents.
    if (JoinKeyPath(path, name, child, sizeof(child))) DeleteKeyTreePass(hive, child, view);
  }
  CloseRegKey(key);
  if (DeleteKeyIn(hive, path, view) == ERROR_SUCCESS) ++PassCounter;
}

bool RegKeyExists(HKEY hive, const char* text, RegView view) {
  char path[RegKeyPathSize];
  return FormPath(hive, text, path) && KeyOpens(hive, path, view);
}

bool RegKeyIsEmpty(HKEY hive, const char* text, RegView view) {
  char path[RegKeyPathSize];
  if (!FormPath(hive, text, path)) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE | ViewAccess(view), &key) != ERROR_SUCCESS)
    return false;
  DWORD subkeys = 1, values = 1;
  bool read = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  CloseRegKey(key);
  return read && subkeys == 0 && values == 0;
}

namespace {

// The registry calls of one character width, so that one copy loop serves
// the wide calls of the NT family and the ANSI calls of the 9x family (whose
// wide calls are stubs).
struct WideCalls {
  typedef wchar_t Char;
  static HKEY Open(HKEY hive, const char* path, REGSAM access, bool create) {
    // key paths are formed in the code page; the values below are taken as stored
    wchar_t wide[RegKeyPathSize];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, RegKeyPathSize) == 0)
      return nullptr;
    HKEY key = nullptr;
    const LONG result =
        create ? RegCreateKeyExW(hive, wide, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key, nullptr)
               : RegOpenKeyExW(hive, wide, 0, access, &key);
    return result == ERROR_SUCCESS ? key : nullptr;
  }
  static LONG Sizes(HKEY key, DWORD* name_length, DWORD* data_size) {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            name_length, data_size, nullptr, nullptr);
  }
  static LONG Enum(HKEY key, DWORD index, Char* name, DWORD* name_length, DWORD* type, BYTE* data,
                   DWORD* data_size) {
    return RegEnumValueW(key, index, name, name_length, nullptr, type, data, data_size);
  }
  static LONG Set(HKEY key, const Char* name, DWORD type, const BYTE* data, DWORD size) {
    return RegSetValueExW(key, name, 0, type, data, size);
  }
  static LONG Query(HKEY key, const Char* name, DWORD* type, BYTE* data, DWORD* size) {
    return RegQueryValueExW(key, name, nullptr, type, data, size);
  }
  static bool Name(const char* name, Char (&wide)[RegKeyPathSize]) {
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, RegKeyPathSize) != 0;
  }
};

struct AnsiCalls {
  typedef char Char;
  static HKEY Open(HKEY hive, const char* path, REGSAM access, bool create) {
    HKEY key = nullptr;
    const LONG result =
        create ? RegCreateKeyExA(hive, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key, nullptr)
               : RegOpenKeyExA(hive, path, 0, access, &key);
    return result == ERROR_SUCCESS ? key : nullptr;
  }
  static LONG Sizes(HKEY key, DWORD* name_length, DWORD* data_size) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            name_length, data_size, nullptr, nullptr);
  }
  static LONG Enum(HKEY key, DWORD index, Char* name, DWORD* name_length, DWORD* type, BYTE* data,
                   DWORD* data_size) {
    return RegEnumValueA(key, index, name, name_length, nullptr, type, data, data_size);
  }
  static LONG Set(HKEY key, const Char* name, DWORD type, const BYTE* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, data, size);
  }
  static LONG Query(HKEY key, const Char* name, DWORD* type, BYTE* data, DWORD* size) {
    return RegQueryValueExA(key, name, nullptr, type, data, size);
  }
  static bool Name(const char* name, Char (&copy)[RegKeyPathSize]) {
    const size_t length = strlen(name);
    if (length >= RegKeyPathSize) return false;
    memcpy(copy, name, length + 1);
    return true;
  }
};

// Heap buffers sized by the key's own figures, grown when a value changes
// under the copy.
class ValueBuffers {
 public:
  ~ValueBuffers() {
    Release(name_);
    Release(data_);
  }
  bool Fit(DWORD name_bytes, DWORD data_bytes) {
    return Grow(name_, name_size_, name_bytes) && Grow(data_, data_size_, data_bytes);
  }
  void* Name() const { return name_; }
  BYTE* Data() const { return static_cast<BYTE*>(data_); }
  DWORD NameSize() const { return name_size_; }
  DWORD DataSize() const { return data_size_; }

 private:
  static void Release(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
  }
  static bool Grow(void*& block, DWORD& size, DWORD wanted) {
    if (wanted <= size && block) return true;
    Release(block);
    size = 0;
    block = HeapAlloc(GetProcessHeap(), 0, wanted + 1);
    if (!block) return false;
    size = wanted + 1;
    return true;
  }
  void* name_ = nullptr;
  void* data_ = nullptr;
  DWORD name_size_ = 0;
  DWORD data_size_ = 0;
};

template <typename Calls>
bool CopyValues(HKEY from_hive, const char* from_path, HKEY to_hive, const char* to_path) {
  typedef typename Calls::Char Char;
  HKEY from = Calls::Open(from_hive, from_path, KEY_QUERY_VALUE, false);
  if (!from) return false;
  HKEY to = Calls::Open(to_hive, to_path, KEY_WRITE, true);
  if (!to) {
    CloseRegKey(from);
    return false;
  }
  ValueBuffers buffers;
  bool complete = true;
  bool sized = false;
  for (DWORD index = 0, retries = 0;;) {
    DWORD name_length = 0, data_size = 0;
    if (!sized) {
      if (Calls::Sizes(from, &name_length, &data_size) != ERROR_SUCCESS ||
          !buffers.Fit((name_length + 1) * sizeof(Char), data_size)) {
        complete = false;
        break;
      }
      sized = true;
    }
    name_length = buffers.NameSize() / sizeof(Char);
    data_size = buffers.DataSize();
    DWORD type = REG_NONE;
    Char* name = static_cast<Char*>(buffers.Name());
    const LONG result =
        Calls::Enum(from, index, name, &name_length, &type, buffers.Data(), &data_size);
    // the value grew since the key's figures were read: read them again
    if (result == ERROR_MORE_DATA && ++retries < 8) {
      sized = false;
      continue;
    }
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS ||
        Calls::Set(to, name, type, buffers.Data(), data_size) != ERROR_SUCCESS)
      complete = false;
    ++index;
    retries = 0;
  }
  CloseRegKey(to);
  CloseRegKey(from);
  return complete;
}

}  // namespace

namespace {

void LogCopy(const char* action, HKEY from_hive, const char* from_path, bool values,
             const char* from_name, HKEY to_hive, const char* to_path, const char* to_name) {
  char from[1100];
  char to[1100];
  if (LogIsOpen() && LogName(from_hive, from_path, RegViewOwn, values, from_name, from) &&
      LogName(to_hive, to_path, RegViewOwn, values, to_name, to))
    LogLine(action, " ", from, " to ", to);
}

}  // namespace

bool CopyRegValues(HKEY from_hive, const char* from_text, HKEY to_hive, const char* to_text) {
  char from_path[RegKeyPathSize];
  char to_path[RegKeyPathSize];
  if (!FormPath(from_hive, from_text, from_path) || !FormPath(to_hive, to_text, to_path))
    return false;
  const bool complete = GetNtVersion() != 0
                            ? CopyValues<WideCalls>(from_hive, from_path, to_hive, to_path)
                            : CopyValues<AnsiCalls>(from_hive, from_path, to_hive, to_path);
  LogCopy(complete ? "Copied the values of" : "Could not copy all values of", from_hive, from_path,
          false, nullptr, to_hive, to_path, nullptr);
  return complete;
}

namespace {

template <typename Calls>
RegCopyResult CopyValue(HKEY from_hive, const char* from_path, const char* from_name, HKEY to_hive,
                        const char* to_path, const char* to_name) {
  typedef typename Calls::Char Char;
  Char from_value[RegKeyPathSize];
  Char to_value[RegKeyPathSize];
  if (!Calls::Name(from_name, from_value) || !Calls::Name(to_name, to_value)) return RegCopyResult::Failed;
  HKEY from = Calls::Open(from_hive, from_path, KEY_QUERY_VALUE, false);
  if (!from) return RegCopyResult::Missing;
  ValueBuffers buffers;
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG result = Calls::Query(from, from_value, &type, nullptr, &size);
  // the value may grow between the size and the read: ask again
  bool read = false;
  for (int attempt = 0; result == ERROR_SUCCESS && !read && attempt < 8; ++attempt) {
    if (!buffers.Fit(sizeof(Char), size)) break;
    size = buffers.DataSize();
    result = Calls::Query(from, from_value, &type, buffers.Data(), &size);
    if (result == ERROR_SUCCESS) read = true;
    if (result == ERROR_MORE_DATA) result = ERROR_SUCCESS;
  }
  CloseRegKey(from);
  if (result == ERROR_FILE_NOT_FOUND) return RegCopyResult::Missing;
  if (!read) return RegCopyResult::Failed;
  HKEY to = Calls::Open(to_hive, to_path, KEY_WRITE, true);
  if (!to) return RegCopyResult::Failed;
  const bool set = Calls::Set(to, to_value, type, buffers.Data(), size) == ERROR_SUCCESS;
  CloseRegKey(to);
  return set ? RegCopyResult::Copied : RegCopyResult::Failed;
}

}  // namespace

RegCopyResult CopyRegValue(HKEY from_hive, const char* from_text, const char* from_name, HKEY to_hive,
                           const char* to_text, const char* to_name) {
  char from_path[RegKeyPathSize];
  char to_path[RegKeyPathSize];
  if (!FormPath(from_hive, from_text, from_path) || !FormPath(to_hive, to_text, to_path))
    return RegCopyResult::Failed;
  const RegCopyResult result =
      GetNtVersion() != 0
          ? CopyValue<WideCalls>(from_hive, from_path, from_name, to_hive, to_path, to_name)
          : CopyValue<AnsiCalls>(from_hive, from_path, from_name, to_hive, to_path, to_name);
  if (result != RegCopyResult::Missing)
    LogCopy(result == RegCopyResult::Copied ? "Copied value" : "Could not copy value", from_hive,
            from_path, true, from_name, to_hive, to_path, to_name);
  return result;
}

WholeRegString::WholeRegString(HKEY hive, const char* text, const char* name) {
  HKEY key = OpenRegKey(hive, text);
  if (!key) return;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  bool read = false;
  for (int attempt = 0; result == ERROR_SUCCESS && !read && attempt < 8; ++attempt) {
    if (data_) HeapFree(GetProcessHeap(), 0, data_);
    data_ = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    if (!data_) break;
    DWORD length = size;
    result = RegQueryValueExA(key, name, nullptr, &type_, reinterpret_cast<BYTE*>(data_), &length);
    if (result == ERROR_SUCCESS) {
      data_[length] = '\0';
      size_ = length;
      read = true;
    }
    // the value grew since its size was asked: ask again
    if (result == ERROR_MORE_DATA) result = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  }
  if (!read && data_) {
    HeapFree(GetProcessHeap(), 0, data_);
    data_ = nullptr;
  }
  CloseRegKey(key);
}

WholeRegString::~WholeRegString() {
  if (data_) HeapFree(GetProcessHeap(), 0, data_);
}
