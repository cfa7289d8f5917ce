#pragma once
// Snapshots of registry key trees for tests: a guard records a tree (values
// with their types and data, subkeys) and puts it back exactly when it goes,
// so that a test leaves the registry as it found it.
#include <windows.h>

#include <string>
#include <vector>

namespace testenv {

struct RegistryValueSnapshot {
  std::wstring name;
  DWORD type = REG_NONE;
  std::string data;  // the stored bytes
};

struct RegistryKeySnapshot {
  std::wstring name;  // this key's own name (empty for the top of a snapshot)
  std::vector<RegistryValueSnapshot> values;   // sorted by name, ignoring case
  std::vector<RegistryKeySnapshot> subkeys;    // sorted by name, ignoring case
};

// A value as ReadKeyTree gives it: REG_SZ holds the text in wide characters
// with its terminator, REG_DWORD its four bytes.
RegistryValueSnapshot StringValue(const std::string& name, const std::string& ansi);
RegistryValueSnapshot DwordValue(const std::string& name, DWORD value);

// Reads the tree of hive\path (an ANSI key path); false when the key is missing.
bool ReadKeyTree(HKEY hive, const std::string& path, RegistryKeySnapshot* tree);
// Writes a tree (values and subkeys) into hive\path, creating keys as needed.
bool WriteKeyTree(HKEY hive, const std::string& path, const RegistryKeySnapshot& tree);
// Deletes hive\path with all its subkeys, on either Windows family. True when
// the key is gone afterwards.
bool RemoveKeyTree(HKEY hive, const std::string& path);
// The first difference between two trees, described; empty when they are equal.
std::string DescribeTreeDifference(const RegistryKeySnapshot& expected,
                                   const RegistryKeySnapshot& actual);
// Whether hive\path exists.
bool KeyExists(HKEY hive, const std::string& path);

class RegistryGuard {
 public:
  // Records hive\path now. A key that does not exist is recorded as missing,
  // together with the highest of its parents that is missing too.
  RegistryGuard(HKEY hive, const std::string& path);
  ~RegistryGuard();  // Restore()
  RegistryGuard(const RegistryGuard&) = delete;
  RegistryGuard& operator=(const RegistryGuard&) = delete;

  // Empty while the tree is as recorded; otherwise its first difference.
  std::string Changes() const;
  // Puts the recorded state back: the tree as it was, or no key at all (and
  // none of the parents that the test created).
  void Restore();
  bool Existed() const { return existed_; }

 private:
  HKEY hive_;
  std::string path_;
  bool existed_ = false;
  std::string missing_top_;  // highest missing key of path_, when it did not exist
  RegistryKeySnapshot snapshot_;
};

}  // namespace testenv
