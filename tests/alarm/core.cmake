velocimo_test(alarm_core_tests
    SOURCES speedalarm_test.cpp fixsoundrelay_test.cpp soundpaths_test.cpp
    LIBS velocimo_alarm)
add_dependencies(alarm_core_tests velocimo_sounds)
