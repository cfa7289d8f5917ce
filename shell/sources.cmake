set(SHELL_PURE_SOURCES)
set(SHELL_WIN_SOURCES
  shell/app_registration.cpp
  shell/archive_types.cpp
  shell/new_menu.cpp
  shell/program_files.cpp
  shell/shell_extension.cpp
  shell/shortcuts.cpp)
# stand-ins until the operations above are merged
list(APPEND SHELL_WIN_SOURCES shell/pending_stubs.cpp)
set(SHELL_UNIT_TESTS)
set(SHELL_WIN_TESTS
  tests/win/app_registration_test.cpp
  tests/win/associations_test.cpp
  tests/win/shell_extension_test.cpp
  tests/win/shortcuts_test.cpp)
set(SHELL_E2E_TESTS
  tests/e2e/uninstall_entry_test.cpp)
