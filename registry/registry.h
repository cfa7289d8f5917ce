#pragma once
// Typed registry reads, writes and deletions by hive and key text. Every call
// opens its key, acts and closes it again; no key handle leaves this layer.
// Key texts for HKEY_CURRENT_USER are relative to the product settings key
// (see MakeRegKeyPath). A text that cannot be formed into a key path makes a
// read give its default, and a write, deletion or test do nothing.
#include <windows.h>

#include "common/os_version.h"  // RunsUnderWow64

// The registry view an operation acts on. Under WOW64 a 32-bit process has a
// view of its own for parts of HKEY_LOCAL_MACHINE\Software and
// HKEY_CLASSES_ROOT ("Wow6432Node"), which the 64-bit shell never reads:
// RegView64 and RegView32 name the 64-bit and the 32-bit view there, for a
// 64-bit process as for a 32-bit one. On 32-bit Windows and the 9x family
// there is one view, and every RegView names it.
enum RegView { RegViewOwn, RegView64, RegView32 };
// True on 64-bit Windows, whichever kind of process asks.
bool HasTwoRegistryViews();

// REG_SZ with its terminator. True when the key could be created.
bool SetRegString(HKEY hive, const char* text, const char* name, const char* value,
                  RegView view = RegViewOwn);
bool SetUserRegString(const char* text, const char* name, const char* value);
// The same, and then deletes the value stale_name from that key, through one
// opening of the key. True when the key could be created.
bool SetRegStringDeleting(HKEY hive, const char* text, const char* name, const char* value,
                          const char* stale_name);
// REG_DWORD, 4 bytes. True when the key could be created.
bool SetRegDword(HKEY hive, const char* text, const char* name, DWORD value);
bool SetUserRegDword(const char* text, const char* name, DWORD value);
// REG_BINARY with exactly the given bytes. True when the key could be created.
bool SetRegBinary(HKEY hive, const char* text, const char* name, const void* data, DWORD size);
// REG_NONE without data: a value whose name alone says something. True when
// the key could be created.
bool SetRegNone(HKEY hive, const char* text, const char* name);

// Reads a value of any type into out (size bytes). The result always ends in
// a NUL inside the buffer: a value that does not fit together with a
// terminator counts as missing. On a missing value out receives the default
// (the empty string if the default itself does not fit) and the result is false.
bool GetRegString(HKEY hive, const char* text, const char* name, char* out,
                  const char* default_value, DWORD size, RegView view = RegViewOwn);
bool GetUserRegString(const char* text, const char* name, char* out,
                      const char* default_value, DWORD size);

// Reads a value of up to 4 bytes as a number; a shorter value gives its bytes
// with the rest zero. A missing or longer value gives the default and false.
bool QueryRegDword(HKEY hive, const char* text, const char* name, DWORD* out,
                   DWORD default_value);
DWORD GetRegDword(HKEY hive, const char* text, const char* name, DWORD default_value);
DWORD GetUserRegDword(const char* text, const char* name, DWORD default_value);

// Deletes one key; on the NT family a key that still has subkeys stays.
void DeleteRegKey(HKEY hive, const char* text, RegView view = RegViewOwn);
void DeleteRegValue(HKEY hive, const char* text, const char* name, RegView view = RegViewOwn);
// Deletes a key with all its subkeys.
void DeleteRegTree(HKEY hive, const char* text, RegView view = RegViewOwn);
// The same for a full key path below the hive (already formed).
void DeleteKeyTree(HKEY hive, const char* path, RegView view = RegViewOwn);
// One depth-first deletion pass over a full key path; counts the keys it
// deletes, so that DeleteKeyTree knows when to stop.
void DeleteKeyTreePass(HKEY hive, const char* path, RegView view = RegViewOwn);

bool RegKeyExists(HKEY hive, const char* text, RegView view = RegViewOwn);
// True when the key exists and has neither values (a default value counts)
// nor subkeys.
bool RegKeyIsEmpty(HKEY hive, const char* text, RegView view = RegViewOwn);

// Copies every value of one key into another (created when missing): names,
// types and bytes as stored, of any size. On the NT family through the wide
// calls, so that names and texts outside the code page come over unchanged.
// False when the source key cannot be opened (nothing is created then), the
// target key cannot be created, or a value could not be copied.
bool CopyRegValues(HKEY from_hive, const char* from_text, HKEY to_hive, const char* to_text);

enum class RegCopyResult { Copied, Missing, Failed };
// Copies one value, its type and whole data of any size, under another
// name (created with its key when missing), the same way: wide calls on the
// NT family, ANSI on the 9x family. Missing when the source key or value is
// not there; nothing is written then.
RegCopyResult CopyRegValue(HKEY from_hive, const char* from_text, const char* from_name, HKEY to_hive,
                           const char* to_text, const char* to_name);

// A value read whole as text in the code page, whatever its length: the
// stored bytes with a terminator after them. Empty when it is missing.
class WholeRegString {
 public:
  WholeRegString(HKEY hive, const char* text, const char* name);
  ~WholeRegString();
  WholeRegString(const WholeRegString&) = delete;
  WholeRegString& operator=(const WholeRegString&) = delete;
  bool Found() const { return data_ != nullptr; }
  const char* Text() const { return data_ ? data_ : ""; }
  DWORD Type() const { return type_; }
  DWORD Size() const { return size_; }  // the stored bytes, without the added terminator

 private:
  char* data_ = nullptr;
  DWORD type_ = REG_NONE;
  DWORD size_ = 0;
};
