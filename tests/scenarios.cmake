# Scenario scripts with their expected output, the soak test, and the
# scenario fuzzer. Included from tests/CMakeLists.txt.

set(zonbeli_scenario_dir ${CMAKE_CURRENT_LIST_DIR}/scenarios)
file(GLOB zonbeli_scenarios CONFIGURE_DEPENDS ${zonbeli_scenario_dir}/*.txt)
foreach(script IN LISTS zonbeli_scenarios)
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME scenario.${name}
    COMMAND ${CMAKE_COMMAND} -DRUNNER=$<TARGET_FILE:zonbeli-scenario> -DSCRIPT=${script}
      -DEXPECTED=${zonbeli_scenario_dir}/${name}.out -P ${zonbeli_scenario_dir}/compare.cmake)
  set_tests_properties(scenario.${name} PROPERTIES LABELS scenario TIMEOUT 120)
endforeach()

# A malformed script stops before anything runs, naming its line.
add_test(NAME scenario.malformed_script
  COMMAND ${CMAKE_COMMAND} -DRUNNER=$<TARGET_FILE:zonbeli-scenario>
    -DSCRIPT=${zonbeli_scenario_dir}/malformed.bad -DEXPECTED=${zonbeli_scenario_dir}/malformed.out
    -DSTATUS=2 -DEXPECTED_ERRORS=${zonbeli_scenario_dir}/malformed.err
    -P ${zonbeli_scenario_dir}/compare.cmake)
set_tests_properties(scenario.malformed_script PROPERTIES LABELS scenario)

# Random play; ZONBELI_SOAK_TICKS sets the length (short by default).
zonbeli_test(soak_test soak_test.cpp)
target_link_libraries(soak_test PRIVATE zonbeli_scenario)

if(ZONBELI_FUZZ)
  add_executable(fuzz_scenario ${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz_scenario.cpp)
  target_link_libraries(fuzz_scenario PRIVATE zonbeli_scenario)
  target_link_options(fuzz_scenario PRIVATE -fsanitize=fuzzer)
endif()
