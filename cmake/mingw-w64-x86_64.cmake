# Cross-compiles for 64-bit Windows with mingw-w64's -posix compilers (the ones with
# std::thread and std::mutex) and runs the results under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Appended, not set, so that a -DCMAKE_FIND_ROOT_PATH on the command line still counts.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs import only system DLLs, so they run from any folder.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The cross-built third-party libraries (scripts/build-windows-deps.sh).
if(NOT QZ_WIN_DEPS)
  if(DEFINED ENV{QZ_WIN_DEPS})
    set(QZ_WIN_DEPS $ENV{QZ_WIN_DEPS})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(QZ_WIN_DEPS $ENV{XDG_CACHE_HOME}/qzupdate/win-deps)
  else()
    set(QZ_WIN_DEPS $ENV{HOME}/.cache/qzupdate/win-deps)
  endif()
endif()
set(QZ_WIN_DEPS ${QZ_WIN_DEPS} CACHE PATH "Cross-built third-party libraries for Windows")
list(APPEND CMAKE_FIND_ROOT_PATH ${QZ_WIN_DEPS})
