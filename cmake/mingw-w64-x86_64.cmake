# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads, so std::thread works).
#   cmake --preset windows   (build/windows; see CMakePresets.json)
# Tests then run under wine: CTest prefixes every test program with the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe with no DLLs beside it: the C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wine-run.sh keeps one wine prefix per build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ORVEX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
                                  ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
