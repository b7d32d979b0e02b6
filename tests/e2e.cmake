# The real program under a virtual X server.
add_test(NAME install_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/install_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
add_test(NAME whole_game_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/whole_game_e2e.sh ${CMAKE_BINARY_DIR}
  ${CMAKE_BINARY_DIR}/e2e-screenshots)
set_tests_properties(whole_game_e2e PROPERTIES LABELS real-window TIMEOUT 240 RUN_SERIAL TRUE)
add_test(NAME no_display COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/no_display.sh $<TARGET_FILE:zonbeli>)
add_test(NAME bad_sounds_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/bad_sounds_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(bad_sounds_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
# Under a window manager, one case of window_manager_e2e.sh per test.
foreach(case menu_keys menu_release destroyed frame menu_colours lost_display)
  add_test(NAME window_manager_e2e.${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/window_manager_e2e.sh ${CMAKE_BINARY_DIR} ${case})
  set_tests_properties(window_manager_e2e.${case} PROPERTIES LABELS real-window TIMEOUT 90 RUN_SERIAL TRUE)
endforeach()
add_test(NAME wayland_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wayland_e2e.sh $<TARGET_FILE:zonbeli>)
set_tests_properties(wayland_e2e PROPERTIES LABELS real-window TIMEOUT 60 RUN_SERIAL TRUE)
add_test(NAME record_replay_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/record_replay_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(record_replay_e2e PROPERTIES LABELS real-window TIMEOUT 240 RUN_SERIAL TRUE)
