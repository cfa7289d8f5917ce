# Resources: dialogs, strings, icons and manifest (res/uninstall.rc, built by
# cmake/windows.cmake); here only their tests.
set(RES_PURE_SOURCES)
set(RES_WIN_SOURCES)
set(RES_UNIT_TESTS)
set(RES_WIN_TESTS tests/win/resources_test.cpp)
set(RES_E2E_TESTS)
