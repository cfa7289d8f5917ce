# i686 only: a callback cast to a pointer of another calling convention (a
# window procedure without CALLBACK, a thread routine without WINAPI) compiles
# silently with gcc, and its first call unbalances the stack. x86_64 has one
# convention, so the tests of the x86_64 build cannot see it. clang names such
# a cast: every source of the program is read by it too, and the build stops
# at one.
find_program(CLANGXX clang++ NO_CMAKE_FIND_ROOT_PATH)
if(NOT CLANGXX)
  message(FATAL_ERROR "clang++ is missing: it checks the callbacks' calling conventions (scripts/deps.sh installs it)")
endif()

# The MinGW headers and libstdc++ that g++ itself reads.
set(convention_flags --target=i686-w64-mingw32 -std=c++17 -fsyntax-only -nostdinc++
    -Wno-everything -Werror=cast-calling-convention
    -I${UNINSTALL_ROOT} -DWIN32_LEAN_AND_MEAN -DNOMINMAX)
foreach(dir IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  list(APPEND convention_flags -isystem ${dir})
endforeach()

set(convention_stamps)
foreach(source app/main.cpp ${WIN_SOURCES} ${PURE_SOURCES})
  string(MAKE_C_IDENTIFIER ${source} name)
  set(stamp ${CMAKE_BINARY_DIR}/conventions/${name}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CLANGXX} ${convention_flags} -MD -MF ${stamp}.d -MT ${stamp} ${UNINSTALL_ROOT}/${source}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${UNINSTALL_ROOT}/${source}
    DEPFILE ${stamp}.d
    COMMENT "Calling conventions of ${source}"
    VERBATIM)
  list(APPEND convention_stamps ${stamp})
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/conventions)
add_custom_target(callback_conventions DEPENDS ${convention_stamps})
add_dependencies(uninstall callback_conventions)
