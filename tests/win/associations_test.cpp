// Archive extensions taken over and given back, file types and New-menu
// entries, against the real registry on both Windows families.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/setup_options.h"
#include "lang/crc32.h"
#include "shell/archive_types.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

using testenv::ReadKeyTree;
using testenv::RegistryGuard;
using testenv::RegistryKeySnapshot;
using testenv::RegistryValueSnapshot;
using testenv::RemoveKeyTree;

namespace {

// Every single extension with its row, as the setup dialog lists the types.
struct Extension {
  const char* name;
  int row;
};
const Extension Extensions[] = {
    {".kex", 0}, {".zip", 1}, {".cab", 2},  {".arj", 3},  {".lzh", 4}, {".lha", 4}, {".ace", 5},
    {".tar", 6}, {".gz", 7},  {".tgz", 7},  {".uue", 8},  {".xxe", 8}, {".uu", 8},  {".bz2", 9},
    {".tbz2", 9}, {".bz", 9}, {".tbz", 9}, {".jar", 10}, {".iso", 11}};

const unsigned char KexBytes[20] = {0x4B, 0x65, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                    0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const unsigned char ZipBytes[22] = {0x50, 0x4B, 0x05, 0x06};

std::string Volume(int number) {
  char name[8] = {'.', 'k', static_cast<char>('0' + number / 10),
                  static_cast<char>('0' + number % 10), '\0'};
  return name;
}

// REG_SZ data as the wide registry functions store it.
std::string Sz(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes + std::string(2, '\0');
}
std::string Narrow(const std::string& sz) {
  std::string text;
  for (size_t i = 0; i + 1 < sz.size() && sz[i] != '\0'; i += 2) text += sz[i];
  return text;
}

RegistryValueSnapshot* FindValue(RegistryKeySnapshot& key, const std::wstring& name) {
  for (auto& value : key.values)
    if (_wcsicmp(value.name.c_str(), name.c_str()) == 0) return &value;
  return nullptr;
}
RegistryKeySnapshot* FindSubkey(RegistryKeySnapshot& key, const std::wstring& name) {
  for (auto& subkey : key.subkeys)
    if (_wcsicmp(subkey.name.c_str(), name.c_str()) == 0) return &subkey;
  return nullptr;
}
// Values and subkeys are kept in the order in which ReadKeyTree sorts them.
void PutValue(RegistryKeySnapshot& key, const std::wstring& name, DWORD type, std::string data) {
  if (RegistryValueSnapshot* value = FindValue(key, name)) {
    value->type = type;
    value->data = std::move(data);
    return;
  }
  key.values.push_back({name, type, std::move(data)});
  std::sort(key.values.begin(), key.values.end(), [](const auto& a, const auto& b) {
    return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
  });
}
void EraseValue(RegistryKeySnapshot& key, const std::wstring& name) {
  key.values.erase(std::remove_if(key.values.begin(), key.values.end(),
                                  [&](const auto& v) { return _wcsicmp(v.name.c_str(), name.c_str()) == 0; }),
                   key.values.end());
}
RegistryKeySnapshot& PutSubkey(RegistryKeySnapshot& key, const std::wstring& name) {
  if (RegistryKeySnapshot* subkey = FindSubkey(key, name)) return *subkey;
  key.subkeys.push_back({});
  key.subkeys.back().name = name;
  std::sort(key.subkeys.begin(), key.subkeys.end(), [](const auto& a, const auto& b) {
    return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  return *FindSubkey(key, name);
}

struct KeyState {
  bool exists = false;
  RegistryKeySnapshot tree;
};

KeyState ReadState(const std::string& key) {
  KeyState state;
  state.exists = ReadKeyTree(HKEY_CLASSES_ROOT, key, &state.tree);
  return state;
}

std::string ProgramFolderPath(const char* name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  *strrchr(path, '\\') = '\0';
  return std::string(path) + "\\" + name;
}

SetupOptions Choice(std::mt19937& random) {
  SetupOptions options = {};
  for (bool& flag : options.Assoc) flag = random() % 2 != 0;
  options.ShellExt = random() % 2 != 0;
  return options;
}

// Guards every key the operations may touch, and the program folder's
// template files, which the NT family's New-menu entries create.
class AssociationsTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"kexnew.dat", "zipnew.dat"}) {
      TemplateFile file{ProgramFolderPath(name), false, ""};
      file.existed = testenv::ReadFileBytes(file.path, &file.bytes);
      DeleteFileA(file.path.c_str());
      templates_.push_back(file);
    }
    guards_.emplace_back(new RegistryGuard(HKEY_CURRENT_USER, "Software\\Zobrix"));
    for (const Extension& e : Extensions)
      guards_.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, e.name));
    for (int i = 0; i < 100; ++i)
      guards_.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, Volume(i)));
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix"));
  }
  void TearDown() override {
    for (const TemplateFile& file : templates_) {
      DeleteFileA(file.path.c_str());
      if (file.existed) testenv::WriteFileBytes(file.path, file.bytes);
    }
  }

  struct TemplateFile {
    std::string path;
    bool existed;
    std::string bytes;
  };
  std::vector<TemplateFile> templates_;
  std::vector<std::unique_ptr<RegistryGuard>> guards_;
};

// --- The round trip ---------------------------------------------------------

// A prior owner's key: any mix of a foreign file type, a content type, other
// values and subkeys, and a New-menu entry of any kind.
RegistryKeySnapshot RandomKey(std::mt19937& random, bool volume) {
  auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  RegistryKeySnapshot key;
  if (chance(80))
    PutValue(key, L"", REG_SZ,
             Sz(chance(10) ? std::string(90, 'T') : "Other.Type" + std::to_string(random() % 9)));
  if (chance(50)) PutValue(key, L"Content Type", REG_SZ, Sz(chance(15) ? "" : "application/x-other"));
  if (chance(30)) PutValue(key, L"PerceivedType", REG_SZ, Sz("compressed"));
  if (chance(20)) PutValue(key, L"EditFlags", REG_DWORD, std::string("\x01\x00\x01\x00", 4));
  if (chance(25)) PutValue(PutSubkey(key, L"OpenWithProgids"), L"Other.Type1", REG_NONE, "");
  if (!volume && chance(60)) {
    RegistryKeySnapshot& shell_new = PutSubkey(key, L"ShellNew");
    if (chance(40)) PutValue(shell_new, L"FileName", REG_SZ, Sz(chance(20) ? "" : "other.tpl"));
    if (chance(40)) PutValue(shell_new, L"NullFile", REG_SZ, Sz(chance(15) ? "long enough text" : ""));
    if (chance(30)) PutValue(shell_new, L"Data", REG_BINARY, std::string(1 + random() % 40, 'D'));
    if (chance(25)) PutValue(shell_new, L"Command", REG_EXPAND_SZ, Sz("%WINDIR%\\other.exe /n"));
    if (chance(25)) PutValue(shell_new, L"ItemName", REG_SZ, Sz("@other.dll,-100"));
    if (chance(20)) PutValue(PutSubkey(shell_new, L"Config"), L"Mode", REG_SZ, Sz("1"));
  }
  return key;
}

// What a take-over and the give-back leave different from the prior state of
// an extension's key (written once, one line per difference the rules make).
void ApplyExceptions(KeyState& key, bool entry_written, bool zip, bool win9x) {
  if (!key.exists) return;  // a key that did not exist is deleted again
  // an existing key that had no default value comes back with an empty one
  if (!FindValue(key.tree, L"")) PutValue(key.tree, L"", REG_SZ, Sz(""));
  // an empty "Content Type" is not told from none, and is not given back
  if (RegistryValueSnapshot* type = FindValue(key.tree, L"Content Type"))
    if (Narrow(type->data).empty()) EraseValue(key.tree, L"Content Type");
  if (!entry_written) return;
  RegistryKeySnapshot& shell_new = PutSubkey(key.tree, L"ShellNew");  // the entry's key stays
  if (win9x) {
    // RegDeleteKeyA of the 9x family took the ShellNew key's subkeys along
    shell_new.subkeys.clear();
    // the archiver's own "Data" stays unless the previous owner had one
    if (!FindValue(shell_new, L"Data"))
      PutValue(shell_new, L"Data", REG_BINARY,
               zip ? std::string(reinterpret_cast<const char*>(ZipBytes), sizeof(ZipBytes))
                   : std::string(reinterpret_cast<const char*>(KexBytes), sizeof(KexBytes)));
  }
}

// The volume extensions after ".kex" was given back: each gets the previous
// file type (and content type) of ".kex", or is deleted when there was none.
void ApplyVolumeRule(KeyState& volume, int number, const KeyState& kex, bool win9x) {
  const int taken_over = win9x ? 100 : 30;
  std::string type, content;
  if (kex.exists) {
    RegistryKeySnapshot tree = kex.tree;
    if (RegistryValueSnapshot* value = FindValue(tree, L"")) type = Narrow(value->data);
    if (RegistryValueSnapshot* value = FindValue(tree, L"Content Type")) content = Narrow(value->data);
  }
  if (!type.empty()) {
    volume.exists = true;
    PutValue(volume.tree, L"", REG_SZ, Sz(type));
    if (!content.empty())
      PutValue(volume.tree, L"Content Type", REG_SZ, Sz(content));
    else if (number < taken_over)
      EraseValue(volume.tree, L"Content Type");
    return;
  }
  // on NT a single-key deletion leaves a key with subkeys as the take-over left it
  if (!win9x && volume.exists && !volume.tree.subkeys.empty()) {
    if (number < taken_over) {
      PutValue(volume.tree, L"", REG_SZ, Sz("Zobrix"));
      EraseValue(volume.tree, L"Content Type");
    }
    return;
  }
  volume = KeyState();
}

std::string Difference(const std::string& key, const KeyState& expected) {
  const KeyState actual = ReadState(key);
  if (expected.exists != actual.exists) return key + (expected.exists ? " is gone" : " was left");
  const std::string difference = testenv::DescribeTreeDifference(expected.tree, actual.tree);
  return difference.empty() ? "" : key + " " + difference;
}

TEST_F(AssociationsTest, EveryExtensionGoesBackToItsPreviousOwner) {
  const bool win9x = testenv::IsWin9xFamily();
  const int sampled_volumes[] = {0, 7, 29, 30, 64, 99};
  for (unsigned seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix"));
    std::vector<KeyState> prior;
    for (const Extension& e : Extensions) {
      ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e.name));
      if (random() % 10 < 7) {
        ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, e.name, RandomKey(random, false)));
      }
      prior.push_back(ReadState(e.name));
    }
    std::vector<KeyState> volumes;
    for (int i = 0; i < 100; ++i) {
      ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, Volume(i)));
      if (std::count(std::begin(sampled_volumes), std::end(sampled_volumes), i) && random() % 2) {
        ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, Volume(i), RandomKey(random, true)));
      }
      volumes.push_back(ReadState(Volume(i)));
    }

    const SetupOptions first = Choice(random), second = Choice(random);
    UpdateAssociations(first);
    UpdateAssociations(second);
    UpdateAssociations(SetupOptions{});

    std::string difference;
    const KeyState kex = prior[0];
    for (size_t i = 0; i < prior.size() && difference.empty(); ++i) {
      const int row = Extensions[i].row;
      const bool taken = first.Assoc[row] || second.Assoc[row];
      const bool entry = row <= 1 && ((first.Assoc[row] && first.ShellExt) ||
                                      (second.Assoc[row] && second.ShellExt));
      KeyState expected = prior[i];
      if (taken) ApplyExceptions(expected, entry, row == 1, win9x);
      difference = Difference(Extensions[i].name, expected);
    }
    for (int i = 0; i < 100 && difference.empty(); ++i) {
      KeyState expected = volumes[i];
      if (first.Assoc[0] || second.Assoc[0]) ApplyVolumeRule(expected, i, kex, win9x);
      difference = Difference(Volume(i), expected);
    }
    ASSERT_EQ(difference, "");
  }
}

// --- Direct cases -----------------------------------------------------------

SetupOptions AllTypes(bool shell_ext) {
  SetupOptions options = {};
  for (bool& flag : options.Assoc) flag = true;
  options.ShellExt = shell_ext;
  return options;
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

TEST_F(AssociationsTest, TakeOverSavesTheOwnerOnceAndARepeatedSetupChangesNoRecord) {
  for (const Extension& e : Extensions) ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e.name));
  RegistryKeySnapshot zip;
  PutValue(zip, L"", REG_SZ, Sz("Other.Zip"));
  PutValue(zip, L"Content Type", REG_SZ, Sz("application/zip"));
  RegistryKeySnapshot& shell_new = PutSubkey(zip, L"ShellNew");
  PutValue(shell_new, L"NullFile", REG_SZ, Sz(""));
  PutValue(shell_new, L"ItemName", REG_SZ, Sz("@other.dll,-5"));
  ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, ".zip", zip));

  UpdateAssociations(AllTypes(true));
  RegistryKeySnapshot expected;  // the owner of ".zip", its whole ShellNew key kept
  PutValue(expected, L"Exist", REG_DWORD, Dword(1));
  PutValue(expected, L"Type", REG_SZ, Sz("Other.Zip"));
  PutValue(expected, L"Content", REG_SZ, Sz("application/zip"));
  PutValue(expected, L"ShellNew", REG_SZ, Sz("*"));
  PutSubkey(expected, L"ShellNew") = shell_new;
  RegistryKeySnapshot record;
  ASSERT_TRUE(ReadKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.zip", &record));
  EXPECT_EQ(testenv::DescribeTreeDifference(expected, record), "");
  RegistryKeySnapshot none;  // ".tgz" had no key
  PutValue(none, L"Exist", REG_DWORD, Dword(0));
  for (const wchar_t* name : {L"Type", L"Content", L"ShellNew"}) PutValue(none, name, REG_SZ, Sz(""));
  ASSERT_TRUE(ReadKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.tgz", &record));
  EXPECT_EQ(testenv::DescribeTreeDifference(none, record), "");
  KeyState taken = ReadState(".zip");
  ASSERT_TRUE(FindValue(taken.tree, L""));
  EXPECT_EQ(Narrow(FindValue(taken.tree, L"")->data), "Zobrix.ZIP");
  EXPECT_FALSE(FindValue(taken.tree, L"Content Type"));

  RegistryGuard records(HKEY_CURRENT_USER, "Software\\Zobrix");
  UpdateAssociations(AllTypes(true));
  EXPECT_EQ(records.Changes(), "");

  // A record without the copy of the ShellNew values (an older setup's) gives
  // back only what its own values say.
  ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.zip\\ShellNew"));
  UpdateAssociations(SetupOptions{});
  RegistryKeySnapshot given_back = zip;
  PutSubkey(given_back, L"ShellNew").values.clear();
  PutValue(PutSubkey(given_back, L"ShellNew"), L"NullFile", REG_SZ, Sz(""));
  if (testenv::IsWin9xFamily())  // the 4.10 entry's "Data" is no "FileName": it stays
    PutValue(PutSubkey(given_back, L"ShellNew"), L"Data", REG_BINARY,
             std::string(reinterpret_cast<const char*>(ZipBytes), sizeof(ZipBytes)));
  EXPECT_EQ(testenv::DescribeTreeDifference(given_back, ReadState(".zip").tree), "");
}

TEST_F(AssociationsTest, ExtensionTakenByAnotherProgramIsLeftAloneAtGiveBack) {
  for (const Extension& e : Extensions) ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e.name));
  UpdateAssociations(AllTypes(true));
  RegistryKeySnapshot other;
  PutValue(other, L"", REG_SZ, Sz("Other.Type"));
  ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, ".kex", other));
  ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, ".zip", other));
  std::vector<std::unique_ptr<RegistryGuard>> untouched;
  for (const std::string& key : {std::string(".kex"), std::string(".zip"), Volume(0), Volume(29)})
    untouched.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, key));

  UpdateAssociations(SetupOptions{});
  for (const auto& guard : untouched) EXPECT_EQ(guard->Changes(), "");
  EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, ".cab")) << "the others were given back";
}

TEST_F(AssociationsTest, IsOwnFileTypeComparesBothNamesIgnoringCase) {
  const struct {
    std::string type;
    bool own;
  } cases[] = {{"Zobrix", true},        {"zobrix.zip", true}, {"ZOBRIX.ZIP", true},
               {"Zobrix.REV", false},   {"Zobrix.ZIPX", false}, {"Zobri", false},
               {std::string(79, 'Z'), false}, {std::string(80, 'Z'), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    RegistryKeySnapshot key;
    PutValue(key, L"", REG_SZ, Sz(c.type));
    ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, ".iso", key));
    EXPECT_EQ(IsOwnFileType(".iso"), c.own);
  }
  ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, ".iso"));
  EXPECT_FALSE(IsOwnFileType(".iso"));
}

TEST_F(AssociationsTest, NewMenuEntriesHoldEmptyArchives) {
  const bool win9x = testenv::IsWin9xFamily();
  RegistryKeySnapshot kex;
  PutValue(PutSubkey(kex, L"ShellNew"), L"Command", REG_SZ, Sz("other.exe /new"));
  ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CLASSES_ROOT, ".kex", kex));
  UpdateAssociations(AllTypes(true));
  for (const bool zip : {false, true}) {
    SCOPED_TRACE(zip ? ".zip" : ".kex");
    const std::string expected_bytes =
        zip ? std::string(reinterpret_cast<const char*>(ZipBytes), sizeof(ZipBytes))
            : std::string(reinterpret_cast<const char*>(KexBytes), sizeof(KexBytes));
    const std::string file = ProgramFolderPath(zip ? "zipnew.dat" : "kexnew.dat");
    RegistryKeySnapshot shell_new, expected;
    ASSERT_TRUE(ReadKeyTree(HKEY_CLASSES_ROOT, zip ? ".zip\\ShellNew" : ".kex\\ShellNew", &shell_new));
    std::string bytes;
    if (win9x) {  // 4.10: no template file, the bytes themselves
      PutValue(expected, L"Data", REG_BINARY, expected_bytes);
      EXPECT_FALSE(testenv::PathExists(file));
      bytes = FindValue(shell_new, L"Data") ? FindValue(shell_new, L"Data")->data : "";
    } else {
      PutValue(expected, L"FileName", REG_SZ, Sz(file));
      EXPECT_TRUE(testenv::ReadFileBytes(file, &bytes));
    }
    EXPECT_EQ(testenv::DescribeTreeDifference(expected, shell_new), "");
    ASSERT_EQ(bytes, expected_bytes);
    if (!zip) {  // the header's check value: the low half of the CRC-32 of offsets 9 to 19
      const uint32_t crc = ~Crc32(0xFFFFFFFFu, bytes.data() + 9, 11);
      EXPECT_EQ(crc & 0xFFFF, static_cast<unsigned char>(bytes[7]) | static_cast<unsigned char>(bytes[8]) << 8);
    }
  }
  if (win9x) return;
  const std::string file = ProgramFolderPath("kexnew.dat");
  ASSERT_TRUE(testenv::WriteFileBytes(file, "changed by the user"));
  UpdateAssociations(AllTypes(true));
  std::string bytes;
  EXPECT_TRUE(testenv::ReadFileBytes(file, &bytes));
  EXPECT_EQ(bytes, "changed by the user") << "an existing template is not rewritten";
}

TEST_F(AssociationsTest, FileTypesOpenWithTheArchiverBesideTheProgram) {
  std::vector<std::unique_ptr<RegistryGuard>> guards;
  for (const char* key : {"Zobrix", "Zobrix.ZIP", "Zobrix.REV", ".rev"})
    guards.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, key));
  RegisterFileTypes();
  const std::string archiver = ProgramFolderPath("Zobrix.exe");
  const struct {
    const char* key;
    std::string data;
  } values[] = {{"Zobrix\\shell\\open\\command", "\"" + archiver + "\" \"%1\""},
                {"Zobrix.ZIP\\shell\\open\\command", "\"" + archiver + "\" \"%1\""},
                {"Zobrix.REV\\shell\\open\\command", "\"" + archiver + "\" \"%1\""},
                {"Zobrix\\DefaultIcon", archiver + ",0"},
                {"Zobrix.ZIP\\DefaultIcon", archiver + ",0"},
                {"Zobrix.REV\\DefaultIcon", archiver + ",1"},
                {".rev", "Zobrix.REV"}};
  for (const auto& v : values) {
    SCOPED_TRACE(v.key);
    KeyState key = ReadState(v.key);
    ASSERT_TRUE(FindValue(key.tree, L""));
    EXPECT_EQ(Narrow(FindValue(key.tree, L"")->data), v.data);
  }
}

}  // namespace
