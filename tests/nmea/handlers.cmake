velocimo_test(nmea_tests
    SOURCES fields_test.cpp coordinate_test.cpp handlers_test.cpp
    LIBS velocimo_nmea)
