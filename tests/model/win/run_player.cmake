# The emulator's launch on Windows: the desktop shell's token, and the shell start without one,
# with the process tests' helper program placed as "corvide.exe".
tarnwick_test(model_run_player_win_test SOURCES run_player_win_test.cpp LIBS tarnwick_model tarnwick_deployment)
target_compile_definitions(model_run_player_win_test PRIVATE PROCESS_HELPER="$<TARGET_FILE:utility_process_helper>")
add_dependencies(model_run_player_win_test utility_process_helper)
