# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
# Test executables run through Wine (cmake/wine-run.sh) with a private prefix
# inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TW_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TW_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static executables: Wine then needs none of MinGW's runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT DEFINED TW_WINE_PREFIX)
  set(TW_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${TW_WINE_PREFIX})
