#include "common/error_state.h"

#include <windows.h>

#include "common/log.h"

ErrorState ProgramErrorState;

void ErrorState::OutOfMemory() {
  ExitCode = kOutOfMemory;
  ++ErrorCount;
  // The program has no handler that could go on without the index: it ends
  // here, with the code that tells the caller memory ran out.
  LogExit(ExitCode);
  ExitProcess(static_cast<UINT>(ExitCode));
}
