zonbeli_test(window_test window_test.cpp)
