# Shared by the two cross toolchains: Windows with the posix thread model, tests run under Wine.
# The including file sets LX_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${LX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No mingw runtime DLL has to be found next to our programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
