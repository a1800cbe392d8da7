# The skin's screenshots drawn by the GDI painter under Wine, in every locale, so that a text too
# long for its control fails here too (GDI's fonts measure otherwise than Pango's).
add_test(NAME skin_screens COMMAND skin_screens ${CMAKE_CURRENT_BINARY_DIR}/screens all)
set_tests_properties(skin_screens PROPERTIES LABELS skin_screens TIMEOUT 600 FIXTURES_REQUIRED wine_session)
