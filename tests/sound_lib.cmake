# Included from tests/CMakeLists.txt, which provides GoogleTest and the GoogleTest module.
add_executable(sound_library_test ${CMAKE_CURRENT_LIST_DIR}/sound_library_test.cpp)
# SDL itself only for its memory functions, which the test counts allocations through.
target_link_libraries(sound_library_test PRIVATE zonbeli_sound PkgConfig::SDL2_MIXER GTest::gtest_main
  zonbeli_warnings)
gtest_discover_tests(sound_library_test
  DISCOVERY_TIMEOUT 30
  PROPERTIES TIMEOUT 60 LABELS sound)
