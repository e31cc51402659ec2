# The vendor's package of the Windows build: QzUpdate-<version>-win64.zip (the 32-bit
# build's: QzUpdate-<version>-win32.zip) with
# qzupdate.exe, unzip32.dll, the vendor's tool qzupdate-release.exe (it tests archives with
# the unzip32.dll beside it) and a short readme (configuring, what goes beside Vq.exe, the
# server's layout, signing). The programs are stripped; they need no other file.
#
#   cmake --build build-windows --target package

install(TARGETS qzupdate qzupdate-release RUNTIME DESTINATION . COMPONENT updater)
if(TARGET unzip32)
  install(TARGETS unzip32 RUNTIME DESTINATION . COMPONENT updater)
else()
  message(WARNING "No unzip32 target: the Windows package will lack unzip32.dll")
endif()
set(QZ_VERSION ${PROJECT_VERSION})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QZ_WINDOWS_PACKAGE win32)
  set(QZ_WINDOWS_BITS "32-bit")
else()
  set(QZ_WINDOWS_PACKAGE win64)
  set(QZ_WINDOWS_BITS "64-bit")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/../docs/WindowsPackageReadme.txt
               ${CMAKE_BINARY_DIR}/ReadMe.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/ReadMe.txt DESTINATION . COMPONENT updater)

set(CPACK_PACKAGE_NAME QzUpdate)
set(CPACK_PACKAGE_VENDOR "QzUpdate")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME QzUpdate-${PROJECT_VERSION}-${QZ_WINDOWS_PACKAGE})
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL updater)
set(CPACK_STRIP_FILES ON)
include(CPack)
