# Installation and packages (cmake --install, cpack).
#
# The updater and its extraction library are installed side by side in one folder,
# <prefix>/lib/qzupdate, because the updater finds both the library and the host's
# Version.INF in the folder of its own executable; a host application ships or links that
# folder. The demo server and the host stand-in form a separate component "demo".
#
#   cmake --install build [--component updater|demo] --prefix DIR
#   cd build && cpack        (qzupdate-<version>-Linux.tar.gz, qzupdate_<version>_<arch>.deb
#                             and qzupdate-demo_<version>_<arch>.deb)

set(QZUPDATE_INSTALL_DIR lib/qzupdate CACHE STRING
    "Folder under the prefix for the updater and its extraction library")

set_target_properties(qzupdate qzupdate-release PROPERTIES INSTALL_RPATH "$ORIGIN")
# The vendor's tool goes beside the library, with which it tests the archives it packs.
install(TARGETS qzupdate qzupdate-release RUNTIME DESTINATION ${QZUPDATE_INSTALL_DIR} COMPONENT updater)
if(TARGET unzip32)
  install(TARGETS unzip32
    LIBRARY DESTINATION ${QZUPDATE_INSTALL_DIR} COMPONENT updater
    RUNTIME DESTINATION ${QZUPDATE_INSTALL_DIR} COMPONENT updater)
else()
  message(WARNING "No unzip32 target: the packages will lack libunzip32.so")
endif()
install(TARGETS qzupdate-demo-server vq-standin RUNTIME DESTINATION bin COMPONENT demo)

set(CPACK_PACKAGE_NAME qzupdate)
set(CPACK_PACKAGE_VENDOR "QzUpdate")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QzUpdate maintainers <qzupdate@example.org>")
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_COMPONENTS_ALL updater demo)
set(CPACK_STRIP_FILES ON)

# One archive with everything; one Debian package per component, each described by its
# own text (first line the synopsis).
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_UPDATER_PACKAGE_NAME qzupdate)
set(CPACK_DEBIAN_UPDATER_DESCRIPTION
    "Online updater for the Vq desktop application
Checks the vendor's update server for a newer Vq, downloads it, and installs it once Vq
is closed on every computer that shares its folder, keeping backups of the files it
replaces.")
set(CPACK_DEBIAN_DEMO_PACKAGE_NAME qzupdate-demo)
set(CPACK_DEBIAN_DEMO_DESCRIPTION
    "Demo update server and host stand-in for QzUpdate
qzupdate-demo-server serves update files laid out like the real update server;
vq-standin holds Vq's lock file Config.ldb the way the running host application does.")

# Qt loads its platform plugin and the updater libcurl at run time, which no library scan
# finds; a font is needed to draw any text.
set(qz_updater_runtime_extra "qt6-qpa-plugins, libcurl4")
set(CPACK_DEBIAN_UPDATER_PACKAGE_RECOMMENDS "fonts-dejavu-core | fonts-liberation")
find_program(QZ_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QZ_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_UPDATER_PACKAGE_DEPENDS "${qz_updater_runtime_extra}")
else()
  set(CPACK_DEBIAN_UPDATER_PACKAGE_DEPENDS
      "libqt6widgets6, libqt6gui6, libqt6core6, ${qz_updater_runtime_extra}, libzip4, libc6, libstdc++6")
  set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "libcpp-httplib0.11, libc6, libstdc++6")
endif()

include(CPack)
