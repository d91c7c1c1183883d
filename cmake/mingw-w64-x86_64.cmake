# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads, so std::thread
# and std::mutex work). The runtime libraries are linked statically: the program, its modules
# and the tools run on a Windows PC with nothing beside them but each other.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(KORVANE_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${KORVANE_MINGW_STATIC_RUNTIME}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " ${KORVANE_MINGW_STATIC_RUNTIME}")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " ${KORVANE_MINGW_STATIC_RUNTIME}")
