// Registration of the shell extension and its removal, compared as whole key
// trees of the real registry, on both Windows families.
#include "shell/shell_extension.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "app/setup_options.h"
#include "registry/registry.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"

using testenv::RegistryKeySnapshot;
using testenv::RegistryValueSnapshot;

namespace {

const char Clsid[] = "{5E0C7A12-3B9D-4F61-A8E2-71C4D09B6F35}";
const char ApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

struct Root {
  HKEY hive;
  const char* label;
  std::string path;
};

// Every key the operation may touch, with room around it: a stray write
// below one of these shows up as a difference.
const std::vector<Root>& Roots() {
  static const std::vector<Root> roots = {
      {HKEY_CLASSES_ROOT, "HKCR", std::string("CLSID\\") + Clsid},
      {HKEY_CLASSES_ROOT, "HKCR", "Zobrix"},
      {HKEY_CLASSES_ROOT, "HKCR", "Zobrix.ZIP"},
      {HKEY_CLASSES_ROOT, "HKCR", "exefile\\shellex"},
      {HKEY_CLASSES_ROOT, "HKCR", "*\\shellex"},
      {HKEY_CLASSES_ROOT, "HKCR", "Folder\\shellex"},
      {HKEY_CLASSES_ROOT, "HKCR", "Drive\\shellex"},
      {HKEY_CLASSES_ROOT, "HKCR", "Directory\\shellex"},
      {HKEY_LOCAL_MACHINE, "HKLM", ApprovedKey},
  };
  return roots;
}

std::wstring Upper(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

// The key at path below tree ("A\B\C"), created in name order when missing.
RegistryKeySnapshot& KeyAt(RegistryKeySnapshot& tree, const std::string& path) {
  RegistryKeySnapshot* key = &tree;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::wstring name = testenv::AnsiToWide(path.substr(start, end - start));
    auto& subkeys = key->subkeys;
    auto place = std::find_if(subkeys.begin(), subkeys.end(), [&](const RegistryKeySnapshot& k) {
      return Upper(k.name) >= Upper(name);
    });
    if (place == subkeys.end() || Upper(place->name) != Upper(name)) {
      RegistryKeySnapshot added;
      added.name = name;
      place = subkeys.insert(place, added);
    }
    key = &*place;
    start = end + 1;
  }
  return *key;
}

void PutString(RegistryKeySnapshot& world, const std::string& path, const std::string& name,
               const std::string& text) {
  RegistryValueSnapshot value = testenv::StringValue(name, text);
  auto& values = KeyAt(world, path).values;
  auto place = std::find_if(values.begin(), values.end(), [&](const RegistryValueSnapshot& v) {
    return Upper(v.name) >= Upper(value.name);
  });
  if (place != values.end() && Upper(place->name) == Upper(value.name))
    *place = value;
  else
    values.insert(place, value);
}

// The observed keys as one tree: "HKCR\Zobrix\...", "HKLM\Software\...".
RegistryKeySnapshot World() {
  RegistryKeySnapshot world;
  for (const Root& root : Roots()) {
    RegistryKeySnapshot tree;
    if (!testenv::ReadKeyTree(root.hive, root.path, &tree)) continue;
    RegistryKeySnapshot& place = KeyAt(world, std::string(root.label) + "\\" + root.path);
    tree.name = place.name;
    place = tree;
  }
  return world;
}

size_t CountValues(const RegistryKeySnapshot& tree) {
  size_t count = tree.values.size();
  for (const RegistryKeySnapshot& subkey : tree.subkeys) count += CountValues(subkey);
  return count;
}

const char* const OwnHandlerParents[] = {
    "HKCR\\Zobrix\\shellex\\ContextMenuHandlers",
    "HKCR\\Zobrix\\shellex\\PropertySheetHandlers",
    "HKCR\\Zobrix.ZIP\\shellex\\ContextMenuHandlers",
    "HKCR\\Zobrix.ZIP\\shellex\\PropertySheetHandlers",
    "HKCR\\exefile\\shellex\\PropertySheetHandlers",
};
const char* const SharedHandlerKeys[] = {
    "HKCR\\*\\shellex\\ContextMenuHandlers\\Zobrix",
    "HKCR\\Folder\\shellex\\ContextMenuHandlers\\Zobrix",
    "HKCR\\Folder\\shellex\\DragDropHandlers\\Zobrix",
    "HKCR\\Drive\\shellex\\DragDropHandlers\\Zobrix",
    "HKCR\\Directory\\shellex\\ContextMenuHandlers\\Zobrix",
    "HKCR\\Directory\\shellex\\DragDropHandlers\\Zobrix",
};

RegistryKeySnapshot Registered(RegistryKeySnapshot world, const std::string& library) {
  if (!library.empty()) {
    const std::string key = std::string("HKCR\\CLSID\\") + Clsid;
    PutString(world, key, "", "Zobrix");
    PutString(world, key + "\\InProcServer32", "", library);
    PutString(world, key + "\\InProcServer32", "ThreadingModel", "Apartment");
  }
  for (const char* parent : OwnHandlerParents)
    PutString(world, std::string(parent) + "\\" + Clsid, "", "");
  PutString(world, "HKCR\\Zobrix\\shellex\\DropHandler", "", Clsid);
  PutString(world, "HKCR\\Zobrix.ZIP\\shellex\\DropHandler", "", Clsid);
  for (const char* key : SharedHandlerKeys) PutString(world, key, "", Clsid);
  PutString(world, std::string("HKLM\\") + ApprovedKey, Clsid, "Zobrix shell extension");
  return world;
}

// After removal the parents of the own handlers and the shared handler keys
// stay, empty.
RegistryKeySnapshot Removed(RegistryKeySnapshot world) {
  for (const char* parent : OwnHandlerParents) KeyAt(world, parent);
  for (const char* key : SharedHandlerKeys) KeyAt(world, key);
  return world;
}

void Update(bool shell_ext) {
  SetupOptions options = {};
  options.ShellExt = shell_ext;
  UpdateShellExtension(options);
}

class ShellExtensionTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const Root& root : Roots())
      guards_.push_back(std::make_unique<testenv::RegistryGuard>(root.hive, root.path));
    // nothing of the extension before the test
    for (const std::string& key :
         {std::string("CLSID\\") + Clsid, std::string("Zobrix"), std::string("Zobrix.ZIP"),
          std::string("exefile\\shellex\\PropertySheetHandlers\\") + Clsid})
      ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, key));
    for (const char* key : SharedHandlerKeys)
      ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, std::string(key).substr(5)));
    HKEY approved;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ApprovedKey, 0, KEY_WRITE, &approved) == ERROR_SUCCESS) {
      RegDeleteValueA(approved, Clsid);
      RegCloseKey(approved);
    }
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    library_ = program;
    library_ = library_.substr(0, library_.rfind('\\') + 1) + "kexext.dll";
    ASSERT_FALSE(testenv::PathExists(library_)) << library_ << " left by someone else";
  }
  void TearDown() override {
    DeleteFileA(library_.c_str());
    guards_.clear();
  }

  std::string library_;
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
};

// The head of a library built for this test's machine: its registry view
// is this process's own.
std::string OwnMachineLibrary() {
  std::string head(0x80, '\0');
  head[0] = 'M';
  head[1] = 'Z';
  head[0x3C] = 0x40;
#ifdef _WIN64
  const char machine[2] = {'\x64', '\x86'};
#else
  const char machine[2] = {'\x4C', '\x01'};
#endif
  head.replace(0x40, 6, std::string("PE\0\0", 4) + machine[0] + machine[1]);
  return head;
}

#ifdef _WIN64
bool ClassKeyIn(REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + Clsid).c_str(), 0,
                    KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}
#endif

TEST_F(ShellExtensionTest, RegistersOnceAndRemovesWhatItWrote) {
  const RegistryKeySnapshot clean = World();
  Update(false);
  EXPECT_EQ("", testenv::DescribeTreeDifference(clean, World())) << "removal of nothing";

  for (bool library : {true, false}) {
    SCOPED_TRACE(library ? "kexext.dll present" : "kexext.dll missing");
    ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, "Zobrix"));
    ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, "Zobrix.ZIP"));
    const RegistryKeySnapshot before = World();
    if (library) {
      ASSERT_TRUE(testenv::WriteFileBytes(library_, OwnMachineLibrary()));
    }
    const RegistryKeySnapshot expected = Registered(before, library ? library_ : "");
    for (int run = 1; run <= 2; ++run) {
      Update(true);
      const RegistryKeySnapshot after = World();
      EXPECT_EQ("", testenv::DescribeTreeDifference(expected, after)) << "registration " << run;
      EXPECT_EQ(CountValues(after) - CountValues(before), library ? 17u : 14u);
    }
    Update(false);
    EXPECT_EQ("", testenv::DescribeTreeDifference(Removed(before), World())) << "removal";
    DeleteFileA(library_.c_str());
  }
#ifdef _WIN64
  // A 32-bit library (or one that cannot be read as a 64-bit one) is for
  // 32-bit processes, which read the 32-bit view.
  if (!HasTwoRegistryViews()) return;
  ASSERT_TRUE(testenv::WriteFileBytes(library_, "MZ"));
  Update(true);
  EXPECT_TRUE(ClassKeyIn(KEY_WOW64_32KEY));
  EXPECT_FALSE(ClassKeyIn(KEY_WOW64_64KEY));
  Update(false);
  EXPECT_FALSE(ClassKeyIn(KEY_WOW64_32KEY));
#endif
}

}  // namespace
