# The README's piece diagrams still show what the game's rules do.
add_test(NAME guide_pictures
  COMMAND zonbeli_make_guide --check ${PROJECT_SOURCE_DIR}/docs/guide)
set_tests_properties(guide_pictures PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
