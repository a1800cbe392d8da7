# Windows files, log, settings-file replacement, drives and disks: links and junctions refused,
# the exclusive fresh download file, ReplaceFileW, the drive and volume facts.
tarnwick_test(utility_files_win_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_win_test.cpp LIBS tarnwick_system)
