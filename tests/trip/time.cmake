velocimo_test(trip_time_tests
    SOURCES timeofday_test.cpp tzrules_test.cpp zone_crosscheck_test.cpp
    LIBS velocimo_trip)
