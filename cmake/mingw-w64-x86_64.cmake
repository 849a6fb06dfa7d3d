# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: the win32 one of GCC 12 has no std::mutex.
set(ZARN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: the module needs only Windows' own DLLs.
set(ZARN_MINGW_STATIC "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${ZARN_MINGW_STATIC})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${ZARN_MINGW_STATIC})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${ZARN_MINGW_STATIC})
# A release module ships without its symbol table (half its size).
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT -s)
