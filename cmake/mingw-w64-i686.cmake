# Cross-compiles for 32-bit Windows with mingw-w64 and runs the results under Wine (which
# needs Debian's wine32). Its libraries are cached apart from the 64-bit ones.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QZ_WIN_DEPS_SUFFIX -i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
