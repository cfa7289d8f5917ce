#include "tests/support/registry_guard.h"

#include <algorithm>
#include <cwctype>

#include "tests/support/temp_folder.h"

namespace testenv {
namespace {

std::wstring Upper(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

template <typename T>
void SortByName(std::vector<T>* items) {
  std::sort(items->begin(), items->end(),
            [](const T& a, const T& b) { return Upper(a.name) < Upper(b.name); });
}

// Closes a key handle on every way out.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (key_) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool ReadKey(HKEY key, RegistryKeySnapshot* tree) {
  DWORD subkey_count = 0, max_subkey = 0, value_count = 0, max_name = 0, max_data = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkey_count, &max_subkey, nullptr,
                       &value_count, &max_name, &max_data, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> name(max_name + 2);
  std::vector<BYTE> data(max_data + 2);
  for (DWORD i = 0; i < value_count; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_length = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(),
                      &data_length) != ERROR_SUCCESS)
      return false;
    RegistryValueSnapshot value;
    value.name.assign(name.data(), name_length);
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data.data()), data_length);
    tree->values.push_back(value);
  }
  std::vector<wchar_t> subkey_name(max_subkey + 2);
  for (DWORD i = 0; i < subkey_count; ++i) {
    DWORD length = static_cast<DWORD>(subkey_name.size());
    if (RegEnumKeyExW(key, i, subkey_name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      return false;
    RegistryKeySnapshot subkey;
    subkey.name.assign(subkey_name.data(), length);
    KeyHandle child;
    if (RegOpenKeyExW(key, subkey.name.c_str(), 0, KEY_READ, child.Out()) != ERROR_SUCCESS ||
        !ReadKey(child.Get(), &subkey))
      return false;
    tree->subkeys.push_back(subkey);
  }
  SortByName(&tree->values);
  SortByName(&tree->subkeys);
  return true;
}

bool WriteKey(HKEY key, const RegistryKeySnapshot& tree) {
  bool ok = true;
  for (const RegistryValueSnapshot& value : tree.values)
    ok &= RegSetValueExW(key, value.name.c_str(), 0, value.type,
                         reinterpret_cast<const BYTE*>(value.data.data()),
                         static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
  for (const RegistryKeySnapshot& subkey : tree.subkeys) {
    KeyHandle child;
    if (RegCreateKeyExW(key, subkey.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, child.Out(), nullptr) != ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    ok &= WriteKey(child.Get(), subkey);
  }
  return ok;
}

// Depth first through the handle; RegDeleteKeyW never deletes trees itself.
void RemoveSubkeys(HKEY key) {
  wchar_t name[512];
  for (;;) {
    DWORD length = 512;
    if (RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return;
    {
      KeyHandle child;
      if (RegOpenKeyExW(key, name, 0, KEY_ALL_ACCESS, child.Out()) == ERROR_SUCCESS)
        RemoveSubkeys(child.Get());
    }
    if (RegDeleteKeyW(key, name) != ERROR_SUCCESS) return;
  }
}

std::string Quote(const std::wstring& name) { return "\"" + WideToAnsi(name) + "\""; }

std::string Differences(const RegistryKeySnapshot& expected, const RegistryKeySnapshot& actual,
                        const std::string& where) {
  for (size_t i = 0; i < std::max(expected.values.size(), actual.values.size()); ++i) {
    if (i >= expected.values.size())
      return where + ": value " + Quote(actual.values[i].name) + " was added";
    if (i >= actual.values.size() || Upper(expected.values[i].name) != Upper(actual.values[i].name))
      return where + ": value " + Quote(expected.values[i].name) + " is gone";
    if (expected.values[i].type != actual.values[i].type)
      return where + ": value " + Quote(expected.values[i].name) + " changed its type";
    if (expected.values[i].data != actual.values[i].data)
      return where + ": value " + Quote(expected.values[i].name) + " changed its data";
  }
  for (size_t i = 0; i < std::max(expected.subkeys.size(), actual.subkeys.size()); ++i) {
    if (i >= expected.subkeys.size())
      return where + ": subkey " + Quote(actual.subkeys[i].name) + " was added";
    if (i >= actual.subkeys.size() ||
        Upper(expected.subkeys[i].name) != Upper(actual.subkeys[i].name))
      return where + ": subkey " + Quote(expected.subkeys[i].name) + " is gone";
    std::string inner = Differences(expected.subkeys[i], actual.subkeys[i],
                                    where + "\\" + WideToAnsi(expected.subkeys[i].name));
    if (!inner.empty()) return inner;
  }
  return "";
}

// The highest key along path that does not exist; empty when path exists.
std::string HighestMissingKey(HKEY hive, const std::string& path) {
  size_t end = 0;
  for (;;) {
    end = path.find('\\', end + 1);
    const std::string prefix = path.substr(0, end);
    if (!KeyExists(hive, prefix)) return prefix;
    if (end == std::string::npos) return "";
  }
}

}  // namespace

RegistryValueSnapshot StringValue(const std::string& name, const std::string& ansi) {
  std::wstring wide = AnsiToWide(ansi);
  return {AnsiToWide(name), REG_SZ,
          std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t))};
}

RegistryValueSnapshot DwordValue(const std::string& name, DWORD value) {
  return {AnsiToWide(name), REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value))};
}

bool KeyExists(HKEY hive, const std::string& path) {
  KeyHandle key;
  return RegOpenKeyExW(hive, AnsiToWide(path).c_str(), 0, KEY_QUERY_VALUE, key.Out()) ==
         ERROR_SUCCESS;
}

bool ReadKeyTree(HKEY hive, const std::string& path, RegistryKeySnapshot* tree) {
  *tree = RegistryKeySnapshot();
  KeyHandle key;
  if (RegOpenKeyExW(hive, AnsiToWide(path).c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
    return false;
  return ReadKey(key.Get(), tree);
}

bool WriteKeyTree(HKEY hive, const std::string& path, const RegistryKeySnapshot& tree) {
  KeyHandle key;
  if (RegCreateKeyExW(hive, AnsiToWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  return WriteKey(key.Get(), tree);
}

bool RemoveKeyTree(HKEY hive, const std::string& path) {
  const std::wstring wide = AnsiToWide(path);
  if (wide.empty()) return false;  // never a hive root
  {
    KeyHandle key;
    if (RegOpenKeyExW(hive, wide.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS)
      return !KeyExists(hive, path);
    RemoveSubkeys(key.Get());
  }
  RegDeleteKeyW(hive, wide.c_str());
  return !KeyExists(hive, path);
}

std::string DescribeTreeDifference(const RegistryKeySnapshot& expected,
                                   const RegistryKeySnapshot& actual) {
  return Differences(expected, actual, "key");
}

RegistryGuard::RegistryGuard(HKEY hive, const std::string& path) : hive_(hive), path_(path) {
  existed_ = ReadKeyTree(hive_, path_, &snapshot_);
  if (!existed_) missing_top_ = HighestMissingKey(hive_, path_);
}

RegistryGuard::~RegistryGuard() { Restore(); }

std::string RegistryGuard::Changes() const {
  RegistryKeySnapshot now;
  const bool exists = ReadKeyTree(hive_, path_, &now);
  if (!existed_) {
    if (exists) return path_ + " was created";
    if (missing_top_ != path_ && KeyExists(hive_, missing_top_))
      return missing_top_ + " was created";
    return "";
  }
  if (!exists) return path_ + " is gone";
  const std::string difference = DescribeTreeDifference(snapshot_, now);
  return difference.empty() ? "" : path_ + " " + difference;
}

void RegistryGuard::Restore() {
  if (Changes().empty()) return;
  if (!existed_) {
    if (!missing_top_.empty()) RemoveKeyTree(hive_, missing_top_);
    return;
  }
  RemoveKeyTree(hive_, path_);
  WriteKeyTree(hive_, path_, snapshot_);
}

}  // namespace testenv
