# Fails when a source outside main/app includes any header of main/app: the application composes
# the tools, and nothing below it reaches up. The tools see the program through
# main/core/program_context.h; tests reach the application object and its frame only through the
# application's own tests (main/tests), whose helpers there are the doors for the tools' tests.
#   cmake -DLX_ROOT=<tree> -P CheckAppHeader.cmake
# With -DLX_PROBE=ON the tree is first made into a small one holding two offenders, so that the
# check's own failure is tested too.
if(NOT LX_ROOT)
  message(FATAL_ERROR "LX_ROOT is not set")
endif()

if(LX_PROBE)
  file(REMOVE_RECURSE ${LX_ROOT})
  file(WRITE ${LX_ROOT}/main/app/app.h "#pragma once\n")
  file(WRITE ${LX_ROOT}/main/app/resource.h "#pragma once\n")
  file(WRITE ${LX_ROOT}/main/app/frame.cpp "#include \"app.h\"\n#include \"resource.h\"\n")
  file(WRITE ${LX_ROOT}/main/tests/win/app_under_test.h "#include \"app.h\"\n")
  file(WRITE ${LX_ROOT}/main/tools/quiet.cpp "#include \"program_context.h\"  // not app.h\n")
  file(WRITE ${LX_ROOT}/main/tools/offender.cpp "#include <vector>\n  #  include \"../app/app.h\"\n")
  file(WRITE ${LX_ROOT}/main/explorers/ids.cpp "#include \"resource.h\"\n")
  # Another folder's header of the same name is its own.
  file(WRITE ${LX_ROOT}/fwupdate/resource.h "#pragma once\n")
  file(WRITE ${LX_ROOT}/fwupdate/tests/own_ids.cpp "#include \"resource.h\"\n")
endif()

file(GLOB app_headers RELATIVE ${LX_ROOT}/main/app ${LX_ROOT}/main/app/*.h)
if(NOT app_headers)
  message(FATAL_ERROR "no headers in ${LX_ROOT}/main/app")
endif()
string(REPLACE "." "\\." names "${app_headers}")
string(REPLACE ";" "|" names "${names}")
set(pattern "^[ \t]*#[ \t]*include[ \t]*[<\"]([^<\">]*/)?(${names})[\">]")

file(GLOB tops LIST_DIRECTORIES true RELATIVE ${LX_ROOT} ${LX_ROOT}/*)
set(sources "")
foreach(top ${tops})
  # Build trees and hidden folders hold no sources of ours.
  if(top MATCHES "^(build|\\.)" OR NOT IS_DIRECTORY ${LX_ROOT}/${top})
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE ${LX_ROOT} ${LX_ROOT}/${top}/*.h ${LX_ROOT}/${top}/*.hpp ${LX_ROOT}/${top}/*.c
       ${LX_ROOT}/${top}/*.cpp ${LX_ROOT}/${top}/*.inl ${LX_ROOT}/${top}/*.rc)
  list(APPEND sources ${found})
endforeach()

set(offenders "")
foreach(source ${sources})
  if(source MATCHES "^main/(app|tests)/")
    continue()
  endif()
  file(STRINGS ${LX_ROOT}/${source} lines REGEX "${pattern}")
  string(REGEX MATCH "^[^/]+" top "${source}")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "${pattern}" _ "${line}")
    set(header "${CMAKE_MATCH_2}")
    # Outside main/, a header of that name in the source's own top folder is the one it means.
    if(NOT top STREQUAL "main" AND NOT CMAKE_MATCH_1)
      file(GLOB_RECURSE own ${LX_ROOT}/${top}/${header})
      if(own)
        continue()
      endif()
    endif()
    list(APPEND offenders "${source} (${header})")
  endforeach()
endforeach()

list(LENGTH sources count)
if(offenders)
  string(REPLACE ";" "\n  " listed "${offenders}")
  message(FATAL_ERROR "These sources outside main/app include its headers; tools use main/core, main/binding "
                      "and their own folders, tests the helpers of main/tests:\n  ${listed}")
endif()
message(STATUS "No source outside main/app and its tests includes a header of main/app (${count} sources read).")
