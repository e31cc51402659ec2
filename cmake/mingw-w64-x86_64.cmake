# Cross-compiles for 64-bit Windows with mingw-w64 and runs the results under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QZ_WIN_DEPS_SUFFIX "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
