zonbeli_test(rules_test rules_test.cpp)
