#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "res/resource.h"
#include "shell/shortcuts.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

const GUID kLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
using Entries = std::map<std::string, std::string>;

std::string OwnString(int id) {
  char text[256] = "";
  LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof(text));
  return text;
}

std::string BesideTests(const std::string& name) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return std::string(path, strrchr(path, '\\') + 1) + name;
}

// "target|description|arguments|working folder", read back through the
// shell's link object.
std::string ReadLink(const std::string& file) {
  std::string result = "not a link";
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  char text[4][1024] = {};
  if (FAILED(CoCreateInstance(kLinkClass, nullptr, CLSCTX_INPROC_SERVER, kLinkInterface,
                              reinterpret_cast<void**>(&link))))
    return "no link object";
  if (SUCCEEDED(link->QueryInterface(kFileInterface, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(testenv::AnsiToWide(file).c_str(), STGM_READ)) &&
      SUCCEEDED(link->GetPath(text[0], 1024, nullptr, SLGP_RAWPATH)) &&
      SUCCEEDED(link->GetDescription(text[1], 1024)) &&
      SUCCEEDED(link->GetArguments(text[2], 1024)) &&
      SUCCEEDED(link->GetWorkingDirectory(text[3], 1024)))
    result = std::string(text[0]) + "|" + text[1] + "|" + text[2] + "|" + text[3];
  if (persist != nullptr) persist->Release();
  link->Release();
  return result;
}

std::string Format(const Entries& entries) {
  std::string text = "{";
  for (const auto& entry : entries) text += entry.first + ": " + entry.second + "; ";
  return text + "}";
}

// A file as ReadLink gives it, a folder as its entries, nothing as "".
std::string Describe(const std::string& path) {
  if (!testenv::IsFolder(path)) return testenv::PathExists(path) ? ReadLink(path) : "";
  Entries entries;
  for (const std::string& name : testenv::ListFolder(path))
    entries[name] = Describe(path + "\\" + name);
  return Format(entries);
}

std::string LinkTo(const std::string& target) {
  return BesideTests(target) + "|" + OwnString(MSG_SHORTCUT_COMMENT) + "||";
}

// Moves a place of the shell aside for the test and puts it back afterwards.
struct PlaceGuard {
  explicit PlaceGuard(const std::string& path)
      : path(path), moved(MoveFileA(path.c_str(), (path + ".saved-by-test").c_str()) != FALSE) {}
  ~PlaceGuard() {
    testenv::RemoveTree(path);
    if (moved) MoveFileA((path + ".saved-by-test").c_str(), path.c_str());
  }
  std::string path;
  bool moved;
};

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

// Over seeded flags and leftovers of earlier runs (junk where a shortcut
// belongs, a user's file in a group), every place ends as its flag says; the
// all-users group follows the per-user one on the NT family and is never
// touched on the 9x family. Setup and two uninstalls then leave the folders
// as they were.
TEST_F(Shortcuts, EveryPlaceFollowsItsFlag) {
  const bool nt = !testenv::IsWin9xFamily();
  ASSERT_EQ(testenv::RequestedFamily() == "9x", !nt);
  const int csidls[4] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_PROGRAMS,
                         CSIDL_COMMON_PROGRAMS};
  std::string parents[4], places[4];
  std::vector<std::string> before[4];
  for (int i = 0; i < 4; ++i) {
    char path[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, csidls[i], FALSE));
    parents[i] = path;
    places[i] = parents[i] + (i < 2 ? "\\Zobrix.lnk" : "\\Zobrix");
  }
  PlaceGuard guards[] = {PlaceGuard(places[0]), PlaceGuard(places[1]), PlaceGuard(places[2]),
                         PlaceGuard(places[3]), PlaceGuard(BesideTests("Zobrix.exe"))};
  // names only: Wine may map the desktop to the Linux home folder
  for (int i = 0; i < 4; ++i) before[i] = testenv::ListFolder(parents[i]);
  // one target exists, the other two do not
  ASSERT_TRUE(testenv::WriteFileBytes(BesideTests("Zobrix.exe"), "MZ"));
  ASSERT_FALSE(testenv::PathExists(BesideTests("Zobrix.hlp")) ||
               testenv::PathExists(BesideTests("Kex.txt")));

  for (unsigned seed = 0; seed < 16; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const bool flags[4] = {(seed & 1) != 0, (seed & 2) != 0, (seed & 4) != 0, (seed & 4) != 0};
    std::string expected[4];
    for (int i = 0; i < 4; ++i) {
      testenv::RemoveTree(places[i]);
      Entries group = {{"Zobrix.lnk", LinkTo("Zobrix.exe")},
                       {OwnString(MSG_HELP_SHORTCUT) + ".lnk", LinkTo("Zobrix.hlp")},
                       {OwnString(MSG_MANUAL_SHORTCUT) + ".lnk", LinkTo("Kex.txt")}};
      if (random() % 2 != 0) {
        ASSERT_TRUE(
            testenv::WriteFileBytes(i < 2 ? places[i] : places[i] + "\\Zobrix.lnk", "junk"));
        if (i >= 2) {
          ASSERT_TRUE(testenv::WriteFileBytes(places[i] + "\\notes.txt", "mine"));
        }
        group["notes.txt"] = "not a link";
      }
      if (i == 3 && !nt)
        expected[i] = Describe(places[i]);
      else if (flags[i])
        expected[i] = i < 2 ? LinkTo("Zobrix.exe") : Format(group);
    }
    SetupOptions options = {};
    options.Desktop = flags[0];
    options.StartMenu = flags[1];
    options.Programs = flags[2];
    char out[1024] = "untouched";
    UpdateShortcuts(options, seed % 8 == 0 ? nullptr : out, sizeof(out));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], Describe(places[i])) << places[i];
    EXPECT_STREQ(flags[2] && seed % 8 != 0 ? places[2].c_str() : "untouched", out);
  }

  for (const std::string& place : places) testenv::RemoveTree(place);
  SetupOptions all = {};
  all.Desktop = all.StartMenu = all.Programs = true;
  UpdateShortcuts(all, nullptr, 0);
  for (int run = 0; run < 2; ++run) UpdateShortcuts(SetupOptions{}, nullptr, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(before[i], testenv::ListFolder(parents[i])) << parents[i];
}

// The wide conversion of a shortcut's path holds 259 characters and the
// terminator; a double-byte character counts once.
TEST_F(Shortcuts, LinkPathOf260CharactersIsNotSaved) {
  testenv::TempFolder folder("lnk");
  std::string subfolder = folder.Path() + "\\";
  for (int i = 0; i < 100; ++i) subfolder += testenv::AnsiCodePage() == 936 ? "\xD6\xD0" : "x";
  ASSERT_TRUE(testenv::MakeFolders(subfolder));
  for (size_t length : {260, 259}) {
    // characters: the ASCII temporary folder, 100 in the subfolder, two
    // backslashes and ".lnk"
    const std::string link =
        subfolder + "\\" + std::string(length - folder.Path().size() - 106, 'n') + ".lnk";
    EXPECT_EQ(length < 260,
              CreateShellLink(BesideTests("Kex.txt").c_str(), link.c_str(), "d", nullptr, nullptr));
    EXPECT_EQ(length < 260 ? "{" + link.substr(subfolder.size() + 1) + ": " +
                                 BesideTests("Kex.txt") + "|d||; }"
                           : "{}",
              Describe(subfolder))
        << length;
  }
}

}  // namespace
