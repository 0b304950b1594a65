# Fails when a source outside main/app includes the application's header (app.h): the tools
# see the program through main/core/program_context.h, and tests reach the application object
# through the one header named below.
#   cmake -DLX_ROOT=<tree> -P CheckAppHeader.cmake
# With -DLX_PROBE=ON the tree is first made into a small one holding one offender, so that the
# check's own failure is tested too.
if(NOT LX_ROOT)
  message(FATAL_ERROR "LX_ROOT is not set")
endif()

# The one test header that may include app.h.
set(allowed "main/tests/win/app_under_test.h")

if(LX_PROBE)
  file(REMOVE_RECURSE ${LX_ROOT})
  file(WRITE ${LX_ROOT}/main/app/frame.cpp "#include \"app.h\"\n")
  file(WRITE ${LX_ROOT}/${allowed} "#include \"app.h\"\n")
  file(WRITE ${LX_ROOT}/main/tools/quiet.cpp "#include \"program_context.h\"  // not app.h\n")
  file(WRITE ${LX_ROOT}/main/tools/offender.cpp "#include <vector>\n  #  include \"../app/app.h\"\n")
endif()

file(GLOB tops LIST_DIRECTORIES true RELATIVE ${LX_ROOT} ${LX_ROOT}/*)
set(sources "")
foreach(top ${tops})
  # Build trees and hidden folders hold no sources of ours.
  if(top MATCHES "^(build|\\.)" OR NOT IS_DIRECTORY ${LX_ROOT}/${top})
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE ${LX_ROOT} ${LX_ROOT}/${top}/*.h ${LX_ROOT}/${top}/*.hpp ${LX_ROOT}/${top}/*.c
       ${LX_ROOT}/${top}/*.cpp ${LX_ROOT}/${top}/*.inl)
  list(APPEND sources ${found})
endforeach()

set(offenders "")
foreach(source ${sources})
  if(source MATCHES "^main/app/" OR source STREQUAL allowed)
    continue()
  endif()
  file(STRINGS ${LX_ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]([^<\">]*/)?app\\.h[\">]")
  if(lines)
    list(APPEND offenders ${source})
  endif()
endforeach()

list(LENGTH sources count)
if(offenders)
  string(REPLACE ";" "\n  " listed "${offenders}")
  message(FATAL_ERROR "These sources outside main/app include app.h; tools use program_context.h, tests "
                      "${allowed}:\n  ${listed}")
endif()
message(STATUS "No source outside main/app includes app.h (${count} sources read).")
