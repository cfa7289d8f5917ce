// The registry layer against Wine's real registry, on both Windows families.
// Every test records the keys it touches and puts them back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/os_version.h"
#include "registry/key_path.h"
#include "registry/registry.h"
#include "tests/support/registry_guard.h"
#include "tests/support/wine_env.h"

using testenv::KeyExists;
using testenv::RegistryGuard;

namespace {

const char SettingsKey[] = "Software\\Zobrix";
const char MachineTestKey[] = "Software\\ZobrixRegistryTest";
const char ClassesTestKey[] = "ZobrixRegistryTest";

// A value as stored, read with the plain Win32 call.
struct RawValue {
  bool found = false;
  DWORD type = REG_NONE;
  std::string data;
};

RawValue ReadRaw(HKEY hive, const std::string& path, const char* name) {
  RawValue value;
  HKEY key;
  if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
  char data[4096];
  DWORD size = sizeof(data);
  if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    value.found = true;
    value.data.assign(data, size);
  }
  RegCloseKey(key);
  return value;
}

bool WriteRaw(HKEY hive, const std::string& path, const char* name, DWORD type,
              const std::string& data) {
  HKEY key;
  if (RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const bool ok = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool MakeKey(HKEY hive, const std::string& path) {
  return WriteRaw(hive, path, "Mark", REG_SZ, std::string("here", 5));
}

// Through the wide call, which takes key paths of any length.
bool MakeDeepKey(HKEY hive, const std::string& path) {
  testenv::RegistryKeySnapshot empty;
  return testenv::WriteKeyTree(hive, path, empty);
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// A hive with a test key below it: the key text that the layer takes, and
// the full path that Windows sees.
struct HiveCase {
  const char* label;
  HKEY hive;
  const char* text_prefix;  // key text of the test key
  const char* path_prefix;  // its full path
};

const HiveCase HiveCases[] = {
    {"CurrentUser", HKEY_CURRENT_USER, "RegistryTest", "Software\\Zobrix\\RegistryTest"},
    {"LocalMachine", HKEY_LOCAL_MACHINE, MachineTestKey, MachineTestKey},
    {"ClassesRoot", HKEY_CLASSES_ROOT, ClassesTestKey, ClassesTestKey},
};

void PrintTo(const HiveCase& c, std::ostream* os) { *os << c.label; }

std::string HiveCaseName(const testing::TestParamInfo<HiveCase>& info) {
  return info.param.label;
}

// Puts back every key that the tests below may touch.
class RegistryTest : public testing::Test {
 protected:
  RegistryGuard settings_{HKEY_CURRENT_USER, SettingsKey};
  RegistryGuard user_outside_{HKEY_CURRENT_USER, "Software\\ZobrixRegistryTest"};
  RegistryGuard machine_{HKEY_LOCAL_MACHINE, MachineTestKey};
  RegistryGuard classes_{HKEY_CLASSES_ROOT, ClassesTestKey};
};

class RegistryHiveTest : public RegistryTest, public testing::WithParamInterface<HiveCase> {
 protected:
  // A key text of exactly the given length below the test key.
  std::string TextOfLength(size_t length) const {
    std::string text = std::string(GetParam().text_prefix) + "\\";
    return text + std::string(length - text.size(), 'L');
  }
  std::string PathOf(const std::string& text) const {
    return std::string(GetParam().path_prefix) + text.substr(strlen(GetParam().text_prefix));
  }
};

// --- Key texts ------------------------------------------------------------

TEST_P(RegistryHiveTest, KeyTextOf236CharactersIsAccepted) {
  const HKEY hive = GetParam().hive;
  const std::string text = TextOfLength(236);
  ASSERT_EQ(text.size(), 236u);
  EXPECT_TRUE(SetRegString(hive, text.c_str(), "Name", "data"));
  EXPECT_TRUE(SetRegDword(hive, text.c_str(), "Number", 7));
  const RawValue raw = ReadRaw(hive, PathOf(text), "Name");
  EXPECT_TRUE(raw.found);
  EXPECT_EQ(raw.data, std::string("data", 5));

  char out[256];
  EXPECT_TRUE(GetRegString(hive, text.c_str(), "Name", out, "default", sizeof(out)));
  EXPECT_STREQ(out, "data");
  EXPECT_EQ(GetRegDword(hive, text.c_str(), "Number", 1), 7u);
  EXPECT_TRUE(RegKeyExists(hive, text.c_str()));

  DeleteRegValue(hive, text.c_str(), "Name");
  EXPECT_FALSE(ReadRaw(hive, PathOf(text), "Name").found);
  DeleteRegKey(hive, text.c_str());
  EXPECT_FALSE(KeyExists(hive, PathOf(text)));
}

// The key exists with values and a subkey, yet a text one character too long
// reaches none of it: writes write nothing, reads give the default, deletions
// delete nothing.
TEST_P(RegistryHiveTest, KeyTextOf237CharactersIsRefused) {
  const HKEY hive = GetParam().hive;
  const std::string text = TextOfLength(237);
  ASSERT_EQ(text.size(), 237u);
  ASSERT_TRUE(WriteRaw(hive, PathOf(text), "Name", REG_SZ, std::string("stored", 7)));
  ASSERT_TRUE(WriteRaw(hive, PathOf(text), "Number", REG_DWORD, Dword(7)));
  ASSERT_TRUE(MakeKey(hive, PathOf(text) + "\\Sub"));
  RegistryGuard untouched(hive, GetParam().path_prefix);

  EXPECT_FALSE(SetRegString(hive, text.c_str(), "New", "x"));
  EXPECT_FALSE(SetRegDword(hive, text.c_str(), "Number", 9));
  EXPECT_FALSE(SetRegBinary(hive, text.c_str(), "Bin", "ab", 2));

  char out[256];
  EXPECT_FALSE(GetRegString(hive, text.c_str(), "Name", out, "default", sizeof(out)));
  EXPECT_STREQ(out, "default");
  DWORD number = 0;
  EXPECT_FALSE(QueryRegDword(hive, text.c_str(), "Number", &number, 3));
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(GetRegDword(hive, text.c_str(), "Number", 4), 4u);
  EXPECT_FALSE(RegKeyExists(hive, text.c_str()));

  DeleteRegValue(hive, text.c_str(), "Name");
  DeleteRegKey(hive, text.c_str());
  DeleteRegTree(hive, text.c_str());
  EXPECT_EQ(untouched.Changes(), "");
}

INSTANTIATE_TEST_SUITE_P(Hives, RegistryHiveTest, testing::ValuesIn(HiveCases), HiveCaseName);

TEST_F(RegistryTest, UserTextsAreBelowTheSettingsKey) {
  EXPECT_TRUE(SetUserRegDword("", "AtTop", 5));
  EXPECT_TRUE(SetUserRegString("Setup\\Links", "Name", "x"));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, SettingsKey, "AtTop").data, Dword(5));
  EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup\\Links", "Name").found);
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "Setup"));
}

TEST_F(RegistryTest, UserTextWithLeadingBackslashIsBelowTheHive) {
  EXPECT_TRUE(SetUserRegString("\\Software\\ZobrixRegistryTest\\Out", "Name", "x"));
  EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, "Software\\ZobrixRegistryTest\\Out", "Name").found);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Zobrix\\Software"));
  char out[8];
  EXPECT_TRUE(GetUserRegString("\\Software\\ZobrixRegistryTest\\Out", "Name", out, "", sizeof(out)));
  EXPECT_STREQ(out, "x");
}

// --- Writes ---------------------------------------------------------------

TEST_F(RegistryTest, SetRegStringStoresTheTerminator) {
  const std::string texts[] = {"", "a", "Zobrix", "\xD6\xD0\xCE\xC4", std::string(255, 's')};
  for (const std::string& text : texts) {
    SCOPED_TRACE("text of " + std::to_string(text.size()) + " bytes");
    EXPECT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ClassesTestKey, "Text", text.c_str()));
    const RawValue raw = ReadRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "Text");
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.data, std::string(text.c_str(), text.size() + 1));  // length n + 1
  }
}

TEST_F(RegistryTest, SetRegStringCreatesMissingParents) {
  EXPECT_TRUE(SetUserRegString("A\\B\\C", "", "deep"));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, "Software\\Zobrix\\A\\B\\C", "").data, std::string("deep", 5));
}

TEST_F(RegistryTest, SetRegDwordStoresFourLittleEndianBytes) {
  EXPECT_TRUE(SetUserRegDword("Setup", "Number", 0x12345678));
  const RawValue raw = ReadRaw(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup", "Number");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(raw.data, std::string("\x78\x56\x34\x12", 4));
}

TEST_F(RegistryTest, SetRegBinaryStoresExactlyTheBytes) {
  const std::string cases[] = {std::string("\0\1\0\xFF", 4), std::string(), std::string(300, 'b')};
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(std::to_string(bytes.size()) + " bytes");
    EXPECT_TRUE(SetRegBinary(HKEY_LOCAL_MACHINE, MachineTestKey, "Bin", bytes.data(),
                             static_cast<DWORD>(bytes.size())));
    const RawValue raw = ReadRaw(HKEY_LOCAL_MACHINE, MachineTestKey, "Bin");
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(raw.data, bytes);
  }
}

TEST_F(RegistryTest, WriteReplacesAValueOfAnotherType) {
  ASSERT_TRUE(SetUserRegDword("", "Value", 1));
  EXPECT_TRUE(SetUserRegString("", "Value", "text"));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, SettingsKey, "Value").type, static_cast<DWORD>(REG_SZ));
}

// --- String reads ---------------------------------------------------------

TEST_F(RegistryTest, GetRegStringOfMissingKeyOrValueGivesTheDefault) {
  char out[32];
  memset(out, 'x', sizeof(out));
  EXPECT_FALSE(GetRegString(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\Missing", "", out, "dflt",
                            sizeof(out)));
  EXPECT_STREQ(out, "dflt");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\Missing"));

  ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, ClassesTestKey));
  memset(out, 'x', sizeof(out));
  EXPECT_FALSE(GetRegString(HKEY_CLASSES_ROOT, ClassesTestKey, "NoSuchValue", out, "", sizeof(out)));
  EXPECT_STREQ(out, "");
}

struct StringReadCase {
  const char* label;
  DWORD type;
  std::string stored;
  DWORD size;
  bool found;
  std::string expected;  // the text in the buffer afterwards
};

void PrintTo(const StringReadCase& c, std::ostream* os) { *os << c.label; }

const StringReadCase StringReadCases[] = {
    {"TextThatExactlyFits", REG_SZ, std::string("1234567", 8), 8, true, "1234567"},
    {"TextOneByteTooLong", REG_SZ, std::string("12345678", 9), 8, false, "dft"},
    {"TextMuchTooLong", REG_SZ, std::string(100, 'l') + '\0', 8, false, "dft"},
    {"UnterminatedTextFillingTheBuffer", REG_SZ, "ABCDEFGH", 8, false, "dft"},
    {"UnterminatedTextWithRoomForTheTerminator", REG_SZ, "ABCDEFGH", 9, true, "ABCDEFGH"},
    {"BinaryFillingTheBuffer", REG_BINARY, "ABCDEFGH", 8, false, "dft"},
    {"BinaryWithRoomForTheTerminator", REG_BINARY, "ABCDEFGH", 9, true, "ABCDEFGH"},
    {"BinaryWithItsOwnTerminator", REG_BINARY, std::string("ABC", 4), 4, true, "ABC"},
    {"EmptyBinary", REG_BINARY, "", 4, true, ""},
    {"EmptyText", REG_SZ, std::string("", 1), 1, true, ""},
    {"NumberReadAsText", REG_DWORD, std::string("abc", 4), 8, true, "abc"},
    {"TextOf79CharactersIn80Bytes", REG_SZ, std::string(79, 'o') + '\0', 80, true,
     std::string(79, 'o')},
    {"TextOf80CharactersIn80Bytes", REG_SZ, std::string(80, 'o') + '\0', 80, false, "dft"},
};

class GetRegStringReads : public RegistryTest, public testing::WithParamInterface<StringReadCase> {};

// A string read always leaves a terminated text inside the buffer: what does
// not fit together with a terminator counts as missing.
TEST_P(GetRegStringReads, EndsInNulInsideTheBuffer) {
  const StringReadCase& c = GetParam();
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, "Software\\Zobrix\\Read", "Value", c.type, c.stored));
  std::vector<char> out(c.size + 16, '#');
  const bool found = GetUserRegString("Read", "Value", out.data(), "dft", c.size);
  EXPECT_EQ(found, c.found);
  EXPECT_TRUE(memchr(out.data(), '\0', c.size) != nullptr) << "no terminator inside the buffer";
  EXPECT_EQ(std::string(out.data()), c.expected);
  for (size_t i = c.size; i < out.size(); ++i) ASSERT_EQ(out[i], '#') << "written past the buffer";
}

INSTANTIATE_TEST_SUITE_P(Cases, GetRegStringReads, testing::ValuesIn(StringReadCases),
                         [](const testing::TestParamInfo<StringReadCase>& info) {
                           return std::string(info.param.label);
                         });

// A default longer than the caller's buffer is not cut into it.
TEST_F(RegistryTest, RegressionDefaultLongerThanTheBufferIsNotCopiedPastIt) {
  char out[12];
  memset(out, '#', sizeof(out));
  EXPECT_FALSE(GetUserRegString("Missing", "Value", out, "a default of many characters", 8));
  EXPECT_STREQ(out, "");
  for (size_t i = 8; i < sizeof(out); ++i) EXPECT_EQ(out[i], '#');
}

// --- Number reads ---------------------------------------------------------

struct DwordReadCase {
  const char* label;
  DWORD type;
  std::string stored;
  bool found;
  DWORD expected;
};

void PrintTo(const DwordReadCase& c, std::ostream* os) { *os << c.label; }

const DwordReadCase DwordReadCases[] = {
    {"FourBytes", REG_DWORD, std::string("\x04\x03\x02\x01", 4), true, 0x01020304},
    {"Zero", REG_DWORD, std::string(4, '\0'), true, 0},
    {"OneByteWithTheRestZero", REG_BINARY, "\x12", true, 0x12},
    {"TwoBytesWithTheRestZero", REG_BINARY, "\x12\x34", true, 0x3412},
    {"ThreeBytesWithTheRestZero", REG_BINARY, "\x12\x34\x56", true, 0x563412},
    {"NoBytes", REG_BINARY, "", true, 0},
    {"FiveBytesGiveTheDefault", REG_BINARY, "\x01\x02\x03\x04\x05", false, 0xDEFA},
    {"EightByteNumberGivesTheDefault", 11 /* REG_QWORD */, std::string("\x01\0\0\0\0\0\0\0", 8),
     false, 0xDEFA},
    {"EightBinaryBytesGiveTheDefault", REG_BINARY, "ABCDEFGH", false, 0xDEFA},
};

class QueryRegDwordReads : public RegistryTest, public testing::WithParamInterface<DwordReadCase> {};

TEST_P(QueryRegDwordReads, GivesTheStoredNumberOrTheDefault) {
  const DwordReadCase& c = GetParam();
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, "Software\\Zobrix\\Read", "Value", c.type, c.stored));
  DWORD value = 0xFFFFFFFF;  // a short value must not leave these bytes behind
  EXPECT_EQ(QueryRegDword(HKEY_CURRENT_USER, "Read", "Value", &value, 0xDEFA), c.found);
  EXPECT_EQ(value, c.expected);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, "Read", "Value", 0xDEFA), c.expected);
  EXPECT_EQ(GetUserRegDword("Read", "Value", 0xDEFA), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, QueryRegDwordReads, testing::ValuesIn(DwordReadCases),
                         [](const testing::TestParamInfo<DwordReadCase>& info) {
                           return std::string(info.param.label);
                         });

TEST_F(RegistryTest, GetUserRegDwordOfMissingValueGivesTheDefaultPassedIn) {
  for (DWORD default_value : {0u, 1u, 0xFFFFFFFFu}) {
    EXPECT_EQ(GetUserRegDword("Setup", "Missing", default_value), default_value);
    ASSERT_TRUE(SetUserRegDword("Setup", "Other", 5));
    EXPECT_EQ(GetUserRegDword("Setup", "Missing", default_value), default_value);
    DWORD value = 7;
    EXPECT_FALSE(QueryRegDword(HKEY_CURRENT_USER, "NoKey", "Missing", &value, default_value));
    EXPECT_EQ(value, default_value);
  }
}

// --- Single deletions and the existence test ------------------------------

TEST_F(RegistryTest, DeleteRegValueRemovesOnlyThatValue) {
  ASSERT_TRUE(WriteRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "", REG_SZ, std::string("type", 5)));
  ASSERT_TRUE(WriteRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "Content Type", REG_SZ,
                       std::string("x/y", 4)));
  ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\ShellNew"));
  DeleteRegValue(HKEY_CLASSES_ROOT, ClassesTestKey, "Content Type");
  EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "Content Type").found);
  EXPECT_TRUE(ReadRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "").found);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\ShellNew"));
  DeleteRegValue(HKEY_CLASSES_ROOT, ClassesTestKey, "");
  EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ClassesTestKey, "").found);
}

TEST_F(RegistryTest, DeleteRegValueOfMissingKeyCreatesNothing) {
  DeleteRegValue(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\Missing", "Value");
  DeleteRegValue(HKEY_CURRENT_USER, "Missing", "Value");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassesTestKey));
  EXPECT_EQ(settings_.Changes(), "");
}

TEST_F(RegistryTest, DeleteRegKeyRemovesOneKey) {
  ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, "Software\\ZobrixRegistryTest\\Leaf"));
  ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, "Software\\ZobrixRegistryTest\\Other"));
  DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\ZobrixRegistryTest\\Leaf");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\ZobrixRegistryTest\\Leaf"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\ZobrixRegistryTest\\Other"));
}

// A single deletion is what each family's RegDeleteKeyA makes of it.
TEST_F(RegistryTest, DeleteRegKeyWithSubkeysFollowsTheFamily) {
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\Zobrix\\Parent\\Child"));
  DeleteRegKey(HKEY_CURRENT_USER, "Parent");
  if (testenv::IsWin9xFamily()) {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Zobrix\\Parent"));
  } else {
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Zobrix\\Parent\\Child"));
  }
}

TEST_F(RegistryTest, RegKeyExistsTellsWhetherTheKeyIsThere) {
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, ""));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassesTestKey));
  ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, ClassesTestKey));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, SettingsKey));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, ClassesTestKey));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, ""));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "\\Software"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software"));  // below the settings key
}

// --- Tree deletion --------------------------------------------------------

// Creates parent\name for every name, with a value in each key.
void MakeKeys(HKEY hive, const std::string& parent, const std::vector<std::string>& names) {
  for (const std::string& name : names) ASSERT_TRUE(MakeKey(hive, parent + "\\" + name));
}

// Three levels below the top, several siblings on each. Wine's 9x emulation
// of the recursive RegDeleteKeyA keeps the length of the previous subkey's
// name as the buffer for the next one, so these names get shorter in
// enumeration order; with them the single call removes the whole tree.
void MakeThreeLevelTree(HKEY hive, const std::string& top) {
  ASSERT_TRUE(MakeKey(hive, top));
  for (const char* first : {"a111", "b11", "c1"})
    for (const char* second : {"x222", "y22", "z2"})
      ASSERT_NO_FATAL_FAILURE(MakeKeys(hive, top + "\\" + first + "\\" + second, {"p33", "q3"}));
}

class TreeDeletion : public RegistryTest, public testing::WithParamInterface<HiveCase> {};

TEST_P(TreeDeletion, RemovesAThreeLevelTreeAsTheFamilyDoes) {
  const HiveCase& c = GetParam();
  const std::string top = std::string(c.path_prefix) + "\\Tree";
  const std::string text = std::string(c.text_prefix) + "\\Tree";
  ASSERT_NO_FATAL_FAILURE(MakeThreeLevelTree(c.hive, top));
  ASSERT_TRUE(MakeKey(c.hive, std::string(c.path_prefix) + "\\Neighbour"));
  ASSERT_TRUE(MakeKey(c.hive, std::string(c.path_prefix) + "\\TreeNeighbour"));

  DeleteRegTree(c.hive, text.c_str());

  EXPECT_FALSE(KeyExists(c.hive, top));
  EXPECT_TRUE(KeyExists(c.hive, std::string(c.path_prefix) + "\\Neighbour"));
  EXPECT_TRUE(KeyExists(c.hive, std::string(c.path_prefix) + "\\TreeNeighbour"));
}

INSTANTIATE_TEST_SUITE_P(Hives, TreeDeletion, testing::ValuesIn(HiveCases), HiveCaseName);

// Names that Wine's 9x RegDeleteKeyA cannot walk make its single call fail
// half way; the passes then remove the rest.
TEST_F(RegistryTest, TreeIsRemovedWhenTheSingleCallFails) {
  const std::string top = "Software\\Zobrix\\Tree";
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top));
  for (const char* first : {"a", "bb", "ccc"})
    ASSERT_NO_FATAL_FAILURE(MakeKeys(HKEY_CURRENT_USER, top + "\\" + first, {"x", "yy", "zzz"}));
  DeleteRegTree(HKEY_CURRENT_USER, "Tree");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
}

TEST_F(RegistryTest, MissingKeyChangesNothing) {
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\Zobrix\\Present\\Child"));
  RegistryGuard unchanged(HKEY_CURRENT_USER, SettingsKey);
  DeleteRegTree(HKEY_CURRENT_USER, "Missing");
  DeleteRegTree(HKEY_CLASSES_ROOT, "ZobrixRegistryTest\\Missing");
  EXPECT_EQ(unchanged.Changes(), "");
}

// One pass: depth first, and after each deleted key the index moves on past
// the sibling that took its place.
TEST_F(RegistryTest, OnePassSkipsTheSiblingAfterEachDeletedKey) {
  const std::string top = "Software\\ZobrixRegistryTest\\Pass";
  ASSERT_NO_FATAL_FAILURE(MakeKeys(HKEY_LOCAL_MACHINE, top, {"a111", "b11", "c1", "d"}));
  DeleteKeyTreePass(HKEY_LOCAL_MACHINE, top.c_str());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, top + "\\a111"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, top + "\\c1"));
  if (testenv::IsWin9xFamily()) {
    // RegDeleteKeyA of the top then takes the skipped ones with it.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, top));
  } else {
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, top + "\\b11"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, top + "\\d"));
  }
}

TEST_F(RegistryTest, OnePassDeletesAChainDepthFirst) {
  const std::string top = "Software\\ZobrixRegistryTest\\Chain";
  ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, top + "\\a\\x"));
  DeleteKeyTreePass(HKEY_LOCAL_MACHINE, top.c_str());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, top));
}

// Markers that sort before every other key of their hive, so that a deletion
// that reached the hive's root would take them first.
struct RootMarker {
  HKEY hive;
  const char* path;
};
const RootMarker RootMarkers[] = {
    {HKEY_CURRENT_USER, "!ZobrixRootMarker"},
    {HKEY_CLASSES_ROOT, "!ZobrixRootMarker"},
    {HKEY_LOCAL_MACHINE, "!ZobrixRootMarker"},
};

TEST_F(RegistryTest, EmptyPathNeverTouchesAHiveRoot) {
  std::vector<std::unique_ptr<RegistryGuard>> guards;
  for (const RootMarker& marker : RootMarkers) {
    guards.emplace_back(new RegistryGuard(marker.hive, marker.path));
    ASSERT_TRUE(MakeKey(marker.hive, std::string(marker.path) + "\\Child"));
  }
  for (const RootMarker& marker : RootMarkers) {
    for (const char* path : {"", "\\", "\\\\"}) {
      SCOPED_TRACE(std::string("path \"") + path + "\"");
      DeleteKeyTreePass(marker.hive, path);
      DeleteKeyTree(marker.hive, path);
      DeleteRegTree(marker.hive, path);
      DeleteRegKey(marker.hive, path);
      for (const RootMarker& check : RootMarkers)
        ASSERT_TRUE(KeyExists(check.hive, std::string(check.path) + "\\Child"));
    }
  }
  // The user texts that name the hive itself rather than the settings key.
  DeleteRegTree(HKEY_CURRENT_USER, "\\");
  DeleteRegKey(HKEY_CURRENT_USER, "\\");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "!ZobrixRootMarker\\Child"));
}

// Subkey names of 199 characters fit the 200-byte name buffer; a name of 200
// does not, and ends its parent's enumeration in every pass.
TEST_F(RegistryTest, SubkeyNameOf199CharactersIsDeleted) {
  const std::string top = "Software\\Zobrix\\Names";
  const std::string name199 = "a" + std::string(198, 'n');
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\" + name199 + "\\Leaf"));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\b"));
  DeleteRegTree(HKEY_CURRENT_USER, "Names");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
}

TEST_F(RegistryTest, SubkeyNameOf200CharactersEndsTheEnumeration) {
  const std::string top = "Software\\Zobrix\\Names";
  const std::string name200 = "A" + std::string(199, 'n');
  ASSERT_EQ(name200.size(), 200u);
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\Branch\\Leaf"));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\Mid\\" + name200));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\Mid\\Z1\\Leaf"));

  DeleteRegTree(HKEY_CURRENT_USER, "Names");

  if (testenv::IsWin9xFamily()) {
    // the passes would leave the long name: one RegDeleteKeyA call removed it all
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
  } else {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top + "\\Branch"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top + "\\Mid\\" + name200));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top + "\\Mid\\Z1\\Leaf"));  // follows it
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top + "\\Mid"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
  }
}

// Child paths are formed in 512 bytes: a subkey whose path needs more is left
// in place, and so are its parents. (Wine's ANSI registry calls already refuse
// key paths of more than 260 characters, so under Wine the keys between 261
// and 511 characters stay too; 511 characters exactly is the buffer's limit.)
TEST_F(RegistryTest, RegressionChildPathTooLongForItsBufferIsSkipped) {
  const std::string top = "Software\\Zobrix\\T3";  // 18 characters
  const std::string middle = top + "\\X" + std::string(198, 'x') + "\\Y" + std::string(198, 'y');
  ASSERT_EQ(middle.size(), 418u);
  const std::string too_long = middle + "\\M" + std::string(198, 'm');  // 618 characters
  ASSERT_TRUE(MakeDeepKey(HKEY_CURRENT_USER, too_long + "\\Leaf"));
  ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\Short\\Leaf"));

  DeleteRegTree(HKEY_CURRENT_USER, "T3");

  if (testenv::IsWin9xFamily()) {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top)) << "RegDeleteKeyA removes the whole tree";
  } else {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top + "\\Short"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, too_long + "\\Leaf"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, middle));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
  }
}

// The pure key-path code knows the hives by number; on 64-bit Windows the
// handles are those numbers sign-extended.
TEST(RegistryHives, HandlesMatchTheNumbersOfTheKeyPathCode) {
  EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT)), HiveClassesRoot);
  EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)), HiveCurrentUser);
  EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)),
            HiveLocalMachine);
  char path[RegKeyPathSize];
  ASSERT_TRUE(MakeRegKeyPath(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER), "Setup", path,
                             sizeof(path)));
  EXPECT_STREQ(path, "Software\\Zobrix\\Setup");
}

TEST(RegistryFamily, LayerSeesTheRequestedFamily) {
  EXPECT_EQ(GetNtVersion() == 0, testenv::RequestedFamily() == "9x");
}

// On 64-bit Windows each view is the one named, for the x86_64 build too,
// which must remove what an i686 version left in the 32-bit view. Read with
// the plain calls in the view named and in the other one.
TEST(RegistryViews, EachViewIsTheOneNamedInEitherKindOfProcess) {
  if (!HasTwoRegistryViews()) GTEST_SKIP() << "one registry view on this system";
  const char key[] = "Software\\ZobrixViewTest";
  auto exists_in = [&](REGSAM view) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS)
      return false;
    RegCloseKey(handle);
    return true;
  };
  for (RegView view : {RegView32, RegView64}) {
    SCOPED_TRACE(view == RegView32 ? "32-bit view" : "64-bit view");
    const REGSAM named = view == RegView32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const REGSAM other = view == RegView32 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, key, "Name", "value", view));
    EXPECT_TRUE(exists_in(named));
    EXPECT_FALSE(exists_in(other));
    DeleteRegTree(HKEY_LOCAL_MACHINE, key, view == RegView32 ? RegView64 : RegView32);
    EXPECT_TRUE(exists_in(named)) << "removed through the other view";
    DeleteRegTree(HKEY_LOCAL_MACHINE, key, view);
    EXPECT_FALSE(exists_in(named));
  }
}

// --- The guard that the tests above rely on -------------------------------

TEST(RegistryGuardTest, PutsBackValuesTypesAndSubkeys) {
  const std::string top = "Software\\ZobrixGuardTest";
  {
    RegistryGuard outer(HKEY_CURRENT_USER, top);
    ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top, "Text", REG_SZ, std::string("old", 4)));
    ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top, "Bin", REG_BINARY, std::string("\0\1", 2)));
    ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top + "\\Sub\\Deep", "Num", REG_DWORD, Dword(3)));
    {
      RegistryGuard guard(HKEY_CURRENT_USER, top);
      EXPECT_EQ(guard.Changes(), "");
      ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top, "Text", REG_SZ, std::string("new", 4)));
      EXPECT_NE(guard.Changes(), "");
      ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top, "Bin", REG_DWORD, Dword(1)));
      ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, top, "Added", REG_SZ, std::string("a", 2)));
      ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\NewKey"));
      ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CURRENT_USER, top + "\\Sub"));
    }
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, top, "Text").data, std::string("old", 4));
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, top, "Bin").type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, top, "Bin").data, std::string("\0\1", 2));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, top, "Added").found);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top + "\\NewKey"));
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, top + "\\Sub\\Deep", "Num").data, Dword(3));
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
}

TEST(RegistryGuardTest, RemovesTheMissingParentsThatATestCreated) {
  const std::string top = "Software\\ZobrixGuardTest";
  {
    RegistryGuard guard(HKEY_CURRENT_USER, top + "\\A\\B");
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, top + "\\A\\B\\C"));
    EXPECT_NE(guard.Changes(), "");
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

}  // namespace
