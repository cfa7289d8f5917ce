#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "res/resource.h"
#include "shell/shortcuts.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using testenv::ListFolder;
using testenv::PathExists;
using Names = std::vector<std::string>;

const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
  return path;
}

std::string OwnString(int id) {
  char text[256] = "";
  LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof(text));
  return text;
}

std::string BesideTests(const std::string& name) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\') + 1) + name;
}

// Target, description, arguments and working directory of a shortcut file,
// read back through the shell's link object; "unreadable" when it cannot be loaded.
std::string ReadLink(const std::string& file) {
  std::string result = "unreadable";
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                              reinterpret_cast<void**>(&link))))
    return result;
  if (SUCCEEDED(link->QueryInterface(kPersistFileInterface, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(testenv::AnsiToWide(file).c_str(), STGM_READ))) {
      char target[1024] = "", description[1024] = "", arguments[1024] = "", folder[1024] = "";
      link->GetPath(target, sizeof(target), nullptr, SLGP_RAWPATH);
      link->GetDescription(description, sizeof(description));
      link->GetArguments(arguments, sizeof(arguments));
      link->GetWorkingDirectory(folder, sizeof(folder));
      result = std::string(target) + "|" + description + "|" + arguments + "|" + folder;
    }
    persist->Release();
  }
  link->Release();
  return result;
}

std::string ExpectedLink(const std::string& target) {
  return BesideTests(target) + "|" + OwnString(MSG_SHORTCUT_COMMENT) + "||";
}

// Moves a place of the shell aside for the test and puts it back afterwards.
class PlaceGuard {
 public:
  explicit PlaceGuard(const std::string& path) : path_(path), saved_(path + ".saved-by-test") {
    moved_ = MoveFileA(path_.c_str(), saved_.c_str()) != FALSE;
  }
  ~PlaceGuard() {
    testenv::RemoveTree(path_);
    if (moved_) MoveFileA(saved_.c_str(), path_.c_str());
  }

 private:
  std::string path_, saved_;
  bool moved_;
};

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

// Over seeded random flags and leftovers of earlier runs (junk where a shortcut
// belongs, a user's file in a group), every place ends as its flag says; the
// all-users group follows the per-user one on the NT family and is never
// touched on the 9x family. An uninstall then leaves the folders as they were.
TEST_F(Shortcuts, EveryPlaceFollowsItsFlag) {
  const int csidls[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  std::string parents[4], places[4];
  for (int place = 0; place < 4; ++place) {
    parents[place] = ShellFolder(csidls[place]);
    places[place] = parents[place] + (place < 2 ? "\\Zobrix.lnk" : "\\Zobrix");
  }
  const std::string &desktop = places[0], &start_menu = places[1], &group = places[2];
  const std::string& common_group = places[3];
  ASSERT_NE(parents[2], parents[3]);
  PlaceGuard guards[] = {PlaceGuard(desktop), PlaceGuard(start_menu), PlaceGuard(group),
                         PlaceGuard(common_group), PlaceGuard(BesideTests("Zobrix.exe"))};
  // one target exists, the other two do not
  ASSERT_TRUE(testenv::WriteFileBytes(BesideTests("Zobrix.exe"), "MZ"));
  ASSERT_FALSE(PathExists(BesideTests("Zobrix.hlp")) || PathExists(BesideTests("Kex.txt")));
  std::vector<Names> before;
  for (const std::string& parent : parents) before.push_back(ListFolder(parent));
  const bool nt = !testenv::IsWin9xFamily();
  ASSERT_EQ(testenv::RequestedFamily() == "9x", !nt);
  const std::string targets[] = {"Zobrix.exe", "Zobrix.hlp", "Kex.txt"};
  const std::string names[] = {"Zobrix.lnk", OwnString(MSG_HELP_SHORTCUT) + ".lnk",
                               OwnString(MSG_MANUAL_SHORTCUT) + ".lnk"};

  for (unsigned seed = 0; seed < 16; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (const std::string& place : places) testenv::RemoveTree(place);
    bool had_user_file[2] = {};
    for (int place = 0; place < 4; ++place) {
      if (random() % 2 == 0) continue;
      if (place >= 2) had_user_file[place - 2] = testenv::WriteFileBytes(places[place] + "\\notes.txt", "mine");
      ASSERT_TRUE(testenv::WriteFileBytes(place < 2 ? places[place] : places[place] + "\\Zobrix.lnk", "junk"));
    }
    const Names common_before = ListFolder(common_group);
    SetupOptions options = {};
    options.Desktop = (seed & 1) != 0;
    options.StartMenu = (seed & 2) != 0;
    options.Programs = (seed & 4) != 0;
    char out[1024] = "untouched";
    UpdateShortcuts(options, seed % 8 == 0 ? nullptr : out, sizeof(out));

    EXPECT_EQ(options.Desktop ? ExpectedLink("Zobrix.exe") : "unreadable", ReadLink(desktop));
    EXPECT_EQ(options.Desktop, PathExists(desktop));
    EXPECT_EQ(options.StartMenu ? ExpectedLink("Zobrix.exe") : "unreadable", ReadLink(start_menu));
    EXPECT_EQ(options.StartMenu, PathExists(start_menu));
    if (seed % 8 != 0) {
      EXPECT_STREQ(options.Programs ? group.c_str() : "untouched", out);
    }
    for (int g = 0; g < (nt ? 2 : 1); ++g) {
      const std::string& folder = places[2 + g];
      SCOPED_TRACE(folder);
      Names expected;
      if (options.Programs) expected.assign(names, names + 3);
      if (options.Programs && had_user_file[g]) expected.push_back("notes.txt");
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(expected, ListFolder(folder));
      EXPECT_EQ(options.Programs, PathExists(folder));
      for (int row = 0; options.Programs && row < 3; ++row)
        EXPECT_EQ(ExpectedLink(targets[row]), ReadLink(folder + "\\" + names[row]));
    }
    if (!nt) {
      EXPECT_EQ(common_before, ListFolder(common_group));
    }
  }

  // Uninstall, twice: the second finds nothing to remove.
  for (const std::string& place : places) testenv::RemoveTree(place);
  ASSERT_TRUE(testenv::WriteFileBytes(common_group + "\\notes.txt", "mine"));
  SetupOptions all = {};
  all.Desktop = all.StartMenu = all.Programs = true;
  UpdateShortcuts(all, nullptr, 0);
  for (int run = 0; run < 2; ++run) UpdateShortcuts(SetupOptions{}, nullptr, 0);
  if (!nt) before[3].push_back("Zobrix");  // left alone
  std::sort(before[3].begin(), before[3].end());
  for (int place = 0; place < 4; ++place) EXPECT_EQ(before[place], ListFolder(parents[place])) << parents[place];
  EXPECT_EQ(!nt, PathExists(common_group + "\\notes.txt"));
}

// The wide conversion of a shortcut's path holds 259 characters and the
// terminator; a double-byte character counts once.
TEST_F(Shortcuts, LinkPathOf260CharactersIsNotSaved) {
  testenv::TempFolder folder("lnk");
  const bool double_byte = testenv::AnsiCodePage() == 936;
  std::string subfolder_name;
  for (int i = 0; i < 100; ++i) subfolder_name += double_byte ? "\xD6\xD0" : "x";
  const std::string subfolder = folder / subfolder_name;
  ASSERT_TRUE(testenv::MakeFolders(subfolder));
  const std::string target = BesideTests("Kex.txt");
  for (size_t length : {260, 259}) {
    SCOPED_TRACE(length);
    // the temporary folder's path is ASCII: one character per byte
    const std::string name = std::string(length - folder.Path().size() - 1 - 100 - 1 - 4, 'n') + ".lnk";
    const std::string link = subfolder + "\\" + name;
    EXPECT_EQ(length < 260, CreateShellLink(target.c_str(), link.c_str(), "d", nullptr, nullptr));
    EXPECT_EQ(length < 260 ? Names{name} : Names{}, ListFolder(subfolder));
    if (length < 260) {
      EXPECT_EQ(target + "|d||", ReadLink(link));
    }
  }
}

}  // namespace
