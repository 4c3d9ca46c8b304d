# Shared part of the MinGW-w64 toolchains: a Windows build from Debian with the
# posix-thread compilers (std::thread and std::mutex need them), every runtime
# library linked into the program so that each .exe stands alone, and the
# test programs run under Wine through tests/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SP_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${SP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SP_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside each program: nothing to copy beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
