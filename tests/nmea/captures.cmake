velocimo_test(nmea_capture_tests
    SOURCES captures_test.cpp
    LIBS velocimo_gpslink)
