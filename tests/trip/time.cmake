velocimo_test(trip_time_tests
    SOURCES timeofday_test.cpp
    LIBS velocimo_trip)
