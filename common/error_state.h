#pragma once
#include <cstdint>

// The process-wide error record. Its only fatal path is lack of memory.
class ErrorState {
 public:
  static const int32_t kOutOfMemory = 8;

  // Records the memory error and ends the process with exit code 8.
  [[noreturn]] void OutOfMemory();

  int32_t ExitCode = 0;
  int32_t ErrorCount = 0;
};

extern ErrorState ProgramErrorState;
