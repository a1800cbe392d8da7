# The start-up's warm-up thread: its steps work under the system, and COM and WIC stay usable on
# the thread that started it.
tarnwick_test(app_start_warmup_test SOURCES start_warmup_win_test.cpp LIBS tarnwick_app ole32 windowscodecs uuid)
