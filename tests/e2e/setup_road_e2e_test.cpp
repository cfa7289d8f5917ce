// The whole road with the real program: a silent setup in an installation
// under "C:\Program Files" ("Program Files (x86)" under WOW64) on a system
// where other programs own some archive extensions, then the silent
// uninstall. Afterwards the registry is as it was
// before, but for what the program leaves by design; and the uninstall on a
// system where setup never ran changes nothing in the registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/setup_e2e_support.h"
#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using namespace setup_e2e;

const DWORD kRunTimeoutMs = 60000;
const char kClsid[] = "{5E0C7A12-3B9D-4F61-A8E2-71C4D09B6F35}";

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  // also makes the shell record the folder below HKCU before the snapshot
  if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return "";
  return path;
}

// Where an installer puts a program of the process's own kind: under WOW64
// "C:\Program Files (x86)".
const std::string& InstallFolder() {
  static const std::string folder = [] {
    const std::string programs = SpecialFolder(CSIDL_PROGRAM_FILES);
    return (programs.empty() ? std::string("C:\\Program Files") : programs) + "\\Zobrix";
  }();
  return folder;
}

// Where the shortcuts go; the all-users group on the NT family only.
struct ShortcutPlaces {
  std::string desktop_link, start_menu_link, group, common_group;
  ShortcutPlaces() {
    desktop_link = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Zobrix.lnk";
    start_menu_link = SpecialFolder(CSIDL_STARTMENU) + "\\Zobrix.lnk";
    group = SpecialFolder(CSIDL_PROGRAMS) + "\\Zobrix";
    std::string common = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    if (!common.empty()) common_group = common + "\\Zobrix";
  }
  std::vector<std::string> All() const { return {desktop_link, start_menu_link, group, common_group}; }
};

// Everything the program or the test may write, recorded first and put back
// at the end whatever happened in between.
class Guards {
 public:
  void Add(HKEY hive, const std::string& path) { guards_.emplace_back(new testenv::RegistryGuard(hive, path)); }

 private:
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
};

const char* const kArchiveExtensions[] = {".kex", ".zip", ".cab", ".arj", ".lzh", ".lha", ".ace",
                                          ".tar", ".gz",  ".tgz", ".uue", ".xxe", ".uu",  ".bz2",
                                          ".tbz2", ".bz", ".tbz", ".jar", ".iso", ".rev"};

std::string VolumeExtension(int number) {
  char name[8];
  std::snprintf(name, sizeof(name), ".k%02d", number);
  return name;
}

void GuardEverything(Guards* guards) {
  for (const char* extension : kArchiveExtensions) guards->Add(HKEY_CLASSES_ROOT, extension);
  for (int i = 0; i < 100; ++i) guards->Add(HKEY_CLASSES_ROOT, VolumeExtension(i));
  for (const char* key : {"Zobrix", "Zobrix.ZIP", "Zobrix.REV", "OtherZip.Archive", "CabFolder.Other",
                          "OtherTar.Archive", "jarfile.Other", "OtherBurner.Image"})
    guards->Add(HKEY_CLASSES_ROOT, key);
  guards->Add(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid);
  guards->Add(HKEY_CLASSES_ROOT, std::string("Wow6432Node\\CLSID\\") + kClsid);
  for (const char* handler :
       {"*\\shellex\\ContextMenuHandlers\\Zobrix", "Folder\\shellex\\ContextMenuHandlers\\Zobrix",
        "Folder\\shellex\\DragDropHandlers\\Zobrix", "Drive\\shellex\\DragDropHandlers\\Zobrix",
        "Directory\\shellex\\ContextMenuHandlers\\Zobrix", "Directory\\shellex\\DragDropHandlers\\Zobrix"})
    guards->Add(HKEY_CLASSES_ROOT, handler);
  guards->Add(HKEY_CLASSES_ROOT, std::string("exefile\\shellex\\PropertySheetHandlers\\") + kClsid);
  for (const char* software : {"Software\\", "Software\\Wow6432Node\\"})
    for (const char* key : {"Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                            "Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe",
                            "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver"})
      guards->Add(HKEY_LOCAL_MACHINE, std::string(software) + key);
  for (const char* key : {"Software\\Zobrix", "Software\\RegisteredApplications"}) guards->Add(HKEY_LOCAL_MACHINE, key);
  guards->Add(HKEY_CURRENT_USER, "Software\\Zobrix");
}

// The registry as other programs left it: some archive extensions owned, with
// content types and New-menu entries, the others absent.
struct OtherOwner {
  const char* extension;
  const char* type;     // null: no file type
  const char* content;  // null: no content type
  const char* shell_new_value;
  const char* shell_new_data;
};
const OtherOwner kOwners[] = {
    {".zip", "OtherZip.Archive", "application/x-zip-compressed", "NullFile", ""},
    {".cab", "CabFolder.Other", "application/vnd.ms-cab-compressed", "FileName", "C:\\Templates\\empty.cab"},
    {".tar", "OtherTar.Archive", nullptr, "NullFile", ""},
    {".gz", nullptr, "application/x-gzip", nullptr, nullptr},
    {".jar", "jarfile.Other", "application/java-archive", nullptr, nullptr},
    {".iso", "OtherBurner.Image", nullptr, nullptr, nullptr},
};

::testing::AssertionResult PrepareOtherOwners() {
  for (const char* extension : kArchiveExtensions)
    if (!testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, extension))
      return ::testing::AssertionFailure() << "cannot remove " << extension;
  for (int i = 0; i < 100; ++i) testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, VolumeExtension(i));
  for (const OtherOwner& owner : kOwners) {
    std::string extension = owner.extension;
    bool ok = true;
    if (owner.type) {
      ok &= SetString(HKEY_CLASSES_ROOT, extension, "", owner.type);
      ok &= SetString(HKEY_CLASSES_ROOT, owner.type, "", std::string("Another program's ") + owner.extension);
      ok &= SetString(HKEY_CLASSES_ROOT, std::string(owner.type) + "\\shell\\open\\command", "",
                      "\"C:\\Other\\other.exe\" \"%1\"");
    }
    if (owner.content) ok &= SetString(HKEY_CLASSES_ROOT, extension, "Content Type", owner.content);
    if (owner.shell_new_value)
      ok &= SetString(HKEY_CLASSES_ROOT, extension + "\\ShellNew", owner.shell_new_value, owner.shell_new_data);
    if (!ok) return ::testing::AssertionFailure() << "cannot prepare " << extension;
  }
  return ::testing::AssertionSuccess();
}

// Runs the installed program to its end; true with exit code 0.
::testing::AssertionResult RunInstalled(const std::string& arguments, const std::string& cwd) {
  testenv::ProgramRun run;
  if (!run.Start(std::string(InstallFolder()) + "\\uninstall.exe", arguments, cwd))
    return ::testing::AssertionFailure() << "cannot start the program";
  DWORD code = 1;
  if (!run.Wait(kRunTimeoutMs, &code)) return ::testing::AssertionFailure() << arguments << " did not end";
  if (code != 0) return ::testing::AssertionFailure() << arguments << " ended with " << code;
  return ::testing::AssertionSuccess();
}

// The uninstaller has ended; its batch file removes the program and the
// folder after it.
bool WaitUntilGone(const std::string& folder) {
  if (!uninstall_e2e::WaitForBatchFileGone(kRunTimeoutMs)) return false;
  for (int i = 0; i < 200 && testenv::PathExists(folder); ++i) Sleep(100);
  return !testenv::PathExists(folder);
}

// What setup and uninstall leave in the registry by design, one pattern each.
std::vector<std::string> LeftByDesign() {
  std::vector<std::string> left = {
      // The six group-B handler keys of the shell extension: its removal
      // deletes only their default value, the keys stay empty.
      "+key HKCR\\*\\shellex\\ContextMenuHandlers\\Zobrix",
      "+key HKCR\\Folder\\shellex\\ContextMenuHandlers\\Zobrix",
      "+key HKCR\\Folder\\shellex\\DragDropHandlers\\Zobrix",
      "+key HKCR\\Drive\\shellex\\DragDropHandlers\\Zobrix",
      "+key HKCR\\Directory\\shellex\\ContextMenuHandlers\\Zobrix",
      "+key HKCR\\Directory\\shellex\\DragDropHandlers\\Zobrix",
      // ".gz" existed with a content type but no file type: the give-back
      // writes the empty file type as an empty default value.
      "+value HKCR\\.gz []",
  };
  // Parent keys that setup created for its handler keys and entries, where
  // this system had none; the removal deletes the leaves only.
  for (const char* parent : {"*", "Folder", "Drive", "Directory", "exefile"})
    for (const char* below : {"", "\\shellex", "\\shellex\\ContextMenuHandlers", "\\shellex\\DragDropHandlers",
                              "\\shellex\\PropertySheetHandlers"})
      left.push_back(std::string("+key HKCR\\") + parent + below);
  for (const char* software : {"Software\\", "Software\\Wow6432Node\\"})
    for (const char* parent : {"Shell Extensions", "Shell Extensions\\Approved", "App Paths", "Uninstall"})
      left.push_back(std::string("+key HKLM\\") + software + "Microsoft\\Windows\\CurrentVersion\\" + parent);
  left.push_back("+key HKLM\\Software\\RegisteredApplications");  // every Windows from Vista on has it
  // The 9x family's New-menu entry of ".zip" is a "Data" value (Windows 98
  // takes no template file); the give-back of an extension that existed
  // deletes only "FileName", so the value stays.
  if (testenv::IsWin9xFamily()) left.push_back("+value HKCR\\.zip\\ShellNew [Data]");
  return left;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A value the program wrote. A 32-bit program on a 64-bit system writes
// some keys into the 32-bit view, which is read here by its path below the
// native view (a process that reports the 9x family gets no view by flag).
std::string ProgramValue(HKEY hive, const std::string& key, const std::string& name) {
  std::string value = ReadString(hive, key, name);
  if (!value.empty()) return value;
  if (hive == HKEY_CLASSES_ROOT) return ReadString(hive, "Wow6432Node\\" + key, name);
  const std::string software = "Software\\";
  return ReadString(hive, software + "Wow6432Node\\" + key.substr(software.size()), name);
}

std::string Default(const std::string& key) { return ProgramValue(HKEY_CLASSES_ROOT, key, ""); }

// Under WOW64: what 64-bit Windows reads of the product, in either view.
const char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";
const char kApprovedKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kRegisteredKey[] = "HKLM\\Software\\RegisteredApplications";
std::string ClassKey() { return std::string("HKCR\\CLSID\\") + kClsid; }

// Everything of the product in one view, one line each; empty when none.
std::vector<std::string> ProductTracesIn(View view) {
  std::vector<std::string> traces;
  std::string data;
  for (const std::string& key : {std::string("HKLM\\Software\\Zobrix"), ClassKey(), std::string(kUninstallKey),
                                 std::string("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe")})
    if (KeyExistsIn(view, key)) traces.push_back("key " + key);
  if (QueryValueIn(view, kRegisteredKey, "Zobrix", &data)) traces.push_back(std::string("value Zobrix in ") + kRegisteredKey);
  if (QueryValueIn(view, kApprovedKey, kClsid, &data)) traces.push_back(std::string("value ") + kClsid + " in " + kApprovedKey);
  return traces;
}

// A 64-bit library as far as setup looks at it: a PE header for x86-64.
bool PlantX64Library(const std::string& path) {
  std::string image(0x200, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3c] = '\x80';
  image.replace(0x80, 6, std::string("PE\0\0\x64\x86", 6));
  return testenv::WriteFileBytes(path, image);
}

// Default apps as the 64-bit shell finds it: the path that RegisteredApplications
// names, opened in the 64-bit view, lists every extension the archiver took
// over. The 64-bit library's class is registered there too, and nothing of
// either is left in the 32-bit view; the uninstall entry stays in the 32-bit
// view, where the list of installed programs reads it.
void ExpectSeenBy64BitReader(const std::string& folder) {
  std::string capabilities, data;
  EXPECT_TRUE(QueryValueIn(View::Bits64, kRegisteredKey, "Zobrix", &capabilities));
  EXPECT_TRUE(QueryValueIn(View::Bits64, "HKLM\\" + capabilities, "ApplicationDescription", &data)) << capabilities;
  int taken = 0;
  for (const char* extension : kArchiveExtensions) {
    const std::string owner = Default(extension);
    if (owner != "Zobrix" && owner != "Zobrix.ZIP") continue;
    ++taken;
    EXPECT_TRUE(QueryValueIn(View::Bits64, "HKLM\\" + capabilities + "\\FileAssociations", extension, &data) &&
                data == owner) << extension << " -> " << data;
  }
  EXPECT_GE(taken, 4);
  EXPECT_FALSE(KeyExistsIn(View::Bits32, "HKLM\\" + capabilities));
  EXPECT_TRUE(QueryValueIn(View::Bits64, ClassKey() + "\\InProcServer32", "", &data) &&
              data == folder + "\\kexext.dll") << data;
  EXPECT_TRUE(QueryValueIn(View::Bits64, kApprovedKey, kClsid, &data));
  EXPECT_FALSE(KeyExistsIn(View::Bits32, ClassKey()));
  EXPECT_FALSE(QueryValueIn(View::Bits32, kApprovedKey, kClsid, &data));
  EXPECT_TRUE(QueryValueIn(View::Bits32, kUninstallKey, "UninstallString", &data));
  EXPECT_FALSE(KeyExistsIn(View::Bits64, kUninstallKey));
}

// Checks that setup really applied the choice, so that the round trip below
// proves the give-back of something.
void ExpectSetupApplied(const ShortcutPlaces& places) {
  const std::string folder = InstallFolder();
  EXPECT_EQ(Default(".kex"), "Zobrix");
  EXPECT_EQ(Default(".zip"), "Zobrix.ZIP");
  EXPECT_EQ(Default(".cab"), "Zobrix");
  EXPECT_EQ(Default(".gz"), "Zobrix");
  EXPECT_EQ(Default(".iso"), "OtherBurner.Image") << "ISO starts unchecked when another program owns it";
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ".zip", "Content Type"), "");
  EXPECT_EQ(Default("Zobrix.ZIP\\shell\\open\\command"), "\"" + folder + "\\Zobrix.exe\" \"%1\"");
  if (!TestRunsUnderWow64()) {  // under WOW64 the 64-bit stand-in is registered in the 64-bit view
    EXPECT_EQ(Default(std::string("CLSID\\") + kClsid + "\\InProcServer32"), folder + "\\kexext.dll");
  }
  EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe", ""),
            folder + "\\Zobrix.exe");
  // quoted: the folder's blank would otherwise make "C:\Program.exe" the command
  EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE,
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver",
                         "UninstallString"),
            "\"" + folder + "\\uninstall.exe\"");
  EXPECT_TRUE(testenv::PathExists(places.group + "\\Zobrix.lnk")) << places.group;
  EXPECT_FALSE(testenv::PathExists(places.desktop_link)) << "no desktop shortcut on a first run";

  if (TestRunsUnderWow64()) {
    ExpectSeenBy64BitReader(folder);
    return;
  }
  // "Open with" and "Default apps": NT 6 and later only (Wine reports 6.1)
  const bool offered = !testenv::IsWin9xFamily();
  const std::string capabilities = "Software\\Zobrix\\Capabilities";
  auto ansi = [](const char* utf8) { return testenv::WideToAnsi(testenv::Widen(utf8)); };
  EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Zobrix"), offered ? capabilities : "");
  EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, capabilities, "ApplicationName"), offered ? ansi("Zobrix 压缩文件管理器") : "");
  EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, capabilities, "ApplicationDescription"),
            offered ? ansi("处理 KEX、ZIP 和其他压缩格式") : "");
  for (const auto& e : std::vector<std::pair<const char*, const char*>>{
           {".zip", "Zobrix.ZIP"}, {".kex", "Zobrix"}, {".tgz", "Zobrix"}, {".iso", nullptr}}) {
    testenv::RegistryKeySnapshot offer, expected;
    if (offered && e.second) expected.values.push_back({testenv::Widen(e.second), REG_NONE, ""});
    EXPECT_EQ(testenv::ReadKeyTree(HKEY_CLASSES_ROOT, std::string(e.first) + "\\OpenWithProgids", &offer),
              !expected.values.empty()) << e.first;
    EXPECT_EQ(testenv::DescribeTreeDifference(expected, offer), "") << e.first;
    EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, capabilities + "\\FileAssociations", e.first),
              offered && e.second ? e.second : "") << e.first;
  }
}

// The guards read and restore the test's own view only: under WOW64 what
// the program writes in the 64-bit view goes by hand, before and after.
void RemoveFrom64BitView() {
  if (!TestRunsUnderWow64()) return;
  for (const std::string& key : {std::string("HKLM\\Software\\Zobrix"), ClassKey()}) DeleteIn(View::Bits64, key);
  DeleteIn(View::Bits64, kRegisteredKey, "Zobrix");
  DeleteIn(View::Bits64, kApprovedKey, kClsid);
}

class SetupRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    GuardEverything(&guards_);
    RemoveFrom64BitView();
  }
  void TearDown() override {
    RemoveFrom64BitView();
    testenv::RemoveTree(InstallFolder());
    for (const std::string& place : places_.All())
      if (!place.empty()) testenv::RemoveTree(place);
  }

  Guards guards_;
  ShortcutPlaces places_;
};

// The program's version as its version resource states it.
std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  char* text = nullptr;
  UINT length = 0;
  if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data()) ||
      !VerQueryValueA(data.data(), "\\StringFileInfo\\080404B0\\FileVersion",
                      reinterpret_cast<void**>(&text), &length))
    return "?";
  return text;
}

// What the log of a setup and the uninstall after it must say, line by line.
void ExpectRoadLog(const std::string& log, const std::string& version) {
  std::string text;
  ASSERT_TRUE(testenv::ReadFileBytes(log, &text)) << log;
  for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
    ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "a line without CR LF at " << i;
  const std::string family = testenv::IsWin9xFamily() ? ", 9x family" : ", NT family";
  const std::string folder = InstallFolder();
  const std::vector<std::string> expected = {  // in this order
      "\r\nuninstall.exe " + version + ", log begun ",
      " /setup /s /log=\"" + log + "\"\r\n",
      family,
      "\r\nSet value HKCR\\.zip (default) = REG_SZ \"Zobrix.ZIP\"\r\n",
      "\r\nExit code: 0\r\n",
      "\r\nuninstall.exe " + version + ", log begun ",
      " /s /log=road-log.txt\r\n",
      "\r\nGiving back .zip to its previous owner\r\n",
      "\r\nCopied value HKCU\\Software\\Zobrix\\Setup\\.zip \"PreviousType\" to HKCR\\.zip (default)\r\n",
      "\r\nDeleted key HKCU\\Software\\Zobrix\r\n",
      "\r\nDeleted " + folder + "\\Kex.txt\r\n",
      "\r\nExit code: 0\r\n",
  };
  size_t at = 0;
  for (const std::string& line : expected) {
    const size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << "no \"" << line << "\" after offset " << at << " in\n" << text;
    // the next line may begin with this one's line end
    at = found + line.size() - (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? 2 : 0);
  }
  EXPECT_EQ(at + 2, text.size()) << "the exit code is the last line";
}

// Passes once the shell operations exist: with empty ones setup applies nothing.
TEST_F(SetupRoad, SilentSetupThenUninstallGivesTheRegistryBack) {
  ASSERT_TRUE(PrepareOtherOwners());
  ASSERT_TRUE(MakeInstallation(InstallFolder()));
  const bool wow64 = TestRunsUnderWow64();
  if (wow64) {
    ASSERT_TRUE(PlantX64Library(std::string(InstallFolder()) + "\\kexext.dll"));
    for (View view : {View::Bits64, View::Bits32})
      ASSERT_EQ(Join(ProductTracesIn(view)), "") << "the product was there before setup";
  }
  Registry before = ReadRegistry();
  ASSERT_TRUE(before.complete);

  // Both runs write one log, setup by its full path, the uninstall by a
  // name relative to the folder it starts in.
  const std::string log = uninstall_e2e::TempPath() + "road-log.txt";
  DeleteFileA(log.c_str());
  ASSERT_TRUE(RunInstalled("/setup /s /log=\"" + log + "\"", InstallFolder()));
  ExpectSetupApplied(places_);
  if (wow64) {
    // what an earlier version's setup left in the 32-bit view: the uninstall takes it too
    const std::string server = std::string("CLSID\\") + kClsid + "\\InProcServer32";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Zobrix", "Software\\Zobrix\\Capabilities") &&
                SetString(HKEY_LOCAL_MACHINE, "Software\\Zobrix\\Capabilities\\FileAssociations", ".zip", "Zobrix.ZIP") &&
                SetString(HKEY_CLASSES_ROOT, server, "", InstallFolder() + "\\kexext.dll") &&
                SetString(HKEY_LOCAL_MACHINE, std::string(kApprovedKey).substr(5), kClsid, "Zobrix shell extension"));
    const std::string planted = Join(ProductTracesIn(View::Bits32));
    for (const std::string& trace : {std::string("key HKLM\\Software\\Zobrix"), "key " + ClassKey(),
                                     std::string("value Zobrix in "), std::string("value ") + kClsid})
      ASSERT_NE(planted.find(trace), std::string::npos) << trace << " in\n" << planted;
  }

  const std::string version = FileVersion(InstallFolder() + "\\uninstall.exe");
  ASSERT_TRUE(RunInstalled("/s /log=road-log.txt", uninstall_e2e::TempPath()));
  EXPECT_TRUE(WaitUntilGone(InstallFolder())) << "the installation folder stayed: "
                                       << testenv::ListFolder(InstallFolder()).size() << " entries";
  ExpectRoadLog(log, version);
  DeleteFileA(log.c_str());
  for (const std::string& place : places_.All()) {
    if (place.empty()) continue;
    EXPECT_FALSE(testenv::PathExists(place)) << place;
  }

  if (wow64) {
    for (View view : {View::Bits64, View::Bits32})
      EXPECT_EQ(Join(ProductTracesIn(view)), "") << (view == View::Bits64 ? "64-bit view" : "32-bit view");
  }
  std::vector<std::string> changes = Differences(before, ReadRegistry());
  std::vector<std::string> unexplained = Unexplained(changes, Concat(SystemNoise(), LeftByDesign()));
  EXPECT_TRUE(unexplained.empty()) << "changes that nothing explains:\n" << Join(unexplained);
  for (const std::string& line : Unexplained(changes, SystemNoise()))
    std::printf("[ by design] %s\n", line.c_str());
  // The group-B keys stay by design, and stay empty.
  for (const char* handler : {"*\\shellex\\ContextMenuHandlers\\Zobrix", "Drive\\shellex\\DragDropHandlers\\Zobrix"})
    EXPECT_TRUE(testenv::KeyExists(HKEY_CLASSES_ROOT, handler) && Default(handler).empty()) << handler;
}

// The registry clean-up where setup never ran: nothing changes, and the
// uninstall goes on to remove the files and itself.
TEST_F(SetupRoad, UninstallWhereSetupNeverRanChangesNoKey) {
  ASSERT_TRUE(MakeInstallation(InstallFolder()));
  Registry before = ReadRegistry();
  ASSERT_TRUE(before.complete);
  ASSERT_TRUE(RunInstalled("/s", uninstall_e2e::TempPath()));
  EXPECT_TRUE(WaitUntilGone(InstallFolder()));
  std::vector<std::string> changes = Unexplained(Differences(before, ReadRegistry()), SystemNoise());
  EXPECT_TRUE(changes.empty()) << "the uninstall changed the registry:\n" << Join(changes);
}

// --- Folders the ANSI calls cannot name as they stand ----------------------

// Wide file calls with the "\\?\" prefix, which takes every name literally:
// a trailing blank stays, and paths may pass MAX_PATH.
std::wstring Literal(const std::wstring& path) { return L"\\\\?\\" + path; }

bool WriteWide(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Literal(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

bool MakeWideFolders(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(Literal(path.substr(0, at)).c_str(), nullptr);
    if (at == std::wstring::npos) break;
  }
  return GetFileAttributesW(Literal(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every name below folder with the start of its contents (to out), or
// (without out) the removal of the folder with everything in it.
void WalkWide(const std::wstring& folder, const std::wstring& prefix, std::vector<std::string>* out) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Literal(folder + L"\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    const std::wstring name = found.cFileName, path = folder + L"\\" + name;
    const bool is_folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (name == L"." || name == L"..") continue;
    if (!out) SetFileAttributesW(Literal(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (out) out->push_back(testenv::Utf8(prefix + name) + (is_folder ? "\\" : " = "));
    if (is_folder) {
      WalkWide(path, prefix + name + L"\\", out);
    } else if (!out) {
      DeleteFileW(Literal(path).c_str());
    } else {
      HANDLE file = CreateFileW(Literal(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      char buffer[256];
      DWORD read = 0;
      if (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &read, nullptr))
        out->back().append(buffer, read);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (!out) RemoveDirectoryW(Literal(folder).c_str());
}
std::vector<std::string> WideTree(const std::wstring& folder) {
  std::vector<std::string> tree;
  WalkWide(folder, L"", &tree);
  return tree;
}
void RemoveWideTree(const std::wstring& folder) { WalkWide(folder, L"", nullptr); }
bool WideExists(const std::wstring& path) { return GetFileAttributesW(Literal(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The installer's work with wide calls: the program, stand-ins that tell
// this installation's files from any other's, and the list.
::testing::AssertionResult MakeWideInstallation(const std::wstring& folder, const std::string& mark) {
  RemoveWideTree(folder);
  if (!MakeWideFolders(folder) ||
      !CopyFileW(Literal(testenv::AnsiToWide(ProgramUnderTest())).c_str(), Literal(folder + L"\\uninstall.exe").c_str(),
                 FALSE))
    return ::testing::AssertionFailure() << "cannot install into " << testenv::Utf8(folder);
  std::string list;
  for (const char* file : {"Zobrix.exe", "kexext.dll", "license.txt", "Kex.txt", "zobrix.gid"}) {
    if (!WriteWide(folder + L"\\" + testenv::Widen(file), mark + " " + file))
      return ::testing::AssertionFailure() << "cannot write " << file;
    list += std::string(file) + "\r\n";
  }
  if (!WriteWide(folder + L"\\Uninstall.lst", list + "kexnew.dat\r\nzipnew.dat\r\n"))
    return ::testing::AssertionFailure() << "cannot write the list";
  return ::testing::AssertionSuccess();
}

// Runs folder\uninstall.exe as the installer or the list of programs does,
// through the wide call; cwd ends in a backslash, so that its last part is
// taken as it stands. Null when it cannot be started.
HANDLE StartWide(const std::wstring& folder, const std::wstring& arguments, const std::wstring& cwd) {
  std::wstring command = L"\"" + folder + L"\\uninstall.exe\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}
::testing::AssertionResult RunWide(const std::wstring& folder, const std::wstring& arguments,
                                   const std::wstring& cwd) {
  HANDLE process = StartWide(folder, arguments, cwd);
  if (!process) return ::testing::AssertionFailure() << "cannot start " << testenv::Utf8(folder) << ": error " << GetLastError();
  DWORD code = 1;
  const bool ended = WaitForSingleObject(process, kRunTimeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (!ended || code != 0)
    return ::testing::AssertionFailure() << testenv::Utf8(arguments) << (ended ? " ended with " : " did not end") << code;
  return ::testing::AssertionSuccess();
}

// The bytes that an ANSI path the program wrote opens, as any program of
// this code page would open it; "(none)" when it opens nothing.
std::string OpenedBy(const std::string& ansi_path) {
  std::string bytes;
  return testenv::ReadFileBytes(ansi_path, &bytes) ? bytes.substr(0, 64) : "(none)";
}
// The path between the first pair of double quotes.
std::string Quoted(const std::string& command) {
  const size_t open = command.find('"'), close = command.find('"', open + 1);
  return open == std::string::npos || close == std::string::npos ? command : command.substr(open + 1, close - open - 1);
}

const char kUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";
const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe";

// A folder name that the code page cannot hold, and one ending in a blank
// beside a program's folder without it: setup writes paths that open this
// installation's files, the uninstaller removes it whole and nothing of the
// neighbour changes.
TEST_F(SetupRoad, FoldersTheAnsiCallsCannotNameAsTheyStand) {
  // the 9x family's paths are ANSI through and through: the program keeps them
  if (testenv::IsWin9xFamily()) GTEST_SKIP() << "NT family only";
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring base = std::wstring(temp) + L"zfolders";
  const struct {
    std::wstring name;
    bool neighbour;
  } cases[] = {{L"Zobrix \uc555\ucd95", false}, {L"Zobrix ", true}};
  for (const auto& c : cases) {
    const std::wstring folder = base + L"\\" + c.name, neighbour = base + L"\\Zobrix";
    SCOPED_TRACE(testenv::Utf8(folder));
    RemoveWideTree(base);
    if (c.neighbour) {
      ASSERT_TRUE(MakeWideFolders(neighbour));
      for (const char* file : {"Uninstall.lst", "zobrix.gid", "zobrix.fts", "Zobrix.exe", "other.txt"})
        ASSERT_TRUE(WriteWide(neighbour + L"\\" + testenv::Widen(file), std::string("neighbour ") + file));
    }
    const std::vector<std::string> neighbour_before = WideTree(neighbour);
    ASSERT_TRUE(MakeWideInstallation(folder, "installed"));

    ASSERT_TRUE(RunWide(folder, L"/setup /s", folder + L"\\"));
    const std::string program = ProgramValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString");
    const std::string archiver = ProgramValue(HKEY_LOCAL_MACHINE, kAppPathKey, "");
    const std::string at = ProgramValue(HKEY_LOCAL_MACHINE, kAppPathKey, "Path");
    std::string program_bytes;
    ASSERT_TRUE(testenv::ReadFileBytes(ProgramUnderTest(), &program_bytes));
    EXPECT_EQ(OpenedBy(Quoted(program)), program_bytes.substr(0, 64)) << "UninstallString " << program;
    EXPECT_EQ(OpenedBy(archiver), "installed Zobrix.exe") << "App Paths " << archiver;
    EXPECT_EQ(OpenedBy(at + "\\Zobrix.exe"), "installed Zobrix.exe") << "App Paths Path " << at;
    for (const char* type : {"Zobrix", "Zobrix.ZIP", "Zobrix.REV"}) {
      const std::string open = Default(std::string(type) + "\\shell\\open\\command");
      EXPECT_EQ(OpenedBy(Quoted(open)), "installed Zobrix.exe") << type << " " << open;
    }

    ASSERT_TRUE(RunWide(folder, L"/s", temp));
    EXPECT_TRUE(uninstall_e2e::WaitForBatchFileGone(kRunTimeoutMs));
    for (int i = 0; i < 100 && WideExists(folder); ++i) Sleep(100);
    EXPECT_FALSE(WideExists(folder)) << "left: " << Join(WideTree(folder));
    EXPECT_EQ(ProgramValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString"), "");
    EXPECT_EQ(Join(WideTree(neighbour)), Join(neighbour_before)) << "the neighbour changed";
  }
  RemoveWideTree(base);
}

// A folder of 240 characters whose parts are their own short names, with a
// listed entry whose path passes 300 characters. (Wine 8 starts no program
// whose long path passes MAX_PATH, by its "\\?\" name or by its short one.)
// The uninstaller says so and changes nothing, in the registry or the files.
TEST_F(SetupRoad, UninstallRefusesAFolderTooLongForTheSystem) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring base = std::wstring(temp) + L"zlong";
  std::wstring folder = base;
  while (folder.size() < 231) folder += L"\\folder0" + std::to_wstring(folder.size() % 10);
  ASSERT_TRUE(MakeWideInstallation(folder, "installed"));
  std::wstring deep = L"deep";
  while (folder.size() + deep.size() < 300) deep += L"\\folder" + std::to_wstring(deep.size() % 10);
  ASSERT_TRUE(MakeWideFolders(folder + L"\\" + deep));
  ASSERT_TRUE(WriteWide(folder + L"\\" + deep + L"\\file.txt", "deep"));
  ASSERT_TRUE(WriteWide(folder + L"\\Uninstall.lst", "Zobrix.exe\r\n" + testenv::Utf8(deep) + "\\file.txt\r\n"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString", "kept"));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup", "Marker", "kept"));
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, "Zobrix", "", "kept"));
  const std::vector<std::string> files = WideTree(folder);

  // Setup refuses it too, before it registers what uninstall would refuse.
  for (const wchar_t* arguments : {L"", L"/s", L"/setup /s"}) {
    SCOPED_TRACE(testenv::Utf8(arguments));
    HANDLE process = StartWide(folder, arguments, temp);
    ASSERT_TRUE(process) << GetLastError();
    if (arguments[0] == L'\0') {
      // the question first, then the refusal
      std::vector<std::wstring> texts;
      for (int box_number = 0; box_number < 2; ++box_number) {
        HWND box = uninstall_e2e::WaitForMessageBoxWithCaption(uninstall_e2e::ProgramString(5104), testenv::kWaitMs);
        if (!box) break;
        std::wstring text;
        for (const auto& control : testenv::ChildControls(box))
          if (control.class_name == L"Static" && !control.text.empty()) text = control.text;
        texts.push_back(text);
        if (text == uninstall_e2e::ProgramString(5107)) {
          EXPECT_TRUE(testenv::PressButton(box, IDYES));
        } else {
          PostMessageW(box, WM_CLOSE, 0, 0);
          break;
        }
        EXPECT_TRUE(testenv::WaitForWindowGone(box, 5000));
      }
      ASSERT_FALSE(texts.empty()) << "no message";
      EXPECT_EQ(testenv::Utf8(texts.back()), testenv::Utf8(uninstall_e2e::ProgramString(5120)));
    }
    EXPECT_EQ(WaitForSingleObject(process, kRunTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 1603u) << "refused, Windows Installer's code of a failure";
    CloseHandle(process);
    EXPECT_TRUE(uninstall_e2e::NothingOfTheBatchLeft());
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString"), "kept");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\Zobrix\\Setup", "Marker"), "kept");
    EXPECT_EQ(Default("Zobrix"), "kept");
    EXPECT_EQ(Join(WideTree(folder)), Join(files));
  }
  RemoveWideTree(base);
}

}  // namespace
