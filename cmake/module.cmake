# The two deliverables. The shared sources compile once into an object
# library; each module adds only its registration and its build record.

set(ZB_MODULE_DIRS base/src sup/src hostcm/src dsup/src core/src qjp/src bind/src)
set(ZB_OWN_SOURCES base/src/zelbrant.cc base/src/morvista.cc)
set(ZB_DELIVERABLES zelbrant morvista)

set(zb_common)
set(zb_export_files)
foreach(dir ${ZB_MODULE_DIRS})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cc)
  list(APPEND zb_common ${srcs})
  file(GLOB exps CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.exports)
  list(APPEND zb_export_files ${exps})
endforeach()
foreach(own ${ZB_OWN_SOURCES})
  list(REMOVE_ITEM zb_common ${CMAKE_SOURCE_DIR}/${own})
  get_filename_component(stem ${own} NAME_WE)
  list(REMOVE_ITEM zb_export_files ${CMAKE_SOURCE_DIR}/base/src/${stem}.exports)
endforeach()

# Module code: no exceptions, no RTTI, nothing visible unless marked, and
# calls between the module's own routines bound inside the module. The one
# target that carries these flags and the modules' include directories:
# the shared objects and each deliverable link it.
add_library(zb_module_flags INTERFACE)
target_compile_options(zb_module_flags INTERFACE -fvisibility=hidden -fvisibility-inlines-hidden
                       -fno-exceptions -fno-rtti -fno-semantic-interposition)
target_include_directories(zb_module_flags INTERFACE ${CMAKE_SOURCE_DIR}/dsup/src
                           ${CMAKE_SOURCE_DIR}/qjp/src ${CMAKE_SOURCE_DIR}/hostcm/src
                           ${CMAKE_SOURCE_DIR}/base/src ${CMAKE_SOURCE_DIR}/sup/src)
# ZB_SCAN_LOOP_ONLY: the entity scanner reads every text with its main loop,
# without its fast paths: a reference build to check and measure them by.
option(ZB_SCAN_LOOP_ONLY "entity scanner without its fast paths (reference builds)" OFF)
if(ZB_SCAN_LOOP_ONLY)
  target_compile_definitions(zb_module_flags INTERFACE ZB_SCAN_LOOP_ONLY=1)
endif()

add_library(zb_common OBJECT ${zb_common})
target_link_libraries(zb_common PRIVATE zb_module_flags)
# Link-time optimisation lets the readers' calls into the calendar and
# string routines be inlined across sources (g++ builds without sanitizers;
# the fuzz and sanitizer builds keep plain objects).
set(ZB_MODULE_LTO OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT ZB_SANITIZE AND NOT ZB_FUZZ)
  set(ZB_MODULE_LTO ON)
endif()
set_property(TARGET zb_common PROPERTY INTERPROCEDURAL_OPTIMIZATION ${ZB_MODULE_LTO})

# Names every deliverable exports, one per line in */src/*.exports.
set(zb_common_names "")
foreach(f ${zb_export_files})
  file(READ ${f} txt)
  string(APPEND zb_common_names "${txt}\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${f})
endforeach()

foreach(mod ${ZB_DELIVERABLES})
  set(own_exports ${CMAKE_SOURCE_DIR}/base/src/${mod}.exports)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${own_exports})
  file(READ ${own_exports} own_names)
  set(all_names "${zb_common_names}\n${own_names}")
  string(REGEX REPLACE "#[^\n]*" "" all_names "${all_names}")
  string(REGEX REPLACE "[ \t\r]+" "" all_names "${all_names}")
  string(REGEX REPLACE "\n+" ";" all_names "${all_names}")
  list(REMOVE_ITEM all_names "")
  list(SORT all_names)
  set(map "{\n  global:\n")
  foreach(n ${all_names})
    string(APPEND map "    ${n};\n")
  endforeach()
  string(APPEND map "  local: *;\n};\n")
  file(WRITE ${CMAKE_BINARY_DIR}/${mod}.map "${map}")
  list(JOIN all_names "\n" names_txt)
  file(WRITE ${CMAKE_BINARY_DIR}/${mod}.names "${names_txt}\n")

  # The build record (build time, identifiers) is made at build time, anew
  # whenever the module's code changes.
  set(gen ${CMAKE_BINARY_DIR}/gen/${mod}_build.cc)
  add_custom_command(
    OUTPUT ${gen}
    COMMAND ${CMAKE_COMMAND} -DOUT=${gen} -DMODULE=${mod}
            -P ${CMAKE_SOURCE_DIR}/cmake/buildinfo.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/buildinfo.cmake ${CMAKE_SOURCE_DIR}/base/src/${mod}.cc
            ${CMAKE_SOURCE_DIR}/dsup/src/build_record.inc
            ${zb_common}
    COMMENT "build record of ${mod}")

  add_library(${mod} MODULE $<TARGET_OBJECTS:zb_common> ${CMAKE_SOURCE_DIR}/base/src/${mod}.cc
              ${gen})
  target_link_libraries(${mod} PRIVATE zb_module_flags)
  set_property(TARGET ${mod} PROPERTY INTERPROCEDURAL_OPTIMIZATION ${ZB_MODULE_LTO})
  set_target_properties(${mod} PROPERTIES PREFIX "" SUFFIX ".so"
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                        LINK_DEPENDS ${CMAKE_BINARY_DIR}/${mod}.map)
  target_link_options(${mod} PRIVATE -Wl,--version-script=${CMAKE_BINARY_DIR}/${mod}.map
                      -Wl,-Bsymbolic -Wl,-z,defs -Wl,--as-needed -static-libstdc++ -static-libgcc)
  if(ZB_SANITIZE)
    # The sanitizer runtime comes from the host program that loads us.
    target_link_options(${mod} PRIVATE -Wl,-z,undefs)
  endif()
endforeach()
