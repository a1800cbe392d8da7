# The installer's own Windows resources (icon, manifest, version), carried by a test program
# that links the same resource object.
tarnwick_test(app_program_resources_test SOURCES program_resources_win_test.cpp
              LIBS tarnwick_icon_resource version gdi32 user32)
set(version_numbers)
foreach(part ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} "${PROJECT_VERSION_PATCH}" "${PROJECT_VERSION_TWEAK}")
  if(part STREQUAL "")
    set(part 0)
  endif()
  list(APPEND version_numbers ${part})
endforeach()
list(JOIN version_numbers "." version_text)
target_compile_definitions(app_program_resources_test PRIVATE
  TARNWICK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TARNWICK_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  TARNWICK_VERSION_TEXT=L"${version_text}")
