#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/support/process_driver.h"
#include "tests/support/temp_folder.h"

namespace {

// Each test gets a temporary folder of its own, which the programs it starts
// inherit through TEMP and TMP: one test's batch file "Uninstall_Kex.Bat" is
// never another's (an elevated run's goes to a folder of its own under the
// Windows folder's Temp, which the uninstall tests clear). When the test ends, whatever it started and left running
// is ended (and named), then the folder goes.
class PerTestIsolation : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo& test) override {
    std::string root = TempRoot();
    static unsigned counter = 0;
    folder_ = root + "test" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    if (!testenv::MakeFolders(folder_)) {
      std::fprintf(stderr, "%s.%s: cannot create its temporary folder %s\n", test.test_suite_name(),
                   test.name(), folder_.c_str());
      folder_.clear();
      return;
    }
    SetEnvironmentVariableA("TEMP", folder_.c_str());
    SetEnvironmentVariableA("TMP", folder_.c_str());
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    for (const std::string& process : testenv::EndProcessesStartedByTest())
      std::fprintf(stderr, "%s.%s left %s running: ended it\n", test.test_suite_name(), test.name(),
                   process.c_str());
    if (folder_.empty()) return;
    SetEnvironmentVariableA("TEMP", original_temp_.empty() ? nullptr : original_temp_.c_str());
    SetEnvironmentVariableA("TMP", original_tmp_.empty() ? nullptr : original_tmp_.c_str());
    // a process that was just ended may still hold a file for a moment
    for (int attempt = 0; attempt < 20 && testenv::PathExists(folder_); ++attempt) {
      testenv::RemoveTree(folder_);
      if (testenv::PathExists(folder_)) Sleep(100);
    }
    folder_.clear();
  }

 private:
  std::string TempRoot() {
    if (!recorded_) {
      original_temp_ = Variable("TEMP");
      original_tmp_ = Variable("TMP");
      recorded_ = true;
    }
    char buffer[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(buffer), buffer);
    return length == 0 || length >= sizeof(buffer) ? "C:\\" : buffer;
  }

  static std::string Variable(const char* name) {
    char buffer[1024];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return length == 0 || length >= sizeof(buffer) ? "" : buffer;
  }

  bool recorded_ = false;
  std::string folder_;
  std::string original_temp_;
  std::string original_tmp_;
};

DWORD main_thread = 0;

// Names the thread and lists the words on its stack that point into this
// program's code, innermost first: the candidates for the calls that led here
// (for addr2line; a stack scan also finds stale words).
extern "C" void ReportAbort(int) {
  std::fprintf(stderr, "test program: abort() called on thread %lu (main thread %lu)\n",
               static_cast<unsigned long>(GetCurrentThreadId()), static_cast<unsigned long>(main_thread));
  const char* base = reinterpret_cast<const char*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const uintptr_t code_begin = reinterpret_cast<uintptr_t>(base) + nt->OptionalHeader.BaseOfCode;
  const uintptr_t code_end = code_begin + nt->OptionalHeader.SizeOfCode;
  volatile uintptr_t marker = 0;
  // the committed part of the stack above this frame ends at its base
  MEMORY_BASIC_INFORMATION stack = {};
  const uintptr_t* end = const_cast<uintptr_t*>(&marker);
  if (VirtualQuery(end, &stack, sizeof(stack)))
    end = reinterpret_cast<const uintptr_t*>(static_cast<const char*>(stack.BaseAddress) + stack.RegionSize);
  int shown = 0;
  for (const volatile uintptr_t* word = &marker; word < end && shown < 60; ++word)
    if (*word >= code_begin && *word < code_end) {
      std::fprintf(stderr, " %p", reinterpret_cast<void*>(*word));
      ++shown;
    }
  std::fputs("\n", stderr);
}

}  // namespace

int main(int argc, char** argv) {
  // The 9x family's batch line opens a console through "start", which the
  // tests end; a console event that reaches this process must not end it
  // (the runtime's default for Ctrl+C is to exit with code 3, as abort does).
  main_thread = GetCurrentThreadId();
  SetConsoleCtrlHandler(nullptr, TRUE);
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGABRT, ReportAbort);
  // Piped output is buffered in blocks; a test program that dies would take
  // the names of its last tests with it.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new PerTestIsolation);
  return RUN_ALL_TESTS();
}
