#include "tests/e2e/setup_e2e_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <set>

#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace setup_e2e {
namespace {

// By the machine field of the PE header (GetBinaryTypeA and
// GetNativeSystemInfo answer otherwise for a process that reports the 9x family).
bool Is32BitProgram(const std::string& exe) {
  std::string bytes;
  if (!testenv::ReadFileBytes(exe, &bytes) || bytes.size() < 0x40) return false;
  size_t header = static_cast<unsigned char>(bytes[0x3C]) | static_cast<unsigned char>(bytes[0x3D]) << 8;
  if (bytes.size() < header + 6) return false;
  unsigned machine = static_cast<unsigned char>(bytes[header + 4]) | static_cast<unsigned char>(bytes[header + 5]) << 8;
  return machine == IMAGE_FILE_MACHINE_I386;
}


std::wstring Upper(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

std::string Name(const std::wstring& name) { return testenv::Utf8(name); }

// Set while Differences describes the data too.
bool WithData = false;

std::string DataText(const testenv::RegistryValueSnapshot& value) {
  const std::string& data = value.data;
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && data.size() % 2 == 0) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return "\"" + testenv::Utf8(text) + "\"";
  }
  if (value.type == REG_DWORD && data.size() == 4) {
    DWORD number;
    memcpy(&number, data.data(), 4);
    return std::to_string(number);
  }
  if (value.type == REG_NONE && data.empty()) return "(REG_NONE, no data)";
  std::string hex;
  char byte[4];
  for (size_t i = 0; i < data.size() && i < 24; ++i) {
    std::snprintf(byte, sizeof(byte), "%02X ", static_cast<unsigned char>(data[i]));
    hex += byte;
  }
  return "bytes " + hex + (data.size() > 24 ? "... (" + std::to_string(data.size()) + ")" : "(" + std::to_string(data.size()) + ")");
}

std::string ValueLine(char sign, const std::string& path, const testenv::RegistryValueSnapshot& value,
                      const testenv::RegistryValueSnapshot* old = nullptr) {
  std::string line = std::string(1, sign) + "value " + path + " [" + Name(value.name) + "]";
  if (!WithData) return line;
  return line + " = " + DataText(value) + (old ? " (was " + DataText(*old) + ")" : "");
}

void ListTree(char sign, const testenv::RegistryKeySnapshot& tree, const std::string& path,
              std::vector<std::string>* out) {
  out->push_back(std::string(1, sign) + "key " + path);
  for (const testenv::RegistryValueSnapshot& value : tree.values)
    out->push_back(ValueLine(sign, path, value));
  for (const testenv::RegistryKeySnapshot& subkey : tree.subkeys)
    ListTree(sign, subkey, path + "\\" + Name(subkey.name), out);
}

// Both snapshots keep their values and subkeys sorted by upper-cased name.
void Compare(const testenv::RegistryKeySnapshot& before, const testenv::RegistryKeySnapshot& after,
             const std::string& path, std::vector<std::string>* out) {
  size_t i = 0, j = 0;
  while (i < before.values.size() || j < after.values.size()) {
    int order = i == before.values.size()  ? 1
                : j == after.values.size() ? -1
                                           : Upper(before.values[i].name).compare(Upper(after.values[j].name));
    if (order < 0) {
      out->push_back(ValueLine('-', path, before.values[i++]));
    } else if (order > 0) {
      out->push_back(ValueLine('+', path, after.values[j++]));
    } else {
      if (before.values[i].type != after.values[j].type || before.values[i].data != after.values[j].data)
        out->push_back(ValueLine('~', path, after.values[j], &before.values[i]));
      ++i, ++j;
    }
  }
  i = j = 0;
  while (i < before.subkeys.size() || j < after.subkeys.size()) {
    int order = i == before.subkeys.size()  ? 1
                : j == after.subkeys.size() ? -1
                                            : Upper(before.subkeys[i].name).compare(Upper(after.subkeys[j].name));
    if (order < 0) {
      ListTree('-', before.subkeys[i], path + "\\" + Name(before.subkeys[i].name), out);
      ++i;
    } else if (order > 0) {
      ListTree('+', after.subkeys[j], path + "\\" + Name(after.subkeys[j].name), out);
      ++j;
    } else {
      Compare(before.subkeys[i], after.subkeys[j], path + "\\" + Name(before.subkeys[i].name), out);
      ++i, ++j;
    }
  }
}

// HKEY_CLASSES_ROOT is the union of these two keys; their changes are named
// once, by the HKEY_CLASSES_ROOT path.
std::string ClassesPath(const std::string& line) {
  for (const char* merged : {"HKLM\\Software\\Classes", "HKCU\\Software\\Classes"}) {
    size_t at = line.find(' ');
    std::string path = line.substr(at + 1);
    std::string prefix = merged;
    if (path.size() >= prefix.size() && lstrcmpiA(path.substr(0, prefix.size()).c_str(), merged) == 0 &&
        (path.size() == prefix.size() || path[prefix.size()] == '\\' || path[prefix.size()] == ' '))
      return line.substr(0, at + 1) + "HKCR" + path.substr(prefix.size());
  }
  return line;
}

bool Matches(const std::string& line, const std::string& pattern) {
  const std::string any = "...";
  if (pattern.size() > any.size() && pattern.compare(pattern.size() - any.size(), any.size(), any) == 0) {
    std::string head = pattern.substr(0, pattern.size() - any.size());
    return line.size() > head.size() && lstrcmpiA(line.substr(0, head.size()).c_str(), head.c_str()) == 0;
  }
  return lstrcmpiA(line.c_str(), pattern.c_str()) == 0;
}

}  // namespace

std::string ProgramUnderTest() {
  static std::string program;
  if (!program.empty()) return program;
  program = testenv::UninstallExePath();
  std::printf("[ program  ] %s (%s)\n", program.c_str(), Is32BitProgram(program) ? "i686" : "x86_64");
  return program;
}


bool Click(HWND dialog, int id, UINT timeout_ms) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return false;
  // Wine's buttons act on BM_CLICK even when disabled; the mouse never
  // reaches a disabled control, so the click ends here, without effect.
  if (!IsWindowEnabled(button)) return true;
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &answer) != 0;
}

bool IsEnabled(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && IsWindowEnabled(control);
}

namespace {

struct Search {
  DWORD pid;
  int id;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && IsWindowVisible(window) && GetDlgItem(window, search->id)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForDialogWith(DWORD pid, int control_id, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    Search search = {pid, control_id, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(50);
  }
}

namespace {

// A whole hive through open handles: the support's reader gives up at the
// first key it cannot open, where this one records such a key by a marker
// value and goes on.
void ReadWholeKey(HKEY key, testenv::RegistryKeySnapshot* tree, REGSAM view) {
  DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values, &max_name,
                       &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
    tree->values.push_back({L"(unreadable)", REG_NONE, ""});
    return;
  }
  std::vector<wchar_t> name(std::max(max_name, max_subkey) + 2);
  std::vector<BYTE> data(max_data + 2);
  for (DWORD i = 0; i < values; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size()), data_length = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(), &data_length) !=
        ERROR_SUCCESS)
      break;
    tree->values.push_back({std::wstring(name.data(), name_length), type,
                            std::string(reinterpret_cast<const char*>(data.data()), data_length)});
  }
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    testenv::RegistryKeySnapshot subkey;
    subkey.name.assign(name.data(), length);
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, subkey.name.c_str(), 0, KEY_READ | view, &child) == ERROR_SUCCESS) {
      ReadWholeKey(child, &subkey, view);
      RegCloseKey(child);
    } else {
      subkey.values.push_back({L"(unreadable)", REG_NONE, ""});
    }
    tree->subkeys.push_back(subkey);
  }
  auto by_name = [](const auto& a, const auto& b) { return Upper(a.name) < Upper(b.name); };
  std::sort(tree->values.begin(), tree->values.end(), by_name);
  std::sort(tree->subkeys.begin(), tree->subkeys.end(), by_name);
}

void ReadWholeHive(HKEY hive, testenv::RegistryKeySnapshot* tree, REGSAM view) {
  if (view == 0) return ReadWholeKey(hive, tree, view);
  HKEY root = nullptr;
  if (RegOpenKeyExW(hive, L"", 0, KEY_READ | view, &root) != ERROR_SUCCESS) return;
  ReadWholeKey(root, tree, view);
  RegCloseKey(root);
}

}  // namespace

Registry ReadRegistry(REGSAM view) {
  Registry registry;
  ReadWholeHive(HKEY_CLASSES_ROOT, &registry.classes, view);
  ReadWholeHive(HKEY_CURRENT_USER, &registry.user, view);
  ReadWholeHive(HKEY_LOCAL_MACHINE, &registry.machine, view);
  registry.complete = !registry.classes.subkeys.empty() && !registry.user.subkeys.empty() &&
                      !registry.machine.subkeys.empty();
  return registry;
}

std::vector<std::string> Differences(const Registry& before, const Registry& after, bool with_data) {
  WithData = with_data;
  std::vector<std::string> raw;
  Compare(before.classes, after.classes, "HKCR", &raw);
  Compare(before.user, after.user, "HKCU", &raw);
  Compare(before.machine, after.machine, "HKLM", &raw);
  std::vector<std::string> lines;
  std::set<std::string> seen;
  for (const std::string& line : raw) {
    std::string named = ClassesPath(line);
    std::string key = testenv::Utf8(Upper(testenv::Widen(named)));
    if (seen.insert(key).second) lines.push_back(named);
  }
  return lines;
}

std::vector<std::string> Unexplained(const std::vector<std::string>& lines,
                                     const std::vector<std::string>& patterns) {
  std::vector<std::string> left;
  for (const std::string& line : lines)
    if (std::none_of(patterns.begin(), patterns.end(),
                     [&](const std::string& pattern) { return Matches(line, pattern); }))
      left.push_back(line);
  return left;
}

const std::vector<std::string>& SystemNoise() {
  static const std::vector<std::string> noise = {
      // Wine's own settings, which its user32 writes while a program runs
      "+key HKCU\\Software\\Wine\\...", "+value HKCU\\Software\\Wine\\...",
      "~value HKCU\\Software\\Wine\\...", "-value HKCU\\Software\\Wine\\...",
      "-key HKCU\\Software\\Wine\\...",
      // the console that Wine's "start" opens for the 9x family's batch line
      // (see uninstall_support.h) records its settings
      "+key HKCU\\Console", "+value HKCU\\Console [...", "+key HKCU\\Console\\...", "+value HKCU\\Console\\...",
      // the display driver records its date when a session starts, and an
      // adapter of its own when it meets a display it has not seen
      "~value HKLM\\System\\CurrentControlSet\\Control\\Class\\...",
      "~value HKLM\\System\\CurrentControlSet\\Control\\Video\\...",
      "+key HKLM\\System\\CurrentControlSet\\Control\\Video\\...",
      "+value HKLM\\System\\CurrentControlSet\\Control\\Video\\..."};
  return noise;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

std::string ReadString(HKEY hive, const std::string& path, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
  char data[2048];
  DWORD size = sizeof(data) - 1, type = 0;
  LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "";
  data[size] = '\0';
  return data;
}

bool ReadDword(HKEY hive, const std::string& path, const std::string& name, DWORD* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = sizeof(*value), type = 0;
  LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(*value);
}

bool SetString(HKEY hive, const std::string& path, const std::string& name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

::testing::AssertionResult MakeInstallation(const std::string& folder) {
  testenv::RemoveTree(folder);
  if (!testenv::MakeFolders(folder) ||
      !CopyFileA(ProgramUnderTest().c_str(), (folder + "\\uninstall.exe").c_str(), FALSE))
    return ::testing::AssertionFailure() << "cannot install into " << folder;
  const char* files[] = {"Zobrix.exe", "kexext.dll", "license.txt", "order.txt", "Kex.txt", "Zobrix.hlp"};
  std::string list;
  for (const char* file : files) {
    if (!testenv::WriteFileBytes(folder + "\\" + file, std::string("stand-in for ") + file))
      return ::testing::AssertionFailure() << "cannot write " << file;
    list += std::string(file) + "\r\n";
  }
  list += "kexnew.dat\r\nzipnew.dat\r\n";
  if (!testenv::WriteFileBytes(folder + "\\Uninstall.lst", list))
    return ::testing::AssertionFailure() << "cannot write the list";
  return ::testing::AssertionSuccess();
}

bool GuardSetupTraces(std::vector<std::unique_ptr<testenv::RegistryGuard>>* guards) {
  auto guard = [guards](HKEY hive, const std::string& key) {
    guards->emplace_back(new testenv::RegistryGuard(hive, key));
  };
  for (const char* key : {"Zobrix", "Zobrix.ZIP", "Zobrix.REV", ".rev"}) guard(HKEY_CLASSES_ROOT, key);
  for (const char* software : {"Software\\", "Software\\Wow6432Node\\"})
    for (const char* key : {"Microsoft\\Windows\\CurrentVersion\\App Paths\\Zobrix.exe",
                            "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zobrix archiver", "Zobrix",
                            "RegisteredApplications"})
      guard(HKEY_LOCAL_MACHINE, std::string(software) + key);
  guard(HKEY_CURRENT_USER, "Software\\Zobrix");
  return testenv::RemoveKeyTree(HKEY_CURRENT_USER, "Software\\Zobrix");
}

bool TestRunsUnderWow64() {
  typedef BOOL(WINAPI * IsWow64ProcessCall)(HANDLE, PBOOL);
  IsWow64ProcessCall is_wow64 = reinterpret_cast<IsWow64ProcessCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}

namespace {

// Runs the 64-bit reg.exe with arguments; its exit code, with what it wrote
// to its output in *output. ~0u when it could not be started or did not end.
DWORD RunReg64(const std::string& arguments, std::string* output) {
  output->clear();
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return ~0u;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string command = "C:\\windows\\sysnative\\reg.exe " + arguments;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  DWORD code = ~0u;
  if (started) {
    char block[4096];
    DWORD length = 0;
    while (ReadFile(read, block, sizeof(block), &length, nullptr) && length > 0) output->append(block, length);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read);
  return code;
}

const char* ViewSwitch(View view) { return view == View::Bits64 ? " /reg:64" : " /reg:32"; }

}  // namespace

bool QueryValueIn(View view, const std::string& key, const std::string& name, std::string* data) {
  std::string output;
  const std::string which = name.empty() ? " /ve" : " /v \"" + name + "\"";
  if (RunReg64("query \"" + key + "\"" + which + ViewSwitch(view), &output) != 0) return false;
  // "    <name>    REG_SZ    <data>": the default value's name is localised
  const std::string marker = "    REG_SZ    ";
  const size_t at = output.find(marker);
  if (at == std::string::npos) return false;
  const size_t end = output.find_first_of("\r\n", at);
  *data = output.substr(at + marker.size(), end == std::string::npos ? std::string::npos : end - at - marker.size());
  return true;
}

bool KeyExistsIn(View view, const std::string& key) {
  std::string output;
  return RunReg64("query \"" + key + "\"" + ViewSwitch(view), &output) == 0;
}

bool DeleteIn(View view, const std::string& key, const char* name) {
  std::string output;
  const std::string which = name ? (*name ? " /v \"" + std::string(name) + "\"" : std::string(" /ve")) : "";
  RunReg64("delete \"" + key + "\"" + which + " /f" + ViewSwitch(view), &output);
  if (!name) return !KeyExistsIn(view, key);
  std::string data;
  return !QueryValueIn(view, key, name, &data);
}

}  // namespace setup_e2e
