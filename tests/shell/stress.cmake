velocimo_test(shell_stress_tests
    SOURCES stress_test.cpp
    LIBS velocimo_gpslink velocimo_nmea)
velocimo_test(sentence_alloc_tests
    SOURCES alloc_test.cpp
    LIBS velocimo_gpslink velocimo_nmea)
