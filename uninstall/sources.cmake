set(UNINSTALL_PURE_SOURCES)
set(UNINSTALL_WIN_SOURCES
  uninstall/registry_cleanup.cpp
  uninstall/uninstall.cpp)
set(UNINSTALL_UNIT_TESTS)
set(UNINSTALL_WIN_TESTS)
set(UNINSTALL_E2E_TESTS)
