# What the two Windows toolchain files share. The including file sets
# CMAKE_SYSTEM_PROCESSOR (x86_64 or i686), which names the compilers and the system root,
# and QZ_WIN_DEPS_SUFFIX, which keeps each architecture's cross-built libraries apart.
# mingw-w64's -posix compilers are the ones with std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(qz_mingw_host ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${qz_mingw_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${qz_mingw_host}-g++-posix)
set(CMAKE_RC_COMPILER ${qz_mingw_host}-windres)

# Appended, not set, so that a -DCMAKE_FIND_ROOT_PATH on the command line still counts.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${qz_mingw_host})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs import only system DLLs, so they run from any folder.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The cross-built third-party libraries (scripts/build-windows-deps.sh): QZ_WIN_DEPS, or
# the cache folder, followed by the architecture's suffix.
if(NOT QZ_WIN_DEPS)
  if(DEFINED ENV{QZ_WIN_DEPS})
    set(QZ_WIN_DEPS $ENV{QZ_WIN_DEPS}${QZ_WIN_DEPS_SUFFIX})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(QZ_WIN_DEPS $ENV{XDG_CACHE_HOME}/qzupdate/win-deps${QZ_WIN_DEPS_SUFFIX})
  else()
    set(QZ_WIN_DEPS $ENV{HOME}/.cache/qzupdate/win-deps${QZ_WIN_DEPS_SUFFIX})
  endif()
endif()
set(QZ_WIN_DEPS ${QZ_WIN_DEPS} CACHE PATH "Cross-built third-party libraries for Windows")
list(APPEND CMAKE_FIND_ROOT_PATH ${QZ_WIN_DEPS})
