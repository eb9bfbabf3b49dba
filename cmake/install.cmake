# cmake --install: isoread in bin/, the two modules (file names kept, the
# host loads them by path) in the module directory, the shared headers and
# the host's under include/zelbrant/, and the stand-in host library with a
# CMake package (find_package(zelbrant CONFIG), target zelbrant::host,
# zelbrant_MODULE_DIR) under lib/cmake/zelbrant/.
include(CMakePackageConfigHelpers)

install(TARGETS ${ZB_DELIVERABLES} LIBRARY DESTINATION ${ZB_INSTALL_MODULEDIR})

# The shared headers of include/ go to include/zelbrant/ (included as
# "records.h" with include/zelbrant on the path, as in the source tree); the
# headers of include/zelbrant/, included as <zelbrant/...>, go there too.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/ DESTINATION ${ZB_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN zelbrant EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/zelbrant/ DESTINATION ${ZB_INSTALL_INCLUDEDIR}
        OPTIONAL FILES_MATCHING PATTERN "*.h")
# The host's public headers; host_impl.h is its private state.
install(FILES ${CMAKE_SOURCE_DIR}/host/host.h ${CMAKE_SOURCE_DIR}/host/family.h
        ${CMAKE_SOURCE_DIR}/host/entity_text.h DESTINATION ${ZB_INSTALL_INCLUDEDIR})

install(TARGETS zbhost EXPORT zelbrantTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT zelbrantTargets NAMESPACE zelbrant:: DESTINATION ${ZB_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/zelbrantConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/zelbrantConfig.cmake
                              INSTALL_DESTINATION ${ZB_INSTALL_CMAKEDIR}
                              PATH_VARS ZB_INSTALL_MODULEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zelbrantConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zelbrantConfig.cmake ${CMAKE_BINARY_DIR}/zelbrantConfigVersion.cmake
        DESTINATION ${ZB_INSTALL_CMAKEDIR})

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zelbrant)
