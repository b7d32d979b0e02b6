# The scenario runner: a library that reads and plays scenario scripts
# (shared with the soak test and the fuzzer) and the command-line tool.
add_library(zonbeli_scenario STATIC
  ${CMAKE_CURRENT_LIST_DIR}/scenario_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_runner.cpp)
target_include_directories(zonbeli_scenario PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zonbeli_scenario PUBLIC zonbeli_testkit PRIVATE zonbeli_warnings)

add_executable(zonbeli-scenario ${CMAKE_CURRENT_LIST_DIR}/scenario.cpp)
target_link_libraries(zonbeli-scenario PRIVATE zonbeli_scenario zonbeli_warnings)
