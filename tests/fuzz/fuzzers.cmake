# Fuzzers of the pure code, natively with libFuzzer under ASan and UBSan.
# libFuzzer needs clang, whatever compiler the host preset uses, so they are
# built by commands of their own. Each runs for FUZZ_SECONDS in the tests;
# scripts/bench-fuzz.sh runs them longer and prints executions per second.
find_program(FUZZ_CXX NAMES clang++ clang++-14)
if(NOT FUZZ_CXX)
  message(STATUS "fuzzers: no clang++, not built")
  return()
endif()
set(FUZZ_SECONDS 25 CACHE STRING "Seconds each fuzzer runs in the tests")
set(FUZZ_FLAGS -std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined
    -fno-sanitize-recover=all -fno-omit-frame-pointer -I${UNINSTALL_ROOT})

file(GLOB FUZZ_HEADERS ${UNINSTALL_ROOT}/common/*.h ${UNINSTALL_ROOT}/app/*.h
     ${UNINSTALL_ROOT}/uninstall/*.h ${UNINSTALL_ROOT}/lang/*.h ${UNINSTALL_ROOT}/tests/fuzz/*.h)

function(add_fuzzer name)
  set(sources ${ARGN})
  list(TRANSFORM sources PREPEND ${UNINSTALL_ROOT}/)
  set(binary ${CMAKE_CURRENT_BINARY_DIR}/fuzz/${name})
  add_custom_command(OUTPUT ${binary}
    COMMAND ${FUZZ_CXX} ${FUZZ_FLAGS} ${sources} -o ${binary}
    DEPENDS ${sources} ${FUZZ_HEADERS}
    COMMENT "Building fuzzer ${name}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${binary})
  # New inputs collect in the build tree; the seeds (findings among them)
  # are replayed first on every run.
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  string(REPLACE "_fuzzer" "" seeds ${name})
  add_test(NAME ${name}
    COMMAND ${binary} -max_total_time=${FUZZ_SECONDS} -max_len=8192 -timeout=10
            -rss_limit_mb=2048 -print_final_stats=1 ${corpus}
            ${UNINSTALL_ROOT}/tests/fuzz/seeds/${seeds})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

add_fuzzer(list_fuzzer
  tests/fuzz/list_fuzzer.cpp tests/fuzz/windows_path.cpp tests/unit/lead_bytes_native.cpp
  common/list_entries.cpp common/path.cpp uninstall/uninstall_list.cpp uninstall/uninstall_text.cpp)
add_fuzzer(switches_fuzzer tests/fuzz/switches_fuzzer.cpp app/switches.cpp)
add_fuzzer(lang_fuzzer tests/fuzz/lang_fuzzer.cpp tests/unit/lead_bytes_native.cpp common/path.cpp
  common/text.cpp lang/lang_file.cpp lang/crc32.cpp)
