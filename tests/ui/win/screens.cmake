# The real main window's pages and boxes drawn by the GDI painter under Wine, in four locales.
add_test(NAME ui_screens COMMAND ui_screens ${CMAKE_CURRENT_BINARY_DIR}/screens)
set_tests_properties(ui_screens PROPERTIES LABELS ui_screens TIMEOUT 600 FIXTURES_REQUIRED wine_session)
