# The desktop's text size read from the user's registry (a private one) and followed live by the
# Win32 host's windows, under Wine.
tarnwick_test(toolkit_win_text_scale_test SOURCES text_scale_test.cpp
              LIBS tarnwick_toolkit_desktop tarnwick_toolkit_headless tarnwick_toolkit_core tarnwick_toolkit
                   advapi32 user32)
