# The real program under a virtual X server.
add_test(NAME install_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/install_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
add_test(NAME whole_game_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/whole_game_e2e.sh ${CMAKE_BINARY_DIR}
  ${CMAKE_BINARY_DIR}/e2e-screenshots)
set_tests_properties(whole_game_e2e PROPERTIES LABELS real-window TIMEOUT 240 RUN_SERIAL TRUE)
add_test(NAME no_display COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/no_display.sh $<TARGET_FILE:zonbeli>)
add_test(NAME bad_sounds_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/bad_sounds_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(bad_sounds_e2e PROPERTIES LABELS real-window TIMEOUT 120 RUN_SERIAL TRUE)
add_test(NAME command_line COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/command_line.sh $<TARGET_FILE:zonbeli>)
# Builds the Debian package from the sources and plays the unpacked game.
find_program(ZONBELI_DPKG_BUILDPACKAGE dpkg-buildpackage)
if(ZONBELI_DPKG_BUILDPACKAGE)
  add_test(NAME package_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/package_e2e.sh ${PROJECT_SOURCE_DIR})
  set_tests_properties(package_e2e PROPERTIES LABELS "real-window;package" TIMEOUT 1800 RUN_SERIAL TRUE)
endif()
