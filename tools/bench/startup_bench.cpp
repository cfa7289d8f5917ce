// Starts two programs alternately, each a number of times, and prints the
// median time from process start to exit of each and their ratio.
//   startup_bench RUNS PROGRAM_A ARGS_A PROGRAM_B ARGS_B
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "timed_process.h"

namespace {

double RunOnce(const std::string& program, const std::string& arguments) {
  std::string command_line = "\"" + program + "\" " + arguments;
  std::vector<char> buffer(command_line.begin(), command_line.end());
  buffer.push_back('\0');
  double milliseconds = 0;
  DWORD code = 0;
  return TimeProcess(buffer.data(), nullptr, &milliseconds, &code) ? milliseconds : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: startup_bench RUNS PROGRAM_A ARGS_A PROGRAM_B ARGS_B\n");
    return 2;
  }
  int runs = std::max(1, std::atoi(argv[1]));
  std::vector<double> a, b;
  RunOnce(argv[2], argv[3]);  // warm the file cache and the server
  RunOnce(argv[4], argv[5]);
  for (int i = 0; i < runs; ++i) {
    double ta = RunOnce(argv[2], argv[3]);
    double tb = RunOnce(argv[4], argv[5]);
    if (ta < 0 || tb < 0) {
      std::fprintf(stderr, "startup_bench: a program did not start\n");
      return 1;
    }
    a.push_back(ta);
    b.push_back(tb);
  }
  double median_a = Median(a), median_b = Median(b);
  std::printf("runs: %d each\n", runs);
  std::printf("median A: %.1f ms (%s %s)\n", median_a, argv[2], argv[3]);
  std::printf("median B: %.1f ms (%s %s)\n", median_b, argv[4], argv[5]);
  std::printf("ratio A/B: %.2f\n", median_a / median_b);
  return 0;
}
