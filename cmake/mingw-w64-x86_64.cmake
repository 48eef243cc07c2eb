# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads) against a Qt and Qwt
# built for it (tools/windows/toolchain.sh). Pass the folder they are installed in:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVORNEX_WIN_PREFIX=<folder> ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORNEX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORNEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORNEX_MINGW_TRIPLET}-windres)

# Try-compiles see the prefix too.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORNEX_WIN_PREFIX)
if(NOT VORNEX_WIN_PREFIX)
    message(FATAL_ERROR "Set VORNEX_WIN_PREFIX to the folder tools/windows/toolchain.sh built")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${VORNEX_MINGW_TRIPLET} ${VORNEX_WIN_PREFIX})
set(CMAKE_PREFIX_PATH ${VORNEX_WIN_PREFIX})
# Programs (moc, uic, rcc) run here; libraries and headers are the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime DLLs shipped beside the programs.
set(VORNEX_MINGW_RUNTIME_DIRS /usr/lib/gcc/${VORNEX_MINGW_TRIPLET}/12-posix
    /usr/${VORNEX_MINGW_TRIPLET}/lib)
