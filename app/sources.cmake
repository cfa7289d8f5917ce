set(APP_PURE_SOURCES
  app/notice.cpp
  app/run_lock_name.cpp
  app/switches.cpp)
set(APP_WIN_SOURCES
  app/common_dialog.cpp
  app/context_items_dialog.cpp
  app/done_dialog.cpp
  app/run_lock.cpp
  app/setup_dialog.cpp
  app/state.cpp
  app/uninstall_notice.cpp)
set(APP_UNIT_TESTS
  tests/unit/notice_test.cpp
  tests/unit/run_lock_name_test.cpp
  tests/unit/switches_test.cpp)
set(APP_WIN_TESTS
  tests/win/setup_dialog_test.cpp
  tests/win/uninstall_notice_test.cpp)
set(APP_E2E_TESTS
  tests/e2e/done_dialog_test.cpp
  tests/e2e/entry_test.cpp
  tests/e2e/setup_e2e_support.cpp
  tests/e2e/setup_dialog_e2e_test.cpp
  tests/e2e/setup_road_e2e_test.cpp)
# setup options
list(APPEND APP_WIN_SOURCES app/setup_options.cpp)
list(APPEND APP_WIN_TESTS tests/win/setup_options_test.cpp)
