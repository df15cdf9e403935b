velocimo_test(dashboard_core_tests
    SOURCES taps_test.cpp histories_test.cpp painter_test.cpp graphs_test.cpp
    LIBS velocimo_dashboard)
