// Run only by the CTest entry watchdog_ends_a_hung_test, with a limit of a
// few seconds: the test waits far longer, and the entry passes only when
// the watchdog ends the program and names the test and what it waits for.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/process_driver.h"

namespace {

TEST(Watchdog, DISABLED_EndsATestThatWaitsPastItsLimit) {
  testenv::WaitForWindow(GetCurrentProcessId(), 100000, L"NoSuchClass");
  ADD_FAILURE() << "the watchdog did not end this test";
}

}  // namespace
