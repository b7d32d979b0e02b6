# The real program under a virtual X server.
add_test(NAME install_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/install_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
add_test(NAME whole_game_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/whole_game_e2e.sh ${CMAKE_BINARY_DIR}
  ${CMAKE_BINARY_DIR}/e2e-screenshots)
set_tests_properties(whole_game_e2e PROPERTIES LABELS real-window TIMEOUT 240 RUN_SERIAL TRUE)
add_test(NAME no_display COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/no_display.sh $<TARGET_FILE:zonbeli>)
add_test(NAME bad_sounds_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/bad_sounds_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(bad_sounds_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
