# The program and its Win32 layer, cross-built with MinGW.

# Resources are compiled once and linked into the program and into the
# in-process tests, so both load the same dialogs, strings and icons.
add_library(uninstall_resources OBJECT res/uninstall.rc)
target_include_directories(uninstall_resources PRIVATE ${UNINSTALL_ROOT}/res ${UNINSTALL_ROOT})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_definitions(uninstall_resources PRIVATE MANIFEST_ARCH_X86)
endif()

add_library(uninstall_core STATIC ${WIN_SOURCES})
target_link_libraries(uninstall_core PUBLIC uninstall_pure)
target_compile_options(uninstall_core PRIVATE ${WARNINGS})
target_compile_definitions(uninstall_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)

# Only the system's own DLLs: the C and C++ runtimes are linked in.
set(UNINSTALL_SYSTEM_LIBS shell32 ole32 comctl32 advapi32 gdi32 user32 kernel32)
target_link_libraries(uninstall_core PUBLIC ${UNINSTALL_SYSTEM_LIBS})

set(STATIC_LINK -static -static-libgcc -static-libstdc++)

add_executable(uninstall WIN32 app/main.cpp $<TARGET_OBJECTS:uninstall_resources>)
target_link_libraries(uninstall PRIVATE uninstall_core)
target_compile_options(uninstall PRIVATE ${WARNINGS} -fno-exceptions -fno-rtti)
# Subsystem and OS version 4.0: the loaders of both Windows families accept it.
target_link_options(uninstall PRIVATE ${STATIC_LINK} -s
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--gc-sections)
target_compile_options(uninstall_core PRIVATE -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti)
target_compile_options(uninstall_pure PRIVATE -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti)
