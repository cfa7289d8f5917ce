set(COMMON_PURE_SOURCES
  common/path.cpp)
set(COMMON_WIN_SOURCES
  common/lead_bytes_win.cpp
  common/os_version.cpp)
set(COMMON_UNIT_TESTS tests/unit/smoke_test.cpp)
set(COMMON_WIN_TESTS tests/win/smoke_test.cpp)
set(COMMON_E2E_TESTS tests/e2e/smoke_test.cpp)
