// Starts one command line in a given current folder and prints the time from
// process start to exit in milliseconds, then its exit code:
//   timed_run FOLDER COMMAND_LINE
// Timed from inside Wine, so the Linux side's start of the Wine loader is
// paid by neither program that a benchmark compares.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: timed_run FOLDER COMMAND_LINE\n");
    return 2;
  }
  std::vector<char> line(argv[2], argv[2] + strlen(argv[2]) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[1], &startup, &info)) {
    std::fprintf(stderr, "timed_run: cannot start %s (error %lu)\n", argv[2], GetLastError());
    return 1;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::printf("%.1f %lu\n",
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              code);
  return 0;
}
