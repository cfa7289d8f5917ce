// The setup choice in the product settings key, on both Windows families.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cwctype>
#include <cstring>
#include <ostream>
#include <string>

#include "app/setup_options.h"
#include "tests/support/registry_guard.h"

using testenv::KeyExists;
using testenv::RegistryGuard;
using testenv::RemoveKeyTree;

namespace {

const char SettingsKey[] = "Software\\Zobrix";

static_assert(offsetof(SetupOptions, Desktop) == 12, "flags in their order");
static_assert(offsetof(SetupOptions, MenuIcons) == 17, "flags in their order");

// The flags as their 18 bytes, in record order; each must be exactly 0 or 1.
std::string FlagBytes(const SetupOptions& options) {
  std::string bytes(sizeof(options), '\0');
  memcpy(&bytes[0], &options, sizeof(options));
  for (char& c : bytes) c = c == 0 ? '0' : c == 1 ? '1' : '?';
  return bytes;
}

SetupOptions Loaded() {
  SetupOptions options;
  memset(&options, 0xAA, sizeof(options));  // every flag must be filled in
  LoadSetupOptions(options);
  return options;
}

// Twelve types (kex .. iso), then Desktop StartMenu Programs ShellExt CascadedMenu MenuIcons.
const char FirstRunWithIso[] = "111111111111" "001101";
const char FirstRunWithoutIso[] = "111111111110" "001101";

bool WriteDword(const std::string& path, const char* name, DWORD value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// Who owns ".iso": no key, a key without a default value, or a file type.
enum class IsoKey { Missing, NoDefaultValue, Owner };

void SetIsoOwner(IsoKey state, const std::string& owner = "") {
  ASSERT_TRUE(RemoveKeyTree(HKEY_CLASSES_ROOT, ".iso"));
  if (state == IsoKey::Missing) return;
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".iso", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  if (state == IsoKey::Owner)
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(owner.c_str()),
                   static_cast<DWORD>(owner.size() + 1));
  RegCloseKey(key);
}

// Starts every test from an empty settings key and puts back the keys after.
class SetupOptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, SettingsKey));
    ASSERT_TRUE(WriteDword(SettingsKey, "Probe", 0));  // an existing, empty settings key
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Probe");
    RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(SetIsoOwner(IsoKey::Missing));
  }

  RegistryGuard settings_{HKEY_CURRENT_USER, SettingsKey};
  RegistryGuard iso_{HKEY_CLASSES_ROOT, ".iso"};
};

// --- First run --------------------------------------------------------------

struct IsoOwnerCase {
  const char* label;
  IsoKey state;
  std::string owner;
  bool iso_set;
};

const IsoOwnerCase IsoOwnerCases[] = {
    {"Unassociated", IsoKey::Missing, "", true},
    {"KeyWithoutDefaultValue", IsoKey::NoDefaultValue, "", true},
    {"EmptyOwner", IsoKey::Owner, "", true},
    {"Archiver", IsoKey::Owner, "Zobrix", true},
    {"ArchiverLowerCase", IsoKey::Owner, "zobrix", true},
    {"ArchiverUpperCase", IsoKey::Owner, "ZOBRIX", true},
    {"ArchiverZipType", IsoKey::Owner, "Zobrix.ZIP", true},
    {"ArchiverZipTypeLowerCase", IsoKey::Owner, "zobrix.zip", true},
    {"ArchiverZipTypeMixedCase", IsoKey::Owner, "ZoBrIx.ZiP", true},
    {"AnotherProgram", IsoKey::Owner, "OtherBurner.iso", false},
    {"ArchiverRecoveryTypeIsNotOurs", IsoKey::Owner, "Zobrix.REV", false},
    {"NameThatOnlyStartsLikeOurs", IsoKey::Owner, "ZobrixX", false},
    {"NameShorterThanOurs", IsoKey::Owner, "Zobri", false},
    {"AnotherProgramOf79Characters", IsoKey::Owner, std::string(79, 'o'), false},
    // The owner's name is read whole, however long.
    {"AnotherProgramOf80Characters", IsoKey::Owner, std::string(80, 'o'), false},
    {"AnotherProgramOf3000Characters", IsoKey::Owner, std::string(3000, 'o'), false},
};

void PrintTo(const IsoOwnerCase& c, std::ostream* os) { *os << c.label; }

class FirstRun : public SetupOptionsTest, public testing::WithParamInterface<IsoOwnerCase> {};

TEST_P(FirstRun, DefaultsAndTheIsoOwnershipRule) {
  const IsoOwnerCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(SetIsoOwner(c.state, c.owner));
  RegistryGuard iso_as_set(HKEY_CLASSES_ROOT, ".iso");
  for (bool settings_key_exists : {true, false}) {
    SCOPED_TRACE(settings_key_exists ? "empty settings key" : "no settings key");
    if (!settings_key_exists) {
      ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, SettingsKey));
    }
    EXPECT_EQ(FlagBytes(Loaded()), c.iso_set ? FirstRunWithIso : FirstRunWithoutIso);
  }
  EXPECT_EQ(iso_as_set.Changes(), "") << "loading only reads";
}

INSTANTIATE_TEST_SUITE_P(IsoOwners, FirstRun, testing::ValuesIn(IsoOwnerCases),
                         [](const testing::TestParamInfo<IsoOwnerCase>& info) {
                           return std::string(info.param.label);
                         });

// --- Stored values ----------------------------------------------------------

struct StoredIsoCase {
  const char* label;
  DWORD stored;
  IsoKey state;
  const char* owner;
  bool iso_set;
};

const StoredIsoCase StoredIsoCases[] = {
    {"ZeroUnassociated", 0, IsoKey::Missing, "", false},
    {"ZeroOwnedByArchiver", 0, IsoKey::Owner, "Zobrix", false},
    {"OneUnassociated", 1, IsoKey::Missing, "", true},
    {"OneOwnedByArchiver", 1, IsoKey::Owner, "zobrix.zip", true},
    {"OneOwnedByAnotherProgram", 1, IsoKey::Owner, "OtherBurner.iso", false},
    {"TwoUnassociated", 2, IsoKey::Missing, "", true},
};

void PrintTo(const StoredIsoCase& c, std::ostream* os) { *os << c.label; }

class StoredIso : public SetupOptionsTest, public testing::WithParamInterface<StoredIsoCase> {};

TEST_P(StoredIso, StoredChoiceThenOwnershipRule) {
  const StoredIsoCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(SetIsoOwner(c.state, c.owner));
  ASSERT_TRUE(WriteDword("Software\\Zobrix\\Setup\\.iso", "Set", c.stored));
  EXPECT_EQ(Loaded().Assoc[IsoTypeIndex], c.iso_set);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredIso, testing::ValuesIn(StoredIsoCases),
                         [](const testing::TestParamInfo<StoredIsoCase>& info) {
                           return std::string(info.param.label);
                         });

// Where each flag is stored, by its byte in the record.
struct FlagPlace {
  int index;
  const char* key;
  const char* value;
};

const FlagPlace FlagPlaces[] = {
    {0, "Setup\\.kex", "Set"},       {1, "Setup\\.zip", "Set"},
    {2, "Setup\\.cab", "Set"},       {3, "Setup\\.arj", "Set"},
    {4, "Setup\\.lzh", "Set"},       {5, "Setup\\.ace", "Set"},
    {6, "Setup\\.tar", "Set"},       {7, "Setup\\.gz", "Set"},
    {8, "Setup\\.uue", "Set"},       {9, "Setup\\.bz2", "Set"},
    {10, "Setup\\.jar", "Set"},      {11, "Setup\\.iso", "Set"},
    {12, "Setup\\Links", "Desktop"}, {13, "Setup\\Links", "StartMenu"},
    {14, "Setup\\Links", "Programs"}, {15, "Setup", "ShellExt"},
    {16, "Setup", "CascadedMenu"},   {17, "Setup", "MenuIcons"},
};

TEST_F(SetupOptionsTest, EachFlagReadsItsOwnValueAndAnyNonZeroIsSet) {
  for (const FlagPlace& place : FlagPlaces) {
    for (DWORD stored : {0u, 1u, 2u, 0x80000000u}) {
      SCOPED_TRACE(std::string(place.key) + " " + place.value + " = " + std::to_string(stored));
      ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, SettingsKey));
      ASSERT_TRUE(WriteDword(std::string(SettingsKey) + "\\" + place.key, place.value, stored));
      std::string expected = FirstRunWithIso;
      expected[place.index] = stored != 0 ? '1' : '0';
      EXPECT_EQ(FlagBytes(Loaded()), expected);
    }
  }
}

// --- Saving -----------------------------------------------------------------

SetupOptions FromBytes(const char* flags) {
  SetupOptions options;
  bool* field = reinterpret_cast<bool*>(&options);
  for (size_t i = 0; i < sizeof(options); ++i) field[i] = flags[i] == '1';
  return options;
}

// The settings key tree that SaveSetupOptions should leave behind.
testenv::RegistryKeySnapshot ExpectedTree(const char* flags) {
  testenv::RegistryKeySnapshot setup;
  setup.name = L"Setup";
  auto value = [flags](const wchar_t* name, int index) {
    testenv::RegistryValueSnapshot v;
    v.name = name;
    v.type = REG_DWORD;
    const DWORD number = flags[index] == '1' ? 1 : 0;
    v.data.assign(reinterpret_cast<const char*>(&number), 4);
    return v;
  };
  const wchar_t* const extensions[] = {L".kex", L".zip", L".cab", L".arj", L".lzh", L".ace",
                                       L".tar", L".gz",  L".uue", L".bz2", L".jar"};
  for (int i = 0; i < 11; ++i) {
    testenv::RegistryKeySnapshot type;
    type.name = extensions[i];
    type.values.push_back(value(L"Set", i));
    setup.subkeys.push_back(type);
  }
  testenv::RegistryKeySnapshot links;
  links.name = L"Links";
  links.values = {value(L"Desktop", 12), value(L"Programs", 14), value(L"StartMenu", 13)};
  setup.subkeys.push_back(links);
  setup.values = {value(L"CascadedMenu", 16), value(L"MenuIcons", 17), value(L"ShellExt", 15)};
  // Sorted by name, ignoring case, as snapshots are.
  std::sort(setup.subkeys.begin(), setup.subkeys.end(),
            [](const testenv::RegistryKeySnapshot& a, const testenv::RegistryKeySnapshot& b) {
              std::wstring x = a.name, y = b.name;
              for (wchar_t& c : x) c = static_cast<wchar_t>(std::towupper(c));
              for (wchar_t& c : y) c = static_cast<wchar_t>(std::towupper(c));
              return x < y;
            });
  testenv::RegistryKeySnapshot top;
  top.subkeys.push_back(setup);
  return top;
}

const char* const SavedRecords[] = {
    "000000000000" "000000",
    "111111111111" "111111",
    "101010101010" "101010",
    "010101010101" "010101",
    FirstRunWithIso,
};

TEST_F(SetupOptionsTest, SaveWritesElevenTypesAndSixFlagsButNeverIso) {
  for (const char* flags : SavedRecords) {
    SCOPED_TRACE(flags);
    ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, SettingsKey));
    SaveSetupOptions(FromBytes(flags));
    testenv::RegistryKeySnapshot tree;
    ASSERT_TRUE(testenv::ReadKeyTree(HKEY_CURRENT_USER, SettingsKey, &tree));
    EXPECT_EQ(testenv::DescribeTreeDifference(ExpectedTree(flags), tree), "");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.iso"));
  }
}

TEST_F(SetupOptionsTest, SaveLeavesAStoredIsoChoiceAlone) {
  ASSERT_TRUE(WriteDword("Software\\Zobrix\\Setup\\.iso", "Set", 0));
  SaveSetupOptions(FromBytes("111111111111" "111111"));
  testenv::RegistryKeySnapshot iso;
  ASSERT_TRUE(testenv::ReadKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\.iso", &iso));
  ASSERT_EQ(iso.values.size(), 1u);
  EXPECT_EQ(iso.values[0].data, std::string(4, '\0'));
  EXPECT_FALSE(Loaded().Assoc[IsoTypeIndex]);
}

TEST_F(SetupOptionsTest, SavedRecordLoadsBack) {
  for (const char* flags : SavedRecords) {
    SCOPED_TRACE(flags);
    for (IsoKey iso : {IsoKey::Missing, IsoKey::Owner}) {
      ASSERT_NO_FATAL_FAILURE(SetIsoOwner(iso, "OtherBurner.iso"));
      ASSERT_TRUE(RemoveKeyTree(HKEY_CURRENT_USER, SettingsKey));
      SaveSetupOptions(FromBytes(flags));
      std::string expected = flags;
      expected[IsoTypeIndex] = iso == IsoKey::Missing ? '1' : '0';  // not stored: its default
      EXPECT_EQ(FlagBytes(Loaded()), expected);
    }
  }
}

}  // namespace
