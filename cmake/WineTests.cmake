# The Windows build's tests run under Wine, in the build folder's private prefix
# (scripts/windows/wine-prefix.sh). Every test program is started through the wrapper; a CTest
# fixture starts Wine's session once before the tests and ends it after them, so a plain `ctest`
# in the build folder works as scripts/test.sh does.
find_program(TARNWICK_WINE wine)
if(NOT TARNWICK_WINE)
  message(WARNING "wine was not found: the Windows tests are built but cannot run here")
endif()
set(_wine_scripts ${PROJECT_SOURCE_DIR}/scripts/windows)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine_scripts}/wine-run.sh ${PROJECT_BINARY_DIR})

add_test(NAME wine_session_start COMMAND ${_wine_scripts}/wine-session.sh start ${PROJECT_BINARY_DIR})
add_test(NAME wine_session_stop COMMAND ${_wine_scripts}/wine-session.sh stop ${PROJECT_BINARY_DIR})
# The first start may make the prefix (wineboot: up to a minute on a loaded machine).
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session TIMEOUT 600)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session TIMEOUT 120)

# The Linux build folder whose programs the Windows tests use on the Linux side (the stand-in
# services and their certificates); scripts/windows/test.sh passes it. Tests that need it are
# left out without it.
set(TARNWICK_LINUX_BUILD_DIR "" CACHE PATH "Linux build folder holding the stand-in services program")
