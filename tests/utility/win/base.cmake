# The Win32 base layer: posts from other threads, timers, quit through nested loops, console
# control events (the last test starts this binary again as its child).
tarnwick_test(utility_base_win_test SOURCES base_win_test.cpp LIBS tarnwick_base)
