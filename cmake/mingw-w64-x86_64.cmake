# Cross-building the Windows programs on Linux with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DUSKMERE_MINGW x86_64-w64-mingw32)
# The posix flavour: std::thread and friends without a separate threading library.
set(CMAKE_C_COMPILER ${DUSKMERE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUSKMERE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${DUSKMERE_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DUSKMERE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every file stands alone: the C and C++ runtimes are linked in, so nothing beyond Windows' own
# DLLs is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
