#pragma once
// Runs one command line to its end and measures it from process start to
// exit, for the benchmarks' timing programs.
#include <windows.h>

// command_line is changed by CreateProcessA; folder may be null (the
// current one). False when the process cannot be started.
inline bool TimeProcess(char* command_line, const char* folder, double* milliseconds, DWORD* exit_code) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info))
    return false;
  WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  *exit_code = 0;
  GetExitCodeProcess(info.hProcess, exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  *milliseconds =
      1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  return true;
}
