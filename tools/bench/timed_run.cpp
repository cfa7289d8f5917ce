// Starts one command line in a given current folder and prints the time from
// process start to exit in milliseconds, then its exit code:
//   timed_run FOLDER COMMAND_LINE
// Timed from inside Wine, so the Linux side's start of the Wine loader is
// paid by neither program that a benchmark compares.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "timed_process.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: timed_run FOLDER COMMAND_LINE\n");
    return 2;
  }
  std::vector<char> line(argv[2], argv[2] + strlen(argv[2]) + 1);
  double milliseconds = 0;
  DWORD code = 0;
  if (!TimeProcess(line.data(), argv[1], &milliseconds, &code)) {
    std::fprintf(stderr, "timed_run: cannot start %s (error %lu)\n", argv[2], GetLastError());
    return 1;
  }
  std::printf("%.1f %lu\n", milliseconds, code);
  return 0;
}
