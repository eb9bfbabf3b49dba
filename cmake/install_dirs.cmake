# Where an installed tree keeps its parts, below the prefix: programs in
# bin/, both modules in one module directory under lib/, the shared headers
# under include/zelbrant/, the host library's CMake package under lib/cmake/.
include(GNUInstallDirs)
set(ZB_INSTALL_MODULEDIR "${CMAKE_INSTALL_LIBDIR}/zelbrant" CACHE STRING
    "module directory of an installed tree, relative to the prefix")
set(ZB_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/zelbrant")
set(ZB_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/zelbrant")
# The module directory as seen from the programs' directory, so that an
# installed program finds the modules wherever the tree was put.
set(full_moduledir "${ZB_INSTALL_MODULEDIR}")
if(NOT IS_ABSOLUTE "${full_moduledir}")
  set(full_moduledir "${CMAKE_INSTALL_PREFIX}/${full_moduledir}")
endif()
file(RELATIVE_PATH ZB_MODULEDIR_FROM_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}" "${full_moduledir}")
