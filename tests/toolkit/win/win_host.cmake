# The Win32 window host under Wine, on the Wine session's X server: its windows, input, painting
# surface, DPI, timers, clipboard, drop list, modal loop and session end, driven by messages.
# Linked with the program's resources (icon 107 and the manifest the host must agree with).
tarnwick_test(toolkit_win_host_test SOURCES win_host_test.cpp win_host_keys_test.cpp
              LIBS tarnwick_toolkit_desktop tarnwick_toolkit_headless tarnwick_toolkit_core tarnwick_toolkit
                   tarnwick_icon_resource imm32 user32 gdi32)
