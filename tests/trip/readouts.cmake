velocimo_test(trip_readouts_tests
    SOURCES readouts_test.cpp distance_test.cpp
    LIBS velocimo_trip)
