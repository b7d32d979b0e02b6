zonbeli_test(rules_test rules_test.cpp)
zonbeli_test(chain_test chain_test.cpp)
