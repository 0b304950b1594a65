# Cross toolchain: 32-bit Windows (build/win).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
