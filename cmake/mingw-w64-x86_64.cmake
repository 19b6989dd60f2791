# Cross-builds the Windows game with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The program links the C and C++ runtimes statically, so jorvo-dice.exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(JORVO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${JORVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JORVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${JORVO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${JORVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable, the tests included, carries its runtime: libgcc, libstdc++ and winpthread.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through wine when it is there; the test script sets its own prefix.
find_program(JORVO_WINE NAMES wine64 wine)
if(JORVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JORVO_WINE})
endif()
