# Build helpers shared by every folder of the tree. Two builds use them:
#   LX_NATIVE  - clang on Linux with ASan/UBSan: the portable core, its tests and fuzzers;
#   WIN32      - mingw-w64, i686 (build/win) or x86_64 (build/win64): every deliverable, tests run
#                under Wine of the same architecture.

set(LX_ROOT ${CMAKE_SOURCE_DIR})

if(WIN32)
  # The tools of this tree's architecture; nothing below names one architecture's tool directly.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(LX_WIN_ARCH x86_64)
    set(LX_WIDL_ARCH -m64)
    set(LX_WINE_WINDOWS_LIB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  else()
    set(LX_WIN_ARCH i686)
    set(LX_WIDL_ARCH -m32)
    set(LX_WINE_WINDOWS_LIB /usr/lib/i386-linux-gnu/wine/i386-windows)
  endif()
  if(NOT LX_MINGW_PREFIX)
    set(LX_MINGW_PREFIX ${LX_WIN_ARCH}-w64-mingw32)
  endif()
  # widl with the system's IDL files and stdole2.tlb of the same architecture.
  set(LX_WIDL ${LX_MINGW_PREFIX}-widl ${LX_WIDL_ARCH} -I /usr/include/wine/wine/windows -L ${LX_WINE_WINDOWS_LIB})
  set(LX_OBJDUMP ${LX_MINGW_PREFIX}-objdump)
  # Every Windows program of this tree runs in this tree's Wine prefix, under the Wine loader of its
  # architecture: ctest's emulator and the test scripts go through these two wrappers.
  file(WRITE ${CMAKE_BINARY_DIR}/lx-win-arch "${LX_WIN_ARCH}\n")
  foreach(tool wine-run wine-regsvr)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/${tool} CONTENT
"#!/bin/sh
# Generated: ${tool} for this build tree (${LX_WIN_ARCH}).
LX_BUILD_WIN='${CMAKE_BINARY_DIR}' LX_WIN_ARCH=${LX_WIN_ARCH} exec '${LX_ROOT}/scripts/${tool}' \"$@\"
" @ONLY)
    file(CHMOD ${CMAKE_BINARY_DIR}/${tool} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(LX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  set(LX_WINE_REGSVR ${CMAKE_BINARY_DIR}/wine-regsvr)
  # For test scripts that source scripts/wine-env themselves.
  set(LX_WINE_ENV env LX_BUILD_WIN=${CMAKE_BINARY_DIR} LX_WIN_ARCH=${LX_WIN_ARCH})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LX_WINE_RUN})
endif()

if(LX_NATIVE)
  set(LX_SANITIZE "-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
  set(CMAKE_C_FLAGS "${CMAKE_C_FLAGS} ${LX_SANITIZE} -fsanitize=fuzzer-no-link")
  set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} ${LX_SANITIZE} -fsanitize=fuzzer-no-link")
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} ${LX_SANITIZE}")
  set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} ${LX_SANITIZE}")
endif()

add_compile_options(-Wall -Wextra)
if(WIN32)
  # Our Win32 code is ANSI unless a file asks for the W functions by name.
  add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0700 NOMINMAX)
endif()

# GoogleTest from the Debian source package, built by whichever compiler this tree uses.
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -w)
    endif()
  endforeach()
endif()

enable_testing()

# lx_test(<name> SOURCES ... [LIBS ...] [GUI] [WORKDIR dir] [TIMEOUT s])
function(lx_test name)
  cmake_parse_arguments(T "GUI" "WORKDIR;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  if(WIN32 AND T_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE OFF)
  endif()
  if(NOT T_WORKDIR)
    set(T_WORKDIR ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${T_WORKDIR})
  set(labels unit)
  if(WIN32)
    set(labels wine)
  endif()
  if(T_GUI)
    list(APPEND labels gui)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}")
endfunction()

# lx_fuzzer(<name> SOURCES ... [LIBS ...] [SECONDS n] [CORPUS dir])
# A libFuzzer target (native build only) with a short ctest run; scripts/fuzz runs it longer.
function(lx_fuzzer name)
  if(NOT LX_NATIVE)
    return()
  endif()
  cmake_parse_arguments(F "" "SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 5)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(seed_dirs)
  if(F_CORPUS)
    set(seed_dirs ${F_CORPUS})
  endif()
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${F_SECONDS} -timeout=10 -rss_limit_mb=2048
           -print_final_stats=0 ${corpus} ${seed_dirs}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS "fuzz")
endfunction()

# lx_dll(<name> SOURCES ... DEF file.def [LIBS ...] [RC files]): a Windows DLL named exactly <name>.dll
# whose exports are the undecorated names of the .def file.
function(lx_dll name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(D "" "DEF" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${D_SOURCES} ${D_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  target_link_libraries(${name} PRIVATE ${D_LIBS})
  # Keep cdecl names as they are: no leading underscore, no @n suffix.
  target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
endfunction()

# lx_exe(<name> SOURCES ... [LIBS ...] [GUI])
function(lx_exe name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(E "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${E_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(E_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  target_link_libraries(${name} PRIVATE ${E_LIBS})
endfunction()

# lx_device_api_def(<out.def> <library> ALL|KIT|VIRTUAL [EXCLUDE name...] [EXTRA name...])
# Writes a .def file that exports the device API names of the slot list: all of them, or those
# the kit module or the virtual device implement.
function(lx_device_api_def out library which)
  cmake_parse_arguments(S "" "" "EXCLUDE;EXTRA" ${ARGN})
  # Read whole, not line by line: the trailing backslashes of the macro would join CMake list items.
  file(READ ${LX_ROOT}/include/lumivex/deviceapi_slots.h text)
  string(REGEX MATCHALL "  X\\( *[0-9]+, [^\n]*, [01], [01]\\)" lines "${text}")
  list(LENGTH lines count)
  if(NOT count EQUAL 76)
    message(FATAL_ERROR "lx_device_api_def: read ${count} slots instead of 76")
  endif()
  set(body "LIBRARY ${library}\nEXPORTS\n")
  foreach(line ${lines})
    string(REGEX MATCH "^  X\\( *([0-9]+), ([A-Za-z0-9_]+),.*, (-?[0-9]+), ([01]), ([01])\\)" m "${line}")
    if(NOT m)
      message(FATAL_ERROR "lx_device_api_def: cannot read slot line: ${line}")
    endif()
    set(name ${CMAKE_MATCH_2})
    set(kit ${CMAKE_MATCH_4})
    set(virt ${CMAKE_MATCH_5})
    if(which STREQUAL "KIT" AND NOT kit)
      continue()
    endif()
    if(which STREQUAL "VIRTUAL" AND NOT virt)
      continue()
    endif()
    if(name IN_LIST S_EXCLUDE)
      continue()
    endif()
    string(APPEND body "    ${name}\n")
  endforeach()
  foreach(name ${S_EXTRA})
    string(APPEND body "    ${name}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${out} CONTENT "${body}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LX_ROOT}/include/lumivex/deviceapi_slots.h)
endfunction()

# The serial bases of the simulated kits, one per test run (lx_kit_serial).
include(${CMAKE_CURRENT_LIST_DIR}/KitSerials.cmake)

# How many times faster Tarn-Rook.dll's clock runs in the window tests with simulated kits
# (LX_TARNROOK_CLOCK_SPEED). The simulated chips keep their own time, counted in bus packets, so a
# faster module clock only shortens the wall time a wait may take: at 300 a register write's 10 s
# bound was 33 ms, and a loaded machine that paused the test for longer than that ended a sound
# write as "User timeout occurred...". At 10 the bound is a second, while the kit's settling waits
# still take a tenth of their time.
set(LX_TEST_CLOCK_SPEED 10)

# lx_driver_list_names(<out> <macro>): the names of one export list of the low-level drivers
# (LX_NOR_DRIVER_COMMANDS or LX_VELTAN_DRIVER_COMMANDS in include/lumivex/console_commands.h).
function(lx_driver_list_names out macro)
  set(header ${LX_ROOT}/include/lumivex/console_commands.h)
  file(READ ${header} text)
  string(REGEX MATCH "#define ${macro}\\(X\\)[^#]*" block "${text}")
  string(REGEX MATCHALL "X\\(([A-Za-z0-9_]+)\\)" items "${block}")
  set(names)
  foreach(item IN LISTS items)
    string(REGEX REPLACE "X\\(([A-Za-z0-9_]+)\\)" "\\1" name "${item}")
    list(APPEND names ${name})
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "lx_driver_list_names: no ${macro} list in ${header}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# lx_nor_driver_def(<out.def>): the NOR driver's .def file, from the export list the main program
# binds by: LXLLD_Init, every cmd_ export and the two data exports of its text buffer.
function(lx_nor_driver_def out)
  lx_driver_list_names(names LX_NOR_DRIVER_COMMANDS)
  list(LENGTH names count)
  if(NOT count EQUAL 118)
    message(FATAL_ERROR "lx_nor_driver_def: read ${count} NOR driver commands instead of 118")
  endif()
  set(body "LIBRARY LXLLD_Tarn\nEXPORTS\n    LXLLD_Init\n")
  foreach(name ${names})
    string(APPEND body "    cmd_${name}\n")
  endforeach()
  string(APPEND body "    g_ucBuffer DATA\n    g_ulBufferIndex DATA\n")
  file(CONFIGURE OUTPUT ${out} CONTENT "${body}")
endfunction()
