# The program and its Win32 layer, cross-built with MinGW.

# Resources are compiled once and linked into the program and into the
# in-process tests, so both load the same dialogs, strings and icons.
add_library(uninstall_resources OBJECT res/uninstall.rc)
target_include_directories(uninstall_resources PRIVATE ${UNINSTALL_ROOT}/res ${UNINSTALL_ROOT})
set(UNINSTALL_ICONS ${UNINSTALL_ROOT}/res/delicon.ico ${UNINSTALL_ROOT}/res/kexicon.ico)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_definitions(uninstall_resources PRIVATE MANIFEST_ARCH_X86)
  set(UNINSTALL_MANIFEST ${UNINSTALL_ROOT}/res/uninstall.manifest)
else()
  # The loader refuses a program whose manifest names another processor, so
  # the 64-bit build gets a copy of the manifest that names amd64.
  set(UNINSTALL_MANIFEST ${CMAKE_BINARY_DIR}/res/uninstall-amd64.manifest)
  file(READ ${UNINSTALL_ROOT}/res/uninstall.manifest manifest_text)
  string(REPLACE "processorArchitecture=\"X86\"" "processorArchitecture=\"amd64\""
         manifest_text "${manifest_text}")
  file(CONFIGURE OUTPUT ${UNINSTALL_MANIFEST} CONTENT "${manifest_text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${UNINSTALL_ROOT}/res/uninstall.manifest)
  target_include_directories(uninstall_resources BEFORE PRIVATE ${CMAKE_BINARY_DIR}/res)
endif()
# windres reads the icons and the manifest itself: the depfile misses them.
set_source_files_properties(res/uninstall.rc PROPERTIES OBJECT_DEPENDS
  "${UNINSTALL_ROOT}/res/resource.h;${UNINSTALL_ICONS};${UNINSTALL_MANIFEST}")

add_library(uninstall_core STATIC ${WIN_SOURCES})
target_link_libraries(uninstall_core PUBLIC uninstall_pure)
# A callback cast to another signature (a dialog procedure that returns BOOL
# where INT_PTR is due, one parameter too few) stops the build.
target_compile_options(uninstall_core PRIVATE ${WARNINGS} -Werror=cast-function-type)
target_compile_definitions(uninstall_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)

# Only the system's own DLLs: the C and C++ runtimes are linked in.
set(UNINSTALL_SYSTEM_LIBS shell32 ole32 comctl32 advapi32 gdi32 user32 kernel32)
target_link_libraries(uninstall_core PUBLIC ${UNINSTALL_SYSTEM_LIBS})

set(STATIC_LINK -static -static-libgcc -static-libstdc++)

add_executable(uninstall WIN32 app/main.cpp $<TARGET_OBJECTS:uninstall_resources>)
target_link_libraries(uninstall PRIVATE uninstall_core)
target_compile_options(uninstall PRIVATE ${WARNINGS} -Werror=cast-function-type -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
# Subsystem and OS version 4.0: the loaders of both Windows families accept it.
target_link_options(uninstall PRIVATE ${STATIC_LINK} -s
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--gc-sections)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  include(${UNINSTALL_ROOT}/cmake/callback_conventions.cmake)
endif()
# No exceptions, so no unwind tables; no data sections, whose zero-filled
# objects the PE toolchain would store in the file instead of in .bss.
target_compile_options(uninstall_core PRIVATE -ffunction-sections -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
target_compile_options(uninstall_pure PRIVATE -ffunction-sections -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)

# The English language library "kexlng.dll": resources only, no code.  It is
# written to a folder of its own so that it never lies beside the program of
# this build by accident (the program would then show its dialogs).
add_library(kexlng_en SHARED lang/en/kexlng.rc)
target_include_directories(kexlng_en PRIVATE ${UNINSTALL_ROOT}/res ${UNINSTALL_ROOT})
set_target_properties(kexlng_en PROPERTIES PREFIX "" OUTPUT_NAME kexlng LINKER_LANGUAGE C
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lang_en
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lang_en)
target_link_options(kexlng_en PRIVATE -nostdlib -Wl,-e,0 -s)
set_source_files_properties(lang/en/kexlng.rc PROPERTIES OBJECT_DEPENDS
  "${UNINSTALL_ROOT}/res/resource.h;${UNINSTALL_ROOT}/res/kexicon.ico")
