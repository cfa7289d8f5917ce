#pragma once
// Shared by the setup end-to-end tests: the program under test (the i686
// product when the win32 build tree is beside this one), clicks as the mouse
// gives them, and whole-registry snapshots with their differences listed.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/registry_guard.h"

namespace setup_e2e {

// The uninstall.exe that UNINSTALL_EXE names: the program of this test's own
// build tree, i686 or x86_64 as the test itself.
std::string ProgramUnderTest();

// BM_CLICK sent to the button itself, as a mouse click reaches it: a disabled
// button is not pressed. A click that opens a modal dialog is answered only
// when that dialog ends, so the wait is bounded; false on timeout.
bool Click(HWND dialog, int id, UINT timeout_ms = 5000);
bool IsEnabled(HWND dialog, int id);
// A visible top-level window of the process that has a control with this id.
HWND WaitForDialogWith(DWORD pid, int control_id, DWORD timeout_ms);

// The three hives the program writes, read whole.
struct Registry {
  testenv::RegistryKeySnapshot classes, user, machine;
  bool complete = false;
};
// view: 0 for the process's own view, KEY_WOW64_64KEY for the 64-bit one
// (where a 32-bit process's own keys lie below "Wow6432Node").
Registry ReadRegistry(REGSAM view = 0);

// Every difference, one line each, as "+key P", "-key P", "+value P [N]",
// "-value P [N]" or "~value P [N]" (changed type or data), P the full key
// path from its hive ("HKCR\.zip"). Keys added or removed are listed with
// every key and value below them. Keys of HKLM\Software\Classes and
// HKCU\Software\Classes are named by their HKEY_CLASSES_ROOT path, once.
// With with_data each value line ends in " = " and its data (and the old
// data of a changed value), for people to read.
std::vector<std::string> Differences(const Registry& before, const Registry& after, bool with_data = false);

// The lines that match none of the patterns. A pattern is a line as above,
// or the beginning of lines followed by "...".
std::vector<std::string> Unexplained(const std::vector<std::string>& lines,
                                     const std::vector<std::string>& patterns);

// Changes that Windows itself makes while the program runs, not the product.
const std::vector<std::string>& SystemNoise();

std::string Join(const std::vector<std::string>& lines);

// The value of hive\path name (empty name: the default value) read as text
// empty when missing.
std::string ReadString(HKEY hive, const std::string& path, const std::string& name);
// A REG_DWORD value; false when missing.
bool ReadDword(HKEY hive, const std::string& path, const std::string& name, DWORD* value);
bool SetString(HKEY hive, const std::string& path, const std::string& name, const std::string& value);

// Guards what a confirmed setup writes whatever the choice (the file types,
// the App Paths and uninstall entries and the registered application in both
// registry views, the product settings key) into guards, then clears the
// product settings key; false when it cannot be cleared.
// The program under test in folder (made afresh) as the installer leaves
// it: stand-ins for the archiver's files and an "Uninstall.lst" naming them
// and the New-menu templates that setup writes, so that the folder can go.
::testing::AssertionResult MakeInstallation(const std::string& folder);

bool GuardSetupTraces(std::vector<std::unique_ptr<testenv::RegistryGuard>>* guards);

// The registry as a 64-bit program reads it, for a test that runs as a
// 32-bit process on 64-bit Windows (under WOW64; false elsewhere): the
// 64-bit reg.exe, which a 32-bit process reaches through "sysnative", asked
// for the 64-bit view ("/reg:64") or the 32-bit one ("/reg:32").
bool TestRunsUnderWow64();
enum class View { Bits64, Bits32 };
// The data of a REG_SZ value (an empty name: the default value) of key, a
// full path such as "HKLM\Software\..."; false when the key or the value
// is missing.
bool QueryValueIn(View view, const std::string& key, const std::string& name, std::string* data);
bool KeyExistsIn(View view, const std::string& key);
// Deletes a value (or, with no name, the key and its subkeys); true when it
// is gone afterwards.
bool DeleteIn(View view, const std::string& key, const char* name = nullptr);

}  // namespace setup_e2e
