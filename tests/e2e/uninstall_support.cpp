#include "tests/e2e/uninstall_support.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <set>
#include <vector>

#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace uninstall_e2e {

std::string TempPath() {
  char buffer[MAX_PATH];
  DWORD length = GetTempPathA(sizeof(buffer), buffer);
  if (length == 0 || length >= sizeof(buffer)) return "C:\\";
  return std::string(buffer, length);
}

bool RunsElevated() {
  static int answer = -1;
  if (answer >= 0) return answer == 1;
  answer = 0;
  HANDLE token = nullptr;
  if (testenv::IsWin9xFamily() || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  TOKEN_ELEVATION elevation = {};
  DWORD length = 0;
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &length) &&
      elevation.TokenIsElevated)
    answer = 1;
  CloseHandle(token);
  return answer == 1;
}

std::string UserBatchFile() { return TempPath() + "Uninstall_Kex.Bat"; }

std::string SystemTempPath() {
  char buffer[MAX_PATH];
  UINT length = GetWindowsDirectoryA(buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return "";
  return std::string(buffer, length) + "\\Temp\\";
}

std::vector<std::string> BatchFolders() {
  std::vector<std::string> folders;
  std::string temp = SystemTempPath();
  for (const std::string& name : testenv::ListFolder(temp))
    if (name.compare(0, 14, "Uninstall_Kex_") == 0) folders.push_back(temp + name);
  return folders;
}

std::string BatchFile() {
  if (!RunsElevated()) return UserBatchFile();
  std::vector<std::string> folders = BatchFolders();
  return folders.size() == 1 ? folders[0] + "\\Uninstall_Kex.Bat" : "";
}

bool NothingOfTheBatchLeft() {
  return RunsElevated() ? BatchFolders().empty() : !testenv::PathExists(UserBatchFile());
}

void RemoveBatchLeftovers() {
  DeleteFileA(UserBatchFile().c_str());
  for (const std::string& folder : BatchFolders()) testenv::RemoveTree(folder);
}

Installation::Installation(const std::wstring& name_hint) {
  static unsigned counter = 0;
  std::wstring base = testenv::AnsiToWide(TempPath());
  for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
    std::wstring name = base + name_hint + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++counter);
    if (!CreateDirectoryW(name.c_str(), nullptr)) continue;
    std::string ansi = testenv::WideToAnsi(name);
    if (testenv::AnsiToWide(ansi) != name) {
      // The name is not in this process's ANSI code page: the program could
      // not reach it through the A functions either.
      RemoveDirectoryW(name.c_str());
      return;
    }
    folder_ = ansi;
  }
  if (folder_.empty()) return;
  ready_ = CopyFileA(testenv::UninstallExePath().c_str(), Program().c_str(), FALSE) != 0;
}

Installation::~Installation() {
  if (!folder_.empty()) testenv::RemoveTree(folder_);
}

bool Installation::AddFile(const std::string& relative, const std::string& bytes) {
  return testenv::WriteFileBytes(*this / relative, bytes);
}

bool Installation::AddFolder(const std::string& relative) {
  return testenv::MakeFolders(*this / relative);
}

bool RunProgram(const Installation& installation, const std::string& arguments, DWORD* code,
                DWORD timeout_ms) {
  testenv::ProgramRun run;
  if (!run.Start(installation.Program(), arguments, TempPath())) return false;
  return run.Wait(timeout_ms, code);
}

namespace {

// Wine's "start" takes its first quoted argument for a window title, as the
// NT family's does, so the 9x batch line start /wait "<program>" /wait opens
// an interactive cmd.exe in a new console and waits for it; the 9x family's
// START runs the quoted program instead. Ending that console lets the batch
// file go on, as it does on the 9x family once the waiting copy has ended;
// a console is ended only after the 2 s that copy would have waited, so the
// program that wrote the batch file has ended by then, as it has there.
bool OlderThanTheWait(HANDLE process) {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return true;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER start = {{created.dwLowDateTime, created.dwHighDateTime}};
  ULARGE_INTEGER current = {{now.dwLowDateTime, now.dwHighDateTime}};
  return current.QuadPart - start.QuadPart >= 2000ull * 10000;  // 100 ns units
}

void EndConsolesOpenedByStart() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<PROCESSENTRY32W> processes;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    processes.push_back(entry);
  CloseHandle(snapshot);
  std::set<DWORD> starts;
  for (const PROCESSENTRY32W& process : processes)
    if (lstrcmpiW(process.szExeFile, L"start.exe") == 0) starts.insert(process.th32ProcessID);
  for (const PROCESSENTRY32W& process : processes) {
    if (!starts.count(process.th32ParentProcessID) || lstrcmpiW(process.szExeFile, L"cmd.exe") != 0)
      continue;
    HANDLE handle = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, process.th32ProcessID);
    if (handle) {
      if (OlderThanTheWait(handle)) TerminateProcess(handle, 0);
      CloseHandle(handle);
    }
  }
}

template <typename Done>
bool Poll(DWORD timeout_ms, Done done) {
  DWORD start = GetTickCount();
  for (;;) {
    if (testenv::IsWin9xFamily()) EndConsolesOpenedByStart();
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(100);
  }
}

}  // namespace

testing::AssertionResult EndsWithoutAnyWindow(testenv::ProgramRun& run, DWORD* code,
                                              DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!run.Wait(50, code)) {
    if (!testenv::TopLevelWindows(run.ProcessId()).empty())
      return testing::AssertionFailure() << "it showed a window";
    if (GetTickCount() - start > timeout_ms) return testing::AssertionFailure() << "it did not end";
  }
  return testing::AssertionSuccess();
}

bool WaitForSelfRemoval(const Installation& installation, DWORD timeout_ms) {
  std::string program = installation.Program();
  std::string folder = installation.Folder();
  return Poll(timeout_ms, [&] {
    return !testenv::PathExists(program) && !testenv::PathExists(folder) && NothingOfTheBatchLeft();
  });
}

bool WaitForBatchFileGone(DWORD timeout_ms) { return Poll(timeout_ms, NothingOfTheBatchLeft); }

namespace {

// The command line in the process parameters of another process of this
// architecture.
std::string ProcessCommandLine(HANDLE process) {
  typedef NTSTATUS(NTAPI * QueryFunction)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  QueryFunction query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  PEB peb = {};
  RTL_USER_PROCESS_PARAMETERS parameters = {};
  if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
      !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr))
    return "";
  std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!line.empty() && !ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0],
                                          parameters.CommandLine.Length, nullptr))
    return "";
  return testenv::WideToAnsi(line);
}

}  // namespace

std::string ChildCommandLine(DWORD parent_pid, const wchar_t* exe_name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return "";
  DWORD child = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !child; more = Process32NextW(snapshot, &entry))
    if (entry.th32ParentProcessID == parent_pid && lstrcmpiW(entry.szExeFile, exe_name) == 0)
      child = entry.th32ProcessID;
  CloseHandle(snapshot);
  HANDLE process = child ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child) : nullptr;
  if (!process) return "";
  std::string line = ProcessCommandLine(process);
  CloseHandle(process);
  return line;
}

std::wstring ProgramString(UINT id) {
  HMODULE module =
      LoadLibraryExA(testenv::UninstallExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return std::wstring();
  char buffer[512] = "";
  LoadStringA(module, id, buffer, sizeof(buffer));
  FreeLibrary(module);
  return testenv::AnsiToWide(buffer);
}

namespace {

// Short contents as they are, long ones (the program) by size.
std::string FileSummary(const std::string& bytes) {
  if (bytes.size() <= 64) return bytes;
  return std::to_string(bytes.size()) + " bytes";
}

void CollectTree(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  std::string folder = relative.empty() ? root : root + "\\" + relative;
  for (const std::string& name : testenv::ListFolder(folder)) {
    std::string path = relative.empty() ? name : relative + "\\" + name;
    if (testenv::IsFolder(root + "\\" + path)) {
      out->push_back(path + "\\");
      CollectTree(root, path, out);
    } else {
      std::string bytes;
      testenv::ReadFileBytes(root + "\\" + path, &bytes);
      out->push_back(path + " = " + FileSummary(bytes));
    }
  }
}

}  // namespace

std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> tree;
  CollectTree(root, "", &tree);
  return tree;
}

std::string ProgramSummary() {
  std::string bytes;
  testenv::ReadFileBytes(testenv::UninstallExePath(), &bytes);
  return FileSummary(bytes);
}

testing::AssertionResult OnlyTheProgramLeft(const Installation& installation) {
  Sleep(500);
  const std::vector<std::string> tree = Tree(installation.Folder());
  const std::string program = "uninstall.exe = " + ProgramSummary();
  if (tree.size() == 1 && tree[0] == program) return testing::AssertionSuccess();
  testing::AssertionResult failure = testing::AssertionFailure();
  failure << "the installation holds:";
  for (const std::string& entry : tree) failure << "\n  " << entry;
  return failure;
}

bool ProgramMovesToTheBatch() { return RunsElevated(); }

std::vector<std::string> LeftForTheBatch() {
  if (ProgramMovesToTheBatch()) return {};
  return {"uninstall.exe = " + ProgramSummary()};
}

std::string ExpectedBatchText(std::string program, const std::string& folder, const std::string& batch,
                              bool silent) {
  // A batch in a folder of its own, where the program's file now lies.
  const size_t own = batch.find("\\Uninstall_Kex_");
  const bool moved = ProgramMovesToTheBatch() && own != std::string::npos;
  if (moved) program = batch.substr(0, batch.find('\\', own + 1)) + "\\uninstall.exe";
  const std::string kept = moved ? "" : "if exist \"" + folder + "\\Uninstall.lst\" goto kept\r\n";
  const std::string rd = moved ? "" : "rd \"" + folder + "\"\r\n";
  std::string text = testenv::IsWin9xFamily() ? "start /wait " : "";
  text += "\"" + program + "\" /wait\r\n";
  for (int i = 0; i < 5; ++i)
    text += kept + "del \"" + program + "\"\r\n" + rd + "if not exist \"" + program + "\" goto done\r\n";
  return text + ":done\r\n" + kept + "if exist \"" + program + "\" \"" + program + "\" /restart /warning" +
         (silent ? " /s" : "") + "\r\n:kept\r\ndel \"" + batch + "\"";
}

std::string UnixPath(const std::string& path) {
  typedef char*(CDECL * UnixName)(LPCWSTR);
  UnixName get = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!get) return "";
  std::wstring wide = testenv::AnsiToWide(path);
  char* unix_name = get(wide.c_str());
  if (!unix_name) return "";
  std::string result = unix_name;
  HeapFree(GetProcessHeap(), 0, unix_name);
  return result;
}

// Wine starts a Unix program like a Windows one but tells nothing of its
// end: the shell leaves a marker file when done.
bool RunUnixShell(const std::string& command) {
  std::string marker = TempPath() + "shell.done";
  std::string unix_marker = UnixPath(marker);
  if (unix_marker.empty()) return false;
  testenv::ProgramRun run;
  if (!run.Start("Z:\\bin\\sh", "-c \"" + command + " && touch '" + unix_marker + "'\"")) return false;
  for (int wait = 0; wait < 100 && !testenv::PathExists(marker); ++wait) Sleep(100);
  return DeleteFileA(marker.c_str()) != 0;
}

bool MakeUnixSymbolicLink(const std::string& target, const std::string& link) {
  std::string unix_target = UnixPath(target);
  std::string unix_link = UnixPath(link);
  return !unix_target.empty() && !unix_link.empty() &&
         RunUnixShell("ln -s '" + unix_target + "' '" + unix_link + "'");
}

bool RemoveUnixName(const std::string& path) {
  std::string unix_path = UnixPath(path);
  return !unix_path.empty() && RunUnixShell("rm -rf '" + unix_path + "'");
}

namespace {

struct CaptionSearch {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchMessageBox(HWND window, LPARAM param) {
  CaptionSearch* search = reinterpret_cast<CaptionSearch*>(param);
  if (IsWindowVisible(window) && testenv::ClassName(window) == L"#32770" &&
      testenv::WindowText(window) == *search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForMessageBoxWithCaption(const std::wstring& caption, DWORD timeout_ms) {
  HWND found = nullptr;
  Poll(timeout_ms, [&] {
    CaptionSearch search = {&caption, nullptr};
    EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&search));
    found = search.found;
    return found != nullptr;
  });
  return found;
}

}  // namespace uninstall_e2e
