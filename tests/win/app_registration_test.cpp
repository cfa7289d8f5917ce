// The App Paths entry and the uninstall entry as whole keys of the real
// registry, written from a current folder other than the program's.
#include "shell/app_registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

using testenv::RegistryKeySnapshot;
using testenv::RegistryValueSnapshot;

namespace {

const char AppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe";
const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";

// Values in the order ReadKeyTree sorts them (by name, ignoring case).
RegistryValueSnapshot String(const char* name, const std::string& ansi) { return testenv::StringValue(name, ansi); }
RegistryValueSnapshot Dword(const char* name, DWORD value) { return testenv::DwordValue(name, value); }

std::string ThisProgram() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}
std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// The version resource of a file: the product version text, and the fixed
// product and file version numbers written as "a.b.c".
struct FileVersion {
  std::string text, product, file;
};
FileVersion ReadVersion(const std::string& path) {
  FileVersion version;
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  void* text = nullptr;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data()) ||
      !VerQueryValueA(data.data(), "\\StringFileInfo\\080404B0\\ProductVersion", &text, &length) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
    return version;
  version.text = static_cast<const char*>(text);
  auto numbers = [](DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
           std::to_string(HIWORD(ls));
  };
  version.product = numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  version.file = numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  return version;
}

// Runs f with the current folder set to folder.
template <typename F>
void InFolder(const std::string& folder, F f) {
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  f();
  ASSERT_TRUE(SetCurrentDirectoryA(saved));
}

std::string Difference(const std::vector<RegistryValueSnapshot>& values, const char* key) {
  RegistryKeySnapshot expected;
  expected.values = values;
  RegistryKeySnapshot actual;
  if (!testenv::ReadKeyTree(HKEY_LOCAL_MACHINE, key, &actual)) return "no key";
  return testenv::DescribeTreeDifference(expected, actual);
}

TEST(AppPath, RecordsTheCurrentFolderNotTheProgramFolder) {
  testenv::RegistryGuard guard(HKEY_LOCAL_MACHINE, AppPathKey);
  ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_LOCAL_MACHINE, AppPathKey));
  testenv::TempFolder folder("cwd");
  ASSERT_NE(FolderOf(ThisProgram()), folder.Path());
  InFolder(folder.Path(), [] { RegisterAppPath(); });
  EXPECT_EQ("", Difference({String("", FolderOf(ThisProgram()) + "\\Zobrix.exe"),
                            String("Path", folder.Path())},
                           AppPathKey));
}

// The whole entry, written from a current folder that holds a list of its
// own: the entry describes the program's folder, which has no list, so it
// has no "EstimatedSize" (the end-to-end test counts a real installation).
TEST(UninstallEntry, DescribesTheProgramsFolderNotTheCurrentOne) {
  testenv::RegistryGuard guard(HKEY_LOCAL_MACHINE, UninstallKey);
  const std::string program = ThisProgram();
  // the built program's, which the list of installed programs shows
  const FileVersion version = ReadVersion(testenv::UninstallExePath());
  ASSERT_FALSE(version.text.empty()) << "no version resource in " << testenv::UninstallExePath();
  EXPECT_EQ(version.text, version.product);
  EXPECT_EQ(version.text, version.file);
  ASSERT_FALSE(testenv::PathExists(FolderOf(program) + "\\Uninstall.lst"));
  testenv::TempFolder current("cwd");
  ASSERT_TRUE(testenv::WriteFileBytes(current / "big.dat", std::string(70000, 'o')));
  ASSERT_TRUE(testenv::WriteFileBytes(current / "Uninstall.lst", "big.dat\r\n"));

  const std::string quoted = "\"" + program + "\"";
  const std::vector<RegistryValueSnapshot> values = {
      String("DisplayIcon", FolderOf(program) + "\\Zobrix.exe,0"),
      String("DisplayName", testenv::WideToAnsi(L"Zobrix 压缩文件管理器")),
      String("DisplayVersion", version.text),
      String("InstallLocation", FolderOf(program)),
      String("ModifyPath", quoted + " /setup"),
      Dword("NoRepair", 1),
      String("QuietUninstallString", quoted + " /s"),
      String("UninstallString", quoted),
  };
  ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_LOCAL_MACHINE, UninstallKey));
  // an earlier version's, which hid "Change"
  SetRegDword(HKEY_LOCAL_MACHINE, UninstallKey, "NoModify", 1);
  InFolder(current.Path(), [] { RegisterUninstallEntry(); });
  EXPECT_EQ("", Difference(values, UninstallKey));
}

}  // namespace
