# The Debian package: `cmake --build build --target package` makes
# velmora-sentrova_<version>_<arch>.deb from the install rules (prefix /usr).
# dpkg-shlibdeps computes the library dependencies; the packages the program
# loads at run time (SQL drivers, the ODBC layer, the sound theme) are named
# here.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora-sentrova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora Software Labs")
set(CPACK_PACKAGE_CONTACT "Velmora Software Labs <support@velmora-labs.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop monitor for hosts, services, disks, files and databases")
# The long description under the summary line; CPack indents every line and
# writes an empty one as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Velmora Sentrova keeps a project of observer objects and tests each one on
its own interval: a host answering ping, a TCP port, a URL, the free space
of a disk, the size of a file or folder, a file or folder being present, two
files compared by size, and a database accepting a connection.

Every change of outcome is written to an event log and runs the object's
alert profile: a message box, a sound, a program, an e-mail over SMTP, a
network message or a reboot. The state of the objects can be served to
Prometheus.")

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE SENTROVA_DEB_ARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT SENTROVA_DEB_ARCH)
  set(SENTROVA_DEB_ARCH amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SENTROVA_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "velmora-sentrova_${PROJECT_VERSION}_${SENTROVA_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora-labs.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-psql, libqt6sql6-odbc, unixodbc, sound-theme-freedesktop")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-sqlite, odbc-postgresql, libsqliteodbc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "smbclient, prometheus")
# Files and folders owned by root, whoever builds the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
