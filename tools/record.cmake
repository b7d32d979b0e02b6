# SPDX-License-Identifier: MIT
# zonbeli-record: the game in its window, writing a scenario script of
# everything the game receives, for zonbeli-scenario to play back.
add_executable(zonbeli-record ${CMAKE_CURRENT_LIST_DIR}/record.cpp ${CMAKE_CURRENT_LIST_DIR}/recording_file.cpp)
target_link_libraries(zonbeli-record PRIVATE zonbeli_scenario zonbeli_platform zonbeli_sound_binding zonbeli_warnings)
add_dependencies(zonbeli-record zonbeli_sounds)
set_target_properties(zonbeli-record PROPERTIES BUILD_RPATH "${ZONBELI_SOUND_LIBRARY_DIR}")
if(NOT BUILD_TESTING)
  set_target_properties(zonbeli-record PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
