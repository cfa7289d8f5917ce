// The setup dialog and the context-menu items dialog of the real program,
// driven through their windows as a user would, with the stored choice read
// back from the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "tests/support/control_ids.h"
#include "tests/e2e/setup_e2e_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace setup_e2e;

const DWORD kTimeoutMs = testenv::kWaitMs;
const char kSettings[] = "Software\\Zobrix";
const int kBoxCount = 18;  // 5101..5118

// A copy of the program in a folder of its own, on a system where the
// product settings key is absent and ".iso" belongs to another program.
class SetupDialogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileA(ProgramUnderTest().c_str(), (folder_ / "uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(testenv::RemoveKeyTree(HKEY_CURRENT_USER, kSettings));
    ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, ".iso", "", "OtherBurner.Image"));
  }

  // Starts /setup and waits for the setup dialog.
  HWND StartSetup() {
    run_.reset(new testenv::ProgramRun);
    if (!run_->Start(folder_ / "uninstall.exe", "/setup", folder_.Path())) return nullptr;
    return WaitForDialogWith(run_->ProcessId(), ids::kSelectAll, kTimeoutMs);
  }

  // Esc, then the end of the program with the code of a setup the user
  // cancelled (Windows Installer's 1602).
  void PressEscAndExpectEnd(HWND dialog) {
    ASSERT_TRUE(testenv::PressKey(dialog, VK_ESCAPE));
    DWORD code = 1;
    ASSERT_TRUE(run_->Wait(kTimeoutMs, &code)) << "Esc did not end the setup";
    EXPECT_EQ(code, 1602u);
  }

  // destroyed in reverse order: the program ends, its folder goes, then the
  // registry is put back
  testenv::RegistryGuard settings_{HKEY_CURRENT_USER, kSettings};
  testenv::RegistryGuard iso_{HKEY_CLASSES_ROOT, ".iso"};
  testenv::TempFolder folder_{"setupdlg"};
  std::unique_ptr<testenv::ProgramRun> run_;
};

// What the user sees: the eighteen marks and whether 5117 and 5118 can be used.
struct Boxes {
  bool checked[kBoxCount];
  bool shell_options_enabled;
};

Boxes FirstRunBoxes() {
  // KEX..JAR, not ISO (owned elsewhere); Desktop, Start menu off; program
  // group, shell integration on; cascaded menu off; menu icons on
  Boxes boxes = {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1}, true};
  return boxes;
}

// The user's click on one control, as the dialog must answer it.
void ClickModel(Boxes* boxes, int id) {
  if (id == ids::kSelectAll) {
    for (int i = 0; i < 12; ++i) boxes->checked[i] = true;
    return;
  }
  int index = id - ids::kAssocFirst;
  bool shell_option = id == ids::kCascadedMenu || id == ids::kMenuIcons;
  if (shell_option && !boxes->shell_options_enabled) return;
  boxes->checked[index] = !boxes->checked[index];
  if (id == ids::kShellExt) boxes->shell_options_enabled = boxes->checked[index];
}

::testing::AssertionResult ShowsBoxes(HWND dialog, const Boxes& expected) {
  for (int i = 0; i < kBoxCount; ++i) {
    int id = ids::kAssocFirst + i;
    if (testenv::IsChecked(dialog, id) != expected.checked[i])
      return ::testing::AssertionFailure() << "box " << id << " is " << (expected.checked[i] ? "not " : "")
                                           << "checked";
    bool enabled = (id != ids::kCascadedMenu && id != ids::kMenuIcons) || expected.shell_options_enabled;
    if (IsEnabled(dialog, id) != enabled)
      return ::testing::AssertionFailure() << "box " << id << " is " << (enabled ? "disabled" : "enabled");
  }
  if (!IsEnabled(dialog, ids::kSelectAll) || !IsEnabled(dialog, ids::kContextItems) || !IsEnabled(dialog, IDOK))
    return ::testing::AssertionFailure() << "a push button is disabled";
  return ::testing::AssertionSuccess();
}

// Random clicks on the eighteen boxes and the select-all button: after every
// click the dialog shows what the user expects, disabled boxes keep their
// marks and ignore clicks. Esc then stores and applies nothing.
TEST_F(SetupDialogRun, ClicksFollowTheUserAndEscKeepsTheSystemAsItWas) {
  Registry before = ReadRegistry();
  ASSERT_TRUE(before.complete);
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    HWND dialog = StartSetup();
    ASSERT_NE(dialog, nullptr) << "no setup dialog";
    Boxes boxes = FirstRunBoxes();
    ASSERT_TRUE(ShowsBoxes(dialog, boxes)) << "first-run marks";
    for (int step = 0; step < 60; ++step) {
      // one click in seven is select-all, one in four the shell integration
      // box or one of the two boxes that it governs
      int pick = static_cast<int>(random() % 28);
      int id = pick < 4    ? ids::kSelectAll
               : pick < 11 ? ids::kShellExt + static_cast<int>(random() % 3)
                           : ids::kAssocFirst + static_cast<int>(random() % 15);
      ASSERT_TRUE(Click(dialog, id)) << "step " << step;
      ClickModel(&boxes, id);
      ASSERT_TRUE(ShowsBoxes(dialog, boxes)) << "after clicking " << id << " at step " << step;
    }
    PressEscAndExpectEnd(dialog);
  }
  std::vector<std::string> changes = Unexplained(Differences(before, ReadRegistry()), SystemNoise());
  EXPECT_TRUE(changes.empty()) << "Esc changed the registry:\n" << Join(changes);
}

// Unchecking the shell integration keeps the marks of 5117 and 5118, and OK
// stores them as they are shown. Everything else is unchecked, so that the
// apply sequence has nothing to take over or create.
TEST_F(SetupDialogRun, OkStoresTheMarksOfDisabledBoxes) {
  // what OK writes whatever the choice: the file types, the App Paths and
  // uninstall entries (in the 32-bit view too)
  testenv::RegistryGuard guards[] = {
      {HKEY_CLASSES_ROOT, "Zobrix"},
      {HKEY_CLASSES_ROOT, "Zobrix.ZIP"},
      {HKEY_CLASSES_ROOT, "Zobrix.REV"},
      {HKEY_CLASSES_ROOT, ".rev"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver"},
      {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe"},
      {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver"},
  };
  HWND dialog = StartSetup();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, ids::kCascadedMenu));  // checked now, menu icons checked already
  ASSERT_TRUE(Click(dialog, ids::kShellExt));
  EXPECT_FALSE(IsEnabled(dialog, ids::kCascadedMenu));
  EXPECT_FALSE(IsEnabled(dialog, ids::kMenuIcons));
  ASSERT_TRUE(Click(dialog, ids::kMenuIcons));  // disabled: no effect
  EXPECT_TRUE(testenv::IsChecked(dialog, ids::kCascadedMenu));
  EXPECT_TRUE(testenv::IsChecked(dialog, ids::kMenuIcons));
  for (int id = ids::kAssocFirst; id <= ids::kPrograms; ++id)
    if (testenv::IsChecked(dialog, id)) {
      ASSERT_TRUE(Click(dialog, id));
    }
  ASSERT_TRUE(Click(dialog, IDOK));
  // the choice is applied before the completion dialog shows
  HWND done = WaitForDialogWith(run_->ProcessId(), ids::kInstallFolder, kTimeoutMs);
  ASSERT_NE(done, nullptr) << "no completion dialog after OK";
  ASSERT_TRUE(testenv::PressButton(done, IDOK));
  DWORD code = 1;
  ASSERT_TRUE(run_->Wait(kTimeoutMs, &code)) << "finish did not end the setup";
  EXPECT_EQ(code, 0u);

  struct Stored {
    const char* key;
    const char* name;
    DWORD value;
  } expected[] = {
      {"Setup", "ShellExt", 0},       {"Setup", "CascadedMenu", 1},        {"Setup", "MenuIcons", 1},
      {"Setup\\Links", "Desktop", 0}, {"Setup\\Links", "StartMenu", 0},    {"Setup\\Links", "Programs", 0},
      {"Setup\\.kex", "Set", 0},      {"Setup\\.zip", "Set", 0},           {"Setup\\.cab", "Set", 0},
      {"Setup\\.arj", "Set", 0},      {"Setup\\.lzh", "Set", 0},           {"Setup\\.ace", "Set", 0},
      {"Setup\\.tar", "Set", 0},      {"Setup\\.gz", "Set", 0},            {"Setup\\.uue", "Set", 0},
      {"Setup\\.bz2", "Set", 0},      {"Setup\\.jar", "Set", 0},
  };
  for (const Stored& value : expected) {
    DWORD stored = 7;
    std::string key = std::string(kSettings) + "\\" + value.key;
    EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, key, value.name, &stored)) << key << " " << value.name;
    EXPECT_EQ(stored, value.value) << key << " " << value.name;
  }
  DWORD iso = 0;
  EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, std::string(kSettings) + "\\Setup\\.iso", "Set", &iso))
      << "the ISO choice is never stored";
}

// The eleven context-menu items: the stored numbers or their defaults on
// opening; Cancel writes nothing; OK writes all eleven as shown, and they
// stay when the setup dialog is then left with Esc.
TEST_F(SetupDialogRun, ContextItemsAreStoredByTheirOwnOk) {
  const char* names[] = {"ExtrTo", "ExtrHere", "Extr",     "ExtrSep", "OpenSFX", "AddTo",
                         "AddArc", "EmailArc", "EmailOpt", "Test",    "Convert"};
  const bool defaults[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};
  const unsigned seed = 4976u;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const std::string items_key = std::string(kSettings) + "\\Setup\\MenuItems";

  // some items stored before, the others absent
  bool shown[11];
  for (int i = 0; i < 11; ++i) {
    shown[i] = defaults[i];
    if (random() % 2) continue;
    shown[i] = random() % 2;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, items_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    DWORD number = shown[i];
    RegSetValueExA(key, names[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    RegCloseKey(key);
  }
  testenv::RegistryKeySnapshot stored_before;
  testenv::ReadKeyTree(HKEY_CURRENT_USER, kSettings, &stored_before);

  HWND setup = StartSetup();
  ASSERT_NE(setup, nullptr);
  auto open_items = [&]() -> HWND {
    Click(setup, ids::kContextItems, 300);  // answered only when the dialog ends
    return WaitForDialogWith(run_->ProcessId(), ids::kItemLast, kTimeoutMs);
  };
  auto expect_marks = [&](HWND items, const bool* marks) {
    for (int i = 0; i < 11; ++i)
      EXPECT_EQ(testenv::IsChecked(items, ids::kItemFirst + i), marks[i]) << names[i];
  };

  // Cancel after changes: nothing written, the next opening shows the same
  HWND items = open_items();
  ASSERT_NE(items, nullptr) << "no context-menu items dialog";
  expect_marks(items, shown);
  for (int i = 0; i < 11; ++i)
    if (random() % 2) {
      ASSERT_TRUE(Click(items, ids::kItemFirst + i));
    }
  Click(items, IDCANCEL);
  ASSERT_TRUE(testenv::WaitForWindowGone(items, kTimeoutMs));
  testenv::RegistryKeySnapshot stored_now;
  testenv::ReadKeyTree(HKEY_CURRENT_USER, kSettings, &stored_now);
  EXPECT_EQ(testenv::DescribeTreeDifference(stored_before, stored_now), "") << "Cancel wrote";

  items = open_items();
  ASSERT_NE(items, nullptr);
  expect_marks(items, shown);
  for (int i = 0; i < 11; ++i)
    if (random() % 2) {
      ASSERT_TRUE(Click(items, ids::kItemFirst + i));
      shown[i] = !shown[i];
    }
  Click(items, IDOK);
  ASSERT_TRUE(testenv::WaitForWindowGone(items, kTimeoutMs));
  PressEscAndExpectEnd(setup);

  // exactly the eleven values below the settings key, nothing else
  testenv::RegistryKeySnapshot expected;
  expected.subkeys.resize(1);
  expected.subkeys[0].name = L"Setup";
  expected.subkeys[0].subkeys.resize(1);
  testenv::RegistryKeySnapshot& menu_items = expected.subkeys[0].subkeys[0];
  menu_items.name = L"MenuItems";
  for (int i = 0; i < 11; ++i) {
    DWORD number = shown[i];
    menu_items.values.push_back({testenv::Widen(names[i]), REG_DWORD,
                                 std::string(reinterpret_cast<const char*>(&number), sizeof(number))});
  }
  std::sort(menu_items.values.begin(), menu_items.values.end(),
            [](const testenv::RegistryValueSnapshot& a, const testenv::RegistryValueSnapshot& b) {
              return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
            });
  testenv::ReadKeyTree(HKEY_CURRENT_USER, kSettings, &stored_now);
  EXPECT_EQ(testenv::DescribeTreeDifference(expected, stored_now), "");
}

}  // namespace
