set(LANG_PURE_SOURCES)
set(LANG_WIN_SOURCES
  lang/lang_library.cpp
  lang/messages.cpp)
set(LANG_UNIT_TESTS)
set(LANG_WIN_TESTS)
set(LANG_E2E_TESTS)
