# The Win32 process layer: the shell's token, the receiver window across processes, the mutex
# across processes, openUrl through a registered address scheme.
tarnwick_test(utility_process_win_test SOURCES process_win_test.cpp ../instance_test_support_win.cpp LIBS tarnwick_system advapi32 user32)
target_compile_definitions(utility_process_win_test PRIVATE PROCESS_HELPER="$<TARGET_FILE:utility_process_helper>")
add_dependencies(utility_process_win_test utility_process_helper)
