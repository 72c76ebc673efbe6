# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads).
# The programs are linked statically: they need no DLLs beyond Windows' own.
# Test programs run under wine, in a wine prefix inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERROLUX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERROLUX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERROLUX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FERROLUX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FERROLUX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 and later; the static runtime, libstdc++, libgcc and winpthread.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(FERROLUX_WINE NAMES wine wine64)
if(FERROLUX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${FERROLUX_WINE})
endif()
