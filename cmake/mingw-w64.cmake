# Cross-builds the Windows program with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUENFAR_MINGW_TRIPLE x86_64-w64-mingw32)
# The "posix" thread model gives the standard library its full <thread> and <mutex>.
set(CMAKE_C_COMPILER ${QUENFAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENFAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENFAR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUENFAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: the .exe runs without any DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets CTest run the Windows executables under Wine where it is installed.
find_program(QUENFAR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUENFAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENFAR_WINE})
endif()
