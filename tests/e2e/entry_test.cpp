#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/control_ids.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using testenv::ProgramRun;

const DWORD kStartTimeoutMs = testenv::kWaitMs;

// A copy of the program in a folder of its own with an installation beside
// it, so that an uninstall started by mistake would show (and delete).
class Installation {
 public:
  Installation() : folder_("inst") {
    std::string source = testenv::UninstallExePath();
    EXPECT_FALSE(source.empty()) << "UNINSTALL_EXE is not set";
    EXPECT_TRUE(CopyFileA(source.c_str(), Exe().c_str(), FALSE)) << source;
    EXPECT_TRUE(testenv::WriteFileBytes(folder_ / "data.txt", "installed file"));
    EXPECT_TRUE(testenv::WriteFileBytes(folder_ / "Uninstall.lst", "data.txt\r\n"));
  }
  std::string Exe() const { return folder_ / "uninstall.exe"; }
  const std::string& Folder() const { return folder_.Path(); }
  std::string operator/(const std::string& name) const { return folder_ / name; }
  // The installed files are all still there.
  bool Intact() const {
    return testenv::PathExists(Exe()) && testenv::PathExists(folder_ / "data.txt") &&
           testenv::PathExists(folder_ / "Uninstall.lst");
  }

 private:
  testenv::TempFolder folder_;
};

// Strings of the program file, as the system gives them in Unicode.
std::wstring ProgramString(const std::string& exe, int id) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return L"";
  wchar_t text[256] = L"";
  LoadStringW(module, static_cast<UINT>(id), text, 256);
  FreeLibrary(module);
  return text;
}

std::wstring ReplacePercentS(std::wstring format, const std::wstring& arg) {
  std::wstring::size_type at = format.find(L"%s");
  if (at != std::wstring::npos) format.replace(at, 2, arg);
  return format;
}

// System icons by number: the IDI_ names are narrow in ANSI builds.
const LPCWSTR kInformationIcon = MAKEINTRESOURCEW(32516);
const LPCWSTR kErrorIcon = MAKEINTRESOURCEW(32513);
const LPCWSTR kWarningIcon = MAKEINTRESOURCEW(32515);
const LPCWSTR kQuestionIcon = MAKEINTRESOURCEW(32514);

// The test language library, built beside this test program.
std::string TestLibraryPath() {
  char path[1024];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string result = path;
  return result.substr(0, result.find_last_of('\\') + 1) + "test_kexlng.dll";
}

// Runs the program to its end, noting whether it ever showed a window (a
// confirmation, a notice, a dialog).
struct QuietRun {
  bool ended = false;
  bool showed_window = false;
  DWORD exit_code = 0xFFFFFFFF;
};

QuietRun RunQuietly(const Installation& installation, const std::string& arguments) {
  QuietRun result;
  ProgramRun run;
  if (!run.Start(installation.Exe(), arguments, installation.Folder())) return result;
  DWORD start = GetTickCount();
  while (!run.Wait(50, &result.exit_code)) {
    if (!testenv::TopLevelWindows(run.ProcessId()).empty()) result.showed_window = true;
    if (GetTickCount() - start > kStartTimeoutMs) return result;  // the destructor ends it
  }
  result.ended = true;
  return result;
}

TEST(ServiceSwitches, WarningShowsTheNoticeWithTheProgramPath) {
  Installation installation;
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/warning", installation.Folder()));
  HWND box = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  ASSERT_NE(box, nullptr) << "no notice appeared";

  std::wstring caption = ProgramString(installation.Exe(), MSG_UNINSTALL_CAPTION);
  std::wstring first = ProgramString(installation.Exe(), MSG_UNINSTALL_DONE);
  std::wstring second = ProgramString(installation.Exe(), MSG_DELETE_BY_HAND);
  ASSERT_FALSE(caption.empty());
  ASSERT_FALSE(first.empty());
  ASSERT_NE(second.find(L"%s"), std::wstring::npos);
  EXPECT_EQ(testenv::WindowText(box), caption);
  EXPECT_EQ(testenv::MessageBoxText(box),
            first + L"\n" + ReplacePercentS(second, testenv::AnsiToWide(installation.Exe())));
  EXPECT_TRUE(testenv::MessageBoxHasIcon(box, kInformationIcon));
  for (LPCWSTR other : {kErrorIcon, kWarningIcon, kQuestionIcon})
    EXPECT_FALSE(testenv::MessageBoxHasIcon(box, other));

  ASSERT_TRUE(testenv::PressButton(box, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(installation.Intact());
}

TEST(ServiceSwitches, WaitPausesAboutTwoSeconds) {
  Installation installation;
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/wait", installation.Folder()));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
  std::printf("[ figures  ] /wait run %lu ms\n", static_cast<unsigned long>(run.ElapsedMs()));
  EXPECT_GE(run.ElapsedMs(), 1900u);
  EXPECT_LE(run.ElapsedMs(), 10000u);
  EXPECT_TRUE(installation.Intact());
}

TEST(ServiceSwitches, WaitThenWarningPausesFirst) {
  Installation installation;
  ProgramRun run;
  DWORD start = GetTickCount();
  ASSERT_TRUE(run.Start(installation.Exe(), "/wait /warning", installation.Folder()));
  HWND box = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  DWORD shown_after = GetTickCount() - start;
  ASSERT_NE(box, nullptr);
  std::printf("[ figures  ] notice after %lu ms\n", static_cast<unsigned long>(shown_after));
  EXPECT_GE(shown_after, 1900u);
  EXPECT_EQ(testenv::WindowText(box), ProgramString(installation.Exe(), MSG_UNINSTALL_CAPTION));
  ASSERT_TRUE(testenv::PressButton(box, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
}

TEST(ServiceSwitches, WarningBeforeWaitPausesAfterTheNotice) {
  Installation installation;
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/warning /wait", installation.Folder()));
  HWND box = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  ASSERT_NE(box, nullptr);
  DWORD closed = GetTickCount();
  ASSERT_TRUE(testenv::PressButton(box, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_GE(GetTickCount() - closed, 1900u);
  EXPECT_EQ(code, 0u);
}

// Deployment tools read only the exit code (Windows Installer's codes).
const DWORD kCancelled = 1602;
const DWORD kFailed = 1603;
const DWORD kBadCommandLine = 1639;

TEST(CountedSwitches, EndWithoutUninstalling) {
  // What a deployment tool might try, and words the program does not know:
  // the command line is refused. A service switch alone is no error.
  const struct {
    const char* arguments;
    DWORD code;
  } cases[] = {{"/silent", kBadCommandLine},   {"C:/x", kBadCommandLine},
               {"/", kBadCommandLine},         {"-", kBadCommandLine},
               {"read-only", kBadCommandLine}, {"/SILENT /x", kBadCommandLine},
               {"/S /norestart", kBadCommandLine}, {"/VERYSILENT", kBadCommandLine},
               {"/Waiting", 0}};
  Installation installation;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    QuietRun run = RunQuietly(installation, c.arguments);
    EXPECT_TRUE(run.ended);
    EXPECT_FALSE(run.showed_window) << "a confirmation or another window appeared";
    EXPECT_EQ(run.exit_code, c.code);
    EXPECT_TRUE(installation.Intact());
  }
}

// A silent setup whose dialog cannot be created (a language library
// without it) shows nothing, changes nothing and says so in its exit code.
TEST(SetupMode, SilentSetupWithoutItsDialogFailsWithoutAWindow) {
  const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver";
  testenv::RegistryGuard entry(HKEY_LOCAL_MACHINE, kUninstallKey);
  testenv::RegistryGuard settings(HKEY_CURRENT_USER, "Software\\Zobrix");
  ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey));
  ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix"));
  Installation installation;
  ASSERT_TRUE(CopyFileA(TestLibraryPath().c_str(), (installation / "kexlng.dll").c_str(), FALSE));
  QuietRun run = RunQuietly(installation, "/setup /s");
  EXPECT_TRUE(run.ended);
  EXPECT_FALSE(run.showed_window);
  EXPECT_EQ(run.exit_code, kFailed);
  EXPECT_FALSE(testenv::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "the product was registered";
  EXPECT_FALSE(testenv::KeyExists(HKEY_CURRENT_USER, "Software\\Zobrix")) << "the choice was stored";
}

TEST(SetupMode, ShowsTheSetupDialogUntilEsc) {
  Installation installation;
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/setup", installation.Folder()));
  HWND dialog = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  ASSERT_NE(dialog, nullptr) << "no setup dialog appeared";
  // controls that only "SETUPDLG" has
  EXPECT_NE(GetDlgItem(dialog, ids::kSelectAll), nullptr);
  EXPECT_NE(GetDlgItem(dialog, ids::kContextItems), nullptr);
  EXPECT_NE(GetDlgItem(dialog, ids::kSetupText), nullptr);
  EXPECT_EQ(testenv::ControlText(dialog, ids::kAssocIso), L"ISO");
  ASSERT_TRUE(testenv::PressKey(dialog, VK_ESCAPE));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code)) << "Esc did not close the setup dialog";
  EXPECT_EQ(code, kCancelled);
  EXPECT_TRUE(installation.Intact());
}

TEST(SetupMode, SetupWordsInAnyCase) {
  for (const char* arguments : {"-Setup", "/SETUPx"}) {
    SCOPED_TRACE(arguments);
    Installation installation;
    ProgramRun run;
    ASSERT_TRUE(run.Start(installation.Exe(), arguments, installation.Folder()));
    HWND dialog = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(GetDlgItem(dialog, ids::kSelectAll), nullptr);
    ASSERT_TRUE(testenv::PressCloseBox(dialog));
    DWORD code = 1;
    ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
    EXPECT_EQ(code, kCancelled);
  }
}

// Full paths of the modules loaded in a process.
std::vector<std::string> LoadedModules(DWORD pid) {
  std::vector<std::string> modules;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
    modules.push_back(entry.szExePath);
  CloseHandle(snapshot);
  return modules;
}

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// A "riched32.dll" in the program's folder (and current folder) must not be
// loaded instead of the system's.
TEST(SetupMode, RichEditComesFromTheSystemFolder) {
  Installation installation;
  std::string planted = installation / "riched32.dll";
  ASSERT_TRUE(CopyFileA(TestLibraryPath().c_str(), planted.c_str(), FALSE));
  char system_folder[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system_folder, MAX_PATH), 0u);
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/setup", installation.Folder()));
  HWND dialog = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  ASSERT_NE(dialog, nullptr) << "the setup dialog could not be created";
  std::vector<std::string> modules = LoadedModules(run.ProcessId());
  ASSERT_FALSE(modules.empty()) << "cannot list the program's modules";
  bool system_copy = false;
  for (const std::string& module : modules) {
    EXPECT_FALSE(SameText(module, planted)) << "loaded " << module;
    if (SameText(module, std::string(system_folder) + "\\riched32.dll")) system_copy = true;
  }
  EXPECT_TRUE(system_copy);
  ASSERT_TRUE(testenv::PressCloseBox(dialog));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_EQ(code, kCancelled);
}

TEST(LanguageLibrary, NoticeTakesTheLibrarysStringsFirst) {
  Installation installation;
  ASSERT_TRUE(CopyFileA(TestLibraryPath().c_str(), (installation / "kexlng.dll").c_str(), FALSE));
  ProgramRun run;
  ASSERT_TRUE(run.Start(installation.Exe(), "/warning", installation.Folder()));
  HWND box = testenv::WaitForWindow(run.ProcessId(), kStartTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(testenv::WindowText(box), L"Library caption");
  // the library lacks 5105 and 5106: the program's own texts
  std::wstring expected =
      ProgramString(installation.Exe(), MSG_UNINSTALL_DONE) + L"\n" +
      ReplacePercentS(ProgramString(installation.Exe(), MSG_DELETE_BY_HAND),
                      testenv::AnsiToWide(installation.Exe()));
  EXPECT_EQ(testenv::MessageBoxText(box), expected);
  ASSERT_TRUE(testenv::PressButton(box, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(kStartTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
