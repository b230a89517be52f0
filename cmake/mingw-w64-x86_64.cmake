# Cross build for Windows x64 with Debian's MinGW-w64 compiler. The posix
# thread model is the one whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KNS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KNS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KNS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KNS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KNS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: the programs run on a Windows machine (and under
# wine) without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A release carries no symbols: the window with its static Qt is a third of
# the size without them.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs run through wine, inside the private mount namespace (unshare,
# /dev/ttyS0 covered by an empty file) that scripts/test-windows.sh prepares;
# scripts/wine-run.sh makes one itself when it is started outside it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
