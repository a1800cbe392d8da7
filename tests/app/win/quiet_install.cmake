# The unattended installation (/quiet) under Wine (a Linux-side driver:
# tests/app/win/quiet_install_wine.sh), against the stand-in services of the Linux build folder
# scripts/windows/test.sh names. Only development builds read the services' address from the
# environment.
if(TARNWICK_DEV_OVERRIDES AND TARNWICK_LINUX_BUILD_DIR AND TARGET tarnwick_installer
   AND TARGET tarnwick_standin_emulator)
  add_test(NAME app_quiet_install_wine_test
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/quiet_install_wine.sh ${PROJECT_BINARY_DIR}
            $<TARGET_FILE:tarnwick_installer> $<TARGET_FILE:tarnwick_standin_emulator>
            ${TARNWICK_LINUX_BUILD_DIR}/standin/services/tarnwick_services
            ${TARNWICK_LINUX_BUILD_DIR}/standin/certs/ca.pem)
  set_tests_properties(app_quiet_install_wine_test PROPERTIES TIMEOUT 600 LABELS app_quiet_install_wine_test)
endif()
