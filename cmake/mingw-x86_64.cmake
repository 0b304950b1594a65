# Cross toolchain: 64-bit Windows (build/win64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
