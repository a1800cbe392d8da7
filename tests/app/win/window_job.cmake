# The whole job through the window under Wine, one test per journey (a Linux-side driver:
# tests/app/win/window_job_wine.sh), each with an X server, services and a prefix of its own, so
# they run side by side. The services are the Linux build folder's (scripts/windows/test.sh names
# it); only development builds have the automation and read the services' address.
if(TARNWICK_DEV_OVERRIDES AND TARNWICK_LINUX_BUILD_DIR AND TARGET tarnwick_installer
   AND TARGET tarnwick_standin_emulator)
  # Tells the main window that the desktop session ends (the session-end journey).
  add_executable(end_session end_session_win.cpp)
  target_link_options(end_session PRIVATE -municode)
  target_link_libraries(end_session PRIVATE user32)
  tarnwick_warnings(end_session)
  foreach(journey install typed-folder download-fails cancel leave session-end)
    string(REPLACE "-" "_" name ${journey})
    add_test(NAME app_window_job_wine_test_${name}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window_job_wine.sh ${journey} ${PROJECT_BINARY_DIR}
              $<TARGET_FILE:tarnwick_installer> $<TARGET_FILE:tarnwick_standin_emulator>
              ${TARNWICK_LINUX_BUILD_DIR}/standin/services/tarnwick_services
              ${TARNWICK_LINUX_BUILD_DIR}/standin/certs/ca.pem $<TARGET_FILE:end_session>)
    set_tests_properties(app_window_job_wine_test_${name} PROPERTIES TIMEOUT 600 LABELS app_window_job_wine_test)
  endforeach()
endif()
