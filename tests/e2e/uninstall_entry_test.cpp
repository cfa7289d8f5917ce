// The uninstall entry that setup writes, used the way the list of installed
// programs and package managers use it: its command lines are handed to
// CreateProcessA as they stand. The installation lies below
// "C:\Program Files", whose blank is what an unquoted command line trips on.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/setup_e2e_support.h"
#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";
const DWORD TimeoutMs = testenv::kWaitMs;

std::string ReadString(const char* key_path, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return "<no key>";
  char data[2048] = "";
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return "<no string>";
  data[size] = '\0';
  return data;
}

// "EstimatedSize", or a number no entry can have when it is missing.
DWORD ReadSize() {
  DWORD value = 0xDEADu, size = sizeof(value);
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
  RegQueryValueExA(key, "EstimatedSize", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return value;
}

std::string TestProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.rfind('\\'));
}

// A copy of the program under test below "C:\Program Files", with a file
// list naming the archiver and the New-menu templates that setup makes.
class ProgramFilesInstallation {
 public:
  ProgramFilesInstallation() {
    ready_ = !folder_.Path().empty() &&
             CopyFileA(testenv::UninstallExePath().c_str(), Program().c_str(), FALSE) &&
             testenv::WriteFileBytes(folder_ / "Zobrix.exe", "archiver") &&
             testenv::WriteFileBytes(folder_ / "Uninstall.lst", "Zobrix.exe\r\nkexnew.dat\r\nzipnew.dat\r\n");
  }
  bool Ready() const { return ready_; }
  const std::string& Folder() const { return folder_.Path(); }
  std::string Program() const { return folder_ / "uninstall.exe"; }

 private:
  testenv::TempFolder folder_{"Zobrix", "C:\\Program Files"};
  bool ready_ = false;
};

// A process started from a command line exactly as the list of installed
// programs starts an uninstall command.
class CommandRun {
 public:
  explicit CommandRun(const std::string& command) {
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    const std::string folder = uninstall_e2e::TempPath();
    started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &startup, &process_) != 0;
  }
  ~CommandRun() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD ProcessId() const { return process_.dwProcessId; }
  bool Wait(DWORD timeout_ms, DWORD* code) {
    return WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process_.hProcess, code);
  }

 private:
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

// Setup in the installation folder, as the installer starts it. Whatever
// dialog it shows is confirmed, as the user would.
void RunSetup(const ProgramFilesInstallation& installation) {
  testenv::ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Program(), "/setup /s", installation.Folder()));
  DWORD code = 1;
  for (DWORD waited = 0; !run.Wait(100, &code); waited += 100) {
    ASSERT_LT(waited, TimeoutMs) << "setup did not end";
    for (HWND window : testenv::TopLevelWindows(run.ProcessId()))
      testenv::PressButton(window, IDOK);
  }
  ASSERT_EQ(code, 0u);
}

// "C:\Program.exe", a program that leaves a trace file when it runs.
class PlantedProgram {
 public:
  PlantedProgram() {
    planted_ = CopyFileA((TestProgramFolder() + "\\trace_program.exe").c_str(), Path(), TRUE) != 0;
  }
  ~PlantedProgram() {
    if (planted_) DeleteFileA(Path());
    DeleteFileA(Trace().c_str());
  }
  bool Planted() const { return planted_; }
  static const char* Path() { return "C:\\Program.exe"; }
  static std::string Trace() { return std::string(Path()) + ".trace"; }
  bool Ran() const { return testenv::PathExists(Trace()); }

 private:
  bool planted_ = false;
};

TEST(UninstallEntry, QuietUninstallStringRemovesWithoutAsking) {
  testenv::RegistryGuard entry(HKEY_LOCAL_MACHINE, UninstallKey);
  ProgramFilesInstallation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_NO_FATAL_FAILURE(RunSetup(installation));
  const std::string quiet = ReadString(UninstallKey, "QuietUninstallString");
  ASSERT_EQ(quiet, "\"" + installation.Program() + "\" /s");

  CommandRun run(quiet);
  ASSERT_TRUE(run.Started());
  DWORD code = 1;
  for (DWORD waited = 0; !run.Wait(100, &code); waited += 100) {
    ASSERT_LT(waited, TimeoutMs) << "the uninstaller did not end";
    ASSERT_TRUE(testenv::TopLevelWindows(run.ProcessId()).empty()) << "it asked";
  }
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(uninstall_e2e::WaitForBatchFileGone());
  EXPECT_FALSE(testenv::PathExists(installation.Folder())) << "the installation stayed";
}

TEST(UninstallEntry, UninstallStringStartsThisProgramNotOneAtTheDriveRoot) {
  testenv::RegistryGuard entry(HKEY_LOCAL_MACHINE, UninstallKey);
  ASSERT_FALSE(testenv::PathExists(PlantedProgram::Path())) << "C:\\Program.exe left by someone";
  PlantedProgram planted;
  ASSERT_TRUE(planted.Planted());
  ProgramFilesInstallation installation;
  ASSERT_TRUE(installation.Ready());
  ASSERT_NO_FATAL_FAILURE(RunSetup(installation));

  {
    // The trap is set: the path without quotes starts the planted program.
    CommandRun unquoted(installation.Program());
    ASSERT_TRUE(unquoted.Started());
    DWORD code = 1;
    ASSERT_TRUE(unquoted.Wait(TimeoutMs, &code)) << "the unquoted path started the uninstaller";
    ASSERT_TRUE(planted.Ran());
    ASSERT_TRUE(DeleteFileA(PlantedProgram::Trace().c_str()));
  }

  CommandRun run(ReadString(UninstallKey, "UninstallString"));
  ASSERT_TRUE(run.Started());
  // the uninstaller's own confirmation
  HWND box = testenv::WaitForWindow(run.ProcessId(), TimeoutMs);
  ASSERT_NE(box, nullptr) << (planted.Ran() ? "C:\\Program.exe ran instead" : "no window");
  EXPECT_EQ(testenv::WindowText(box), uninstall_e2e::ProgramString(MSG_UNINSTALL_CAPTION));
  EXPECT_FALSE(planted.Ran());
  ASSERT_TRUE(testenv::PressButton(box, IDYES));
  DWORD code = 1;
  EXPECT_TRUE(run.Wait(TimeoutMs, &code));
  EXPECT_TRUE(uninstall_e2e::WaitForBatchFileGone());
  EXPECT_FALSE(testenv::PathExists(installation.Folder())) << "the installation stayed";
}

// Over seeded random installations, setup started from another folder (as
// an installer may): the entry describes the program's own folder, and
// "EstimatedSize" counts the files its list names there (entries outside the
// folder, folders and missing files add nothing), or goes with the list.
TEST(UninstallEntry, DescribesTheProgramsOwnFolderWhereverSetupStarts) {
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards;
  ASSERT_TRUE(setup_e2e::GuardSetupTraces(&guards));
  // the stored choice: no types, no shell extension, no shortcuts
  auto off = [](const wchar_t* name, std::vector<const char*> values) {
    testenv::RegistryKeySnapshot key;
    key.name = name;
    for (const char* value : values) key.values.push_back(testenv::DwordValue(value, 0));
    return key;
  };
  testenv::RegistryKeySnapshot choice = off(L"", {"ShellExt"});
  choice.subkeys.push_back(off(L"Links", {"Desktop", "StartMenu", "Programs"}));
  for (const wchar_t* e : {L".kex", L".zip", L".cab", L".arj", L".lzh", L".ace", L".tar", L".gz", L".uue", L".bz2", L".jar", L".iso"})
    choice.subkeys.push_back(off(e, {"Set"}));
  ASSERT_TRUE(testenv::WriteKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup", choice));
  testenv::TempFolder outside("out");
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "big.dat", std::string(70000, 'o')));
  const std::string outside_entry = "..\\" + outside.Path().substr(outside.Path().rfind('\\') + 1) + "\\big.dat";
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    uninstall_e2e::Installation installation;
    std::string program_bytes;
    ASSERT_TRUE(installation.Ready() && testenv::ReadFileBytes(installation.Program(), &program_bytes));
    unsigned long long bytes = program_bytes.size();
    std::string list;
    for (int i = 0, entries = random() % 9; i < entries; ++i) {
      const std::string name = (random() % 3 == 0 ? "sub dir\\" : "") + std::string("file ") + std::to_string(i);
      const unsigned kind = random() % 5;  // a file, a file, a missing file, a folder, outside
      const size_t size = random() % 5000;
      if (kind < 2) {
        ASSERT_TRUE(installation.AddFile(name, std::string(size, 'x')));
        bytes += size;
      }
      if (kind == 3) {
        ASSERT_TRUE(installation.AddFolder("sub dir"));
      }
      list += (kind == 3 ? "sub dir" : kind == 4 ? outside_entry : name) + (random() % 2 ? " \t\r\n" : "\n");
    }
    const bool listed = seed != 6;
    if (listed) {
      ASSERT_TRUE(installation.WriteList(list));
    }
    DWORD code = 1;
    ASSERT_TRUE(uninstall_e2e::RunProgram(installation, "/setup /s", &code));
    EXPECT_EQ(ReadString(UninstallKey, "InstallLocation"), installation.Folder());
    EXPECT_EQ(ReadSize(), listed ? static_cast<DWORD>((bytes + 1023) / 1024) : 0xDEADu) << "list:\n" << list;
  }
}

}  // namespace
