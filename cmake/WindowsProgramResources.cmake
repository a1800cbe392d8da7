# The resources every Windows program of the product carries besides its data:
#
#   tarnwick_add_program_resources(<target> ICON_ID <id> ICON_SVG <svg> DESCRIPTION <text>
#                                  INTERNAL_NAME <name>)
#
# makes the OBJECT library <target> (link it directly into the executable) holding
# - the icon <id>: a real .ico drawn from <svg> at build time (cmake/RenderIcon.cmake);
# - the application manifest (cmake/windows/installer.manifest.in): administrator rights, no
#   supported-OS list (the version rule), per-monitor DPI awareness, common controls 6;
# - VERSIONINFO from the project's version.
# Windows builds only.
set(TARNWICK_PROGRAM_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})
enable_language(RC)

function(tarnwick_add_program_resources target)
  cmake_parse_arguments(P "" "ICON_ID;ICON_SVG;DESCRIPTION;INTERNAL_NAME" "" ${ARGN})
  foreach(arg ICON_ID ICON_SVG DESCRIPTION INTERNAL_NAME)
    if(NOT P_${arg})
      message(FATAL_ERROR "tarnwick_add_program_resources(${target}): ${arg} is missing")
    endif()
  endforeach()
  find_program(TARNWICK_ICOTOOL icotool REQUIRED)
  find_program(TARNWICK_RSVG_CONVERT rsvg-convert REQUIRED)

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target})
  set(icon ${dir}/program.ico)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -DSVG=${P_ICON_SVG} -DOUTPUT=${icon} -DRSVG_CONVERT=${TARNWICK_RSVG_CONVERT}
            -DICOTOOL=${TARNWICK_ICOTOOL} -P ${TARNWICK_PROGRAM_RESOURCES_DIR}/RenderIcon.cmake
    DEPENDS ${P_ICON_SVG} ${TARNWICK_PROGRAM_RESOURCES_DIR}/RenderIcon.cmake
    COMMENT "Drawing the program icon"
    VERBATIM)
  add_custom_target(${target}_icon DEPENDS ${icon})

  # The version as Windows writes it: four numbers.
  set(parts "${PROJECT_VERSION_MAJOR}" "${PROJECT_VERSION_MINOR}" "${PROJECT_VERSION_PATCH}" "${PROJECT_VERSION_TWEAK}")
  set(numbers)
  foreach(part IN LISTS parts)
    if(part STREQUAL "")
      set(part 0)
    endif()
    list(APPEND numbers ${part})
  endforeach()
  list(JOIN numbers "." TARNWICK_VERSION_QUAD)
  list(JOIN numbers "," TARNWICK_VERSION_COMMAS)
  set(TARNWICK_TARGET ${target})
  set(TARNWICK_ICON_ID ${P_ICON_ID})
  set(TARNWICK_ICON_FILE ${icon})
  set(TARNWICK_DESCRIPTION "${P_DESCRIPTION}")
  set(TARNWICK_INTERNAL_NAME ${P_INTERNAL_NAME})
  set(TARNWICK_COMPANY "Tarnwick")
  set(TARNWICK_PRODUCT "Tarnwick")
  set(TARNWICK_MANIFEST_FILE ${dir}/program.manifest)
  configure_file(${TARNWICK_PROGRAM_RESOURCES_DIR}/windows/installer.manifest.in ${TARNWICK_MANIFEST_FILE} @ONLY)
  configure_file(${TARNWICK_PROGRAM_RESOURCES_DIR}/windows/program.rc.in ${dir}/program.rc @ONLY)

  set_source_files_properties(${dir}/program.rc PROPERTIES OBJECT_DEPENDS "${icon};${TARNWICK_MANIFEST_FILE}")
  add_library(${target} OBJECT ${dir}/program.rc)
  add_dependencies(${target} ${target}_icon)
endfunction()
