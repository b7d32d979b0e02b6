# Whole games through the game object, the falling trio's moves among them,
# and one game in the real window.
zonbeli_test(play_test play_test.cpp)

add_test(NAME play_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/play_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(play_e2e PROPERTIES LABELS real-window TIMEOUT 120)
