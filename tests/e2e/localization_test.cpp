// Localisation of the real program: a language file "uninstall.lng" and a
// language library "kexlng.dll" beside a copy of it translate, rescale and
// mirror its dialogs, and translate its message boxes and shortcut names.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/setup_e2e_support.h"
#include "tests/support/control_ids.h"
#include "tests/support/dialog_geometry.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using namespace setup_e2e;

const DWORD kTimeoutMs = testenv::kWaitMs;
const size_t kLastMarkerOffset = 130816;

// The program's texts are code page 936 bytes under the locale of these runs.
std::string Ansi(const char* utf8) { return testenv::WideToAnsi(testenv::Widen(utf8)); }

// A key of the template that scripts/lng.py made from the built program,
// with the places its "; source (...)" lines name, joined by "|".
struct TemplateKey {
  std::string key;
  std::string places;
  bool formats;  // the text holds "%s"
};

std::vector<TemplateKey> ReadTemplate() {
  std::string exe(1024, '\0');
  exe.resize(GetModuleFileNameA(nullptr, &exe[0], 1024));
  std::string lines;
  std::vector<TemplateKey> keys;
  if (!testenv::ReadFileBytes(exe.substr(0, exe.rfind('\\') + 1) + "uninstall_template.lng", &lines)) return keys;
  std::string places;
  for (size_t at = 0, end; at < lines.size(); at = end + 1) {
    end = std::min(lines.find('\n', at), lines.size());
    const std::string line = lines.substr(at, end - at);
    if (line.compare(0, 10, "; source (") == 0) {
      places += (places.empty() ? "" : "|") + line.substr(10, line.find(')') - 10);
    } else if (line.size() > 10 && line.compare(8, 2, "=\"") == 0) {
      keys.push_back({line.substr(0, 8), places, line.find("%s") != std::string::npos});
      places.clear();
    }
  }
  return keys;
}

// The line that translates the text shown at place (empty if the template
// has no such place).
std::string Entry(const std::string& place, const std::string& translation) {
  for (const TemplateKey& key : ReadTemplate())
    if (("|" + key.places + "|").find("|" + place + "|") != std::string::npos)
      return key.key + "=\"" + translation + "\"\r\n";
  ADD_FAILURE() << "the template names no " << place;
  return "";
}

// 50a17ae8 and 9b889d24: the layout direction and the setup dialog's scale.
const char kRightToLeft[] = "50a17ae8=\"RTL\"\r\n";
const char kLeftToRight[] = "50a17ae8=\"LTR\"\r\n";

struct Child {
  int id;
  std::wstring text;
  RECT rect;  // screen
  LONG ex_style;
};

// A dialog of another process as its windows give it.
struct Shot {
  RECT window{}, client{};
  POINT client_origin{};  // screen
  LONG ex_style = 0;
  std::wstring caption;
  std::vector<Child> children;  // in z-order
};

Shot Read(HWND dialog) {
  Shot shot;
  GetWindowRect(dialog, &shot.window);
  GetClientRect(dialog, &shot.client);
  ClientToScreen(dialog, &shot.client_origin);
  shot.ex_style = GetWindowLongA(dialog, GWL_EXSTYLE);
  shot.caption = testenv::WindowText(dialog);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Child info{GetDlgCtrlID(child), testenv::WindowText(child), {}, GetWindowLongA(child, GWL_EXSTYLE)};
    GetWindowRect(child, &info.rect);
    shot.children.push_back(info);
  }
  return shot;
}

::testing::AssertionResult Mirrored(const Shot& shot, const std::string& name) {
  if (!(shot.ex_style & WS_EX_LAYOUTRTL)) return ::testing::AssertionFailure() << name << " is not mirrored";
  for (const Child& child : shot.children)
    if (!(child.ex_style & WS_EX_LAYOUTRTL))
      return ::testing::AssertionFailure() << name << ": control " << child.id << " is not mirrored";
  return ::testing::AssertionSuccess();
}

// What a confirmed setup writes, put back afterwards. The stored choice asks
// for no archive types and no shell extension, and for the shortcuts only
// when the test says so.
class SetupTraces {
 public:
  explicit SetupTraces(bool shortcuts) {
    ready_ = setup_e2e::GuardSetupTraces(&guards_);
    for (const char* extension : {".kex", ".zip", ".cab", ".arj", ".lzh", ".ace", ".tar", ".gz", ".uue", ".bz2",
                                  ".jar", ".iso"})
      ready_ = ready_ && SetDword(std::string("Software\\Zobrix\\Setup\\") + extension, "Set", 0);
    ready_ = ready_ && SetDword("Software\\Zobrix\\Setup", "ShellExt", 0);
    for (const char* link : {"Desktop", "StartMenu", "Programs"})
      ready_ = ready_ && SetDword("Software\\Zobrix\\Setup\\Links", link, shortcuts);
    for (const std::string& place : Places()) testenv::RemoveTree(place);
  }
  ~SetupTraces() {
    for (const std::string& place : Places()) testenv::RemoveTree(place);
  }
  bool Ready() const { return ready_; }

  static std::string Folder(int csidl) {
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
  }
  // Both "Zobrix.lnk" files, the per-user group and the all-users one when
  // the system has it.
  static std::vector<std::string> Places() {
    std::vector<std::string> places = {Folder(CSIDL_DESKTOPDIRECTORY) + "\\Zobrix.lnk",
                                       Folder(CSIDL_STARTMENU) + "\\Zobrix.lnk", Folder(CSIDL_PROGRAMS) + "\\Zobrix"};
    if (!Folder(CSIDL_COMMON_PROGRAMS).empty()) places.push_back(Folder(CSIDL_COMMON_PROGRAMS) + "\\Zobrix");
    return places;
  }

 private:
  static bool SetDword(const std::string& key, const char* name, DWORD value) {
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr))
      return false;
    bool written = !RegSetValueExA(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(handle);
    return written;
  }
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
  bool ready_ = false;
};

// A copy of the program in a folder of its own, with or without a language
// file and a language library beside it.
class Localization : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileA(ProgramUnderTest().c_str(), (folder_ / "uninstall.exe").c_str(), FALSE));
  }

  // The marker line at the given offset, behind lines of filler.
  void WriteLanguageFile(const std::string& entries, size_t marker_offset = 0) {
    std::string filler;
    while (filler.size() < marker_offset) filler += "; filler\r\n";
    filler.resize(marker_offset);
    ASSERT_TRUE(testenv::WriteFileBytes(folder_ / "uninstall.lng", filler + "***messages***\r\n" + entries));
  }

  // The test library with the program's three dialogs added, as a real
  // language library carries them, and its "RTL" dialog.
  void InstallLanguageLibrary() {
    char path[1024];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string library = path;
    library = library.substr(0, library.find_last_of('\\') + 1) + "test_kexlng.dll";
    std::string target = folder_ / "kexlng.dll";
    ASSERT_TRUE(CopyFileA(library.c_str(), target.c_str(), FALSE));
    HMODULE program = LoadLibraryExA(ProgramUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HANDLE update = BeginUpdateResourceA(target.c_str(), FALSE);
    bool added = program && update;
    for (const char* name : {"SETUPDLG", "DONEDLG", "CONTEXTITEMS"}) {
      HRSRC found = added ? FindResourceA(program, name, RT_DIALOG) : nullptr;
      added = found && UpdateResourceA(update, RT_DIALOG, name, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                       LockResource(LoadResource(program, found)), SizeofResource(program, found));
    }
    if (update) added = EndUpdateResourceA(update, !added) && added;
    if (program) FreeLibrary(program);
    ASSERT_TRUE(added);
  }

  bool Start(const char* arguments) {
    run_.reset(new testenv::ProgramRun);
    return run_->Start(folder_ / "uninstall.exe", arguments, folder_.Path());
  }
  HWND StartSetup() { return Start("/setup") ? WaitForDialogWith(run_->ProcessId(), ids::kSelectAll, kTimeoutMs) : nullptr; }

  // The setup dialog as it opens, then closed without confirming.
  Shot SetupDialogShot() {
    HWND dialog = StartSetup();
    if (!dialog) return Shot();
    Shot shot = Read(dialog);
    EXPECT_TRUE(testenv::PressCloseBox(dialog));
    EXPECT_TRUE(run_->Wait(kTimeoutMs));
    return shot;
  }

  // The uninstall confirmation, answered No: its text and caption.
  std::pair<std::wstring, std::wstring> Confirmation() {
    HWND box = Start("") ? testenv::WaitForWindow(run_->ProcessId(), kTimeoutMs) : nullptr;
    if (!box) return {L"(no box)", L""};
    std::pair<std::wstring, std::wstring> texts = {testenv::MessageBoxText(box), testenv::WindowText(box)};
    EXPECT_TRUE(testenv::PressButton(box, IDNO));
    EXPECT_TRUE(run_->Wait(kTimeoutMs));
    return texts;
  }

  // Setup, the context-menu items dialog and the completion dialog, each
  // read as it opens, by resource name; the setup is confirmed.
  std::vector<std::pair<std::string, Shot>> AllDialogs() {
    std::vector<std::pair<std::string, Shot>> shots;
    SetupTraces traces(false);
    EXPECT_TRUE(traces.Ready());
    HWND setup = StartSetup();
    if (!setup) return shots;
    shots.emplace_back("SETUPDLG", Read(setup));
    EXPECT_TRUE(testenv::PressButton(setup, ids::kContextItems));
    HWND items = WaitForDialogWith(run_->ProcessId(), ids::kItemFirst, kTimeoutMs);
    if (!items) return shots;
    shots.emplace_back("CONTEXTITEMS", Read(items));
    EXPECT_TRUE(testenv::PressButton(items, IDCANCEL) && testenv::WaitForWindowGone(items, kTimeoutMs));
    EXPECT_TRUE(testenv::PressButton(setup, IDOK) && testenv::WaitForWindowGone(setup, kTimeoutMs));
    HWND done = WaitForDialogWith(run_->ProcessId(), ids::kRunArchiver, kTimeoutMs);
    if (!done) return shots;
    shots.emplace_back("DONEDLG", Read(done));
    EXPECT_TRUE(testenv::PressButton(done, IDOK));
    EXPECT_TRUE(run_->Wait(kTimeoutMs));
    return shots;
  }

  void ExpectAllDialogsMirrored() {
    std::vector<std::pair<std::string, Shot>> shots = AllDialogs();
    EXPECT_EQ(shots.size(), 3u) << "a dialog did not open";
    for (const auto& shot : shots) EXPECT_TRUE(Mirrored(shot.second, shot.first));
  }

  testenv::TempFolder folder_{"lang"};
  std::unique_ptr<testenv::ProgramRun> run_;
};

// 120*110 for the setup dialog, against the same dialog without the file.
TEST_F(Localization, ScaleEntryResizesSetupDialogKeepingItsCorner) {
  Shot before = SetupDialogShot();
  ASSERT_FALSE(before.children.empty()) << "no setup dialog";
  ASSERT_NO_FATAL_FAILURE(WriteLanguageFile("9b889d24=\"120*110\"\r\n"));
  Shot after = SetupDialogShot();
  testenv::DialogGeometry geometry[2];
  for (int i = 0; i < 2; ++i) {
    const Shot& shot = i == 0 ? before : after;
    geometry[i] = {shot.window, shot.client, shot.client_origin.y, {}};
    for (const Child& child : shot.children) geometry[i].children.push_back(child.rect);
  }
  testenv::ExpectRescaled(geometry[0], geometry[1], 120, 110, false);
}

TEST_F(Localization, RightToLeftFileMirrorsEveryDialog) {
  ASSERT_NO_FATAL_FAILURE(WriteLanguageFile(kRightToLeft));
  ExpectAllDialogsMirrored();
}

// The library's "RTL" dialog decides, whatever the file says.
TEST_F(Localization, LibraryWithRtlDialogMirrorsEveryDialog) {
  ASSERT_NO_FATAL_FAILURE(InstallLanguageLibrary());
  for (bool with_file : {true, false}) {
    SCOPED_TRACE(with_file ? "file says LTR" : "no file");
    if (with_file) {
      ASSERT_NO_FATAL_FAILURE(WriteLanguageFile(kLeftToRight));
    } else {
      ASSERT_TRUE(DeleteFileA((folder_ / "uninstall.lng").c_str()));
    }
    ExpectAllDialogsMirrored();
  }
}

// The template that scripts/lng.py made from the built program, each text
// replaced by the places its "; source (...)" lines name: every window, the
// confirmation and the group's shortcuts must show their own place, or the
// tool keyed a text other than the one the program looks up. The file's
// marker lies at the last offset searched.
TEST_F(Localization, TranslationToolKeysEveryTextShown) {
  std::vector<TemplateKey> keys = ReadTemplate();
  ASSERT_FALSE(keys.empty()) << "no uninstall_template.lng beside the tests";
  std::string entries;
  for (const TemplateKey& key : keys)
    if (key.places.find(" scale") == std::string::npos && key.places != "direction")
      entries += key.key + "=\"[" + key.places + "]" + (key.formats ? " %s" : "") + "\"\r\n";
  ASSERT_NO_FATAL_FAILURE(WriteLanguageFile(entries, kLastMarkerOffset));

  // in code page 936 each text has a place of its own
  auto shows = [](const std::string& place) { return testenv::Widen(("[" + place + "]").c_str()); };
  std::vector<std::pair<std::string, Shot>> shots = AllDialogs();
  ASSERT_EQ(shots.size(), 3u);
  EXPECT_EQ(shots[0].second.ex_style & WS_EX_LAYOUTRTL, 0) << "mirrored without a right-to-left language";
  for (const auto& shot : shots) {
    EXPECT_EQ(shot.second.caption, shows(shot.first + " caption"));
    for (const Child& child : shot.second.children) {
      // texts the template has none for, and the folder the program fills in
      if (child.text.empty() || (shot.first == "DONEDLG" && child.id == ids::kInstallFolder)) continue;
      // the templates hold 16-bit ids: -1 comes back as 65535
      EXPECT_EQ(child.text, shows(shot.first + " " + std::to_string(static_cast<short>(child.id))));
    }
  }
  EXPECT_EQ(Confirmation(), std::make_pair(std::wstring(L"[message 5107]"), std::wstring(L"[message 5104]")));
  {
    SetupTraces traces(true);
    ASSERT_TRUE(traces.Ready());
    ASSERT_TRUE(Start("/setup /s") && run_->Wait(kTimeoutMs)) << "silent setup did not end";
    std::vector<std::string> places = SetupTraces::Places();
    EXPECT_TRUE(testenv::PathExists(places[0]) && testenv::PathExists(places[1])) << "no Zobrix.lnk";
    // the all-users group belongs to the NT family only
    const std::vector<std::string> group = {"Zobrix.lnk", "[message 5102].lnk", "[message 5103].lnk"};
    for (size_t i = 2; i < places.size(); ++i) {
      std::vector<std::string> listed = testenv::ListFolder(places[i]);
      std::sort(listed.begin(), listed.end());
      EXPECT_EQ(listed, i == 3 && testenv::IsWin9xFamily() ? std::vector<std::string>() : group) << places[i];
    }
  }
  // one byte further the marker is not looked for
  ASSERT_NO_FATAL_FAILURE(WriteLanguageFile(entries, kLastMarkerOffset + 1));
  EXPECT_EQ(Confirmation(), std::make_pair(testenv::Widen("确实要卸载 Zobrix 吗?"), testenv::Widen("卸载 Zobrix")));
}

// Translated shortcut names that would leave the program group, and a home
// page that names a program, give way to the program's own texts.
TEST_F(Localization, HostileNamesAndHomePageGiveWayToTheProgramsOwn) {
  char self[MAX_PATH];
  const std::string tests(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  const std::string trace = tests.substr(0, tests.rfind('\\')) + "\\trace_program.exe";
  const std::string planted = folder_ / "planted.exe", viewer = folder_ / "viewer.exe";
  ASSERT_TRUE(CopyFileA(trace.c_str(), planted.c_str(), FALSE) && CopyFileA(trace.c_str(), viewer.c_str(), FALSE));
  HMODULE program = LoadLibraryExA(ProgramUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char home_page[256] = "";
  ASSERT_TRUE(program && LoadStringA(program, MSG_HOME_PAGE, home_page, sizeof(home_page)) > 0);
  FreeLibrary(program);
  std::string planted_text;  // the file's escapes: a backslash is written twice
  for (char c : planted) planted_text += c == '\\' ? std::string(2, c) : std::string(1, c);
  ASSERT_NO_FATAL_FAILURE(WriteLanguageFile(Entry("message 5102", "..\\\\Zobrix help") +
                                            Entry("message 5103", "..\\\\..\\\\Zobrix manual") +
                                            Entry("message 5112", planted_text)));
  const std::string escaped[] = {SetupTraces::Folder(CSIDL_PROGRAMS) + "\\Zobrix help.lnk",
                                 SetupTraces::Folder(CSIDL_STARTMENU) + "\\Zobrix manual.lnk"};
  {
    SetupTraces traces(true);
    ASSERT_TRUE(traces.Ready());
    ASSERT_TRUE(Start("/setup /s"));
    ASSERT_TRUE(run_->Wait(kTimeoutMs)) << "silent setup did not end";
    std::vector<std::string> group = {"Zobrix.lnk", Ansi("Zobrix 中文帮助.lnk"), Ansi("控制台 KEX 中文手册.lnk")};
    std::vector<std::string> listed = testenv::ListFolder(SetupTraces::Places()[2]);
    std::sort(group.begin(), group.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, group);
    for (const std::string& link : escaped) {
      EXPECT_FALSE(testenv::PathExists(link)) << link;
      DeleteFileA(link.c_str());
    }
  }

  // the web address goes to the class of https addresses: a stand-in viewer here
  testenv::RegistryGuard https(HKEY_CLASSES_ROOT, "https");
  ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, "https") &&
              SetString(HKEY_CLASSES_ROOT, "https", "URL Protocol", "") &&
              SetString(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "\"" + viewer + "\" \"%1\""));
  SetupTraces traces(false);
  ASSERT_TRUE(traces.Ready());
  HWND setup = StartSetup();
  ASSERT_TRUE(setup && testenv::PressButton(setup, IDOK) && testenv::WaitForWindowGone(setup, kTimeoutMs));
  HWND done = WaitForDialogWith(run_->ProcessId(), ids::kRunArchiver, kTimeoutMs);
  ASSERT_TRUE(done && testenv::PressButton(done, ids::kHomePage));
  std::string opened;
  for (DWORD waited = 0; !testenv::ReadFileBytes(viewer + ".trace", &opened) && waited < kTimeoutMs; waited += 50)
    Sleep(50);
  EXPECT_NE(opened.find(std::string("\"") + home_page + "\""), std::string::npos) << opened;
  EXPECT_FALSE(testenv::PathExists(planted + ".trace")) << "the translation started a program";
  ASSERT_TRUE(testenv::PressButton(done, IDOK));
  ASSERT_TRUE(run_->Wait(kTimeoutMs));
}

}  // namespace
