// The self-removal batch file "Uninstall_Kex.Bat" is made new: a file, a
// hard link or a Unix symbolic link planted at its name in the user's
// temporary folder beforehand never makes the program write through it into
// another file. An elevated run does not use that folder at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using uninstall_e2e::UserBatchFile;
using uninstall_e2e::Installation;
using uninstall_e2e::MakeUnixSymbolicLink;
using uninstall_e2e::RemoveUnixName;
using uninstall_e2e::RunProgram;
using uninstall_e2e::WaitForSelfRemoval;

struct PlantCase {
  const char* name;
  bool victim_exists;  // the file the planted name leads to is there beforehand
  bool (*plant)(const std::string& victim, const std::string& batch);
  // Without elevation, a name that leads to another file, or cannot be
  // cleared, stays as it is: then the program file and its folder stay too.
  bool self_removal;
};

TEST(UninstallBatchFile, NameTakenBeforehandNeverLeadsIntoAnotherFile) {
  ASSERT_FALSE(testenv::UninstallExePath().empty()) << "UNINSTALL_EXE is not set";
  const PlantCase cases[] = {
      {"plain file", true,
       [](const std::string&, const std::string& batch) {
         return testenv::WriteFileBytes(batch, "planted");
       },
       true},
      {"hard link", true,
       [](const std::string& victim, const std::string& batch) {
         return CreateHardLinkA(batch.c_str(), victim.c_str(), nullptr) != 0;
       },
       true},
      // Wine deletes a Unix link's target even through DeleteFileA.
      {"symbolic link", true, MakeUnixSymbolicLink, false},
      // Opening such a name for writing would create the file it leads to.
      {"symbolic link to nothing", false, MakeUnixSymbolicLink, false},
      // DeleteFileA does not remove a folder.
      {"folder", false,
       [](const std::string&, const std::string& batch) {
         return CreateDirectoryA(batch.c_str(), nullptr) != 0;
       },
       false},
  };
  for (const PlantCase& c : cases) {
    SCOPED_TRACE(c.name);
    testenv::TempFolder elsewhere("elsewhere");
    ASSERT_FALSE(elsewhere.Path().empty());
    std::string victim = elsewhere / "victim.txt";
    if (c.victim_exists) {
      ASSERT_TRUE(testenv::WriteFileBytes(victim, "victim"));
    }
    ASSERT_TRUE(c.plant(victim, UserBatchFile()));
    std::string planted_before;
    bool planted_readable = testenv::ReadFileBytes(UserBatchFile(), &planted_before);
    Installation installation;
    ASSERT_TRUE(installation.Ready());
    ASSERT_TRUE(installation.AddFile("a.txt"));
    ASSERT_TRUE(installation.WriteList("a.txt\r\n"));
    DWORD code = 1;
    ASSERT_TRUE(RunProgram(installation, "/s", &code));
    bool elevated = uninstall_e2e::RunsElevated();
    // a self-removal that cannot start is a failure (1603)
    EXPECT_EQ(code, elevated || c.self_removal ? 0u : 1603u);
    if (elevated || c.self_removal) {
      EXPECT_TRUE(WaitForSelfRemoval(installation)) << "program file, folder or batch file still there";
    } else {
      EXPECT_TRUE(uninstall_e2e::OnlyTheProgramLeft(installation));
    }
    std::string bytes;
    if (c.victim_exists) {
      EXPECT_TRUE(testenv::ReadFileBytes(victim, &bytes));
      EXPECT_EQ(bytes, "victim");
    } else {
      EXPECT_FALSE(testenv::PathExists(victim)) << "the program created the link's target";
    }
    if (elevated) {
      std::string planted_after;
      EXPECT_EQ(testenv::ReadFileBytes(UserBatchFile(), &planted_after), planted_readable);
      EXPECT_EQ(planted_after, planted_before) << "the elevated run used the user's folder";
    }
    EXPECT_TRUE(RemoveUnixName(UserBatchFile()));
  }
}

// The system's temporary folder replaced by a file: an elevated run finds
// no protected place and starts no self-removal, rather than write its
// batch file where the user's other processes could change it. A run
// without elevation never needed that place.
TEST(UninstallBatchFile, ElevatedRunWithoutItsProtectedPlaceStartsNoSelfRemoval) {
  ASSERT_FALSE(testenv::UninstallExePath().empty()) << "UNINSTALL_EXE is not set";
  std::string temp = uninstall_e2e::SystemTempPath();
  ASSERT_FALSE(temp.empty());
  temp.pop_back();
  std::string away = temp + ".away";
  ASSERT_TRUE(MoveFileA(temp.c_str(), away.c_str()));
  struct Restore {
    std::string temp, away;
    ~Restore() {
      DeleteFileA(temp.c_str());
      MoveFileA(away.c_str(), temp.c_str());
    }
  } restore = {temp, away};
  ASSERT_TRUE(testenv::WriteFileBytes(temp, "not a folder"));
  Installation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_TRUE(installation.AddFile("a.txt"));
  ASSERT_TRUE(installation.WriteList("a.txt\r\n"));
  DWORD code = 1;
  ASSERT_TRUE(RunProgram(installation, "/s", &code));
  EXPECT_EQ(code, uninstall_e2e::RunsElevated() ? 1603u : 0u);
  if (uninstall_e2e::RunsElevated()) {
    EXPECT_TRUE(uninstall_e2e::OnlyTheProgramLeft(installation));
    EXPECT_FALSE(testenv::PathExists(UserBatchFile()));
  } else {
    EXPECT_TRUE(WaitForSelfRemoval(installation)) << "program file, folder or batch file still there";
  }
}

}  // namespace
