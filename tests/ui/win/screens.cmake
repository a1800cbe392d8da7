# The real main window's pages and boxes drawn by the GDI painter under Wine, in four locales.
add_test(NAME ui_screens COMMAND ui_screens ${CMAKE_CURRENT_BINARY_DIR}/screens)
set_tests_properties(ui_screens PROPERTIES LABELS ui_screens TIMEOUT 600 FIXTURES_REQUIRED wine_session)
# The right-to-left locales at larger desktop text over GDI: nothing may be cut.
add_test(NAME ui_screens_right_to_left_text_1.5
         COMMAND ui_screens ${CMAKE_CURRENT_BINARY_DIR}/screens_right_to_left_text_1.5 --text-scale 1.5 ar_IL fa_IR)
set_tests_properties(ui_screens_right_to_left_text_1.5 PROPERTIES LABELS ui_screens TIMEOUT 600
                     FIXTURES_REQUIRED wine_session)
