# Cross build of the 32-bit Windows program with the i686 MinGW-w64 tools:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QUORV_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORV_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QUORV_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QUORV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Standalone executables: no MinGW runtime DLLs to ship next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
