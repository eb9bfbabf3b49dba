# cpack -G DEB (in the build tree): a Debian package of the installed tree
# under /usr. dpkg-shlibdeps (package dpkg-dev) works out what the programs
# need of the system's libraries, where it is installed.
set(CPACK_PACKAGE_NAME zelbrant)
set(CPACK_PACKAGE_VENDOR "zelbrant project")
set(CPACK_PACKAGE_CONTACT "zelbrant maintainers <zelbrant@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ISO 8601 informat modules, stand-in host and isoread")
set(CPACK_PACKAGE_DESCRIPTION
    "Two loadable informat modules (zelbrant, morvista) that read ISO 8601 dates, times,
datetimes, durations and intervals for a statistical host program; the stand-in host
library with its CMake package, and isoread, the command-line reader.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
find_program(ZB_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZB_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
