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
const char Offers[] = "Software\\Zobrix\\Capabilities\\FileAssociations";  // below HKLM

std::string Volume(int n) { return std::string(".k") + char('0' + n / 10) + char('0' + n % 10); }

// REG_SZ data of any text as the wide registry functions store it; Sz from UTF-8.
std::string Wz(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}
std::string Sz(const std::string& utf8) { return Wz(testenv::Widen(utf8)); }

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
template <typename T>
void Erase(std::vector<T>& items, const std::wstring& name) {
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const T& item) { return _wcsicmp(item.name.c_str(), name.c_str()) == 0; }),
              items.end());
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
    guards_.emplace_back(new RegistryGuard(HKEY_LOCAL_MACHINE, Settings));
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

// A value of any registry type, up to a few thousand bytes. Texts hold
// characters outside the code page, empty strings and odd byte counts on
// the NT family; on the 9x family, whose calls carry texts in the code
// page, they are ASCII and well formed.
std::pair<DWORD, std::string> RandomValue(std::mt19937& random) {
  const bool nt = !testenv::IsWin9xFamily();
  const DWORD types[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE, REG_QWORD};
  const DWORD type = types[random() % 7];
  const size_t length = random() % 4 == 0 ? 256 + random() % 3800 : random() % 40;
  std::string data(type == REG_DWORD ? 4 : type == REG_QWORD ? 8 : length, '\0');
  for (char& byte : data) byte = static_cast<char>(random());
  if (type == REG_DWORD || type == REG_QWORD || type == REG_BINARY || type == REG_NONE) return {type, data};
  std::wstring text;
  for (size_t i = 0; i < length / 2; ++i) {
    wchar_t c = static_cast<wchar_t>(nt && random() % 3 == 0 ? 0xAC00 + random() % 200 : 'a' + random() % 26);
    if (type == REG_MULTI_SZ && i > 0 && text.back() != L'\0' && random() % 8 == 0) c = L'\0';
    text += c;
  }
  data = Wz(text);
  if (type == REG_MULTI_SZ) data += std::string(2, '\0');
  if (nt && data.size() > 4 && random() % 10 == 0) data.pop_back();  // stored by another program without care
  return {type, data};
}

// A previous owner's key: any mix of a foreign file type, a content type,
// other values and subkeys, and a New-menu entry of any kind; on the NT
// family with texts and names outside the code page and long names. Large
// data on both families.
RegistryKeySnapshot RandomKey(std::mt19937& random, bool volume) {
  auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  const bool nt = !testenv::IsWin9xFamily();
  RegistryKeySnapshot key;
  if (chance(80)) {
    auto value = chance(50) ? std::make_pair(DWORD(REG_SZ), Sz("Other" + std::to_string(random() % 9))) : RandomValue(random);
    PutValue(key, L"", value.first, value.second);
  }
  if (chance(50)) {
    auto value = chance(40) ? std::make_pair(DWORD(REG_SZ), Sz(chance(15) ? "" : "application/x-other")) : RandomValue(random);
    PutValue(key, L"Content Type", value.first, value.second);
  }
  if (chance(30)) PutValue(key, L"PerceivedType", REG_SZ, Sz("compressed"));
  if (chance(20)) PutValue(key, L"EditFlags", REG_DWORD, std::string("\x01\x00\x01\x00", 4));
  if (chance(15)) Put(key.subkeys, L"OpenWithProgids");  // empty, or with other programs' offers
  if (chance(30)) PutValue(Put(key.subkeys, L"OpenWithProgids"), chance(50) ? L"Other1" : L"Zobrix.Other", REG_NONE, "");
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

// The first difference from the expected states of the extensions, the volume
// extensions and the archiver's capabilities.
std::string Difference(const std::vector<KeyState>& keys, const std::vector<KeyState>& volumes,
                       const RegistryKeySnapshot& offers) {
  std::string difference;
  for (size_t i = 0; i < keys.size() && difference.empty(); ++i) difference = Difference(Extensions[i].name, keys[i]);
  for (int i = 0; i < 100 && difference.empty(); ++i) difference = Difference(Volume(i), volumes[i]);
  RegistryKeySnapshot offered;
  ReadKeyTree(HKEY_LOCAL_MACHINE, Offers, &offered);
  return difference + testenv::DescribeTreeDifference(offers, offered);
}

// A first take-over, from the rules: each extension of a chosen row names the
// archiver's file type, has no content type and, from NT 6 on (Wine reports
// 6.1), offers the archiver under "OpenWithProgids" and in its capabilities;
// the New-menu entry replaces the ShellNew key (NT does not delete a key with
// subkeys, so the old values stay beside it); the first 30 (NT) or 100 (9x)
// volume extensions name "Zobrix". Everything else stays as it was.
void ApplyTakeOver(std::vector<KeyState>& keys, std::vector<KeyState>& volumes, RegistryKeySnapshot& offers,
                   const SetupOptions& options, bool win9x) {
  for (size_t i = 0; i < keys.size(); ++i) {
    const int row = Extensions[i].row;
    const std::string type = row == 1 ? "Zobrix.ZIP" : "Zobrix";
    if (!options.Assoc[row]) continue;
    keys[i].exists = true;
    PutValue(keys[i].tree, L"", REG_SZ, Sz(type));
    Erase(keys[i].tree.values, L"Content Type");
    if (!win9x) PutValue(Put(keys[i].tree.subkeys, L"OpenWithProgids"), testenv::Widen(type), REG_NONE, "");
    if (!win9x) PutValue(offers, testenv::Widen(Extensions[i].name), REG_SZ, Sz(type));
    if (row > 1 || !options.ShellExt) continue;
    RegistryKeySnapshot& shell_new = Put(keys[i].tree.subkeys, L"ShellNew");
    if (win9x || shell_new.subkeys.empty()) shell_new.values.clear(), shell_new.subkeys.clear();
    if (win9x) PutValue(shell_new, L"Data", REG_BINARY, row ? ZipBytes : KexBytes);
    else PutValue(shell_new, L"FileName", REG_SZ, Sz(ProgramFolderPath(row ? "zipnew.dat" : "kexnew.dat")));
  }
  for (int i = 0; i < (win9x ? 100 : 30) && options.Assoc[0]; ++i) {
    volumes[i].exists = true;
    PutValue(volumes[i].tree, L"", REG_SZ, Sz("Zobrix"));
    Erase(volumes[i].tree.values, L"Content Type");
  }
}

// What a take-over and the give-back leave different in an extension's key
// (one line per difference the rules make); the rest must be as before.
void ApplyExceptions(KeyState& key, bool entry_written, bool zip, bool win9x) {
  // a key that did not exist is deleted again; the default value and
  // "Content Type" come back exactly, or stay missing
  if (!key.exists || !entry_written) return;
  // the New-menu entry's ShellNew key stays, empty where there was none
  RegistryKeySnapshot& shell_new = Put(key.tree.subkeys, L"ShellNew");
  if (!win9x) return;
  // the 9x family's RegDeleteKeyA took the ShellNew key's subkeys along
  shell_new.subkeys.clear();
  // the 4.10 entry's "Data" stays unless the previous owner had one
  if (!Find(shell_new.values, L"Data")) PutValue(shell_new, L"Data", REG_BINARY, zip ? ZipBytes : KexBytes);
}

// The volume extensions after ".kex" was given back: each gets the previous
// file type (and content type) of ".kex" exactly, or is deleted when it had
// none: no value, no data, or a text whose first character ends it.
void ApplyVolumeRule(KeyState& volume, int number, KeyState kex, bool win9x) {
  const bool taken_over = number < (win9x ? 100 : 30);
  const auto *type = Find(kex.tree.values, L""), *content = Find(kex.tree.values, L"Content Type");
  const bool text = type && (type->type == REG_SZ || type->type == REG_EXPAND_SZ || type->type == REG_MULTI_SZ);
  if (type && !type->data.empty() && !(text && type->data.compare(0, 2, std::string(2, '\0')) == 0 )) {
    volume.exists = true;
    PutValue(volume.tree, L"", type->type, type->data);
    if (content) PutValue(volume.tree, L"Content Type", content->type, content->data);
    else if (taken_over) Erase(volume.tree.values, L"Content Type");
  } else if (!win9x && volume.exists && !volume.tree.subkeys.empty()) {
    // NT's single-key deletion leaves a key with subkeys as the take-over left it
    if (taken_over) PutValue(volume.tree, L"", REG_SZ, Sz("Zobrix"));
    if (taken_over) Erase(volume.tree.values, L"Content Type");
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
    ASSERT_TRUE(RemoveKeyTree(HKEY_LOCAL_MACHINE, Settings));
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
      if (&options != runs) continue;
      std::vector<KeyState> keys = prior, taken = volumes;
      RegistryKeySnapshot offers;
      ApplyTakeOver(keys, taken, offers, options, win9x);
      ASSERT_EQ(Difference(keys, taken, offers), "") << "after the first take-over";
    }
    UpdateAssociations(SetupOptions{});

    const KeyState kex = prior[0];
    for (size_t i = 0; i < prior.size(); ++i) {
      const int row = Extensions[i].row;
      bool taken = false, entry = false;
      for (const SetupOptions& options : runs) {
        taken |= options.Assoc[row];
        entry |= row <= 1 && options.Assoc[row] && options.ShellExt;
      }
      if (taken) ApplyExceptions(prior[i], entry, row == 1, win9x);
    }
    for (int i = 0; i < 100 && (runs[0].Assoc[0] || runs[1].Assoc[0]); ++i)
      ApplyVolumeRule(volumes[i], i, kex, win9x);
    ASSERT_EQ(Difference(prior, volumes, RegistryKeySnapshot()), "");
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
  // the exact copies, and the mark that says the record holds them
  PutValue(expected, L"Exact", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  PutValue(expected, L"PreviousType", REG_SZ, Sz("Other.Zip"));
  PutValue(expected, L"PreviousContentType", REG_SZ, Sz("application/zip"));
  // NT 6 and later: the take-over created .zip\OpenWithProgids
  if (!testenv::IsWin9xFamily()) PutValue(expected, L"OpenWithProgids", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  Put(expected.subkeys, L"ShellNew") = shell_new;
  ASSERT_TRUE(ReadKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.zip", &record));
  EXPECT_EQ(testenv::DescribeTreeDifference(expected, record), "");

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

// Only the archiver's own "OpenWithProgids" value goes, and the key that the
// take-over created once nothing else is in it.
TEST_F(AssociationsTest, ExtensionTakenByAnotherProgramIsLeftAloneAtGiveBack) {
  UpdateAssociations(AllTypes(true));
  RegistryKeySnapshot other;
  PutValue(other, L"", REG_SZ, Sz("Other.Type"));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".kex", other));
  PutValue(Put(other.subkeys, L"OpenWithProgids"), L"Other.Type", REG_NONE, "");
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".zip", other));
  KeyState kex = ReadState(".kex"), zip = ReadState(".zip");
  RegistryGuard first_volume(HKEY_CLASSES_ROOT, ".k00"), last_volume(HKEY_CLASSES_ROOT, ".k29");
  UpdateAssociations(SetupOptions{});
  Erase(kex.tree.subkeys, L"OpenWithProgids");
  Erase(Put(zip.tree.subkeys, L"OpenWithProgids").values, L"Zobrix.ZIP");
  EXPECT_EQ(Difference(".kex", kex) + Difference(".zip", zip), "");
  for (const RegistryGuard* guard : {&first_volume, &last_volume}) EXPECT_EQ(guard->Changes(), "");
  EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, ".cab")) << "the others were given back";
}

// The give-back as the record says. A take-over ended between creating an
// extension's key and writing its file type leaves an empty key, which goes
// only when the record says there was no key and only while it is empty. A
// saved type naming the archiver, in any letter case, counts as none, and so
// does a missing record: an empty file type, and for .kex no volume extensions.
TEST_F(AssociationsTest, GiveBackFollowsTheRecord) {
  RegistryKeySnapshot empty, other, prior, saved;
  PutValue(other, L"PerceivedType", REG_SZ, Sz("compressed"));
  PutValue(prior, L"", REG_SZ, Sz("Other.Type"));
  PutValue(prior, L"Content Type", REG_SZ, Sz("application/x-other"));
  PutValue(saved, L"Type", REG_SZ, Sz("zOBRIX"));
  PutValue(saved, L"Exact", REG_DWORD, std::string(4, '\0'));  // as an earlier version wrote none
  RegistryKeySnapshot exact;  // the same rule for an exact record
  PutValue(exact, L"Exist", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  PutValue(exact, L"PreviousType", REG_SZ, Sz("ZOBRIX.zip"));
  for (const char* e : {".kex", ".zip"}) ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, e, prior));
  UpdateAssociations(AllTypes(false));
  // none of them had a key before the take-over; .iso and .kex lose their records
  for (const char* e : {".cab", ".arj", ".iso"}) ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, e));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".cab", empty));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".arj", other));
  ASSERT_TRUE(WriteKeyTree(HKEY_CLASSES_ROOT, ".iso", empty));
  for (const char* e : {".iso", ".kex"}) ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, std::string(Settings) + "\\Setup\\" + e));
  ASSERT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, std::string(Settings) + "\\Setup\\.zip", saved));
  ASSERT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, std::string(Settings) + "\\Setup\\.tar", exact));
  RegistryGuard arj(HKEY_CLASSES_ROOT, ".arj"), iso(HKEY_CLASSES_ROOT, ".iso");
  UpdateAssociations(SetupOptions{});
  EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, ".cab"));
  EXPECT_EQ(arj.Changes(), "") << "a value another program wrote";
  EXPECT_EQ(iso.Changes(), "") << "no record to say the key was not there";
  KeyState kex = {true, {}}, zip = {true, prior}, tar = {true, {}};
  PutValue(kex.tree, L"", REG_SZ, Sz(""));
  PutValue(zip.tree, L"", REG_SZ, Sz(""));
  PutValue(tar.tree, L"", REG_SZ, Sz(""));
  // nothing says that the take-over created .kex\OpenWithProgids (NT 6 and later)
  if (!testenv::IsWin9xFamily()) Put(kex.tree.subkeys, L"OpenWithProgids");
  EXPECT_EQ(Difference(".kex", kex) + Difference(".zip", zip) + Difference(".tar", tar), "");
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(testenv::KeyExists(HKEY_CLASSES_ROOT, Volume(i))) << Volume(i);
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

// The template the New-menu entry names (NT) or holds (9x), read back as the
// shell gets it: an empty archive by its format's rules. The round trip checks
// the entries themselves.
TEST_F(AssociationsTest, NewMenuEntriesHoldEmptyArchives) {
  UpdateAssociations(AllTypes(true));
  const bool win9x = testenv::IsWin9xFamily();
  std::string kex, zip;
  for (std::string* bytes : {&kex, &zip}) {
    const std::string file = ProgramFolderPath(bytes == &zip ? "zipnew.dat" : "kexnew.dat");
    RegistryKeySnapshot shell_new;
    ReadKeyTree(HKEY_CLASSES_ROOT, bytes == &zip ? ".zip\\ShellNew" : ".kex\\ShellNew", &shell_new);
    if (auto* data = Find(shell_new.values, L"Data")) *bytes = data->data;  // 4.10: no file
    // 4.10 names no file: the NT suite, which may run at the same time beside
    // the same test program, writes one there, so the 9x check reads the key.
    if (win9x)
      EXPECT_EQ(Find(shell_new.values, L"FileName"), nullptr) << ".ShellNew names " << file;
    else
      EXPECT_TRUE(testenv::ReadFileBytes(file, bytes)) << file;
  }
  // ZIP: the end-of-central-directory record alone, every field zero
  EXPECT_EQ(zip, std::string("PK\x05\x06") + std::string(18, '\0'));
  // KEX: the marker, then a main header (type 0x73, no flags, 13 bytes) whose
  // check value is the low half of the CRC-32 of the header after it
  ASSERT_EQ(kex.size(), 20u);
  EXPECT_EQ(kex.substr(0, 7), std::string("Kex!\x1A\x07\x00", 7));
  EXPECT_EQ(kex.substr(9, 5), std::string("\x73\x00\x00\x0D\x00", 5));
  EXPECT_EQ(~Crc32(0xFFFFFFFFu, kex.data() + 9, 11) & 0xFFFF,
            static_cast<unsigned char>(kex[7]) | static_cast<unsigned char>(kex[8]) << 8);
  if (win9x) return;
  ASSERT_TRUE(testenv::WriteFileBytes(ProgramFolderPath("kexnew.dat"), "changed"));
  UpdateAssociations(AllTypes(true));
  EXPECT_TRUE(testenv::ReadFileBytes(ProgramFolderPath("kexnew.dat"), &kex));
  EXPECT_EQ(kex, "changed") << "an existing template is not rewritten";
}

TEST_F(AssociationsTest, FileTypesOpenWithTheArchiverBesideTheProgram) {
  RegistryGuard guards[] = {{HKEY_CLASSES_ROOT, "Zobrix"}, {HKEY_CLASSES_ROOT, "Zobrix.ZIP"},
                            {HKEY_CLASSES_ROOT, "Zobrix.REV"}, {HKEY_CLASSES_ROOT, ".rev"}};
  RegisterFileTypes();
  const std::string archiver = ProgramFolderPath("Zobrix.exe"), open = "\"" + archiver + "\" \"%1\"";
  for (const auto& v : std::vector<std::pair<std::string, std::string>>{
           {"Zobrix", "Zobrix 压缩文件"}, {"Zobrix.ZIP", "Zobrix ZIP 压缩文件"}, {"Zobrix.REV", "KEX 恢复卷"},
           {".rev", "Zobrix.REV"}, {"Zobrix\\shell\\open\\command", open},
           {"Zobrix.ZIP\\shell\\open\\command", open}, {"Zobrix.REV\\shell\\open\\command", open},
           {"Zobrix\\DefaultIcon", archiver + ",0"}, {"Zobrix.ZIP\\DefaultIcon", archiver + ",0"},
           {"Zobrix.REV\\DefaultIcon", archiver + ",1"}}) {
    KeyState key = ReadState(v.first);
    EXPECT_EQ(Find(key.tree.values, L"") ? Find(key.tree.values, L"")->data : "", Sz(v.second)) << v.first;
  }
}

}  // namespace
