# What both MinGW-w64 cross builds share; the file that includes this sets
# CMAKE_SYSTEM_PROCESSOR and QUORV_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

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
