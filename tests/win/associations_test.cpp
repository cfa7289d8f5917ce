// Archive extensions taken over and given back, file types and New-menu
// entries, against the real registry on both Windows families.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
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
using testenv::RemoveKeyTree;
using testenv::WriteKeyTree;

namespace {

// Every single extension with its row, in the setup dialog's order of types.
const struct {
  const char* name;
  int row;
} Extensions[] = {{".kex", 0}, {".zip", 1}, {".cab", 2},  {".arj", 3},  {".lzh", 4},
                  {".lha", 4}, {".ace", 5}, {".tar", 6},  {".gz", 7},   {".tgz", 7},
                  {".uue", 8}, {".xxe", 8}, {".uu", 8},   {".bz2", 9},  {".tbz2", 9},
                  {".bz", 9},  {".tbz", 9}, {".jar", 10}, {".iso", 11}};

const std::string KexBytes("Kex!\x1A\x07\x00\xCF\x90\x73\x00\x00\x0D\x00\x00\x00\x00\x00\x00\x00", 20);
const std::string ZipBytes("PK\x05\x06" + std::string(18, '\0'));
const char Settings[] = "Software\\Zobrix";

std::string Volume(int n) { return std::string(".k") + char('0' + n / 10) + char('0' + n % 10); }

// REG_SZ data as the wide registry functions store it, and back (ASCII only).
std::string Sz(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes + std::string(2, '\0');
}
// REG_SZ data of any text, as stored.
std::string Wz(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}
std::string Narrow(const std::string& sz) {
  std::string text;
  for (size_t i = 0; i + 1 < sz.size() && sz[i] != '\0'; i += 2) text += sz[i];
  return text;
}

template <typename T>
T* Find(std::vector<T>& items, const std::wstring& name) {
  for (T& item : items)
    if (_wcsicmp(item.name.c_str(), name.c_str()) == 0) return &item;
  return nullptr;
}
// Kept in ReadKeyTree's order, so that trees compare item by item.
template <typename T>
T& Put(std::vector<T>& items, const std::wstring& name) {
  if (T* item = Find(items, name)) return *item;
  items.push_back({});
  items.back().name = name;
  std::sort(items.begin(), items.end(),
            [](const T& a, const T& b) { return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0; });
  return *Find(items, name);
}
void PutValue(RegistryKeySnapshot& key, const std::wstring& name, DWORD type, const std::string& data) {
  auto& value = Put(key.values, name);
  value.type = type;
  value.data = data;
}
void EraseValue(RegistryKeySnapshot& key, const std::wstring& name) {
  key.values.erase(std::remove_if(key.values.begin(), key.values.end(),
                                  [&](const auto& v) { return _wcsicmp(v.name.c_str(), name.c_str()) == 0; }),
                   key.values.end());
}
std::string Text(RegistryKeySnapshot key, const std::wstring& name) {
  auto* value = Find(key.values, name);
  return value ? Narrow(value->data) : "";
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
std::string Difference(const std::string& key, const KeyState& expected) {
  const KeyState actual = ReadState(key);
  if (expected.exists != actual.exists) return key + (expected.exists ? " is gone" : " was left");
  const std::string difference = testenv::DescribeTreeDifference(expected.tree, actual.tree);
  return difference.empty() ? "" : key + " " + difference;
}

std::string ProgramFolderPath(const std::string& name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return std::string(path).substr(0, std::string(path).rfind('\\') + 1) + name;
}

SetupOptions AllTypes(bool shell_ext) {
  SetupOptions options = {};
  std::fill(std::begin(options.Assoc), std::end(options.Assoc), true);
  options.ShellExt = shell_ext;
  return options;
}

// Guards every key the operations touch, and the template files that the NT
// family's New-menu entries create beside the test program.
class AssociationsTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& e : Extensions) guards_.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, e.name));
    for (int i = 0; i < 100; ++i) guards_.emplace_back(new RegistryGuard(HKEY_CLASSES_ROOT, Volume(i)));
    guards_.emplace_back(new RegistryGuard(HKEY_CURRENT_USER, Settings));
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, Settings));
    for (const auto& e : Extensions) ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e.name));
    for (auto& file : templates_) {
      file.existed = testenv::ReadFileBytes(file.path, &file.bytes);
      DeleteFileA(file.path.c_str());
    }
  }
  void TearDown() override {
    for (auto& file : templates_) {
      DeleteFileA(file.path.c_str());
      if (file.existed) testenv::WriteFileBytes(file.path, file.bytes);
    }
  }
  std::vector<std::unique_ptr<RegistryGuard>> guards_;
  struct {
    std::string path, bytes;
    bool existed;
  } templates_[2] = {{ProgramFolderPath("kexnew.dat"), "", false},
                     {ProgramFolderPath("zipnew.dat"), "", false}};
};

// --- The round trip ---------------------------------------------------------

// A previous owner's key: any mix of a foreign file type, a content type,
// other values and subkeys, and a New-menu entry of any kind; on the NT
// family with texts and names outside the code page and long names. Large
// data on both families.
RegistryKeySnapshot RandomKey(std::mt19937& random, bool volume) {
  auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  const bool nt = !testenv::IsWin9xFamily();
  RegistryKeySnapshot key;
  if (chance(80)) PutValue(key, L"", REG_SZ, Sz(chance(10) ? std::string(90, 'T') : "Other" + std::to_string(random() % 9)));
  if (chance(50)) PutValue(key, L"Content Type", REG_SZ, Sz(chance(15) ? "" : "application/x-other"));
  if (chance(30)) PutValue(key, L"PerceivedType", REG_SZ, Sz("compressed"));
  if (chance(20)) PutValue(key, L"EditFlags", REG_DWORD, std::string("\x01\x00\x01\x00", 4));
  if (chance(25)) PutValue(Put(key.subkeys, L"OpenWithProgids"), L"Other1", REG_NONE, "");
  if (volume || !chance(60)) return key;
  RegistryKeySnapshot& shell_new = Put(key.subkeys, L"ShellNew");
  if (chance(40)) PutValue(shell_new, L"FileName", REG_SZ, Sz(chance(20) ? "" : "other.tpl"));
  if (chance(40)) PutValue(shell_new, L"NullFile", REG_SZ, Sz(chance(15) ? "long enough text" : ""));
  if (chance(30)) {
    std::string data(chance(40) ? 4097 + random() % 60000 : 1 + random() % 40, 'D');
    for (char& byte : data) byte = static_cast<char>(random());
    PutValue(shell_new, L"Data", REG_BINARY, data);
  }
  if (chance(25)) PutValue(shell_new, L"Command", REG_EXPAND_SZ, Sz("%WINDIR%\\other.exe /n"));
  if (chance(25)) {
    const std::wstring texts[] = {L"@other.dll,-100", L"새 압축 파일", L"ทดสอบ"};
    PutValue(shell_new, L"ItemName", REG_SZ, Wz(texts[nt ? random() % 3 : 0]));
  }
  if (nt && chance(20)) PutValue(shell_new, std::wstring(256 + random() % 300, L'N') + L"名", REG_SZ, Wz(L"ทดสอบ"));
  if (chance(20)) PutValue(Put(shell_new.subkeys, L"Config"), L"Mode", REG_SZ, Sz("1"));
  return key;
}

// What a take-over and the give-back leave different in an extension's key
// (one line per difference the rules make); the rest must be as before.
void ApplyExceptions(KeyState& key, bool entry_written, bool zip, bool win9x) {
  if (!key.exists) return;  // a key that did not exist is deleted again
  // an existing key that had no default value comes back with an empty one
  if (!Find(key.tree.values, L"")) PutValue(key.tree, L"", REG_SZ, Sz(""));
  // an empty "Content Type" is not told from none, so it is not given back
  if (Find(key.tree.values, L"Content Type") && Text(key.tree, L"Content Type").empty())
    EraseValue(key.tree, L"Content Type");
  if (!entry_written) return;
  // the New-menu entry's ShellNew key stays, empty where there was none
  RegistryKeySnapshot& shell_new = Put(key.tree.subkeys, L"ShellNew");
  if (!win9x) return;
  // the 9x family's RegDeleteKeyA took the ShellNew key's subkeys along
  shell_new.subkeys.clear();
  // the 4.10 entry's "Data" stays unless the previous owner had one
  if (!Find(shell_new.values, L"Data")) PutValue(shell_new, L"Data", REG_BINARY, zip ? ZipBytes : KexBytes);
}

// The volume extensions after ".kex" was given back: each gets the previous
// file type (and content type) of ".kex", or is deleted when it had none.
void ApplyVolumeRule(KeyState& volume, int number, KeyState kex, bool win9x) {
  const bool taken_over = number < (win9x ? 100 : 30);
  const std::string type = Text(kex.tree, L""), content = Text(kex.tree, L"Content Type");
  if (!type.empty()) {
    volume.exists = true;
    PutValue(volume.tree, L"", REG_SZ, Sz(type));
    if (!content.empty()) PutValue(volume.tree, L"Content Type", REG_SZ, Sz(content));
    else if (taken_over) EraseValue(volume.tree, L"Content Type");
  } else if (!win9x && volume.exists && !volume.tree.subkeys.empty()) {
    // NT's single-key deletion leaves a key with subkeys as the take-over left it
    if (taken_over) PutValue(volume.tree, L"", REG_SZ, Sz("Zobrix"));
    if (taken_over) EraseValue(volume.tree, L"Content Type");
  } else {
    volume = KeyState();
  }
}

TEST_F(AssociationsTest, EveryExtensionGoesBackToItsPreviousOwner) {
  const bool win9x = testenv::IsWin9xFamily();
  for (unsigned seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, Settings));
    std::vector<KeyState> prior, volumes;
    RegistryKeySnapshot stale;
    PutValue(stale, L"Stale", REG_SZ, Sz("an older record's copy"));
    for (const auto& e : Extensions) {
      ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e.name));
      // an older version kept a copy for every extension: only .kex and .zip use one
      if (random() % 4 == 0) {
        ASSERT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, std::string(Settings) + "\\Setup\\" + e.name + "\\ShellNew", stale));
      }
      if (random() % 10 < 7) {
        ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, e.name, RandomKey(random, false)));
      }
      prior.push_back(ReadState(e.name));
    }
    for (int i = 0; i < 100; ++i) {
      ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, Volume(i)));
      const bool sampled = i == 0 || i == 7 || i == 29 || i == 30 || i == 64 || i == 99;
      if (sampled && random() % 2) {
        ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, Volume(i), RandomKey(random, true)));
      }
      volumes.push_back(ReadState(Volume(i)));
    }
    SetupOptions runs[2] = {};
    for (SetupOptions& options : runs) {
      for (bool& flag : options.Assoc) flag = random() % 2;
      options.ShellExt = random() % 2;
      UpdateAssociations(options);
    }
    UpdateAssociations(SetupOptions{});

    const KeyState kex = prior[0];
    std::string difference;
    for (size_t i = 0; i < prior.size() && difference.empty(); ++i) {
      const int row = Extensions[i].row;
      bool taken = false, entry = false;
      for (const SetupOptions& options : runs) {
        taken |= options.Assoc[row];
        entry |= row <= 1 && options.Assoc[row] && options.ShellExt;
      }
      if (taken) ApplyExceptions(prior[i], entry, row == 1, win9x);
      difference = Difference(Extensions[i].name, prior[i]);
    }
    for (int i = 0; i < 100 && difference.empty(); ++i) {
      if (runs[0].Assoc[0] || runs[1].Assoc[0]) ApplyVolumeRule(volumes[i], i, kex, win9x);
      difference = Difference(Volume(i), volumes[i]);
    }
    ASSERT_EQ(difference, "");
  }
}

// --- Direct cases -----------------------------------------------------------

TEST_F(AssociationsTest, OwnerIsSavedOnceWithItsShellNewValues) {
  RegistryKeySnapshot zip;
  PutValue(zip, L"", REG_SZ, Sz("Other.Zip"));
  PutValue(zip, L"Content Type", REG_SZ, Sz("application/zip"));
  RegistryKeySnapshot& shell_new = Put(zip.subkeys, L"ShellNew");
  PutValue(shell_new, L"NullFile", REG_SZ, Sz(""));
  PutValue(shell_new, L"ItemName", REG_SZ, Sz("@other.dll,-5"));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".zip", zip));
  UpdateAssociations(AllTypes(true));

  RegistryKeySnapshot expected, record;
  PutValue(expected, L"Exist", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  PutValue(expected, L"Type", REG_SZ, Sz("Other.Zip"));
  PutValue(expected, L"Content", REG_SZ, Sz("application/zip"));
  PutValue(expected, L"ShellNew", REG_SZ, Sz("*"));
  Put(expected.subkeys, L"ShellNew") = shell_new;
  ASSERT_TRUE(ReadKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.zip", &record));
  EXPECT_EQ(testenv::DescribeTreeDifference(expected, record), "");
  KeyState taken = ReadState(".zip");
  EXPECT_EQ(Text(taken.tree, L""), "Zobrix.ZIP");
  EXPECT_FALSE(Find(taken.tree.values, L"Content Type"));

  RegistryGuard records(HKEY_CURRENT_USER, Settings);
  UpdateAssociations(AllTypes(true));
  EXPECT_EQ(records.Changes(), "") << "a repeated setup changes no record";

  // a record without the copy (an older setup's) gives back what it says
  ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.zip\\ShellNew"));
  UpdateAssociations(SetupOptions{});
  Put(zip.subkeys, L"ShellNew").values.clear();
  PutValue(Put(zip.subkeys, L"ShellNew"), L"NullFile", REG_SZ, Sz(""));
  if (testenv::IsWin9xFamily()) PutValue(Put(zip.subkeys, L"ShellNew"), L"Data", REG_BINARY, ZipBytes);
  EXPECT_EQ(testenv::DescribeTreeDifference(zip, ReadState(".zip").tree), "");
}

TEST_F(AssociationsTest, ExtensionTakenByAnotherProgramIsLeftAloneAtGiveBack) {
  UpdateAssociations(AllTypes(true));
  RegistryKeySnapshot other;
  PutValue(other, L"", REG_SZ, Sz("Other.Type"));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".kex", other));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".zip", other));
  RegistryGuard kex(HKEY_CLASSES_ROOT, ".kex"), zip(HKEY_CLASSES_ROOT, ".zip"),
      first_volume(HKEY_CLASSES_ROOT, ".k00"), last_volume(HKEY_CLASSES_ROOT, ".k29");
  UpdateAssociations(SetupOptions{});
  for (const RegistryGuard* guard : {&kex, &zip, &first_volume, &last_volume}) EXPECT_EQ(guard->Changes(), "");
  EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, ".cab")) << "the others were given back";
}

// A take-over ended between creating an extension's key and writing its file
// type leaves an empty key; the give-back removes it only when the record
// says there was no key before, and only while it is still empty.
TEST_F(AssociationsTest, EmptyKeyOfAnUnfinishedTakeOverGoesWhenNoneWasThere) {
  UpdateAssociations(AllTypes(true));
  RegistryKeySnapshot empty, other;
  PutValue(other, L"PerceivedType", REG_SZ, Sz("compressed"));
  // none of them had a key before the take-over; .iso has lost its record
  for (const char* e : {".cab", ".arj", ".iso"}) ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".cab", empty));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".arj", other));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".iso", empty));
  ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, std::string(Settings) + "\\Setup\\.iso"));
  RegistryGuard arj(HKEY_CLASSES_ROOT, ".arj"), iso(HKEY_CLASSES_ROOT, ".iso");
  UpdateAssociations(SetupOptions{});
  EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, ".cab"));
  EXPECT_EQ(arj.Changes(), "") << "a value another program wrote";
  EXPECT_EQ(iso.Changes(), "") << "no record to say the key was not there";
}

TEST_F(AssociationsTest, IsOwnFileTypeTakesBothNamesInAnyCaseAndNothingTooLong) {
  for (const auto& c : std::vector<std::pair<std::string, bool>>{
           {"Zobrix", true}, {"zobrix.zip", true}, {"ZOBRIX.ZIP", true}, {"Zobrix.REV", false},
           {"Zobri", false}, {"Zobrix.ZIPX", false}, {std::string(80, 'Z'), false}}) {
    RegistryKeySnapshot key;
    PutValue(key, L"", REG_SZ, Sz(c.first));
    ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".iso", key));
    EXPECT_EQ(IsOwnFileType(".iso"), c.second) << c.first;
  }
}

TEST_F(AssociationsTest, NewMenuEntriesHoldEmptyArchives) {
  RegistryKeySnapshot kex;
  PutValue(Put(kex.subkeys, L"ShellNew"), L"Command", REG_SZ, Sz("other.exe /new"));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".kex", kex));
  UpdateAssociations(AllTypes(true));
  const bool win9x = testenv::IsWin9xFamily();
  for (const bool zip : {false, true}) {
    SCOPED_TRACE(zip ? ".zip" : ".kex");
    const std::string file = ProgramFolderPath(zip ? "zipnew.dat" : "kexnew.dat");
    RegistryKeySnapshot expected, shell_new;
    std::string bytes;
    ASSERT_TRUE(ReadKeyTree(HKEY_CLASSES_ROOT, zip ? ".zip\\ShellNew" : ".kex\\ShellNew", &shell_new));
    if (win9x) {  // 4.10: the bytes themselves, no file
      PutValue(expected, L"Data", REG_BINARY, zip ? ZipBytes : KexBytes);
      EXPECT_FALSE(testenv::PathExists(file));
      if (auto* data = Find(shell_new.values, L"Data")) bytes = data->data;
    } else {
      PutValue(expected, L"FileName", REG_SZ, Sz(file));
      EXPECT_TRUE(testenv::ReadFileBytes(file, &bytes));
    }
    EXPECT_EQ(testenv::DescribeTreeDifference(expected, shell_new), "");
    ASSERT_EQ(bytes, zip ? ZipBytes : KexBytes);
  }
  // the header's check value: the low half of the CRC-32 of offsets 9 to 19
  EXPECT_EQ(~Crc32(0xFFFFFFFFu, KexBytes.data() + 9, 11) & 0xFFFF, 0x90CFu);
  if (win9x) return;
  ASSERT_TRUE(testenv::WriteFileBytes(ProgramFolderPath("kexnew.dat"), "changed"));
  UpdateAssociations(AllTypes(true));
  std::string bytes;
  EXPECT_TRUE(testenv::ReadFileBytes(ProgramFolderPath("kexnew.dat"), &bytes));
  EXPECT_EQ(bytes, "changed") << "an existing template is not rewritten";
}

TEST_F(AssociationsTest, FileTypesOpenWithTheArchiverBesideTheProgram) {
  RegistryGuard guards[] = {{HKEY_CLASSES_ROOT, "Zobrix"}, {HKEY_CLASSES_ROOT, "Zobrix.ZIP"},
                            {HKEY_CLASSES_ROOT, "Zobrix.REV"}, {HKEY_CLASSES_ROOT, ".rev"}};
  RegisterFileTypes();
  const std::string archiver = ProgramFolderPath("Zobrix.exe"), open = "\"" + archiver + "\" \"%1\"";
  for (const auto& v : std::vector<std::pair<std::string, std::string>>{
           {".rev", "Zobrix.REV"}, {"Zobrix\\shell\\open\\command", open},
           {"Zobrix.ZIP\\shell\\open\\command", open}, {"Zobrix.REV\\shell\\open\\command", open},
           {"Zobrix\\DefaultIcon", archiver + ",0"}, {"Zobrix.ZIP\\DefaultIcon", archiver + ",0"},
           {"Zobrix.REV\\DefaultIcon", archiver + ",1"}}) {
    EXPECT_EQ(Text(ReadState(v.first).tree, L""), v.second) << v.first;
  }
}

}  // namespace
