// A silent setup ended (TerminateProcess) at many points of its run, each
// followed by the silent uninstall: whatever the setup had done by then, every
// archive extension's key is afterwards as other programs left it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/setup_e2e_support.h"
#include "tests/e2e/uninstall_support.h"
#include "tests/support/process_driver.h"
#include "tests/support/registry_guard.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

const char kInstall[] = "C:\\Program Files\\Zobrix";
const int kCuts = 50;

const char* const kArchiveExtensions[] = {".kex", ".zip", ".cab", ".arj", ".lzh", ".lha", ".ace",
                                          ".tar", ".gz",  ".tgz", ".uue", ".xxe", ".uu",  ".bz2",
                                          ".tbz2", ".bz", ".tbz", ".jar", ".iso", ".rev"};

std::vector<std::string> ExtensionKeys() {
  std::vector<std::string> keys(std::begin(kArchiveExtensions), std::end(kArchiveExtensions));
  for (int i = 0; i < 100; ++i) {
    char name[8];
    std::snprintf(name, sizeof(name), ".k%02d", i);
    keys.push_back(name);
  }
  return keys;
}

// Keys the program or the test writes besides the extensions.
std::vector<std::pair<HKEY, std::string>> OtherKeys() {
  const std::string handler_class = "{5E0C7A12-3B9D-4F61-A8E2-71C4D09B6F35}";
  std::vector<std::pair<HKEY, std::string>> keys;
  for (const std::string& key :
       {std::string("Zobrix"), std::string("Zobrix.ZIP"), std::string("Zobrix.REV"),
        std::string("OtherZip.Archive"), std::string("CabFolder.Other"), std::string("OtherTar.Archive"),
        std::string("jarfile.Other"), std::string("OtherBurner.Image"), "CLSID\\" + handler_class,
        std::string("*\\shellex\\ContextMenuHandlers\\Zobrix"),
        std::string("Folder\\shellex\\ContextMenuHandlers\\Zobrix"),
        std::string("Folder\\shellex\\DragDropHandlers\\Zobrix"),
        std::string("Drive\\shellex\\DragDropHandlers\\Zobrix"),
        std::string("Directory\\shellex\\ContextMenuHandlers\\Zobrix"),
        std::string("Directory\\shellex\\DragDropHandlers\\Zobrix"),
        "exefile\\shellex\\PropertySheetHandlers\\" + handler_class})
    keys.push_back({HKEY_CLASSES_ROOT, key});
  for (const char* key : {"Shell Extensions\\Approved", "App Paths\\Zobrix.exe", "Uninstall\\Zobrix archiver"})
    keys.push_back({HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\") + key});
  keys.push_back({HKEY_CURRENT_USER, "Software\\Zobrix"});
  return keys;
}

class Guards {
 public:
  Guards() {
    for (const std::string& key : ExtensionKeys()) Add(HKEY_CLASSES_ROOT, key);
    for (const auto& key : OtherKeys()) Add(key.first, key.second);
  }
  void Restore() {
    for (auto& guard : guards_) guard->Restore();
  }

 private:
  void Add(HKEY hive, const std::string& path) { guards_.emplace_back(new testenv::RegistryGuard(hive, path)); }
  std::vector<std::unique_ptr<testenv::RegistryGuard>> guards_;
};

bool SetString(const std::string& path, const char* name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// Other programs own some extensions, with content types and New-menu
// entries; the rest are absent. The volume extensions (.k00 onwards) keep no
// record of an owner, so none is given to another program here.
::testing::AssertionResult PrepareOtherOwners() {
  for (const std::string& key : ExtensionKeys())
    if (!testenv::RemoveKeyTree(HKEY_CLASSES_ROOT, key))
      return ::testing::AssertionFailure() << "cannot remove " << key;
  struct Owner {
    const char *extension, *type, *content, *shell_new;
  };
  const Owner owners[] = {
      {".zip", "OtherZip.Archive", "application/x-zip-compressed", "NullFile"},
      {".cab", "CabFolder.Other", "application/vnd.ms-cab-compressed", "FileName"},
      {".tar", "OtherTar.Archive", nullptr, "NullFile"},
      {".gz", nullptr, "application/x-gzip", nullptr},
      {".jar", "jarfile.Other", "application/java-archive", nullptr},
      {".iso", "OtherBurner.Image", nullptr, nullptr},
  };
  for (const Owner& owner : owners) {
    bool ok = true;
    if (owner.type) {
      ok &= SetString(owner.extension, "", owner.type);
      ok &= SetString(owner.type, "", std::string("Another program's ") + owner.extension);
    }
    if (owner.content) ok &= SetString(owner.extension, "Content Type", owner.content);
    if (owner.shell_new)
      ok &= SetString(std::string(owner.extension) + "\\ShellNew", owner.shell_new,
                      std::string(owner.shell_new) == "FileName" ? "C:\\Templates\\empty.cab" : "");
    if (!ok) return ::testing::AssertionFailure() << "cannot prepare " << owner.extension;
  }
  return ::testing::AssertionSuccess();
}

// Extension keys by name; a missing key has no entry.
typedef std::vector<std::pair<std::string, testenv::RegistryKeySnapshot>> ExtensionState;

ExtensionState ReadExtensions() {
  ExtensionState state;
  for (const std::string& key : ExtensionKeys()) {
    testenv::RegistryKeySnapshot tree;
    if (testenv::ReadKeyTree(HKEY_CLASSES_ROOT, key, &tree)) state.push_back({key, tree});
  }
  return state;
}

void Serialize(const testenv::RegistryKeySnapshot& tree, std::string* out) {
  out->append("[" + testenv::Utf8(tree.name));
  for (const testenv::RegistryValueSnapshot& value : tree.values)
    out->append("|" + testenv::Utf8(value.name) + "=" + std::to_string(value.type) + ":" + value.data);
  for (const testenv::RegistryKeySnapshot& subkey : tree.subkeys) Serialize(subkey, out);
  out->append("]");
}

// Everything the setup may have written by the time it was ended.
std::string ExportState() {
  std::string text;
  for (const auto& key : ReadExtensions()) {
    text += key.first;
    Serialize(key.second, &text);
  }
  for (const auto& key : OtherKeys()) {
    testenv::RegistryKeySnapshot tree;
    if (!testenv::ReadKeyTree(key.first, key.second, &tree)) continue;
    text += key.second;
    Serialize(tree, &text);
  }
  return text;
}

// What the give-back leaves by design in an extension key: an extension that
// had a content type but no file type gets its empty file type back as an
// empty default value; on the 9x family the ".zip" New-menu entry is a
// "Data" value, which the give-back of an existing extension leaves.
void DropDocumentedResidue(const std::string& key, testenv::RegistryKeySnapshot* tree) {
  auto drop = [](std::vector<testenv::RegistryValueSnapshot>* values, const std::wstring& name) {
    for (auto it = values->begin(); it != values->end(); ++it)
      if (lstrcmpiW(it->name.c_str(), name.c_str()) == 0) {
        values->erase(it);
        return;
      }
  };
  if (key == ".gz") drop(&tree->values, L"");
  if (key == ".zip" && testenv::IsWin9xFamily())
    for (testenv::RegistryKeySnapshot& subkey : tree->subkeys)
      if (lstrcmpiW(subkey.name.c_str(), L"ShellNew") == 0) drop(&subkey.values, L"Data");
}

// The first extension whose key differs from before, described; empty when
// all are as they were.
std::string ExtensionDifference(const ExtensionState& before) {
  ExtensionState after = ReadExtensions();
  for (const std::string& key : ExtensionKeys()) {
    const testenv::RegistryKeySnapshot* was = nullptr;
    testenv::RegistryKeySnapshot* is = nullptr;
    for (const auto& entry : before)
      if (entry.first == key) was = &entry.second;
    for (auto& entry : after)
      if (entry.first == key) is = &entry.second;
    if (!was && !is) continue;
    if (!was) return key + " was created";
    if (!is) return key + " is gone";
    DropDocumentedResidue(key, is);
    testenv::RegistryKeySnapshot expected = *was;
    DropDocumentedResidue(key, &expected);
    std::string difference = testenv::DescribeTreeDifference(expected, *is);
    if (!difference.empty()) return key + ": " + difference;
  }
  return "";
}

std::string ProgramsGroup() {
  char path[MAX_PATH] = "";
  if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, FALSE)) return "";
  return std::string(path) + "\\Zobrix";
}

// The uninstall of one cut: it runs to its end; its batch file and the
// copies it starts are ended and the folder cleared, so that the next cut
// starts without them.
::testing::AssertionResult Uninstall() {
  testenv::ProgramRun run;
  if (!run.Start(std::string(kInstall) + "\\uninstall.exe", "/s", uninstall_e2e::TempPath()))
    return ::testing::AssertionFailure() << "cannot start the uninstall";
  DWORD code = 1;
  if (!run.Wait(60000, &code)) return ::testing::AssertionFailure() << "the uninstall did not end";
  testenv::EndProcessesStartedByTest();
  for (int attempt = 0; attempt < 20 && !uninstall_e2e::NothingOfTheBatchLeft(); ++attempt) {
    uninstall_e2e::RemoveBatchLeftovers();
    Sleep(50);
  }
  testenv::RemoveTree(kInstall);
  if (code != 0) return ::testing::AssertionFailure() << "the uninstall ended with " << code;
  return ::testing::AssertionSuccess();
}

// Set once the running setup makes its first change to the system (the
// application path comes first), so that cut times count from there and
// not from the start of the process, which varies more than the whole run
// of changes lasts. Wine itself writes below the user's software key at
// every start, so that key cannot tell.
class FirstWrite {
 public:
  FirstWrite() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_NOTIFY, &key_);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (key_ && event_)
      watching_ = RegNotifyChangeKeyValue(key_, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                          event_, TRUE) == ERROR_SUCCESS;
  }
  ~FirstWrite() {
    if (key_) RegCloseKey(key_);
    if (event_) CloseHandle(event_);
  }
  bool Wait(DWORD timeout_ms) const { return watching_ && WaitForSingleObject(event_, timeout_ms) == WAIT_OBJECT_0; }

 private:
  HKEY key_ = nullptr;
  HANDLE event_ = nullptr;
  bool watching_ = false;
};

::testing::AssertionResult StartSetup(testenv::ProgramRun* setup, const FirstWrite& first_write) {
  if (!setup->Start(std::string(kInstall) + "\\uninstall.exe", "/setup /s", kInstall))
    return ::testing::AssertionFailure() << "cannot start the setup";
  if (!first_write.Wait(testenv::kWaitMs)) return ::testing::AssertionFailure() << "the setup wrote nothing";
  return ::testing::AssertionSuccess();
}

// One cut: the silent setup started afresh and ended at_ms after its first
// change, then the silent uninstall. The registry state right after the cut
// goes to state.
struct Cut {
  Guards& prepared;
  const ExtensionState& before;
  std::string group;

  ::testing::AssertionResult Run(DWORD at_ms, std::string* state, bool* ended_before) {
    prepared.Restore();
    if (!group.empty()) testenv::RemoveTree(group);
    ::testing::AssertionResult installed = setup_e2e::MakeInstallation(kInstall);
    if (!installed) return installed;
    FirstWrite first_write;
    testenv::ProgramRun setup;
    ::testing::AssertionResult started = StartSetup(&setup, first_write);
    if (!started) return started;
    Sleep(at_ms);
    *ended_before = !TerminateProcess(setup.ProcessHandle(), 1);
    if (!setup.Wait(testenv::kWaitMs)) return ::testing::AssertionFailure() << "the setup did not end";
    *state = ExportState();
    ::testing::AssertionResult uninstalled = Uninstall();
    if (!uninstalled) return uninstalled;
    std::string difference = ExtensionDifference(before);
    if (!difference.empty())
      return ::testing::AssertionFailure() << "cut at " << at_ms << " ms: " << difference;
    return ::testing::AssertionSuccess();
  }
};

TEST(SetupCutOff, UninstallAfterSetupEndedAnywhereGivesEveryExtensionBack) {
  ASSERT_FALSE(testenv::UninstallExePath().empty()) << "UNINSTALL_EXE is not set";
  Guards original;  // the system as it was, back at the end
  ASSERT_TRUE(PrepareOtherOwners());
  Guards prepared;  // the other programs' state, back before every cut
  const ExtensionState before = ReadExtensions();
  Cut cut{prepared, before, ProgramsGroup()};

  // One setup to its end: how long its changes last, and that it takes the
  // extensions over at all.
  ASSERT_TRUE(setup_e2e::MakeInstallation(kInstall));
  DWORD changes_ms = 0;
  {
    FirstWrite first_write;
    testenv::ProgramRun full;
    ASSERT_TRUE(StartSetup(&full, first_write));
    DWORD first_ms = GetTickCount();
    ASSERT_TRUE(full.Wait(60000));
    changes_ms = GetTickCount() - first_ms;
  }
  ASSERT_FALSE(ExtensionDifference(before).empty()) << "the setup changed no extension";
  const std::string complete_state = ExportState();
  ASSERT_TRUE(Uninstall());
  EXPECT_EQ(ExtensionDifference(before), "") << "after a complete setup";

  std::set<std::string> states;
  int ended_before_cut = 0;
  for (int i = 0; i < kCuts; ++i) {
    DWORD at_ms = static_cast<DWORD>(i * changes_ms / kCuts);
    std::string state;
    bool ended = false;
    ASSERT_TRUE(cut.Run(at_ms, &state, &ended));
    states.insert(state);
    ended_before_cut += ended;
  }
  prepared.Restore();
  if (!cut.group.empty()) testenv::RemoveTree(cut.group);
  std::printf("[ cut-off  ] setup changes for %lu ms from its first change; %d cuts over them, "
              "%zu distinct registry states after them%s, %d after the setup had ended\n",
              static_cast<unsigned long>(changes_ms), kCuts, states.size(),
              states.count(complete_state) ? " (the complete setup among them)" : "", ended_before_cut);
  // The cuts must have fallen inside the run, not all before or after it.
  EXPECT_GE(states.size(), 3u);
}

}  // namespace
