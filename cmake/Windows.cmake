# Third-party libraries of the Windows build, cross-built once by
# scripts/build-windows-deps.sh into QZ_WIN_DEPS (the toolchain file puts that folder on
# the find-root path). Every target here has the same name as its Linux counterpart so
# the rest of the build does not care which platform it is on:
#   PkgConfig::LIBZIP   libzip, static, with zlib and Windows' own crypto (bcrypt)
#   PkgConfig::LIBDEFLATE  libdeflate, static
#   PkgConfig::HTTPLIB  cpp-httplib, header-only, for the test servers
#   PkgConfig::SODIUM      libsodium, static (SODIUM_STATIC is defined for its users)
# GoogleTest is found by the ordinary find_package(GTest) from the same folder.

# libzip's package configuration expects zlib to be found first. The static one: the import
# library would make the programs need zlib1.dll, which Windows lacks (Wine has one).
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(libzip REQUIRED CONFIG)
add_library(PkgConfig::LIBZIP INTERFACE IMPORTED)
target_link_libraries(PkgConfig::LIBZIP INTERFACE libzip::zip ZLIB::ZLIB bcrypt)

find_library(QZ_LIBDEFLATE_LIBRARY NAMES libdeflate.a REQUIRED)
find_path(QZ_LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
add_library(PkgConfig::LIBDEFLATE STATIC IMPORTED)
set_target_properties(PkgConfig::LIBDEFLATE PROPERTIES
  IMPORTED_LOCATION ${QZ_LIBDEFLATE_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${QZ_LIBDEFLATE_INCLUDE_DIR})

find_library(QZ_SODIUM_LIBRARY NAMES libsodium.a sodium REQUIRED)
find_path(QZ_SODIUM_INCLUDE_DIR sodium.h REQUIRED)
add_library(PkgConfig::SODIUM STATIC IMPORTED)
set_target_properties(PkgConfig::SODIUM PROPERTIES
  IMPORTED_LOCATION ${QZ_SODIUM_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${QZ_SODIUM_INCLUDE_DIR}
  INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)

# cpp-httplib header-only, from Debian's source package, without TLS or compression.
find_path(QZ_HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
add_library(PkgConfig::HTTPLIB INTERFACE IMPORTED)
target_include_directories(PkgConfig::HTTPLIB INTERFACE ${QZ_HTTPLIB_INCLUDE_DIR})
target_link_libraries(PkgConfig::HTTPLIB INTERFACE ws2_32)

# Test programs run under Wine in a prefix of this build's own, quietly, without the
# helpers (Mono, Gecko, menu builder) that a new prefix would otherwise install or start.
set(QZ_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${QZ_WINEPREFIX} WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d" wine)
