#include "common/error_state.h"

#include <windows.h>

ErrorState ProgramErrorState;

void ErrorState::OutOfMemory() {
  ExitCode = kOutOfMemory;
  ++ErrorCount;
  // The program has no handler that could go on without the index: it ends
  // here, with the code that tells the caller memory ran out.
  ExitProcess(static_cast<UINT>(ExitCode));
}
