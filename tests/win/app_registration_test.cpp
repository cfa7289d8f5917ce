// The App Paths entry and the uninstall entry as whole keys of the real
// registry, written from a current folder other than the program's.
#include "shell/app_registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <random>
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

// Over seeded random installations: the whole entry, with "EstimatedSize"
// from the listed files (entries outside the folder, folders and missing
// files add nothing), and without it once the list is gone.
TEST(UninstallEntry, DescribesTheInstallation) {
  testenv::RegistryGuard guard(HKEY_LOCAL_MACHINE, UninstallKey);
  const std::string program = ThisProgram();
  // the built program's resource, which the list of installed programs
  // should agree with
  const FileVersion version = ReadVersion(testenv::UninstallExePath());
  ASSERT_FALSE(version.text.empty()) << "no version resource in " << testenv::UninstallExePath();
  EXPECT_EQ(version.text, version.product);
  EXPECT_EQ(version.text, version.file);
  std::string program_bytes;
  ASSERT_TRUE(testenv::ReadFileBytes(program, &program_bytes));
  testenv::TempFolder outside("out");
  ASSERT_TRUE(testenv::WriteFileBytes(outside / "big.dat", std::string(70000, 'o')));
  const std::string outside_entry =
      "..\\" + outside.Path().substr(outside.Path().rfind('\\') + 1) + "\\big.dat";

  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    testenv::TempFolder installation("inst");
    unsigned long long bytes = program_bytes.size();
    std::string list;
    const int entries = random() % 9;
    for (int i = 0; i < entries; ++i) {
      const std::string name = (random() % 3 == 0 ? "sub dir\\" : "") + std::string("file ") +
                               std::to_string(i) + ".dat";
      switch (random() % 5) {
        case 0:
        case 1: {
          const size_t size = random() % 5000;
          ASSERT_TRUE(testenv::WriteFileBytes(installation / name, std::string(size, 'x')));
          bytes += size;
          list += name;
          break;
        }
        case 2:
          list += name;  // missing
          break;
        case 3:
          ASSERT_TRUE(testenv::MakeFolders(installation / "sub dir"));
          list += "sub dir";
          break;
        case 4:
          list += outside_entry;
          break;
      }
      list += random() % 2 ? " \t\r\n" : "\n";
      if (random() % 4 == 0) list += "\r\n";
    }
    ASSERT_TRUE(testenv::WriteFileBytes(installation / "Uninstall.lst", list));

    const std::string quoted = "\"" + program + "\"";
    std::vector<RegistryValueSnapshot> values = {
        String("DisplayIcon", FolderOf(program) + "\\Zobrix.exe,0"),
        String("DisplayName", testenv::WideToAnsi(L"Zobrix 压缩文件管理器")),
        String("DisplayVersion", version.text),
        Dword("EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024)),
        String("InstallLocation", installation.Path()),
        Dword("NoModify", 1),
        Dword("NoRepair", 1),
        String("QuietUninstallString", quoted + " /s"),
        String("UninstallString", quoted),
    };
    ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_LOCAL_MACHINE, UninstallKey));
    InFolder(installation.Path(), [] { RegisterUninstallEntry(); });
    EXPECT_EQ("", Difference(values, UninstallKey)) << "list:\n" << list;

    ASSERT_TRUE(DeleteFileA((installation / "Uninstall.lst").c_str()));
    InFolder(installation.Path(), [] { RegisterUninstallEntry(); });
    values.erase(values.begin() + 3);
    EXPECT_EQ("", Difference(values, UninstallKey)) << "without the list";
  }
}

}  // namespace
